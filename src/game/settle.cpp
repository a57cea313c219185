// settle.cpp: locking a piece, the row-clear wipe (stepped by the shell's delay), scoring, garbage
// rows and the next piece.
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

constexpr unsigned wipeColumnMs = 10;
constexpr unsigned wipePauseMs = 50;

int wipeRows[4];       // the full rows of the settle being wiped, ascending
int wipeRowCount = 0;
int wipeColumn = -1;   // the column whitened last, 10 during the pause after it; -1 when no wipe runs

// Whitens one column of the full rows straight on the window, then waits its step.
void whitenWipeColumn() {
    for (int i = 0; i < wipeRowCount; ++i) {
        fillWhite(Surface::gameWindow, wellLeft + cellSize * wipeColumn, wellTop + cellSize * wipeRows[i], cellSize,
                  cellSize);
    }
    endWindowDrawing();
    startDelay(wipeColumnMs);
}

// What follows the settle on screen: after a blocked entry, the frame with the new piece over the
// blocks, then the end-of-game flow.
void endSettle() {
    if (!game.gameOver) return;
    composeFrame();
    handleGameOver();
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

    wipeRowCount = 0;
    for (int r = 0; r < wellRows && wipeRowCount < 4; ++r) {
        if (rowIsFull(r)) wipeRows[wipeRowCount++] = r;
    }
    if (wipeRowCount == 0) {
        endWindowDrawing();
        return 0;
    }
    // The well is settled at once; only the screen takes its time: the full rows turn white column
    // by column and stay white a moment, while the game stands still.
    wipeColumn = 0;
    whitenWipeColumn();
    for (int i = 0; i < wipeRowCount; ++i) emptyRow(wipeRows[i]);
    // Top to bottom: removing a row moves only the rows above it, so the lower numbers stay valid.
    for (int i = 0; i < wipeRowCount; ++i) {
        for (int j = wipeRows[i]; j >= 1; --j) copyRow(j - 1, j);
        emptyRow(0);
    }
    return static_cast<std::uint8_t>(wipeRowCount);
}

bool wipeRunning() { return wipeColumn >= 0; }

bool stepWipe() {
    if (!wipeRunning()) return false;
    if (++wipeColumn < wellColumns) {
        beginWindowDrawing();
        whitenWipeColumn();
        return false;
    }
    if (wipeColumn == wellColumns) {
        startDelay(wipePauseMs);  // the white rows stay a moment
        return false;
    }
    wipeColumn = -1;
    // Heard after the wipe, as the rows go.
    startSound(soundRowsCleared);
    endSettle();
    return true;
}

void resetWipe() { wipeColumn = -1; }

void scoreLines(std::uint8_t count) {
    // The sound of the rows comes at the end of their wipe.
    if (count == 0) return;
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

    // A blocked entry ends the game; the flow starts once the wipe, if any, is over.
    if (!tryPlace(current)) game.gameOver = 1;
    if (!wipeRunning()) endSettle();
}
