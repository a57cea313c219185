// coreFixture.h: a fresh program for every core test: state reset, double cleared (no best-score
// file), scripted random values, and a new game dealt.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <string>

#include "fakePlatform.h"
#include "testSeed.h"
#include "game/game.h"
#include "game/input.h"

// Random values the game draws next, in order; 0 once they run out.
inline std::deque<int> scriptedRandom;
inline int scriptedSource() {
    const int value = scriptedRandom.empty() ? 0 : scriptedRandom.front();
    if (!scriptedRandom.empty()) scriptedRandom.pop_front();
    return value;
}

// One press of a key on the game window: its key-down, then its key-up.
inline void press(int key) { onKeyDown(WindowId::game, key), onKeyUp(); }

// One tick, and the wipe it may start run to its end, as the shell's delays would.
inline void tick() {
    onTimerTick();
    while (fake.delayPending) fake.delayPending = false, onDelayElapsed();
}

inline void setCell(int row, int col, std::uint8_t tile = 1) {
    playfield.occupied[row * wellColumns + col] = 1, playfield.colour[row * wellColumns + col] = tile;
}

// Fills a row with settled blocks of `tile`, leaving the listed columns empty.
inline void fillRow(int row, std::initializer_list<int> holes = {}, std::uint8_t tile = 1) {
    for (int c = 0; c < wellColumns; ++c) setCell(row, c, tile);
    for (int c : holes) playfield.occupied[row * wellColumns + c] = 0;
}

// `count` well rows from `first`, as "X" for a block and "." for an empty cell.
inline std::string rowPattern(int first, int count = 1) {
    std::string pattern;
    for (int i = first * wellColumns; i < (first + count) * wellColumns; ++i)
        pattern += playfield.occupied[i] ? 'X' : '.';
    return pattern;
}

// Deals `shape` into `current` and moves it to (row, col).
inline void placeCurrent(std::uint8_t shape, int row, int col) {
    scriptedRandom.push_front(shape);
    makeRandomPiece(current);
    current.rotationState = 0;
    current.row = static_cast<std::int8_t>(row), current.col = static_cast<std::int8_t>(col);
}

// The well cells of `current`'s blocks as "r,c r,c ...", in mask order.
inline std::string currentCells() {
    std::string cells;
    for (int i = 0; i < 16; ++i)
        if (current.cells[i])
            cells += std::to_string(current.row + i / 4) + "," + std::to_string(current.col + i % 4) + " ";
    return cells.substr(0, cells.size() - 1);
}

struct CoreTest : ::testing::Test {
    void SetUp() override {
        resetProgramState();
        fake.clear();
        scriptedRandom.clear();
        randomSource = scriptedSource;
        newGame();
    }
};
