// gravity.cpp: the tick: level progression, gravity, the lock delay and the hard-drop settle.
#include "game/game.h"
#include "game/input.h"
#include "platform/platform.h"
#include "present/frame.h"
#include "present/shellFacts.h"
#include "scores/scores.h"

namespace {

constexpr std::uint32_t tickMs = tickPeriodMs;  // each tick moves the game's clock by one timer period
constexpr std::uint32_t pointsPerLevel = 500;
constexpr std::uint32_t highestLevel = 50;
constexpr std::uint32_t lockDelayMs = 800;

void raiseLevels() {
    if (game.score < game.nextLevelScore) return;
    const std::uint32_t levelUps = (game.score - game.nextLevelScore) / pointsPerLevel + 1;
    game.nextLevelScore += pointsPerLevel * levelUps;
    // Past level 50 a level-up changes nothing but nextLevelScore, so the loop can stop there
    // instead of running once per 500 points of a huge jump.
    for (std::uint32_t i = 0; i < levelUps && game.level < highestLevel; ++i) {
        ++game.level;
        if (game.level < 10) game.fallInterval -= 100;
    }
}

}  // namespace

bool gravityStep() {
    raiseLevels();
    if (game.hardDropPending) {
        game.hardDropPending = 0;
    } else {
        game.gravityClock += tickMs;
        if (game.gravityClock < game.fallInterval) return false;
        if (moveDown()) {
            game.gravityClock = 0;
            return false;
        }
        if (game.gravityClock < game.fallInterval + lockDelayMs) return false;
    }
    game.gravityClock = 0;
    game.downLockout = 1;
    settleAndSpawn();
    return true;
}

bool gameRunning() {
    return !game.rankingPending && game.windowActive && !game.gameOver && !wipeRunning() && !flowHoldsGame();
}

namespace {

// The rest of a tick that settled a piece; after a wipe it comes at the wipe's end.
void finishTick(bool settled) {
    if (settled && !isDownKeyHeld()) game.downLockout = 0;
    composeFrame();
}

}  // namespace

void onTimerTick() {
    // While a window other than ours has the activation, while a box is up or a new best score is
    // being offered, during a wipe, and from a blocked entry until the next game, the rules stand
    // still: the tick is dropped, as a busy loop would drop it.
    if (!gameRunning()) return;
    const bool settled = gravityStep();
    if (!wipeRunning()) finishTick(settled);
}

void onDelayElapsed() {
    if (!stepWipe()) return;
    finishTick(true);
    replayKeysHeldBack();
}
