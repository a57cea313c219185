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

// dialogs.cpp
void layoutNameWindow(int scale, const RECT* place);

// text.cpp: UTF-8 inside the program, UTF-16 at every Win32 call that shows text.
std::wstring toUtf16(const std::string& utf8);
std::string toUtf8(const std::wstring& utf16);
