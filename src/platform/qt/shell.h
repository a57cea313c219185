// shell.h: the Linux program's start-up, message loop and windows, shared by main and the tests.
#pragma once

class QWidget;
class QLineEdit;
class QPushButton;

// Where the single-instance lock lives when PILARO_LOCK_DIR names no folder of its own.
constexpr const char* lockDirVariable = "PILARO_LOCK_DIR";

// Refuses a second copy, makes both windows, deals the first game and loads the art. False when
// another copy is running: its box has then been answered and the program ends with code 0.
bool startShell();
// Runs the message loop until either window is closed, then releases everything; the exit code.
int runShell();
// The whole program: startShell, then runShell.
int pilaroMain();

// The windows and controls, for the tests.
QWidget* gameWindowWidget();
QWidget* nameWindowWidget();
QLineEdit* nameFieldWidget();  // none until the name window's first showing
QPushButton* okButtonWidget();  // likewise
