// settle.cpp: locking a piece, clearing full rows, scoring, garbage rows and the next piece.
#include <cstring>

#include "game/game.h"

namespace {

void copyRow(Playfield& playfield, int from, int to) {
    std::memcpy(&playfield.occupied[to * wellColumns], &playfield.occupied[from * wellColumns], wellColumns);
    std::memcpy(&playfield.colour[to * wellColumns], &playfield.colour[from * wellColumns], wellColumns);
}

void emptyRow(Playfield& playfield, int row) {
    std::memset(&playfield.occupied[row * wellColumns], 0, wellColumns);
    std::memset(&playfield.colour[row * wellColumns], 0, wellColumns);
}

bool rowIsFull(const Playfield& playfield, int row) {
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

void lockCurrent(Game& game) {
    Piece& current = game.current;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            if (!current.cells[r * 4 + c]) continue;
            current.cells[r * 4 + c] = 0;
            const int row = static_cast<std::int8_t>(current.row + r);
            const int col = static_cast<std::int8_t>(current.col + c);
            // The placement rules keep every block inside the well; a block that is not is
            // dropped rather than written beside the planes.
            if (row < 0 || row >= wellRows || col < 0 || col >= wellColumns) continue;
            game.playfield.occupied[row * wellColumns + col] = 1;
            game.playfield.colour[row * wellColumns + col] = current.colour;
        }
    }
}

std::uint8_t clearFullRows(Game& game, Settle& report) {
    Playfield& playfield = game.playfield;
    // The well as the piece settled, for the screen: it shows the full rows before they go.
    report.settled = playfield;
    report.rowCount = 0;
    for (int r = 0; r < wellRows && report.rowCount < 4; ++r) {
        if (rowIsFull(playfield, r)) report.rows[report.rowCount++] = static_cast<std::uint8_t>(r);
    }
    for (int i = 0; i < report.rowCount; ++i) emptyRow(playfield, report.rows[i]);
    // Top to bottom: removing a row moves only the rows above it, so the lower numbers stay valid.
    for (int i = 0; i < report.rowCount; ++i) {
        for (int j = report.rows[i]; j >= 1; --j) copyRow(playfield, j - 1, j);
        emptyRow(playfield, 0);
    }
    return report.rowCount;
}

void scoreLines(Game& game, std::uint8_t count) {
    if (count == 0) return;
    double multiplier = count == 1 ? 1.0 : count == 2 ? 1.5 : count == 3 ? 3.0 : 5.0;
    if (game.level >= 10) multiplier *= 3.0;
    game.score += static_cast<std::uint32_t>(multiplier * (count * 50));
}

void raiseGarbageRow(Game& game) {
    Playfield& playfield = game.playfield;
    const int hole = static_cast<int>(static_cast<unsigned>(game.random.next()) % wellColumns);
    for (int r = 0; r < wellRows - 1; ++r) copyRow(playfield, r + 1, r);
    for (int c = 0; c < wellColumns; ++c) {
        playfield.occupied[(wellRows - 1) * wellColumns + c] = c == hole ? 0 : 1;
        playfield.colour[(wellRows - 1) * wellColumns + c] = garbageTile;
    }
}

void settleAndSpawn(Game& game, Settle& report) {
    lockCurrent(game);
    const std::uint8_t count = clearFullRows(game, report);
    game.lines += count;
    scoreLines(game, count);

    report.garbage = false;
    if (game.level >= 10) {
        ++game.garbageCounter;
        // At or beyond the threshold, not only at it: a level-up that lowers the threshold
        // below the counter would otherwise stop garbage for the rest of the run.
        if (game.garbageCounter >= 11 - game.level / 10) {
            game.garbageCounter = 0;
            raiseGarbageRow(game);
            report.garbage = true;
        }
    }

    promote(game.current, game.next);
    game.current.rotationState = 0;
    promote(game.next, game.afterNext);
    makeRandomPiece(game, game.afterNext);

    // A blocked entry ends the game.
    report.blocked = !tryPlace(game, game.current);
    if (report.blocked) game.gameOver = 1;
}
