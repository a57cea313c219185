// rotation.cpp: turning the falling piece a quarter turn about its pivot cell.
#include "game/game.h"

bool rotateCurrent(Game& game) {
    const Piece& current = game.current;
    if (current.rotationLimit == 0) return false;
    // The toggling shapes (I, S, Z) turn back the other way when they stand turned, so they
    // only ever show two orientations.
    const bool reverse = current.rotationLimit == 1 && current.rotationState == 1;
    Piece candidate{};
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            if (!current.cells[r * 4 + c]) continue;
            const int dr = r - current.pivotRow;
            const int dc = c - current.pivotCol;
            const int toRow = reverse ? current.pivotRow + dc : current.pivotRow - dc;
            const int toCol = reverse ? current.pivotCol - dr : current.pivotCol + dr;
            // Every orientation of the catalogue stays inside the mask; a corrupt piece that
            // would not is refused rather than written out of bounds.
            if (toRow < 0 || toRow > 3 || toCol < 0 || toCol > 3) return false;
            candidate.cells[toRow * 4 + toCol] = 1;
        }
    }
    candidate.col = current.col;
    candidate.row = current.row;
    return tryPlace(game, candidate);
}

void countTurn(Game& game, bool turned) {
    Piece& current = game.current;
    if (!turned) return;
    if (current.rotationState == current.rotationLimit) {
        current.rotationState = 0;
    } else {
        ++current.rotationState;
    }
}
