// shell.h: what the files of the Win32 shell share: the program's handles and its drawing set-up.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>

extern HINSTANCE appInstance;  // this program's module, which holds the art and the sounds
extern HWND mainWindow;        // the game window
extern HWND nameWindow;        // the name-entry window, hidden until a new best score is offered
extern int pixelScale;         // the whole factor by which the game window shows the canvas: 1 at 96 DPI, 2 at 192

// The timers beside the tick timer (tickTimerId), and the messages the shell posts to the
// game window: a box to show, and the ranking's reply from its worker thread.
constexpr UINT_PTR delayTimerId = 101;     // the wipe's next step
constexpr UINT_PTR exchangeTimerId = 102;  // the deadline of the ranking exchange
constexpr UINT boxMessage = WM_APP + 1;
constexpr UINT rankingReplyMessage = WM_APP + 2;

// main.cpp: screens of many dots per inch.
int windowScale(HWND window);
void fitClientArea(HWND window, int width, int height, const RECT* place);

// drawing.cpp
void makeBackBuffer(HWND window);
void releaseBackBuffer();
void loadArt();
void releaseArt();
void paintGameWindow();
void paintNameWindow();

// dialogs.cpp. A box is shown from the loop (boxMessage), so that its own modal loop runs outside
// the core; runMessageBox shows one and waits, only for the refusal at start-up.
void layoutNameWindow(int scale, const RECT* place);
void onBoxMessage(LPARAM box);
void runMessageBox(const char* textUtf8, const char* titleUtf8);

// network.cpp
void onRankingReplyMessage(LPARAM exchange);
void onExchangeDeadline();

// text.cpp: UTF-8 inside the program, UTF-16 at every Win32 call that shows text.
std::wstring toUtf16(const std::string& utf8);
std::string toUtf8(const std::wstring& utf16);
