// platform.h: the narrow set of free functions through which the game reaches the machine.
//
// The program (program/, present/, scores/) calls only these; the rules call none. Each shell (Qt,
// Win32, the browser) and the test double implements them once. None of them waits: what takes
// time (a delay, a box, the ranking request) is started here and its end comes back later as a call
// into the program (program/program.h: onDelayElapsed, onBoxAnswer, onRankingReply). Text crosses this line as UTF-8, except where bytes
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

// Loads the art of the backdrop and the tiles; in the browser it is loaded before the program starts.
void loadArt();
// Starts the one periodic timer: every `periodMs` the shell calls onTimer().
void startTimer(unsigned periodMs);

// Starts a one-shot timer of about `ms` milliseconds and returns at once; when it is due the shell
// calls onDelayElapsed() once. Only one is ever pending (the row-clear wipe's next step).
void startDelay(unsigned ms);

// A frame is about to be composed on Surface::backBuffer, from the background up: everything drawn
// there since the last frame is about to be covered.
void beginFrame();
// Copies a width x height rectangle of pixels from (fromX, fromY) of `from` to (x, y) of `to`.
void copyRect(Surface to, int x, int y, int width, int height, Surface from, int fromX, int fromY);
// Paints a rectangle of `to` white without reading any source.
void fillWhite(Surface to, int x, int y, int width, int height);
// Draws one line of text with its top-left corner at (x, y): white glyphs, transparent background.
void drawText(Surface to, int x, int y, const std::string& utf8);
// Brackets direct drawing on Surface::gameWindow (a step of the wipe): what is drawn between them
// shows on screen at once, and stays there until the next frame is composed.
void beginWindowDrawing();
void endWindowDrawing();
// Asks for the game window to be repainted from the back buffer, without erasing first.
void invalidateGameWindow();

// Starts one of the sound effects of present/sound.h and returns at once; a newer effect cuts off an older one.
void startSound(int soundId);

// Shows a message box without icon and returns at once; the button that closes it comes back as
// onBoxAnswer(). The core keeps one box up at a time.
void showMessageBox(const std::string& textUtf8, const std::string& titleUtf8, BoxButtons buttons, BoxOwner owner);

// The name-entry window: shown top-most (its field and OK button made on the first showing),
// hidden, and the field's current text as UTF-8.
void showNameWindow();
void hideNameWindow();
std::string nameFieldText();

// Code page 932 conversions. A character that code page 932 cannot hold becomes "?"; bytes
// that are not valid code page 932 become U+FFFD on the way back.
std::string utf8ToCp932(const std::string& utf8);
std::string cp932ToUtf8(const std::string& cp932);

// Starts one HTTP POST to the ranking's host (the game's recording, then its score) with the given
// single header line (no line end) and body bytes, and returns at once. Redirects are not followed.
// The shell then calls onRankingReply() once, with the first bytes of the reply body, at most
// `replyLimit`, or with none when nothing could be read (no connection, an empty reply, or no reply
// within `timeLimitMs` of the start). Only one is out at a time.
// Both requests of a submission together take at most rankingTimeLimitMs; the recording's at most
// replayTimeLimitMs of it, the score's the rest.
constexpr unsigned rankingTimeLimitMs = 10000;
constexpr unsigned replayTimeLimitMs = 4000;
void startRankingPost(const HttpTarget& target, const std::string& headerLine, const std::string& body,
                      std::size_t replyLimit, unsigned timeLimitMs);

// The player's files, in the working folder on the desktops and in the browser's storage under the
// same names: the best score, and the recording of the last game that ended.
constexpr const char* hiScoreFileName = "hiScore.txt";
constexpr const char* replayFileName = "lastGame.pilaroReplay";
// A file's bytes: false when there is none to read. The write replaces the whole file in one step,
// so that a reader finds the old bytes or the new ones, never a part; false when it did not happen.
bool readUserFile(const char* name, std::string& bytes);
bool writeUserFile(const char* name, const std::string& bytes);

// One line for the developer (the debugger's output channel, or standard error).
void debugOutput(const std::string& utf8);

// Asks a window to close; the program ends when either window is destroyed.
void postClose(WindowId window);
