// settleTest.cpp: locking, the wipe, collapsing rows, scoring, garbage and the blocked entry.
#include "coreFixture.h"

#include "present/sound.h"

class Settle : public CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        newGame();
    }
    static std::string rowPattern(int row) {
        std::string pattern;
        for (int c = 0; c < wellColumns; ++c) pattern += cellAt(row, c) ? 'X' : '.';
        return pattern;
    }
};

TEST_F(Settle, ASettleWithoutFullRowsPaintsTheBlocksButNeitherWipesNorScores) {
    placeCurrent(shapeO, 17, 3);
    settleAndSpawn();
    EXPECT_EQ(rowPattern(19), "....XX....");
    EXPECT_EQ(game.score, 0u);
    EXPECT_EQ(game.lines, 0u);
    EXPECT_TRUE(fake.sounds.empty());
    EXPECT_EQ(fake.sleptMs, 0u);
    EXPECT_EQ(fake.windowDrawingSessions, 1);
    EXPECT_EQ(fake.windowDrawingDepth, 0);
    int tilesOnWindow = 0;
    for (const DrawOp& op : fake.drawOps) tilesOnWindow += op.to == Surface::gameWindow && op.kind == DrawOp::copy;
    EXPECT_EQ(tilesOnWindow, 4) << "the locked piece is painted straight onto the window";
}

TEST_F(Settle, NonAdjacentFullRowsWipeTogetherAndCollapse) {
    setCell(0, 0);  // a block in the top row moves down with the rest
    fillRow(16, {1, 2, 3, 4, 5, 6, 7, 8, 9});
    fillRow(17, {4});
    fillRow(18, {1, 2, 3, 4, 6, 7, 8, 9});
    fillRow(19, {4});
    placeCurrent(shapeI, 16, 3);  // upright in column 4: completes rows 17 and 19 only
    settleAndSpawn();

    EXPECT_EQ(rowPattern(19), "X...XX....") << "the old row 18 drops to the bottom";
    EXPECT_EQ(rowPattern(18), "X...X.....");
    EXPECT_EQ(rowPattern(2), "X.........");
    EXPECT_EQ(rowPattern(1), "..........");
    EXPECT_EQ(rowPattern(0), "..........");
    EXPECT_EQ(game.lines, 2u);
    EXPECT_EQ(game.score, 150u);
    EXPECT_EQ(fake.sounds, std::vector<int>{soundRowsCleared});
    EXPECT_EQ(fake.sleptMs, 10u * 10 + 50);

    // The wipe whitens both rows column by column, left to right.
    std::vector<std::pair<int, int>> whites;
    for (const DrawOp& op : fake.drawOps) {
        if (op.kind == DrawOp::white) {
            EXPECT_EQ(op.to, Surface::gameWindow);
            whites.emplace_back(op.x, op.y);
        }
    }
    ASSERT_EQ(whites.size(), 20u);
    EXPECT_EQ(whites[0], std::make_pair(24, 24 + 24 * 17));
    EXPECT_EQ(whites[1], std::make_pair(24, 24 + 24 * 19));
    EXPECT_EQ(whites[19], std::make_pair(24 + 24 * 9, 24 + 24 * 19));
}

TEST_F(Settle, PointsByRowsAndLevel) {
    const struct { int rows; std::uint32_t level, points; } table[] = {
        {1, 1, 50}, {2, 1, 150}, {3, 1, 450}, {4, 9, 1000}, {1, 10, 150}, {2, 10, 450}, {3, 25, 1350}, {4, 10, 3000}, {0, 30, 0},
    };
    for (const auto& row : table) {
        game.score = 7;
        game.level = row.level;
        fake.sounds.clear();
        scoreLines(static_cast<std::uint8_t>(row.rows));
        EXPECT_EQ(game.score, 7 + row.points) << row.rows << " rows at level " << row.level;
        EXPECT_EQ(fake.sounds.size(), row.rows ? 1u : 0u) << "one sound per clearing settle";
    }
}

TEST_F(Settle, GarbageRowsRiseAtTheirTurnAfterTheClearedRowsAreScored) {
    // The tenth settle at level 10 completes row 19 (+150) and then raises the garbage row.
    game.level = 10;
    game.garbageCounter = 9;
    setCell(0, 2, 3);
    fillRow(19, {4, 5});
    fillRow(18, {0, 4, 5});
    placeCurrent(shapeO, 17, 3);
    scriptRandom({3, 0});  // the garbage hole is drawn before the deal of afterNext
    settleAndSpawn();
    EXPECT_EQ(game.score, 150u);
    EXPECT_EQ(game.garbageCounter, 0u);
    EXPECT_EQ(rowPattern(19), "XXX.XXXXXX") << "hole from the first random value after the clear";
    for (int c = 0; c < wellColumns; ++c) EXPECT_EQ(playfield.colour[19 * wellColumns + c], garbageTile);
    EXPECT_EQ(rowPattern(18), ".XXXXXXXXX") << "the old row 18 dropped by the clear, then lifted by the garbage";
    EXPECT_EQ(rowPattern(0), "..X.......") << "every row moved up one";
}

TEST_F(Settle, AGarbageThresholdThatFallsBelowTheCounterStillRaisesARow) {
    // Reaching level 20 with the counter at 9 lowers the threshold to 9; the counter must not
    // run past it for good.
    game.level = 20;
    game.garbageCounter = 9;
    placeCurrent(shapeO, 17, 3);
    settleAndSpawn();
    EXPECT_EQ(game.garbageCounter, 0u);
    EXPECT_EQ(rowPattern(18), "....XX....");
}

// A garbage row rises at every 10th settle from level 10, 9th from 20, ... 6th at 50, never below 10;
// the first one of a run with the 10th settle made at level 10.
TEST_F(Settle, GarbageThresholdByLevel) {
    for (std::uint32_t level : {9u, 10u, 19u, 20u, 35u, 40u, 50u}) {
        resetProgramState();
        newGame();
        game.level = level;
        const int every = level < 10 ? 0 : 11 - static_cast<int>(level / 10);
        for (int settle = 1; settle <= 30; ++settle) {
            std::memset(playfield.occupied, 0, sizeof playfield.occupied);
            placeCurrent(shapeO, 17, 3);
            settleAndSpawn();
            const bool raised = cellAt(19, 0) || cellAt(19, 1);
            ASSERT_EQ(raised, every && settle % every == 0) << "level " << level << " settle " << settle;
        }
    }
}

TEST_F(Settle, PromotionMovesThePreviewsUpAndDealsANewAfterNext) {
    scriptRandom({1, 2, 3});
    newGame();
    current.rotationState = 2;
    placeCurrent(shapeO, 17, 3);
    scriptRandom({5});
    settleAndSpawn();
    EXPECT_EQ(current.colour, shapeT);
    EXPECT_EQ(current.rotationState, 0u);
    EXPECT_EQ(next.colour, shapeJ);
    EXPECT_EQ(afterNext.colour, shapeZ);
    EXPECT_FALSE(game.gameOver);
}

TEST_F(Settle, ABlockedEntryComposesTheLastFrameAndEndsTheGame) {
    writeHiScoreFile("100000");
    scriptRandom({shapeI, shapeI, shapeI});
    newGame();
    fillRow(2, {0});
    fillRow(19, {4, 5});
    placeCurrent(shapeO, 17, 3);
    game.score = 40;
    fake.boxAnswers = {BoxAnswer::no};
    settleAndSpawn();
    EXPECT_EQ(game.gameOver, 1);
    EXPECT_EQ(game.score, 90u) << "the last settle's points count before the game-over flow";
    EXPECT_EQ(fake.boxTitles(), (std::vector<std::string>{"ゲームオーバー"}));
    EXPECT_EQ(fake.invalidations, 1);
    EXPECT_EQ(fake.closes, std::vector<WindowId>{WindowId::game});
}
