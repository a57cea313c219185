// platform.h: the narrow set of free functions through which the game reaches the machine.
//
// The core (rules, drawing, score flow) calls only these; each shell (Qt, Win32) and the
// test double implements them once. Text crosses this line as UTF-8, except where bytes
// are counted or sent: the ranking name and body travel as code page 932 bytes, and the
// conversions below are the one place where that encoding is produced or read.
#pragma once

#include <cstddef>
#include <string>

// The four pixel surfaces the game draws with. `gameWindow` is the game window's client area
// itself (the row-clear wipe paints there directly); the others are off-screen images.
enum class Surface { backBuffer, gameWindow, backdrop, tileSheet };

// The two top-level windows, for closing and for who owns a box.
enum class WindowId { game, name };

enum class BoxButtons { ok, yesNo };
enum class BoxOwner { none, nameWindow };
enum class BoxAnswer { ok, yes, no };

// Where a ranking request goes, as split from the ranking URL by the core.
struct HttpTarget {
    bool secure = false;  // https: encrypted, and the certificate must be valid
    std::string host;
    unsigned port = 80;
    std::string path;  // starts with "/"
};

// Input: true while the Down arrow is physically held right now.
bool isDownKeyHeld();

// Blocks the one thread for about `ms` milliseconds (the idle tick and the row-clear wipe).
void sleepMs(unsigned ms);

// A frame is about to be composed on Surface::backBuffer, from the background up: everything drawn
// there since the last frame is about to be covered.
void beginFrame();
// Copies a width x height rectangle of pixels from (fromX, fromY) of `from` to (x, y) of `to`.
void copyRect(Surface to, int x, int y, int width, int height, Surface from, int fromX, int fromY);
// Paints a rectangle of `to` white without reading any source.
void fillWhite(Surface to, int x, int y, int width, int height);
// Draws one line of text with its top-left corner at (x, y): white glyphs, transparent background.
void drawText(Surface to, int x, int y, const std::string& utf8);
// Brackets direct drawing on Surface::gameWindow (the wipe): what is drawn between them shows
// on screen at once, without waiting for the message loop.
void beginWindowDrawing();
void endWindowDrawing();
// Asks for the game window to be repainted from the back buffer, without erasing first.
void invalidateGameWindow();

// Starts one of the sound effects of present/sound.h and returns at once; a newer effect cuts off an older one.
void startSound(int soundId);

// A modal message box without icon; returns the button that closed it.
BoxAnswer showMessageBox(const std::string& textUtf8, const std::string& titleUtf8, BoxButtons buttons, BoxOwner owner);

// The name-entry window: shown top-most (its field and OK button made on the first showing),
// hidden, and the field's current text as UTF-8.
void showNameWindow();
void hideNameWindow();
std::string nameFieldText();

// Code page 932 conversions. A character that code page 932 cannot hold becomes "?"; bytes
// that are not valid code page 932 become U+FFFD on the way back.
std::string utf8ToCp932(const std::string& utf8);
std::string cp932ToUtf8(const std::string& cp932);

// One synchronous HTTP POST with the given single header line (no line end) and body bytes.
// Redirects are not followed. Returns the first bytes of the reply body, at most `replyLimit`;
// an empty string when nothing could be read (no connection, time-out, empty reply).
std::string httpPost(const HttpTarget& target, const std::string& headerLine, const std::string& body,
                     std::size_t replyLimit);

// Moves the file `from` over `to` in one step, replacing `to` when it exists, so that a reader
// sees either the old file or the new one and never a missing one. False when it did not happen.
bool replaceFile(const char* from, const char* to);

// One line for the developer (the debugger's output channel, or standard error).
void debugOutput(const std::string& utf8);

// Asks a window to close; the program ends when either window is destroyed.
void postClose(WindowId window);
