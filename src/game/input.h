// input.h: the platform-neutral half of the window procedure. Each shell turns its own events
// into these calls; what a key, an activation change, a tick, the OK button, a box's answer, a due
// delay or the ranking's reply does lives here. Each returns at once.
#pragma once

#include "platform/platform.h"

// Virtual-key codes of the keys that mean something to the game.
constexpr int keyShift = 16;
constexpr int keyEscape = 27;
constexpr int keyLeft = 37;
constexpr int keyUp = 38;
constexpr int keyRight = 39;
constexpr int keyDown = 40;
constexpr int keyF1 = 112;

// A key went down (first press or auto-repeat) in `receiver`.
void onKeyDown(WindowId receiver, int key);
// Any key went up.
void onKeyUp();
// Either window was activated (true) or deactivated (false).
void onActivate(bool active);
// A command from a control of the name window; 1 is the OK button's click.
void onCommand(unsigned wParam);
// A tick of either window's timer (game/gravity.cpp).
void onTimerTick();
// The delay of startDelay() is over (game/gravity.cpp).
void onDelayElapsed();
// The box of showMessageBox() was closed with this button (scores/gameOver.cpp).
void onBoxAnswer(BoxAnswer answer);
// The ranking request of startRankingPost() is over: the reply's first bytes, or none when it
// failed (scores/gameOver.cpp).
void onRankingReply(const std::string& replyBytes);
