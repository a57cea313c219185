// game.h: the well, the pieces, the counters and every rule of play, on a game value the caller
// owns. Time and input come in as calls (a tick, a key, the Down key's state after a settle); what
// the rules did comes back as results. Nothing here draws, sounds, reads a file or keeps state of
// its own, so any number of games can run at once, on any threads. Refusable operations return
// true when done and change nothing otherwise.
#pragma once

#include <cstdint>

constexpr int wellColumns = 10;
constexpr int wellRows = 20;
constexpr int wellCells = wellColumns * wellRows;

// Each tick moves the game's clock on by this many milliseconds.
constexpr std::uint32_t tickMs = 33;

// The settled blocks: occupied is 1 where a block lies; colour is its tile (0-7) and means
// nothing where occupied is 0.
struct Playfield {
    std::uint8_t occupied[wellCells];
    std::uint8_t colour[wellCells];
    bool operator==(const Playfield&) const = default;
};

// A four-cell piece as a 4x4 mask (row-major) placed with its mask cell (0,0) at well (row, col).
struct Piece {
    std::uint32_t rotationLimit;  // 0 never turns, 1 toggles between two orientations, 4 turns freely
    std::uint32_t rotationState;  // turn counter, kept by the turn key's handler
    std::int32_t pivotCol;
    std::int32_t pivotRow;
    std::uint8_t cells[16];
    std::uint8_t colour;  // shape index 0-6, also the tile it is drawn with
    std::int8_t col;
    std::int8_t row;
    bool operator==(const Piece&) const = default;
};

enum ShapeIndex : std::uint8_t { shapeO, shapeI, shapeT, shapeJ, shapeL, shapeZ, shapeS, shapeCount };
constexpr std::uint8_t garbageTile = 7;

// The game's one pseudo-random generator, the same on every platform: the classic C runtime's
// linear congruential one, so that a seed deals the same pieces and garbage holes everywhere.
struct Random {
    std::uint32_t state = 0;
    int next() {
        state = state * 214013u + 2531011u;
        return static_cast<int>((state >> 16) & 0x7FFF);
    }
    bool operator==(const Random&) const = default;
};

// The keys the game knows, by what they do; every other key is `other`, which still holds the key
// latch. The shells map their own keys to these once; a recording stores them by these numbers.
enum class Key : std::uint8_t { other, drop, left, turn, right, down, quit, pause };
constexpr int keyCount = 8;

// The sound a rule calls for; none when it calls for none.
enum class Sound : std::uint8_t { turn, move, rowsCleared, hardDrop, none };

struct Game {
    Playfield playfield{};
    Piece current{}, next{}, afterNext{};
    std::uint32_t score = 0;
    std::uint32_t lines = 0;
    std::uint32_t level = 0;
    std::uint32_t fallInterval = 0;    // ms of game time between gravity moves
    std::uint32_t nextLevelScore = 0;  // always the next multiple of 500 above the score
    std::uint32_t hiScore = 0;         // bit pattern of the best score the game was dealt with
    std::uint32_t gravityClock = 0;    // ms since the last gravity move or settle
    std::uint32_t garbageCounter = 0;  // settles at level 10+ since the last garbage row; survives new games
    std::uint8_t downLockout = 0;
    std::uint8_t hardDropPending = 0;
    std::uint8_t keyLatch = 0;
    std::uint8_t gameOver = 0;  // a new piece was found blocked; the rules stand still until newGame
    Random random;
    bool operator==(const Game&) const = default;
};

// What one settle did, for whoever shows it: the well as the piece settled into it (before its full
// rows went), those rows ascending, whether a garbage row rose, and whether the next piece's entry
// was blocked, which ends the game.
struct Settle {
    Playfield settled;
    std::uint8_t rowCount;
    std::uint8_t rows[4];
    bool garbage;
    bool blocked;
};

// Game state and new game. newGame deals a fresh game that knows `hiScore` as the best score.
void makeRandomPiece(Game& game, Piece& slot);
void newGame(Game& game, std::uint32_t hiScore);

// Placement and moves of game.current.
bool tryPlace(Game& game, Piece& candidate);
bool moveDown(Game& game);
bool moveLeft(Game& game);
bool moveRight(Game& game);

// Rotation, and the counter rule the turn key applies after each attempt.
bool rotateCurrent(Game& game);
void countTurn(Game& game, bool turned);

// Keys: a key-down acts on the piece and gives the sound it calls for (only the first key-down of a
// press sounds); any key-up frees the latch and the Down lockout. After a blocked entry the piece
// keys do nothing.
Sound keyDown(Game& game, Key key);
void keyUp(Game& game);

// One tick of game time: level progression, gravity, the lock delay and the hard-drop settle.
// True when the piece settled, with `report` telling what the settle did.
bool gravityStep(Game& game, Settle& report);
// What follows a settle once it has been shown: the Down key's state then. Held, the next piece
// cannot be soft-dropped until a key-up.
void afterSettle(Game& game, bool downHeld);

// Settling, in parts, as gravityStep runs them.
void settleAndSpawn(Game& game, Settle& report);
void lockCurrent(Game& game);
std::uint8_t clearFullRows(Game& game, Settle& report);
void scoreLines(Game& game, std::uint8_t count);
void raiseGarbageRow(Game& game);
