// settle.cpp: locking a piece, the row-clear wipe, scoring, garbage rows and the next piece.
#include "game/game.h"
#include "platform/platform.h"
#include "present/frame.h"
#include "present/sound.h"
#include "scores/scores.h"

#include <cstring>

namespace {

void copyRow(int from, int to) {
    std::memcpy(&playfield.occupied[to * wellColumns], &playfield.occupied[from * wellColumns], wellColumns);
    std::memcpy(&playfield.colour[to * wellColumns], &playfield.colour[from * wellColumns], wellColumns);
}

void emptyRow(int row) {
    std::memset(&playfield.occupied[row * wellColumns], 0, wellColumns);
    std::memset(&playfield.colour[row * wellColumns], 0, wellColumns);
}

bool rowIsFull(int row) {
    for (int c = 0; c < wellColumns; ++c) {
        if (!playfield.occupied[row * wellColumns + c]) return false;
    }
    return true;
}

void promote(Piece& to, const Piece& from) {
    to.rotationLimit = from.rotationLimit;
    to.pivotCol = from.pivotCol;
    to.pivotRow = from.pivotRow;
    std::memcpy(to.cells, from.cells, sizeof to.cells);
    to.colour = from.colour;
    to.col = from.col;
    to.row = from.row;
}

}  // namespace

void lockCurrent() {
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            if (!current.cells[r * 4 + c]) continue;
            current.cells[r * 4 + c] = 0;
            const int row = static_cast<std::int8_t>(current.row + r);
            const int col = static_cast<std::int8_t>(current.col + c);
            // The placement rules keep every block inside the well; a block that is not is
            // dropped rather than written beside the planes.
            if (row < 0 || row >= wellRows || col < 0 || col >= wellColumns) continue;
            playfield.occupied[row * wellColumns + col] = 1;
            playfield.colour[row * wellColumns + col] = current.colour;
        }
    }
}

std::uint8_t clearFullRows() {
    beginWindowDrawing();
    // The locked piece shows on screen at once, at its final place, before any wipe.
    drawField(Surface::gameWindow);

    int fullRows[4];
    int count = 0;
    for (int r = 0; r < wellRows && count < 4; ++r) {
        if (rowIsFull(r)) fullRows[count++] = r;
    }
    if (count == 0) {
        endWindowDrawing();
        return 0;
    }

    for (int c = 0; c < wellColumns; ++c) {
        for (int i = 0; i < count; ++i) {
            fillWhite(Surface::gameWindow, wellLeft + cellSize * c, wellTop + cellSize * fullRows[i], cellSize,
                      cellSize);
        }
        sleepMs(10);
    }
    for (int i = 0; i < count; ++i) emptyRow(fullRows[i]);
    sleepMs(50);

    // Top to bottom: removing a row moves only the rows above it, so the lower numbers stay valid.
    for (int i = 0; i < count; ++i) {
        for (int j = fullRows[i]; j >= 1; --j) copyRow(j - 1, j);
        emptyRow(0);
    }
    endWindowDrawing();
    return static_cast<std::uint8_t>(count);
}

void scoreLines(std::uint8_t count) {
    if (count == 0) return;
    startSound(soundRowsCleared);
    double multiplier = count == 1 ? 1.0 : count == 2 ? 1.5 : count == 3 ? 3.0 : 5.0;
    if (game.level >= 10) multiplier *= 3.0;
    game.score += static_cast<std::uint32_t>(multiplier * (count * 50));
}

void raiseGarbageRow() {
    const int hole = static_cast<int>(static_cast<unsigned>(randomSource()) % wellColumns);
    for (int r = 0; r < wellRows - 1; ++r) copyRow(r + 1, r);
    for (int c = 0; c < wellColumns; ++c) {
        playfield.occupied[(wellRows - 1) * wellColumns + c] = c == hole ? 0 : 1;
        playfield.colour[(wellRows - 1) * wellColumns + c] = garbageTile;
    }
}

void settleAndSpawn() {
    lockCurrent();
    const std::uint8_t count = clearFullRows();
    game.lines += count;
    scoreLines(count);

    if (game.level >= 10) {
        ++game.garbageCounter;
        // At or beyond the threshold, not only at it: a level-up that lowers the threshold
        // below the counter would otherwise stop garbage for the rest of the run.
        if (game.garbageCounter >= 11 - game.level / 10) {
            game.garbageCounter = 0;
            raiseGarbageRow();
        }
    }

    promote(current, next);
    current.rotationState = 0;
    promote(next, afterNext);
    makeRandomPiece(afterNext);

    if (tryPlace(current)) return;
    game.gameOver = 1;
    composeFrame();
    handleGameOver();
}
