// moves.cpp: the placement test and the three one-step moves of the falling piece.
#include "game/game.h"

namespace {

struct Bounds {
    int top = 4, bottom = -1, left = 4, right = -1;
};

// The smallest box of mask rows and columns that holds the set cells; false for an empty mask.
bool findBounds(const Piece& piece, Bounds& bounds) {
    bounds = Bounds{};
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            if (!piece.cells[r * 4 + c]) continue;
            if (r < bounds.top) bounds.top = r;
            if (r > bounds.bottom) bounds.bottom = r;
            if (c < bounds.left) bounds.left = c;
            if (c > bounds.right) bounds.right = c;
        }
    }
    return bounds.bottom >= 0;
}

bool occupiedAt(const Playfield& playfield, int row, int col) { return playfield.occupied[row * wellColumns + col] != 0; }

// True when no set cell of the piece, shifted by (dRow, dCol), lands on a settled block.
// Cells above the well are never tested.
bool freeAfterShift(const Playfield& playfield, const Piece& piece, int dRow, int dCol) {
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            if (!piece.cells[r * 4 + c]) continue;
            const int row = piece.row + r + dRow;
            const int col = piece.col + c + dCol;
            if (row >= 0 && occupiedAt(playfield, row, col)) return false;
        }
    }
    return true;
}

// One step of the falling piece; refused, changing nothing, when a block would leave the well
// or land on a settled block.
bool shiftCurrent(Game& game, int dRow, int dCol) {
    Piece& current = game.current;
    Bounds b;
    if (!findBounds(current, b)) return false;
    const int row = current.row + dRow;
    const int col = current.col + dCol;
    if (row + b.bottom >= wellRows || col + b.left < 0 || col + b.right >= wellColumns) return false;
    if (!freeAfterShift(game.playfield, current, dRow, dCol)) return false;
    current.row = static_cast<std::int8_t>(row);
    current.col = static_cast<std::int8_t>(col);
    return true;
}

}  // namespace

bool moveDown(Game& game) { return shiftCurrent(game, 1, 0); }
bool moveLeft(Game& game) { return shiftCurrent(game, 0, -1); }
bool moveRight(Game& game) { return shiftCurrent(game, 0, 1); }

bool tryPlace(Game& game, Piece& candidate) {
    Piece& current = game.current;
    Bounds b;
    if (!findBounds(candidate, b)) return false;
    // Walls and floor only ever push the candidate back inside, by the shortest shift; the
    // floor first, then the left wall, and the right wall only when the left did not apply.
    if (candidate.row + b.bottom >= wellRows) {
        candidate.row = static_cast<std::int8_t>(wellRows - 1 - b.bottom);
    }
    if (candidate.col + b.left < 0) {
        candidate.col = static_cast<std::int8_t>(-b.left);
    } else if (candidate.col + b.right >= wellColumns) {
        candidate.col = static_cast<std::int8_t>(wellColumns - 1 - b.right);
    }
    if (!freeAfterShift(game.playfield, candidate, 0, 0)) return false;
    if (&candidate != &current) {
        for (int i = 0; i < 16; ++i) current.cells[i] = candidate.cells[i];
        current.col = candidate.col;
        current.row = candidate.row;
    }
    return true;
}
