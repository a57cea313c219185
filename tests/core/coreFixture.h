// coreFixture.h: a fresh program for every core test: state reset, double cleared, scripted
// random values, a throw-away working directory for "hiScore.txt", and a new game dealt.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "fakePlatform.h"
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

inline void writeFile(const std::string& bytes) { std::ofstream("hiScore.txt", std::ios::binary) << bytes; }
inline std::string readFile() {
    std::ifstream in("hiScore.txt", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class CoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        resetProgramState();
        fake.clear();
        scriptedRandom.clear();
        randomSource = scriptedSource;
        std::filesystem::create_directories(workDir);
        std::filesystem::current_path(workDir);
        newGame();
    }
    void TearDown() override {
        std::filesystem::current_path(workDir.parent_path());
        std::filesystem::remove_all(workDir);
    }
    std::filesystem::path workDir = std::filesystem::temp_directory_path() / ("pilaro-core" + std::to_string(getpid()));
};
