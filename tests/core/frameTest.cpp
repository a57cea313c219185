// frameTest.cpp: what a composed frame draws, in which order and where.
#include "coreFixture.h"

#include "present/frame.h"

// Every drawing of a frame as "kind x,y[:tile or text]", kind c (copy) or t (text).
static std::vector<std::string> frameOps() {
    std::vector<std::string> ops;
    for (const DrawOp& op : fake.drawOps) {
        EXPECT_EQ(op.to, Surface::backBuffer);
        std::string at = std::to_string(op.x) + "," + std::to_string(op.y);
        if (op.kind == DrawOp::print) ops.push_back("t " + at + " " + op.text);
        if (op.kind == DrawOp::copy && op.from == Surface::tileSheet && op.width == 24 && op.height == 24 && op.fromX == 0)
            ops.push_back("c " + at + ":" + std::to_string(op.fromY / 24));
        if (op.kind == DrawOp::copy && op.from == Surface::backdrop)
            ops.push_back("backdrop " + at + " " + std::to_string(op.width) + "x" + std::to_string(op.height));
    }
    return ops;
}

class Frame : public CoreTest {};

TEST_F(Frame, BackgroundBlocksPiecesAndScorePanelInThatOrder) {
    scriptedRandom = {shapeT, shapeI, shapeZ};
    newGame();
    composeFrame();
    // The falling T at its entry, then the I and the Z with mask cell (0,0) on their box corners.
    EXPECT_EQ(frameOps(), (std::vector<std::string>{
        "backdrop 0,0 408x524", "c 120,48:2", "c 120,72:2", "c 144,72:2", "c 120,96:2",
        "c 312,24:1", "c 312,48:1", "c 312,72:1", "c 312,96:1", "c 336,168:5", "c 312,192:5", "c 336,192:5", "c 312,216:5",
        "t 288,264 SCORE", "t 288,288 0000000", "t 288,336 LINE", "t 288,360 0000", "t 288,408 LEVEL  1"}));
    EXPECT_EQ(fake.invalidations, 1);

    // A garbage row's hole keeps tile 7 but shows the background; a piece at a blocked entry is
    // drawn over the block that stops it; large numbers grow their fields.
    fake.clear();
    fillRow(19, {6});
    for (int c = 0; c < wellColumns; ++c) playfield.colour[190 + c] = garbageTile;
    setCell(2, 4, 3);
    next = afterNext = Piece{};
    game.score = 3'000'000'000u;
    game.lines = 12345;
    game.level = 50;
    composeFrame();
    std::vector<std::string> expected = {"backdrop 0,0 408x524", "c 120,72:3"};
    for (int c = 0; c < wellColumns; ++c) {
        if (c != 6) expected.push_back("c " + std::to_string(24 + 24 * c) + ",480:7");
    }
    for (const char* cell : {"c 120,48:2", "c 120,72:2", "c 144,72:2", "c 120,96:2"}) expected.push_back(cell);
    for (const char* text : {"t 288,264 SCORE", "t 288,288 3000000000", "t 288,336 LINE", "t 288,360 12345", "t 288,408 LEVEL  50"})
        expected.push_back(text);
    EXPECT_EQ(frameOps(), expected);
}
