// frameTest.cpp: what a composed frame draws, in which order and where.
#include "coreFixture.h"

#include <algorithm>

#include "present/frame.h"

class Frame : public CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        scriptRandom({shapeT, shapeI, shapeZ});
        newGame();
    }
    static std::vector<std::string> texts() {
        std::vector<std::string> lines;
        for (const DrawOp& op : fake.drawOps) {
            if (op.kind == DrawOp::print) lines.push_back(std::to_string(op.x) + "," + std::to_string(op.y) + " " + op.text);
        }
        return lines;
    }
    // Tile copies into the back buffer as "x,y:tile".
    static std::vector<std::string> tiles() {
        std::vector<std::string> out;
        for (const DrawOp& op : fake.drawOps) {
            if (op.kind == DrawOp::copy && op.from == Surface::tileSheet) {
                EXPECT_EQ(op.width, 24);
                EXPECT_EQ(op.height, 24);
                EXPECT_EQ(op.fromX, 0);
                out.push_back(std::to_string(op.x) + "," + std::to_string(op.y) + ":" + std::to_string(op.fromY / 24));
            }
        }
        return out;
    }
};

TEST_F(Frame, AFreshGameShowsBackgroundPiecesAndTheFiveScoreLines) {
    composeFrame();
    ASSERT_FALSE(fake.drawOps.empty());
    const DrawOp& first = fake.drawOps.front();
    EXPECT_EQ(first.kind, DrawOp::copy);
    EXPECT_EQ(first.from, Surface::backdrop);
    EXPECT_EQ((std::vector<int>{first.x, first.y, first.width, first.height, first.fromX, first.fromY}),
              (std::vector<int>{0, 0, 408, 524, 0, 0}));
    for (const DrawOp& op : fake.drawOps) EXPECT_EQ(op.to, Surface::backBuffer);
    EXPECT_EQ(texts(), (std::vector<std::string>{"288,264 SCORE", "288,288 0000000", "288,336 LINE", "288,360 0000",
                                                 "288,408 LEVEL  1"}));
    // The falling T at well rows 1-3, then the I and the Z in their boxes, mask cell (0,0) at the box corner.
    EXPECT_EQ(tiles(), (std::vector<std::string>{
                           "120,48:2", "120,72:2", "144,72:2", "120,96:2",
                           "312,24:1", "312,48:1", "312,72:1", "312,96:1",
                           "336,168:5", "312,192:5", "336,192:5", "312,216:5"}));
    EXPECT_EQ(fake.invalidations, 1);
}

TEST_F(Frame, SettledBlocksComeBeforeThePiecesAndGarbageHolesStayEmpty) {
    fillRow(19, {6}, garbageTile);
    playfield.colour[19 * wellColumns + 6] = garbageTile;  // the hole keeps tile 7 but is not drawn
    setCell(18, 0, 4);
    current = Piece{};
    next = Piece{};
    afterNext = Piece{};
    composeFrame();
    std::vector<std::string> expected = {"24,456:4"};
    for (int c = 0; c < wellColumns; ++c) {
        if (c != 6) expected.push_back(std::to_string(24 + 24 * c) + ",480:7");
    }
    EXPECT_EQ(tiles(), expected);
}

TEST_F(Frame, LargeNumbersGrowTheirFieldsInsteadOfBeingCut) {
    game.score = 123456789;
    game.lines = 12345;
    game.level = 50;
    composeFrame();
    const auto lines = texts();
    EXPECT_EQ(lines[1], "288,288 123456789");
    EXPECT_EQ(lines[3], "288,360 12345");
    EXPECT_EQ(lines[4], "288,408 LEVEL  50");
    game.score = 3'000'000'000u;  // beyond the signed range it still reads as the points it is
    fake.clear();
    composeFrame();
    EXPECT_EQ(texts()[1], "288,288 3000000000");
}

TEST_F(Frame, AtAGameOverThePieceIsDrawnOverTheBlocksThatStopIt) {
    fillRow(2, {0});
    current.row = 0;
    composeFrame();
    const auto drawn = tiles();
    // The falling T's block at well (2,4) is drawn after the settled block there.
    const auto settled = std::find(drawn.begin(), drawn.end(), "120,72:1");
    const auto piece = std::find(drawn.begin(), drawn.end(), "120,72:2");
    ASSERT_NE(settled, drawn.end());
    ASSERT_NE(piece, drawn.end());
    EXPECT_LT(settled, piece);
}
