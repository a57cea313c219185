// shellFacts.h: what every shell shows and times alike: the windows' titles and sizes, the name
// window's prompt and controls, the boxes' buttons, the start-up refusal, and the controls' and the
// timer's ids.
#pragma once

#include "present/frame.h"
#include "present/sound.h"
#include "program/program.h"

// The game window's client area is the canvas (canvasWidth x canvasHeight).
constexpr const char* gameWindowTitle = "Pilaro";

// The name window: an outer size (frame included), a white client with the prompt at its top-left,
// the name field and the OK button at these client positions.
struct ControlRect {
    int x, y, width, height;
};
constexpr const char* nameWindowTitle = "名前入力";
constexpr int nameWindowWidth = 250;
constexpr int nameWindowHeight = 90;
constexpr const char* namePrompt = "名前を入力してください";
constexpr ControlRect nameFieldRect{30, 30, 90, 30};
constexpr ControlRect okButtonRect{130, 30, 50, 20};
constexpr const char* okButtonText = "OK";
constexpr int nameFieldId = 2;
constexpr int okButtonId = 1;

// A yes/no box's two buttons, on every shell whatever language the desktop speaks; an OK box's
// one button reads okButtonText.
constexpr const char* yesButtonText = "はい";
constexpr const char* noButtonText = "いいえ";

// A second copy of the program shows this and ends.
constexpr const char* alreadyRunningText = "既に起動しています";
constexpr const char* alreadyRunningTitle = "起動できません";

// The id of the timer of program/program.h's tickPeriodMs, where the platform numbers its timers.
constexpr unsigned tickTimerId = 100;
