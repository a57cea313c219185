// rulesTest.cpp: dealing, a new game, the placement test, the moves and the turns, against the
// catalogue and orientation tables of the rules.
#include "coreFixture.h"

#include <cstring>

class Rules : public CoreTest {};

TEST_F(Rules, DealingAndANewGame) {
    // Only the low byte of the random value picks the shape, modulo 7.
    const struct { int value; std::uint8_t shape; } deals[] = {
        {0, shapeO}, {7, shapeO}, {252, shapeO}, {255, shapeJ}, {256, shapeO}, {0x7FFF, shapeJ}, {0x104, shapeL}};
    for (const auto& deal : deals) {
        scriptedRandom = {deal.value};
        makeRandomPiece(next);
        EXPECT_EQ(next.colour, deal.shape) << "random value " << deal.value;
    }
    // Every shape enters with col 3, row 0, at the cells of the catalogue.
    const char* entry[shapeCount] = {"1,4 1,5 2,4 2,5", "0,4 1,4 2,4 3,4", "1,4 2,4 2,5 3,4", "1,4 1,5 2,4 3,4",
                                     "1,4 1,5 2,5 3,5", "1,5 2,4 2,5 3,4", "1,4 2,4 2,5 3,5"};
    for (std::uint8_t shape = 0; shape < shapeCount; ++shape) {
        current.col = 9;  // stale position and cells of an earlier piece must not survive
        current.cells[0] = 1;
        scriptedRandom = {shape};
        makeRandomPiece(current);
        EXPECT_EQ(currentCells(), entry[shape]) << "shape " << int(shape);
    }
    // A new game: counters back to their start, the well empty, three pieces in order, the best
    // score read from the file; the clock and the garbage counter carry over.
    writeFile("750");
    game = {999, 12, 7, 400, 3500, 0, 640, 4, 1, 0, 0, 0, 0, 0};
    current.rotationState = 3;
    fillRow(19);
    scriptedRandom = {1, 2, 3};
    newGame();
    EXPECT_EQ((std::vector<std::uint32_t>{current.colour, next.colour, afterNext.colour, current.rotationState}),
              (std::vector<std::uint32_t>{shapeI, shapeT, shapeJ, 0}));
    EXPECT_EQ((std::vector<std::uint32_t>{game.score, game.lines, game.level, game.fallInterval, game.nextLevelScore,
                                          game.hiScore, game.gravityClock, game.garbageCounter}),
              (std::vector<std::uint32_t>{0, 0, 1, 1000, 500, 750, 640, 4}));
    EXPECT_EQ(rowPattern(19), "..........");
}

TEST_F(Rules, MovesStopAtWallsFloorAndBlocksAndChangeNothingWhenRefused) {
    using Move = bool (*)();
    const struct { const char* what; std::uint8_t shape; int row, col, blockRow, blockCol; Move move; bool moved; } cases[] = {
        {"I in column 0, left", shapeI, 5, -1, -1, 0, moveLeft, false},
        {"I in column 9, right", shapeI, 5, 8, -1, 0, moveRight, false},
        {"O on the floor", shapeO, 17, 3, -1, 0, moveDown, false},
        {"O with a block under one column", shapeO, 10, 3, 13, 5, moveDown, false},
        {"O with a block diagonally below-left", shapeO, 10, 3, 13, 3, moveLeft, true},
        {"O with a block right of its upper cell", shapeO, 10, 3, 11, 6, moveRight, false},
    };
    for (const auto& c : cases) {
        resetProgramState();
        placeCurrent(c.shape, c.row, c.col);
        if (c.blockRow >= 0) setCell(c.blockRow, c.blockCol);
        const Piece before = current;
        EXPECT_EQ(c.move(), c.moved) << c.what;
        const int shift = (current.row - before.row) + (current.col - before.col) * (c.move == moveLeft ? -1 : 1);
        EXPECT_EQ(shift, c.moved ? 1 : 0) << c.what;
    }
    current = Piece{};  // a mask without blocks never moves or places
    EXPECT_FALSE(moveDown() || moveLeft() || moveRight() || tryPlace(current));
}

// The orientations of each shape by the number of successful turns since entry, as mask cells
// (read at row 0, col 0): the toggling shapes swing between two, the others run through four.
TEST_F(Rules, EveryShapeTurnsThroughItsOrientations) {
    const std::vector<std::string> orientations[shapeCount] = {
        {"1,1 1,2 2,1 2,2"},
        {"0,1 1,1 2,1 3,1", "1,0 1,1 1,2 1,3"},
        {"1,1 2,1 2,2 3,1", "1,1 2,0 2,1 2,2", "1,1 2,0 2,1 3,1", "2,0 2,1 2,2 3,1"},
        {"1,1 1,2 2,1 3,1", "1,0 2,0 2,1 2,2", "1,1 2,1 3,0 3,1", "2,0 2,1 2,2 3,2"},
        {"1,1 1,2 2,2 3,2", "2,1 2,2 2,3 3,1", "1,2 2,2 3,2 3,3", "1,3 2,1 2,2 2,3"},
        {"1,2 2,1 2,2 3,1", "2,1 2,2 3,2 3,3"},
        {"1,1 2,1 2,2 3,2", "1,1 1,2 2,0 2,1"},
    };
    for (std::uint8_t shape = 0; shape < shapeCount; ++shape) {
        placeCurrent(shape, 8, 3);
        for (std::size_t turn = 1; turn <= 8; ++turn) {
            press(keyUp);
            current.row = current.col = 0;  // undo any clamp so the cells read as mask positions
            EXPECT_EQ(currentCells(), orientations[shape][turn % orientations[shape].size()])
                << "shape " << int(shape) << " turn " << turn;
            current.row = 8;
            current.col = 3;
        }
    }
}

// The clamps of the placement test, reached through turns: the shortest shift back inside.
TEST_F(Rules, TurnsNextToWallsAndFloorArePushedBackAndBlockedTurnsChangeNothing) {
    // shape, turns made at entry, then moved to (row, col): the cells after one more Up
    const struct { std::uint8_t shape; int turnsBefore, row, col; const char* cells; } cases[] = {
        {shapeI, 0, 0, 3, "1,3 1,4 1,5 1,6"},    // a fresh I lies down in row 1
        {shapeI, 1, 0, 3, "0,4 1,4 2,4 3,4"},    // and stands up again
        {shapeI, 0, 5, -1, "6,0 6,1 6,2 6,3"},   // upright in column 0: shifted right by one
        {shapeI, 0, 5, 8, "6,6 6,7 6,8 6,9"},    // upright in column 9: shifted left by two
        {shapeI, 1, 18, 3, "16,4 17,4 18,4 19,4"},  // lying in row 19: stands in rows 16-19
        {shapeT, 1, 17, 3, "17,4 18,3 18,4 19,4"},  // pointing up in rows 18-19: lifted by one
    };
    for (const auto& c : cases) {
        resetProgramState();
        placeCurrent(c.shape, 0, 3);
        for (int i = 0; i < c.turnsBefore; ++i) press(keyUp);
        current.row = static_cast<std::int8_t>(c.row);
        current.col = static_cast<std::int8_t>(c.col);
        press(keyUp);
        EXPECT_EQ(currentCells(), c.cells) << "shape " << int(c.shape) << " at " << c.row << "," << c.col;
    }
    resetProgramState();
    placeCurrent(shapeI, 0, 3);
    setCell(1, 3);
    const Piece before = current;
    press(keyUp);
    EXPECT_EQ(std::memcmp(&current, &before, sizeof current), 0) << "cells, place and counter unchanged";
    playfield.occupied[1 * wellColumns + 3] = 0;
    press(keyUp);
    EXPECT_EQ(currentCells(), "1,3 1,4 1,5 1,6");
    EXPECT_EQ(current.rotationState, 1u);
}
