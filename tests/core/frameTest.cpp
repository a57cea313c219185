// frameTest.cpp: a new game, and what a composed frame draws, in which order and where.
#include "coreFixture.h"

#include "present/frame.h"

class Frame : public CoreTest {};

// A 24x24 tile k (at 0,24k of the sheet) drawn at x,y of the back buffer.
static std::string tile(int x, int y, int k) {
    return "back " + std::to_string(x) + "," + std::to_string(y) + " 24x24 <- tiles 0," + std::to_string(24 * k);
}

TEST_F(Frame, ANewGameDrawsBackgroundBlocksPiecesAndScorePanelInThatOrder) {
    // A new game over a played one: the counters back to their start (the panel shows them), the
    // well empty, three pieces dealt in order; the clock and the garbage counter carry over. (The
    // best score read from the file is the score flows' to check.)
    game.score = 999, game.lines = 12, game.level = 7, game.fallInterval = 400, game.nextLevelScore = 3500;
    game.gravityClock = 640, game.garbageCounter = 4;
    current.rotationState = 3;
    fillRow(19);
    game.random.state = seedOfTIZ;
    newGame(game, 0);
    EXPECT_EQ((std::vector<std::uint32_t>{0, 1000, 500, 640, 4}),
              (std::vector{current.rotationState, game.fallInterval, game.nextLevelScore, game.gravityClock,
                           game.garbageCounter}));
    composeFrame(game);
    // The falling T at its entry, then the I and the Z with mask cell (0,0) on their box corners.
    EXPECT_EQ(fake.drawing, (std::vector<std::string>{
                                "begin frame", "back 0,0 408x524 <- backdrop 0,0", tile(120, 48, 2), tile(120, 72, 2),
                                tile(144, 72, 2), tile(120, 96, 2), tile(312, 24, 1), tile(312, 48, 1),
                                tile(312, 72, 1), tile(312, 96, 1), tile(336, 168, 5), tile(312, 192, 5),
                                tile(336, 192, 5), tile(312, 216, 5), "back 288,264 SCORE", "back 288,288 0000000",
                                "back 288,336 LINE", "back 288,360 0000", "back 288,408 LEVEL  1"}));

    // A garbage row's hole keeps tile 7 but shows the background; a piece at a blocked entry is
    // drawn over the block that stops it; large numbers grow their fields.
    fake.clear();
    fillRow(19, {6}, garbageTile);
    setCell(2, 4, 3);
    game.next = game.afterNext = Piece{};
    game.score = 3'000'000'000u, game.lines = 12345, game.level = 50;
    composeFrame(game);
    std::vector<std::string> expected = {"begin frame", "back 0,0 408x524 <- backdrop 0,0", tile(120, 72, 3)};
    for (int c : {0, 1, 2, 3, 4, 5, 7, 8, 9}) expected.push_back(tile(24 + 24 * c, 480, 7));
    for (auto [x, y] : {std::pair{120, 48}, {120, 72}, {144, 72}, {120, 96}}) expected.push_back(tile(x, y, 2));
    expected.insert(expected.end(), {"back 288,264 SCORE", "back 288,288 3000000000", "back 288,336 LINE",
                                     "back 288,360 12345", "back 288,408 LEVEL  50"});
    EXPECT_EQ(fake.drawing, expected);
}
