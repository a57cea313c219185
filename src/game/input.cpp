// input.cpp: what keys, activation changes and the name window's OK button do to the game.
#include "game/input.h"

#include <vector>

#include "game/game.h"
#include "present/sound.h"
#include "scores/scores.h"

namespace {

void hardDrop() {
    std::uint32_t rows = 0;
    while (moveDown()) ++rows;
    game.score += rows;
    game.hardDropPending = 1;
}

// The piece keys do nothing from a blocked entry until the next game, so a drop pressed under
// the game-over boxes cannot reach the first piece of the next game.
bool pieceKeysLive() { return !game.gameOver; }

// Keys that came during a wipe, in order: a key-down's receiver and key, or a key-up.
struct HeldKey {
    bool down;
    WindowId receiver;
    int key;
};
std::vector<HeldKey> keysHeldBack;

}  // namespace

void replayKeysHeldBack() {
    std::vector<HeldKey> keys;
    keys.swap(keysHeldBack);
    for (const HeldKey& held : keys) held.down ? onKeyDown(held.receiver, held.key) : onKeyUp();
}

void forgetKeysHeldBack() { keysHeldBack.clear(); }

void onKeyDown(WindowId receiver, int key) {
    if (wipeRunning()) return keysHeldBack.push_back({true, receiver, key});
    if (!game.keyLatch) {
        // Only the first key-down of a press makes a sound; repeats and keys pressed while
        // another is held are silent.
        game.keyLatch = 1;
        const bool live = pieceKeysLive();
        if (live && key == keyUp) startSound(soundTurn);
        if (live && (key == keyDown || key == keyLeft || key == keyRight)) startSound(soundMove);
        if (live && key == keyShift) startSound(soundHardDrop);
    }
    switch (key) {
    case keyDown:
        if (pieceKeysLive() && !game.downLockout && moveDown()) ++game.score;
        break;
    case keyLeft:
        if (pieceKeysLive()) moveLeft();
        break;
    case keyRight:
        if (pieceKeysLive()) moveRight();
        break;
    case keyUp:
        if (pieceKeysLive()) countTurn(rotateCurrent());
        break;
    case keyShift:
        if (pieceKeysLive()) hardDrop();
        break;
    case keyEscape: postClose(receiver); break;
    case keyF1: showPauseBox(); break;
    default: break;
    }
}

void onKeyUp() {
    if (wipeRunning()) return keysHeldBack.push_back({false, WindowId::game, 0});
    game.keyLatch = 0;
    game.downLockout = 0;
}

void onActivate(bool active) { game.windowActive = active ? 1 : 0; }

void onCommand(unsigned wParam) {
    if (wParam == 1) confirmName();
}
