// gravity.cpp: the tick (level progression, gravity, the lock delay and the hard-drop settle) and
// the keys.
#include "game/game.h"

namespace {

constexpr std::uint32_t pointsPerLevel = 500;
constexpr std::uint32_t highestLevel = 50;
constexpr std::uint32_t lockDelayMs = 800;

void raiseLevels(Game& game) {
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

void hardDrop(Game& game) {
    std::uint32_t rows = 0;
    while (moveDown(game)) ++rows;
    game.score += rows;
    game.hardDropPending = 1;
}

Sound soundOf(Key key) {
    switch (key) {
    case Key::turn: return Sound::turn;
    case Key::down:
    case Key::left:
    case Key::right: return Sound::move;
    case Key::drop: return Sound::hardDrop;
    default: return Sound::none;
    }
}

}  // namespace

bool gravityStep(Game& game, Settle& report) {
    // From a blocked entry until the next game the rules stand still.
    if (game.gameOver) return false;
    raiseLevels(game);
    if (game.hardDropPending) {
        game.hardDropPending = 0;
    } else {
        game.gravityClock += tickMs;
        if (game.gravityClock < game.fallInterval) return false;
        if (moveDown(game)) {
            game.gravityClock = 0;
            return false;
        }
        if (game.gravityClock < game.fallInterval + lockDelayMs) return false;
    }
    game.gravityClock = 0;
    game.downLockout = 1;
    settleAndSpawn(game, report);
    return true;
}

void afterSettle(Game& game, bool downHeld) {
    if (!downHeld) game.downLockout = 0;
}

Sound keyDown(Game& game, Key key) {
    // The piece keys do nothing from a blocked entry until the next game, so a drop pressed under
    // the game-over boxes cannot reach the first piece of the next game.
    const bool live = !game.gameOver;
    Sound sound = Sound::none;
    if (!game.keyLatch) {
        // Only the first key-down of a press makes a sound; repeats and keys pressed while
        // another is held are silent.
        game.keyLatch = 1;
        if (live) sound = soundOf(key);
    }
    if (!live) return sound;
    switch (key) {
    case Key::down:
        if (!game.downLockout && moveDown(game)) ++game.score;
        break;
    case Key::left: moveLeft(game); break;
    case Key::right: moveRight(game); break;
    case Key::turn: countTurn(game, rotateCurrent(game)); break;
    case Key::drop: hardDrop(game); break;
    default: break;
    }
    return sound;
}

void keyUp(Game& game) {
    game.keyLatch = 0;
    game.downLockout = 0;
}
