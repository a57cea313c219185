// shell.h: the page's JavaScript functions (library.js) that the browser program calls.
#pragma once

extern "C" {

// Start-up and the end. webTakeInstanceLock waits for the page's one-per-browser lock and is 0
// when another tab holds it; webEnded tells the page that the program is over (1 after a game).
int webTakeInstanceLock();
void webOpenWindows(const char* gameTitle, int canvasWidth, int canvasHeight, const char* nameTitle, int nameWidth,
                    int nameHeight, const char* prompt, const char* okText, int fieldX, int fieldY, int fieldWidth,
                    int fieldHeight, int okX, int okY, int okWidth, int okHeight, int okId);
void webLoadArt();
void webStartTimers(int periodMs);
void webEnded(int afterGame);

// The message loop: waits for the next tick, key, activation change, command or close.
int webNextEvent();
void webPostClose();
int webDownKeyHeld();

// Surfaces by the numbers of enum Surface.
void webCopyRect(int to, int x, int y, int width, int height, int from, int fromX, int fromY);
void webFillWhite(int to, int x, int y, int width, int height);
void webDrawText(int to, int x, int y, const char* utf8);
void webShowFrame();

void webStartSound(int index);

// A box with one button (OK), or two (Yes, No: secondButton not empty) returns 1 for its first. The
// name field's text comes back in memory the caller frees.
int webMessageBox(const char* text, const char* title, const char* firstButton, const char* secondButton,
                  int ownedByNameWindow);
void webShowNameWindow();
void webHideNameWindow();
char* webNameFieldText();

char* webDecodeCp932(const char* bytes, int length);
// The reply's first bytes (at most replyLimit) in memory the caller frees, their count in *length.
char* webHttpPost(const char* path, const char* headerLine, const char* body, int bodyLength, int replyLimit,
                  int* length);
void webDebugOutput(const char* utf8);
}
