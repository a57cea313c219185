// rulesTest.cpp: dealing, the placement test, the moves and the turns.
#include "coreFixture.h"

#include <cstring>
#include <set>

using Cells = std::vector<std::string>;

class Rules : public CoreTest {};

// ---- dealing ----

TEST_F(Rules, OnlyTheLowByteOfTheRandomValuePicksTheShape) {
    const struct { int value; std::uint8_t shape; } rows[] = {
        {0, shapeO}, {7, shapeO}, {252, shapeO}, {255, shapeJ}, {256, shapeO}, {0x7FFF, shapeJ}, {6, shapeS}, {0x104, shapeL},
    };
    for (const auto& row : rows) {
        scriptRandom({row.value});
        makeRandomPiece(next);
        EXPECT_EQ(next.colour, row.shape) << "random value " << row.value;
    }
}

TEST_F(Rules, EveryDealtPieceEntersAtColumnThreeRowZeroWithItsCatalogueCells) {
    const Cells entry[shapeCount] = {
        {"1,4", "1,5", "2,4", "2,5"}, {"0,4", "1,4", "2,4", "3,4"}, {"1,4", "2,4", "2,5", "3,4"},
        {"1,4", "1,5", "2,4", "3,4"}, {"1,4", "1,5", "2,5", "3,5"}, {"1,5", "2,4", "2,5", "3,4"},
        {"1,4", "2,4", "2,5", "3,5"},
    };
    for (std::uint8_t shape = 0; shape < shapeCount; ++shape) {
        current.col = 9;  // stale position and cells from an earlier piece must not survive
        current.cells[0] = 1;
        scriptRandom({shape});
        makeRandomPiece(current);
        EXPECT_EQ(currentCells(), entry[shape]) << "shape " << int(shape);
        const std::uint8_t pivot = current.cells[current.pivotRow * 4 + current.pivotCol];
        EXPECT_EQ(pivot, 1) << "the pivot of shape " << int(shape) << " is one of its blocks";
    }
}

TEST_F(Rules, NewGameDealsThreePiecesInOrderAndKeepsClockAndGarbageCounter) {
    game.gravityClock = 640;
    game.garbageCounter = 4;
    game.score = 999;
    game.level = 7;
    current.rotationState = 3;
    fillRow(19);
    scriptRandom({1, 2, 3});
    newGame();
    EXPECT_EQ(current.colour, shapeI);
    EXPECT_EQ(next.colour, shapeT);
    EXPECT_EQ(afterNext.colour, shapeJ);
    EXPECT_EQ(current.rotationState, 0u);
    EXPECT_EQ((std::vector<std::uint32_t>{game.score, game.lines, game.level, game.fallInterval, game.nextLevelScore}),
              (std::vector<std::uint32_t>{0, 0, 1, 1000, 500}));
    EXPECT_EQ(game.gravityClock, 640u);
    EXPECT_EQ(game.garbageCounter, 4u);
    for (int i = 0; i < wellCells; ++i) ASSERT_EQ(playfield.occupied[i], 0) << i;
}

// ---- moves ----

TEST_F(Rules, WallsStopTheMovesAtTheOuterColumns) {
    placeCurrent(shapeI, 5, -1);  // blocks in column 0
    EXPECT_FALSE(moveLeft());
    EXPECT_EQ(current.col, -1);
    placeCurrent(shapeI, 5, 8);  // blocks in column 9
    EXPECT_FALSE(moveRight());
    EXPECT_EQ(current.col, 8);
    placeCurrent(shapeO, 5, 0);
    EXPECT_TRUE(moveLeft());
    EXPECT_FALSE(moveLeft());
    EXPECT_EQ(current.col, -1);
    placeCurrent(shapeO, 5, 6);
    EXPECT_TRUE(moveRight());
    EXPECT_FALSE(moveRight());
    EXPECT_EQ(current.col, 7);
}

TEST_F(Rules, FloorAndSettledBlocksStopTheFall) {
    placeCurrent(shapeO, 17, 3);  // lowest blocks in row 19
    EXPECT_FALSE(moveDown());
    placeCurrent(shapeO, 16, 3);
    EXPECT_TRUE(moveDown());
    EXPECT_EQ(current.row, 17);

    // Only one of the O's two columns has a block below it: still refused.
    placeCurrent(shapeO, 10, 3);
    setCell(13, 5);
    EXPECT_FALSE(moveDown());
    EXPECT_EQ(current.row, 10);
}

TEST_F(Rules, SideMovesAreBlockedBesideButNotDiagonallyBelow) {
    placeCurrent(shapeO, 10, 3);  // blocks in rows 11-12, columns 4-5
    setCell(13, 3);               // diagonally below-left
    EXPECT_TRUE(moveLeft());
    placeCurrent(shapeO, 10, 3);
    setCell(12, 3);               // directly left of the lower block
    EXPECT_FALSE(moveLeft());
    EXPECT_EQ(current.col, 3);
    setCell(11, 6);
    EXPECT_FALSE(moveRight());
}

TEST_F(Rules, AnEmptyMaskNeverMovesOrPlaces) {
    current = Piece{};
    EXPECT_FALSE(moveDown());
    EXPECT_FALSE(moveLeft());
    EXPECT_FALSE(moveRight());
    Piece empty{};
    EXPECT_FALSE(tryPlace(empty));
}

TEST_F(Rules, TryPlaceClampsIntoTheWellThenTestsCollisions) {
    placeCurrent(shapeO, 0, 3);
    const Piece before = current;

    Piece low{};
    low.cells[3 * 4 + 1] = low.cells[2 * 4 + 1] = low.cells[1 * 4 + 1] = low.cells[0 * 4 + 1] = 1;  // upright I
    low.row = 18;  // would reach row 21
    low.col = 2;
    EXPECT_TRUE(tryPlace(low));
    EXPECT_EQ(current.row, 16);
    EXPECT_EQ(currentCells(), (Cells{"16,3", "17,3", "18,3", "19,3"}));

    Piece left = low;
    left.row = 0;
    left.col = -2;  // leftmost block in column -1
    EXPECT_TRUE(tryPlace(left));
    EXPECT_EQ(current.col, -1);

    Piece right{};
    right.cells[1 * 4 + 0] = right.cells[1 * 4 + 1] = right.cells[1 * 4 + 2] = right.cells[1 * 4 + 3] = 1;  // lying I
    right.col = 8;  // rightmost block in column 11
    EXPECT_TRUE(tryPlace(right));
    EXPECT_EQ(current.col, 6);

    current = before;
    setCell(1, 6);
    Piece blocked = right;
    blocked.col = 8;
    EXPECT_FALSE(tryPlace(blocked));
    EXPECT_EQ(blocked.col, 6) << "the clamp stays in the refused candidate";
    EXPECT_EQ(std::memcmp(&current, &before, sizeof current), 0) << "a refused placement changes nothing";
}

// ---- turns ----

TEST_F(Rules, TheOrientationsOfEveryShapeMatchTheCatalogue) {
    // Cells of each orientation, numbered by the count of successful turns since entry.
    const std::vector<Cells> orientations[shapeCount] = {
        {},
        {{"0,1", "1,1", "2,1", "3,1"}, {"1,0", "1,1", "1,2", "1,3"}},
        {{"1,1", "2,1", "2,2", "3,1"}, {"1,1", "2,0", "2,1", "2,2"}, {"1,1", "2,0", "2,1", "3,1"}, {"2,0", "2,1", "2,2", "3,1"}},
        {{"1,1", "1,2", "2,1", "3,1"}, {"1,0", "2,0", "2,1", "2,2"}, {"1,1", "2,1", "3,0", "3,1"}, {"2,0", "2,1", "2,2", "3,2"}},
        {{"1,1", "1,2", "2,2", "3,2"}, {"2,1", "2,2", "2,3", "3,1"}, {"1,2", "2,2", "3,2", "3,3"}, {"1,3", "2,1", "2,2", "2,3"}},
        {{"1,2", "2,1", "2,2", "3,1"}, {"2,1", "2,2", "3,2", "3,3"}},
        {{"1,1", "2,1", "2,2", "3,2"}, {"1,1", "1,2", "2,0", "2,1"}},
    };
    for (std::uint8_t shape = 1; shape < shapeCount; ++shape) {
        placeCurrent(shape, 8, 3);
        current.row = 0;
        current.col = 0;
        const auto& expected = orientations[shape];
        for (std::size_t turn = 1; turn <= 8; ++turn) {
            ASSERT_TRUE(rotateCurrent()) << "shape " << int(shape) << " turn " << turn;
            countTurn(true);
            current.row = 0;  // undo any clamp so the cells read as mask positions
            current.col = 0;
            EXPECT_EQ(currentCells(), expected[turn % expected.size()]) << "shape " << int(shape) << " turn " << turn;
        }
    }
}

TEST_F(Rules, AnOTurnsNever) {
    placeCurrent(shapeO, 5, 3);
    const Piece before = current;
    for (int i = 0; i < 5; ++i) {
        EXPECT_FALSE(rotateCurrent());
        countTurn(false);
    }
    EXPECT_EQ(std::memcmp(&current, &before, sizeof current), 0);
}

TEST_F(Rules, AFreshITogglesBetweenUprightAndLying) {
    placeCurrent(shapeI, 0, 3);
    countTurn(rotateCurrent());
    EXPECT_EQ(currentCells(), (Cells{"1,3", "1,4", "1,5", "1,6"}));
    countTurn(rotateCurrent());
    EXPECT_EQ(currentCells(), (Cells{"0,4", "1,4", "2,4", "3,4"}));
    EXPECT_EQ(current.rotationState, 0u);
}

TEST_F(Rules, TurnsNextToWallsAndFloorArePushedBackInside) {
    placeCurrent(shapeI, 5, -1);  // upright in column 0
    countTurn(rotateCurrent());
    EXPECT_EQ(currentCells(), (Cells{"6,0", "6,1", "6,2", "6,3"}));
    placeCurrent(shapeI, 5, 8);  // upright in column 9
    countTurn(rotateCurrent());
    EXPECT_EQ(currentCells(), (Cells{"6,6", "6,7", "6,8", "6,9"}));

    // A lying I in row 19 stands up in rows 16-19.
    placeCurrent(shapeI, 0, 3);
    countTurn(rotateCurrent());
    current.row = 18;
    countTurn(rotateCurrent());
    EXPECT_EQ(currentCells(), (Cells{"16,4", "17,4", "18,4", "19,4"}));

    // A T pointing up in rows 18-19 turns to point left and is lifted by one row.
    placeCurrent(shapeT, 0, 3);
    countTurn(rotateCurrent());
    current.row = 17;
    countTurn(rotateCurrent());
    EXPECT_EQ(currentCells(), (Cells{"17,4", "18,3", "18,4", "19,4"}));
}

TEST_F(Rules, ARefusedTurnChangesNothingAndTheSameTurnWorksOnceClear) {
    placeCurrent(shapeI, 0, 3);
    setCell(1, 3);
    const Piece before = current;
    countTurn(rotateCurrent());
    EXPECT_EQ(std::memcmp(&current, &before, sizeof current), 0);
    playfield.occupied[1 * wellColumns + 3] = 0;
    countTurn(rotateCurrent());
    EXPECT_EQ(currentCells(), (Cells{"1,3", "1,4", "1,5", "1,6"}));
    EXPECT_EQ(current.rotationState, 1u);
}

TEST_F(Rules, TogglingShapesShowOnlyTwoOrientationsWhateverTheRefusals) {
    for (std::uint8_t shape : {shapeI, shapeS, shapeZ}) {
        resetProgramState();
        placeCurrent(shape, 8, 3);
        std::set<Cells> seen;
        for (int i = 0; i < 60; ++i) {
            // Obstacles come and go so that some turns are refused.
            playfield.occupied[9 * wellColumns + (i % 10)] = (i % 3 == 0);
            countTurn(rotateCurrent());
            Piece masked = current;
            Cells mask;
            for (int k = 0; k < 16; ++k) {
                if (masked.cells[k]) mask.push_back(std::to_string(k));
            }
            seen.insert(mask);
            ASSERT_EQ(mask.size(), 4u);
        }
        EXPECT_EQ(seen.size(), 2u) << "shape " << int(shape);
    }
}
