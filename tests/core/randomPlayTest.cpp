// randomPlayTest.cpp: thousands of games of random keys and ticks, checking the invariants after
// every step; and one scripted game whose final state is pinned by a hash.
#include "coreFixture.h"

#include <cstdlib>
#include <random>

#include "game/input.h"

namespace {

// The seed comes from PILARO_TEST_SEED when set, so a failing run can be replayed.
std::uint32_t chooseSeed() {
    if (const char* text = std::getenv("PILARO_TEST_SEED")) return static_cast<std::uint32_t>(std::strtoul(text, nullptr, 10));
    return std::random_device{}();
}

std::mt19937 playRandom;
int playRandomSource() { return static_cast<int>(playRandom() & 0x7FFFFFFF); }

std::uint32_t expectedFallInterval(std::uint32_t level) { return level >= 9 ? 200 : 1000 - 100 * (level - 1); }

// Falling piece: four cells, inside the well, off the settled blocks.
::testing::AssertionResult pieceIsSound() {
    int cells = 0;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            if (!current.cells[r * 4 + c]) continue;
            ++cells;
            const int row = current.row + r;
            const int col = current.col + c;
            if (row < 0 || row >= wellRows || col < 0 || col >= wellColumns) {
                return ::testing::AssertionFailure() << "block outside the well at " << row << "," << col;
            }
            if (playfield.occupied[row * wellColumns + col]) {
                return ::testing::AssertionFailure() << "block on a settled block at " << row << "," << col;
            }
        }
    }
    if (cells != 4) return ::testing::AssertionFailure() << cells << " cells";
    return ::testing::AssertionSuccess();
}

// The level check runs at the start of a tick, so the level follows the score as it stood then;
// the points of that tick's own settle count at the next one.
::testing::AssertionResult countersAgree(std::uint32_t scoreAtCheck) {
    const std::uint32_t level = std::min<std::uint32_t>(50, 1 + scoreAtCheck / 500);
    if (game.level != level) return ::testing::AssertionFailure() << "level " << game.level << " for score " << scoreAtCheck;
    if (game.nextLevelScore != 500 * (1 + scoreAtCheck / 500)) return ::testing::AssertionFailure() << "nextLevelScore " << game.nextLevelScore;
    if (game.fallInterval != expectedFallInterval(game.level)) return ::testing::AssertionFailure() << "fallInterval " << game.fallInterval;
    for (int i = 0; i < wellCells; ++i) {
        if (playfield.occupied[i] > 1) return ::testing::AssertionFailure() << "occupied byte " << int(playfield.occupied[i]);
    }
    return ::testing::AssertionSuccess();
}

const int keys[] = {keyLeft, keyRight, keyUp, keyDown, keyShift};

// A simple player's move: slide the piece by keys to the column where it lands deepest (found on
// a copy of the piece), so that rows fill and clear along the way.
void slideToDeepestColumn() {
    const Piece start = current;
    while (moveLeft()) {
    }
    int bestShift = 0, bestDepth = -1;
    for (int shift = 0; shift < 10; ++shift) {
        const Piece here = current;
        int depth = 0;
        while (moveDown()) ++depth;
        current = here;
        if (depth > bestDepth) bestDepth = depth, bestShift = shift;
        if (!moveRight()) break;
    }
    current = start;
    while (moveLeft()) {
    }
    const int target = current.col + bestShift;
    current = start;
    for (int slide = 0; slide < 10 && current.col != target; ++slide) {
        onKeyDown(WindowId::game, current.col < target ? keyRight : keyLeft);
        onKeyUp();
    }
}


}  // namespace

class RandomPlay : public CoreTest {};

TEST_F(RandomPlay, ThousandsOfGamesKeepThePieceSoundAndTheCountersInStep) {
    const std::uint32_t seed = chooseSeed();
    std::printf("random play seed %u (replay with PILARO_TEST_SEED=%u)\n", seed, seed);
    SCOPED_TRACE("seed " + std::to_string(seed));
    playRandom.seed(seed);
    randomSource = playRandomSource;
    std::mt19937 choices(seed ^ 0x9E3779B9u);
    fake.boxAnswers.clear();

    int games = 0;
    std::uint64_t totalLines = 0;
    std::uint32_t highestLevel = 0;
    while (games < 2000) {
        newGame();
        ASSERT_TRUE(pieceIsSound());
        for (int step = 0; step < 20000 && !game.gameOver; ++step) {
            const unsigned pick = choices() % 10;
            if (pick == 0) {
                slideToDeepestColumn();
            } else if (pick < 4) {
                onKeyDown(WindowId::game, keys[choices() % 5]);
                if (choices() % 2) onKeyUp();
            } else {
                fake.downHeld = choices() % 4 == 0;
                const std::uint32_t scoreAtCheck = game.score;
                onTimerTick();
                if (!game.gameOver) {
                    ASSERT_TRUE(countersAgree(scoreAtCheck)) << "game " << games << " step " << step;
                }
            }
            if (!game.gameOver) {
                ASSERT_TRUE(pieceIsSound()) << "game " << games << " step " << step;
            }
            if (fake.drawOps.size() > 100000) fake.drawOps.clear();
        }
        totalLines += game.lines;
        highestLevel = std::max(highestLevel, game.level);
        // Games end in the plain branch (No) or after a declined offer, never halfway.
        game.rankingPending = 0;
        ++games;
        fake.clear();
    }
    std::printf("%d games, %llu rows cleared, highest level %u\n", games, static_cast<unsigned long long>(totalLines),
                highestLevel);
    EXPECT_GT(totalLines, 0u) << "the games must reach the clearing rules";
}

// A fixed seed and a fixed sequence of keys and ticks must always end in the same well, score,
// lines and level: any change to a rule shows up here.
TEST_F(RandomPlay, AScriptedGameEndsInTheSameStateEveryTime) {
    std::mt19937 deal(2024);
    static std::mt19937* dealer = &deal;
    randomSource = [] { return static_cast<int>((*dealer)() & 0x7FFFFFFF); };
    newGame();
    game.gravityClock = 0;
    // A simple player: turn each piece a few times, slide it to the next column in turn and drop
    // it, with a few idle ticks between, so that rows fill and clear along the way.
    for (int piece = 0; piece < 400 && !game.gameOver; ++piece) {
        for (int turn = 0; turn < piece % 4; ++turn) {
            onKeyDown(WindowId::game, keyUp);
            onKeyUp();
        }
        slideToDeepestColumn();
        for (int tick = 0; tick < piece % 5; ++tick) onTimerTick();
        onKeyDown(WindowId::game, keyShift);
        onKeyUp();
        onTimerTick();
    }
    std::uint64_t hash = 1469598103934665603ull;
    auto mix = [&hash](std::uint64_t value) { hash = (hash ^ value) * 1099511628211ull; };
    for (int c = 0; c < wellCells; ++c) mix(playfield.occupied[c] ? 1 + playfield.colour[c] : 0);
    mix(game.score);
    mix(game.lines);
    mix(game.level);
    std::printf("score %u lines %u level %u hash %llu\n", game.score, game.lines, game.level,
                static_cast<unsigned long long>(hash));
    EXPECT_EQ(hash, 11360724992925906457ull) << "score " << game.score << " lines " << game.lines << " level " << game.level;
}
