// game.h: the well, the pieces, the counters and every rule of play, as program-wide state
// and free functions. Refusable operations return true when done and change nothing otherwise.
#pragma once

#include <cstdint>

constexpr int wellColumns = 10;
constexpr int wellRows = 20;
constexpr int wellCells = wellColumns * wellRows;

// The settled blocks: occupied is 1 where a block lies; colour is its tile (0-7) and means
// nothing where occupied is 0.
struct Playfield {
    std::uint8_t occupied[wellCells];
    std::uint8_t colour[wellCells];
};

// A four-cell piece as a 4x4 mask (row-major) placed with its mask cell (0,0) at well (row, col).
struct Piece {
    std::uint32_t rotationLimit;  // 0 never turns, 1 toggles between two orientations, 4 turns freely
    std::uint32_t rotationState;  // turn counter, kept by the Up key's handler
    std::int32_t pivotCol;
    std::int32_t pivotRow;
    std::uint8_t cells[16];
    std::uint8_t colour;  // shape index 0-6, also the tile it is drawn with
    std::int8_t col;
    std::int8_t row;
};

struct GameState {
    std::uint32_t score;
    std::uint32_t lines;
    std::uint32_t level;
    std::uint32_t fallInterval;    // ms of game time between gravity moves
    std::uint32_t nextLevelScore;  // always the next multiple of 500 above the score
    std::uint32_t hiScore;         // bit pattern of the number in the high-score file
    std::uint32_t gravityClock;    // ms since the last gravity move or settle
    std::uint32_t garbageCounter;  // settles at level 10+ since the last garbage row; survives new games
    std::uint8_t windowActive;
    std::uint8_t rankingPending;
    std::uint8_t downLockout;
    std::uint8_t hardDropPending;
    std::uint8_t keyLatch;
    std::uint8_t gameOver;  // a new piece was found blocked; the rules stand still until newGame
};

enum ShapeIndex : std::uint8_t { shapeO, shapeI, shapeT, shapeJ, shapeL, shapeZ, shapeS, shapeCount };
constexpr std::uint8_t garbageTile = 7;

extern Playfield playfield;
extern Piece current;
extern Piece next;
extern Piece afterNext;
extern GameState game;

// The one pseudo-random source of the game (pieces and garbage holes); the standard library's
// rand unless a test puts its own here.
extern int (*randomSource)();

// Game state and new game.
void makeRandomPiece(Piece& slot);
void newGame();

// Placement and moves.
bool tryPlace(Piece& candidate);
bool moveDown();
bool moveLeft();
bool moveRight();

// Rotation, and the counter rule the Up key applies after each attempt.
bool rotateCurrent();
void countTurn(bool turned);

// Gravity and the tick. The rules run only while the game is running: one of the program's windows
// is active, no new best score is being offered, the game has not ended, no wipe is running and no
// box is up.
bool gameRunning();
bool gravityStep();

// Keys that come during a wipe wait for its end, as they would in a busy message queue.
void replayKeysHeldBack();
void forgetKeysHeldBack();

// Settling. clearFullRows removes the full rows at once and starts their wipe on screen, which
// stepWipe moves on at each onDelayElapsed; stepWipe is true at the wipe's last step, which also
// plays the rows' sound and, after a blocked entry, starts the end-of-game flow.
void settleAndSpawn();
void lockCurrent();
std::uint8_t clearFullRows();
bool wipeRunning();
bool stepWipe();
void resetWipe();
void scoreLines(std::uint8_t count);
void raiseGarbageRow();

// Puts every program-wide value back to its start-of-program state (windowActive 1, the rest 0).
void resetProgramState();
