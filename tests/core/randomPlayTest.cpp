// randomPlayTest.cpp: many games of random keys and ticks, half of them started at high levels,
// checking the rules' invariants after every tick; and one scripted game pinned by a hash.
#include "coreFixture.h"

#include <cstdio>
#include <cstdlib>
#include <random>

static std::mt19937 dealer;  // the game's random source in these tests
static int dealerSource() { return static_cast<int>(dealer() & 0x7FFFFFFF); }

// A simple player: slides the piece by keys to the column where it lands deepest (found by
// trying each column on a copy), so that rows fill and clear along the way.
static void slideToDeepestColumn() {
    const Piece start = current;
    int bestCol = current.col, bestRow = -1;
    while (moveLeft()) {}
    do {
        const Piece here = current;
        while (moveDown()) {}
        if (current.row > bestRow) bestRow = current.row, bestCol = current.col;
        current = here;
    } while (moveRight());
    current = start;
    for (int slide = 0; slide < 10 && current.col != bestCol; ++slide)
        press(current.col < bestCol ? keyRight : keyLeft);
}

class RandomPlay : public CoreTest {};

TEST_F(RandomPlay, GamesAtEveryLevelKeepTheRulesInvariants) {
    // The seed deals the pieces and makes the player's choices; PILARO_TEST_SEED replays one.
    dealer.seed(testSeed());
    randomSource = dealerSource;
    int endedByGarbage = 0;
    for (int games = 0; games < 600; ++games) {
        fake.clear();
        fake.hiScoreFile = true, fake.hiScoreText = "-1";  // no score beats it: only the continue question
        newGame();
        if (games % 2) game.score = dealer() % 25000;  // from level 1 up to 50 at the first tick
        for (int step = 0; step < 20000 && !game.gameOver; ++step) {
            const unsigned pick = dealer() % 10;
            if (pick < 2) {
                slideToDeepestColumn();
            } else if (pick < 5) {
                onKeyDown(WindowId::game, std::vector{keyLeft, keyRight, keyUp, keyDown, keyShift}[dealer() % 5]);
                if (dealer() % 2) onKeyUp();
            } else {
                fake.downHeld = dealer() % 4 == 0;
                const std::uint32_t counter = game.garbageCounter;
                tick();
                // The falling piece's four blocks inside the well and off the settled ones, and no
                // full row left. (The points a settle scores are pinned by the play test's table.)
                int blocksInside = 0;
                for (int i = 0; i < 16; ++i) {
                    const int row = current.row + i / 4, col = current.col + i % 4;
                    blocksInside += current.cells[i] && row >= 0 && row < wellRows && col >= 0 && col < wellColumns &&
                                    !playfield.occupied[row * wellColumns + col];
                }
                EXPECT_TRUE(game.gameOver || blocksInside == 4) << "a falling block off the well or on a block";
                for (int row = 0; row < wellRows; ++row) EXPECT_NE(rowPattern(row), std::string(wellColumns, 'X'));
                ASSERT_FALSE(HasFailure()) << "game " << games << " step " << step;
                // A garbage row rose and ended the game (its shape is pinned by the garbage test).
                endedByGarbage += game.gameOver && counter != 0 && game.garbageCounter == 0;
            }
        }
        const bool ended = game.gameOver;
        onBoxAnswer(BoxAnswer::yes);
        EXPECT_EQ(fake.boxes.size(), ended ? 1u : 0u) << "the continue question, answered Yes";
        EXPECT_FALSE(game.gameOver);
    }
    EXPECT_GT(endedByGarbage, 0) << "garbage rows must rise, and end games";
}

// A fixed seed and a fixed sequence of keys and ticks must always end in the same well, score,
// lines and level: any change to a rule shows up here.
TEST_F(RandomPlay, AScriptedGameEndsInTheSameStateEveryTime) {
    dealer.seed(2024);
    randomSource = dealerSource;
    newGame();
    // Turn each piece a few times, slide it to its deepest column and drop it, with a few idle
    // ticks between.
    for (int piece = 0; piece < 400 && !game.gameOver; ++piece) {
        for (int turn = 0; turn < piece % 4; ++turn) press(keyUp);
        slideToDeepestColumn();
        for (int idle = 0; idle < piece % 5; ++idle) tick();
        press(keyShift), tick();
    }
    std::uint64_t hash = 1469598103934665603ull;
    auto mix = [&hash](std::uint64_t value) { hash = (hash ^ value) * 1099511628211ull; };
    for (int c = 0; c < wellCells; ++c) mix(playfield.occupied[c] ? 1 + playfield.colour[c] : 0);
    for (std::uint32_t value : {game.score, game.lines, game.level}) mix(value);
    EXPECT_EQ(hash, 11360724992925906457ull)
        << "score " << game.score << " lines " << game.lines << " level " << game.level;
}
