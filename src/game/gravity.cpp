// gravity.cpp: the tick: level progression, gravity, the lock delay and the hard-drop settle.
#include "game/game.h"
#include "platform/platform.h"
#include "present/frame.h"
#include "present/shellFacts.h"

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

bool gameRunning() { return !game.rankingPending && game.windowActive && !game.gameOver; }

void onTimerTick() {
    // Modal boxes deliver ticks from their own loops. While one has the activation, while a new
    // best score is being offered, and from a blocked entry until the next game, the rules stand still.
    if (!gameRunning()) {
        sleepMs(1);
        return;
    }
    const bool settled = gravityStep();
    if (settled && !isDownKeyHeld()) game.downLockout = 0;
    composeFrame();
}
