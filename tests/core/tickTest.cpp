// tickTest.cpp: the tick: gravity, the lock delay, level-ups and when a tick idles.
#include "coreFixture.h"

class Tick : public CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        newGame();
        game.gravityClock = 0;
    }
    static void setLevel(std::uint32_t level) {
        game.level = level;
        game.fallInterval = level < 9 ? 1000 - 100 * (level - 1) : 200;
        game.score = 500 * (level - 1);
        game.nextLevelScore = 500 * level;
    }
    // Ticks until `current` leaves its row by gravity; -1 if it has not after `limit`.
    static int ticksUntilFall(int limit = 200) {
        const int row = current.row;
        for (int ticks = 1; ticks <= limit; ++ticks) {
            gravityStep();
            if (current.row != row) return ticks;
        }
        return -1;
    }
};

TEST_F(Tick, TicksPerRowAndToTheSettleOfARestingPieceByLevel) {
    const struct { std::uint32_t level; int perRow; int toSettle; } rows[] = {
        {1, 31, 55}, {2, 28, 52}, {3, 25, 49}, {4, 22, 46}, {5, 19, 43}, {6, 16, 40},
        {7, 13, 37}, {8, 10, 34}, {9, 7, 31}, {10, 7, 31}, {50, 7, 31},
    };
    for (const auto& row : rows) {
        resetProgramState();
        newGame();
        setLevel(row.level);
        placeCurrent(shapeO, 5, 3);
        game.gravityClock = 0;
        EXPECT_EQ(ticksUntilFall(), row.perRow) << "level " << row.level;
        placeCurrent(shapeO, 17, 3);  // resting on the floor
        game.gravityClock = 0;
        EXPECT_EQ(ticksUntilSettle(), row.toSettle) << "level " << row.level;
        EXPECT_EQ(game.gravityClock, 0u);
        EXPECT_EQ(game.downLockout, 1);
    }
}

TEST_F(Tick, LevelUpsFollowTheScoreAndMaySkipLevels) {
    const struct { std::uint32_t fromLevel, score, level, nextLevelScore, fallInterval; } rows[] = {
        {1, 499, 1, 500, 1000},
        {1, 500, 2, 1000, 900},
        {1, 1495, 3, 1500, 800},   // two levels at once
        {8, 4600, 10, 5000, 200},  // only the raise to 9 shortens the fall
        {49, 30000, 50, 30500, 200},
        {50, 26000, 50, 26500, 200},
    };
    for (const auto& row : rows) {
        setLevel(row.fromLevel);
        game.score = row.score;
        placeCurrent(shapeO, 5, 3);
        gravityStep();
        EXPECT_EQ(game.level, row.level) << "score " << row.score;
        EXPECT_EQ(game.nextLevelScore, row.nextLevelScore) << "score " << row.score;
        EXPECT_EQ(game.fallInterval, row.fallInterval) << "score " << row.score;
    }
}

TEST_F(Tick, AScoreNearTheTopOfTheCounterDoesNotStallTheTick) {
    // A jump of millions of levels must not loop once per 500 points.
    game.score = 4'000'000'000u;
    gravityStep();
    EXPECT_EQ(game.level, 50u);
    EXPECT_EQ(game.fallInterval, 200u);
}

TEST_F(Tick, AHardDropSettlesOnTheNextTickAfterTheLevelCheck) {
    game.score = 480;
    placeCurrent(shapeI, 1, 3);  // upright in column 4, rows 1-4
    game.gravityClock = 500;
    for (int row = 16; row < 20; ++row) fillRow(row, {4});
    // 15 rows of drop (480 -> 495), then the settle fills four rows (+1000).
    std::uint32_t rows = 0;
    while (moveDown()) ++rows;
    game.score += rows;
    game.hardDropPending = 1;
    EXPECT_EQ(game.score, 495u);
    EXPECT_TRUE(gravityStep());
    EXPECT_EQ(game.score, 1495u);
    EXPECT_EQ(game.level, 1u) << "the settle's own points raise the level on the next tick";
    EXPECT_EQ(game.hardDropPending, 0);
    gravityStep();
    EXPECT_EQ(game.level, 3u);
    EXPECT_EQ(game.nextLevelScore, 1500u);
    EXPECT_EQ(game.fallInterval, 800u);
}

TEST_F(Tick, KeyboardMovesNeverRenewTheLockDelay) {
    // A piece on a ledge slid off it falls on the very next tick instead of settling.
    setCell(10, 4);
    setCell(10, 5);
    placeCurrent(shapeO, 7, 3);  // resting on the ledge
    for (int i = 0; i < 40; ++i) ASSERT_FALSE(gravityStep());
    EXPECT_EQ(current.row, 7);
    ASSERT_TRUE(moveRight());
    ASSERT_TRUE(moveRight());
    EXPECT_FALSE(gravityStep());
    EXPECT_EQ(current.row, 8);
    EXPECT_EQ(game.gravityClock, 0u);
}

TEST_F(Tick, DownHeldAtASettleKeepsTheLockoutUntilAKeyUp) {
    placeCurrent(shapeO, 17, 3);
    game.gravityClock = 1800;
    fake.downHeld = true;
    onTimerTick();
    EXPECT_EQ(game.downLockout, 1);
    onTimerTick();  // no settle in this tick: the lockout is left alone
    EXPECT_EQ(game.downLockout, 1);

    placeCurrent(shapeO, 17, 3);
    game.gravityClock = 1800;
    fake.downHeld = false;
    onTimerTick();
    EXPECT_EQ(game.downLockout, 0);
}

TEST_F(Tick, IdleTicksSleepAndChangeNothing) {
    placeCurrent(shapeO, 5, 3);
    game.gravityClock = 990;
    const GameState before = game;
    for (auto idle : {+[] { game.windowActive = 0; }, +[] { game.rankingPending = 1; }, +[] { game.gameOver = 1; }}) {
        game = before;
        fake.clear();
        idle();
        onTimerTick();
        EXPECT_EQ(fake.sleptMs, 1u);
        EXPECT_EQ(fake.drawOps.size(), 0u);
        EXPECT_EQ(fake.invalidations, 0);
        EXPECT_EQ(game.gravityClock, 990u);
        EXPECT_EQ(current.row, 5);
    }
    game = before;
    fake.clear();
    onTimerTick();
    EXPECT_EQ(current.row, 6);
    EXPECT_EQ(fake.invalidations, 1) << "every working tick composes a frame";
}
