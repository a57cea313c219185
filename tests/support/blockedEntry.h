// blockedEntry.h: a game brought to its end at will, for the core's and the Linux shell's tests.
#pragma once

#include <cstdint>

#include "game/game.h"

// Puts the falling piece back at its entry in a well filled around it but for column 0, with this
// score: settled where it is, it leaves the next piece's entry blocked, and the game ends.
inline void blockTheEntry(Game& game, std::uint32_t score) {
    game.current.row = 0, game.current.col = 3;
    for (int cell = 0; cell < wellCells; ++cell) game.playfield.occupied[cell] = cell % wellColumns != 0;
    for (int i = 0; i < 16; ++i) game.playfield.occupied[i / 4 * wellColumns + 3 + i % 4] &= !game.current.cells[i];
    game.score = score;
}
