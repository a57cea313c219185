// state.cpp: the piece catalogue, dealing pieces and a new game.
#include <cstring>

#include "game/game.h"

namespace {

struct CatalogueEntry {
    std::uint32_t rotationLimit;
    std::int32_t pivotRow;
    std::int32_t pivotCol;
    std::uint8_t cells[4][2];  // (mask row, mask column) of the four blocks, upright as dealt
};

// Every shape enters upright with its pivot on one of its own blocks; the I, S and Z only
// toggle between two orientations, the O never turns.
const CatalogueEntry catalogue[shapeCount] = {
    {0, 1, 1, {{1, 1}, {1, 2}, {2, 1}, {2, 2}}},  // O
    {1, 1, 1, {{0, 1}, {1, 1}, {2, 1}, {3, 1}}},  // I
    {4, 2, 1, {{1, 1}, {2, 1}, {2, 2}, {3, 1}}},  // T
    {4, 2, 1, {{1, 1}, {1, 2}, {2, 1}, {3, 1}}},  // J
    {4, 2, 2, {{1, 1}, {1, 2}, {2, 2}, {3, 2}}},  // L
    {1, 2, 2, {{1, 2}, {2, 1}, {2, 2}, {3, 1}}},  // Z
    {1, 2, 1, {{1, 1}, {2, 1}, {2, 2}, {3, 2}}},  // S
};

}  // namespace

void makeRandomPiece(Game& game, Piece& slot) {
    slot.col = 3;
    slot.row = 0;
    std::memset(slot.cells, 0, sizeof slot.cells);
    // Only the low byte of the random value picks the shape, which makes O, I, T and J a
    // little more frequent (37 in 256) than L, Z and S (36 in 256).
    const std::uint8_t lowByte = static_cast<std::uint8_t>(game.random.next() & 0xFF);
    const std::uint8_t shape = lowByte % 7;
    const CatalogueEntry& entry = catalogue[shape];
    slot.colour = shape;
    slot.rotationLimit = entry.rotationLimit;
    slot.pivotCol = entry.pivotCol;
    slot.pivotRow = entry.pivotRow;
    for (const auto& cell : entry.cells) {
        slot.cells[cell[0] * 4 + cell[1]] = 1;
    }
}

void newGame(Game& game, std::uint32_t hiScore) {
    game.score = 0;
    game.fallInterval = 1000;
    game.level = 1;
    game.lines = 0;
    game.nextLevelScore = 500;
    game.hiScore = hiScore;
    // Only the occupied plane is cleared: colour means nothing where no block lies. The clock, the
    // garbage counter, the key latch and the lockout carry over from the game before.
    std::memset(game.playfield.occupied, 0, sizeof game.playfield.occupied);
    makeRandomPiece(game, game.current);
    makeRandomPiece(game, game.next);
    makeRandomPiece(game, game.afterNext);
    game.current.rotationState = 0;
    game.gameOver = 0;
}
