// coreFixture.h: a fresh program for every core test: state reset, double cleared, scripted
// random values, and a throw-away working directory for "hiScore.txt".
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <deque>
#include <filesystem>
#include <initializer_list>
#include <string>

#include "fakePlatform.h"
#include "game/game.h"

// Random values the game draws next, in order; when they run out a fixed LCG takes over.
extern std::deque<int> scriptedRandom;
void scriptRandom(std::initializer_list<int> values);

class CoreTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Puts a piece of `shape` as dealt into `current`, then moves it to (row, col).
    static void placeCurrent(std::uint8_t shape, int row, int col);
    // Fills a row with settled blocks of `tile`, leaving the listed columns empty.
    static void fillRow(int row, std::initializer_list<int> holes = {}, std::uint8_t tile = 1);
    static void setCell(int row, int col, std::uint8_t tile = 1);
    static bool cellAt(int row, int col);
    // The well cells of `current`'s blocks as "r,c" strings, in mask order.
    static std::vector<std::string> currentCells();
    static void writeHiScoreFile(const std::string& bytes);
    static std::string readHiScoreFile();
    // Runs ticks until `current` settles (at most `limit` ticks); returns the ticks run.
    static int ticksUntilSettle(int limit = 10000);

    std::filesystem::path workDir;
    std::filesystem::path oldDir;
};
