// coreFixture.cpp: the shared set-up of the core tests.
#include "coreFixture.h"

#include <fstream>
#include <random>
#include <sstream>

std::deque<int> scriptedRandom;

namespace {

unsigned lcgState = 12345;

int testRandom() {
    if (!scriptedRandom.empty()) {
        const int value = scriptedRandom.front();
        scriptedRandom.pop_front();
        return value;
    }
    lcgState = lcgState * 1103515245u + 12345u;
    return static_cast<int>((lcgState >> 16) & 0x7FFF);
}

}  // namespace

void scriptRandom(std::initializer_list<int> values) { scriptedRandom.assign(values); }

void CoreTest::SetUp() {
    resetProgramState();
    fake.clear();
    scriptedRandom.clear();
    lcgState = 12345;
    randomSource = testRandom;
    oldDir = std::filesystem::current_path();
    workDir = std::filesystem::temp_directory_path() /
              ("pilaro-core-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
               std::to_string(reinterpret_cast<std::uintptr_t>(this)));
    std::filesystem::create_directories(workDir);
    std::filesystem::current_path(workDir);
}

void CoreTest::TearDown() {
    std::filesystem::current_path(oldDir);
    std::error_code ignored;
    std::filesystem::permissions(workDir, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(workDir, ignored);
}

void CoreTest::placeCurrent(std::uint8_t shape, int row, int col) {
    scriptedRandom.push_front(shape);
    makeRandomPiece(current);
    current.rotationState = 0;
    current.row = static_cast<std::int8_t>(row);
    current.col = static_cast<std::int8_t>(col);
}

void CoreTest::fillRow(int row, std::initializer_list<int> holes, std::uint8_t tile) {
    for (int c = 0; c < wellColumns; ++c) setCell(row, c, tile);
    for (int c : holes) playfield.occupied[row * wellColumns + c] = 0;
}

void CoreTest::setCell(int row, int col, std::uint8_t tile) {
    playfield.occupied[row * wellColumns + col] = 1;
    playfield.colour[row * wellColumns + col] = tile;
}

bool CoreTest::cellAt(int row, int col) { return playfield.occupied[row * wellColumns + col] != 0; }

std::vector<std::string> CoreTest::currentCells() {
    std::vector<std::string> cells;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            if (current.cells[r * 4 + c]) {
                cells.push_back(std::to_string(current.row + r) + "," + std::to_string(current.col + c));
            }
        }
    }
    return cells;
}

void CoreTest::writeHiScoreFile(const std::string& bytes) {
    std::ofstream("hiScore.txt", std::ios::binary) << bytes;
}

std::string CoreTest::readHiScoreFile() {
    std::ifstream in("hiScore.txt", std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

int CoreTest::ticksUntilSettle(int limit) {
    for (int ticks = 1; ticks <= limit; ++ticks) {
        if (!gameRunning()) return -1;
        if (gravityStep()) return ticks;
    }
    return -1;
}
