// rulesTest.cpp: dealing, the moves and the turns, against the catalogue and the
// orientation tables of the rules.
#include "coreFixture.h"

class Rules : public CoreTest {};

// The orientations of each shape by the number of successful turns since entry, as mask cells:
// the toggling shapes swing between two, the others run through four, the O never turns. Dealing:
// only the low byte of the random value picks the shape, modulo 7, and every shape enters at col 3,
// row 0 in its first orientation, whatever the slot held before.
TEST_F(Rules, DealingAndTurningEveryShapeThroughItsOrientations) {
    // clang-format off
    const std::vector<std::string> orientations[shapeCount] = {
        {"1,1 1,2 2,1 2,2"}, {"0,1 1,1 2,1 3,1", "1,0 1,1 1,2 1,3"},
        {"1,1 2,1 2,2 3,1", "1,1 2,0 2,1 2,2", "1,1 2,0 2,1 3,1", "2,0 2,1 2,2 3,1"},
        {"1,1 1,2 2,1 3,1", "1,0 2,0 2,1 2,2", "1,1 2,1 3,0 3,1", "2,0 2,1 2,2 3,2"},
        {"1,1 1,2 2,2 3,2", "2,1 2,2 2,3 3,1", "1,2 2,2 3,2 3,3", "1,3 2,1 2,2 2,3"},
        {"1,2 2,1 2,2 3,1", "2,1 2,2 3,2 3,3"}, {"1,1 2,1 2,2 3,2", "1,1 1,2 2,0 2,1"}};
    const std::pair<int, int> deals[] = {{0, shapeO}, {7, shapeO}, {252, shapeO}, {256, shapeO}, {255, shapeJ},
        {0x7FFF, shapeJ}, {3, shapeJ}, {1, shapeI}, {2, shapeT}, {0x104, shapeL}, {5, shapeZ}, {6, shapeS}};
    // clang-format on
    for (const auto& [value, shape] : deals) {
        current = {0, 0, 0, 0, {1}, 0, 9, 9};
        scriptNext(value);
        makeRandomPiece(game, current);
        EXPECT_EQ(std::pair(int(current.row), int(current.col)), std::pair(0, 3)) << "random value " << value;
        current.row = current.col = 0;
        EXPECT_EQ(currentCells(), orientations[shape][0]) << "random value " << value;
    }
    for (std::uint8_t shape = 0; shape < shapeCount; ++shape) {
        placeCurrent(shape, 0, 0);
        for (std::size_t turn = 1; turn <= 8; ++turn) {
            current.row = 8;  // room to turn; read back at 0,0 so the cells are mask positions
            press(Key::turn);
            current.row = current.col = 0;
            EXPECT_EQ(currentCells(), orientations[shape][turn % orientations[shape].size()])
                << "shape " << int(shape) << " turn " << turn;
        }
    }
}

// One key press on a piece placed at (row, col) after some turns at its entry, beside a settled
// block when one is given: its cells afterwards, or `refused` when nothing of the piece changes.
// The rows: an O beside a block diagonally below-left, which does not stop it; turns pushed back
// inside by the shortest shift, from columns 0 and 9, from row 19, from rows 18-19. (A move or a
// turn into a wall, the floor or a block is the random play's: its falling piece must stay inside
// the well and off the blocks, which any such move let through breaks within a few games.)
TEST_F(Rules, KeysMoveAndTurnPastBlocksBesideAndArePushedBackInside) {
    constexpr const char* refused = "refused";
    // clang-format off
    const struct { int shape, turns, row, col, blockRow, blockCol; Key key; const char* cells; } cases[] = {
        {shapeO, 0, 10, 3, 13, 3, Key::left, "11,3 11,4 12,3 12,4"},
        {shapeI, 0, 5, -1, -1, 0, Key::turn, "6,0 6,1 6,2 6,3"}, {shapeI, 0, 5, 8, -1, 0, Key::turn, "6,6 6,7 6,8 6,9"},
        {shapeI, 1, 18, 3, -1, 0, Key::turn, "16,4 17,4 18,4 19,4"},
        {shapeT, 1, 17, 3, -1, 0, Key::turn, "17,4 18,3 18,4 19,4"}};
    // clang-format on
    for (const auto& c : cases) {
        resetProgram();
        placeCurrent(static_cast<std::uint8_t>(c.shape), 0, 3);
        for (int i = 0; i < c.turns; ++i) press(Key::turn);
        current.row = static_cast<std::int8_t>(c.row), current.col = static_cast<std::int8_t>(c.col);
        if (c.blockRow >= 0) setCell(c.blockRow, c.blockCol);
        const Piece before = current;
        press(c.key);
        const bool unchanged = current == before;
        EXPECT_EQ(unchanged ? refused : currentCells(), c.cells) << "case " << &c - cases;
    }
}
