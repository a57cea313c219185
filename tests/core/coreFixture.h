// coreFixture.h: a fresh program for every core test: the program reset, the double cleared (no
// best-score file), and a new game dealt; helpers to deal chosen pieces and set up the well.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "blockedEntry.h"
#include "fakePlatform.h"
#include "testSeed.h"
#include "game/game.h"
#include "program/program.h"

// Makes the game's generator give `value` (0-0x7FFF) next, by stepping its recurrence back.
inline void scriptNext(int value) {
    constexpr std::uint32_t inverseMultiplier = 0xB9B33155u;  // 214013 * this == 1 modulo 2^32
    currentGame().random.state = (static_cast<std::uint32_t>(value) << 16) - 2531011u;
    currentGame().random.state *= inverseMultiplier;
}

// Seeds from which newGame deals three squares, and a T, an I and a Z.
constexpr std::uint32_t seedOfThreeSquares = 771, seedOfTIZ = 78;

// One press of a key on the game window: its key-down, then its key-up.
inline void press(Key key) { onKeyDown(WindowId::game, key), onKeyUp(); }

// The delays the program started (a wipe's steps) run to their end, as the shell's would.
inline void runDelays() {
    while (fake.delayPending) fake.delayPending = false, onDelayElapsed();
}

// One tick, and the wipe it may start run to its end.
inline void tick() { onTick(), runDelays(); }

inline void setCell(int row, int col, std::uint8_t tile = 1) {
    Playfield& playfield = currentGame().playfield;
    playfield.occupied[row * wellColumns + col] = 1, playfield.colour[row * wellColumns + col] = tile;
}

// Fills a row with settled blocks of `tile`, leaving the listed columns empty.
inline void fillRow(int row, std::initializer_list<int> holes = {}, std::uint8_t tile = 1) {
    for (int c = 0; c < wellColumns; ++c) setCell(row, c, tile);
    for (int c : holes) currentGame().playfield.occupied[row * wellColumns + c] = 0;
}

// `count` well rows from `first`, as "X" for a block and "." for an empty cell.
inline std::string rowPattern(int first, int count = 1) {
    std::string pattern;
    for (int i = first * wellColumns; i < (first + count) * wellColumns; ++i)
        pattern += currentGame().playfield.occupied[i] ? 'X' : '.';
    return pattern;
}

// Deals `shape` into `current` and moves it to (row, col).
inline void placeCurrent(std::uint8_t shape, int row, int col) {
    Game& game = currentGame();
    scriptNext(shape);
    makeRandomPiece(game, game.current);
    game.current.rotationState = 0;
    game.current.row = static_cast<std::int8_t>(row), game.current.col = static_cast<std::int8_t>(col);
}

// The well cells of `current`'s blocks as "r,c r,c ...", in mask order.
inline std::string currentCells() {
    const Piece& current = currentGame().current;
    std::string cells;
    for (int i = 0; i < 16; ++i)
        if (current.cells[i])
            cells += std::to_string(current.row + i / 4) + "," + std::to_string(current.col + i % 4) + " ";
    return cells.substr(0, cells.size() - 1);
}

// Settles the falling piece at its entry in a well filled around it, at the next tick: the game ends.
inline void endTheGame(std::uint32_t score) {
    blockTheEntry(currentGame(), score);
    currentGame().hardDropPending = 1, tick();
}

struct CoreTest : ::testing::Test {
    Game& game = currentGame();
    Playfield& playfield = game.playfield;
    Piece& current = game.current;
    void SetUp() override {
        resetProgram();
        fake.clear();
        // Three squares: the simplest pieces to reason about where a case does not deal its own.
        game.random.state = seedOfThreeSquares;
        newGame(game, 0);
    }
};
