// shell.h: the page's JavaScript functions (library.js) that the browser program calls.
#pragma once

extern "C" {

// Start-up and the end. webTakeInstanceLock asks for the page's one-per-browser lock, and the page
// calls pilaroLockDecided with the outcome; webLoadArt's end comes back as pilaroArtLoaded.
// webEnded tells the page that the program is over (1 after a game).
void webTakeInstanceLock();
void webOpenWindows(const char* gameTitle, int canvasWidth, int canvasHeight, const char* nameTitle, int nameWidth,
                    int nameHeight, const char* prompt, const char* okText, int fieldX, int fieldY, int fieldWidth,
                    int fieldHeight, int okX, int okY, int okWidth, int okHeight, int okId);
// The numbers of enum Surface that the page's surfaces go by, each named.
void webNameSurfaces(int backBuffer, int gameWindow, int backdrop, int tiles);
void webLoadArt();
void webStartTimers(int periodMs);
void webEnded(int afterGame);

int webDownKeyHeld();
// After ms milliseconds the page calls pilaroDelayElapsed.
void webStartDelay(int ms);

// Surfaces by the numbers webNameSurfaces gave them.
void webCopyRect(int to, int x, int y, int width, int height, int from, int fromX, int fromY);
void webFillWhite(int to, int x, int y, int width, int height);
void webDrawText(int to, int x, int y, const char* utf8);
void webShowFrame();

void webStartSound(int index);

// A box's answer comes back as pilaroBoxAnswer (1 for Yes); the name field's text comes back in
// memory the caller frees.
// A box has one button (OK), or two (Yes, No: secondButton not empty); 1 answers its first.
void webMessageBox(const char* text, const char* title, const char* firstButton, const char* secondButton,
                   int ownedByNameWindow);
void webShowNameWindow();
void webHideNameWindow();
char* webNameFieldText();

char* webDecodeCp932(const char* bytes, int length);
// The reply's first bytes (at most replyLimit, none after timeLimitMs) come back as pilaroRankingReply.
void webHttpPost(const char* path, const char* headerLine, const char* body, int bodyLength, int replyLimit,
                 int timeLimitMs);
// A text in the browser's storage under a name: read (none when nothing is stored; the caller frees
// it) and written (0 when it could not be).
char* webReadStored(const char* name);
int webWriteStored(const char* name, const char* text);
// The seed the page's address gives (?seed=), or none; the caller frees it.
char* webSeedText();
void webDebugOutput(const char* utf8);
}
