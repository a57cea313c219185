// shell.h: what the files of the Linux (Qt) shell share, and its start and loop for main and the tests.
#pragma once

class QImage;
class QLineEdit;
class QPainter;
class QPushButton;
class QString;
class QWidget;

// Where the single-instance lock lives when PILARO_LOCK_DIR names no folder of its own.
constexpr const char* lockDirVariable = "PILARO_LOCK_DIR";

// start.cpp: the program.
// Refuses a second copy, makes both windows, deals the first game and loads the art. False when
// another copy is running: its box has then been answered and the program ends with code 0.
bool startShell();
// Runs the message loop until either window is closed, then releases everything; the exit code.
int runShell();
// The whole program: startShell, then runShell.
int pilaroMain();
extern bool benchTrace;  // PILARO_BENCH_TRACE is set: the benchmark reads the first frame and the ticks

// windows.cpp: the two windows, the timer and the keys.
void makeWindows();
void releaseWindows();
QWidget* gameWindowWidget();
QWidget* nameWindowWidget();
// The name window's size is its outer size, frame included, which is known once it is shown.
void fitNameWindowToOuterSize();

// drawing.cpp: the four surfaces.
void makeBackBuffer();
void releaseArt();
// Paints the game window: the last frame, or the wipe drawn on the window since.
void paintGameWindow(QPainter& painter);

// bitmap.cpp
QImage readBitmap(const QString& path);

// boxes.cpp: the message boxes and the name window's controls. runMessageBox shows an OK box and
// returns when it is closed: only for the refusal at start-up, before the game runs.
void runMessageBox(const char* textUtf8, const char* titleUtf8);
QLineEdit* nameFieldWidget();   // none until the name window's first showing
QPushButton* okButtonWidget();  // likewise
void forgetNameControls();      // the name window and its controls are going

// sound.cpp: true once the sound module is loaded (at the first sound).
bool soundsLoaded();
