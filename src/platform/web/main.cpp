// main.cpp: the browser program's entry points, which the page calls with its events, and the
// platform interface, each call handed to the page's JavaScript (library.js) that draws, plays,
// asks and sends. Nothing here waits: the page calls back when a box, the lock or a reply is in.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <emscripten.h>

#include "platform/platform.h"
#include "present/frame.h"
#include "present/shellFacts.h"
#include "program/program.h"
#include "scores/scores.h"
#include "shell.h"
#include "text/cp932.h"

namespace {

bool refused = false;       // another tab holds the lock: the one box then ends the program
bool lastBoxYesNo = false;  // the box up now asks Yes or No

std::string takeString(char* text) {
    std::string copy = text ? text : "";
    std::free(text);
    return copy;
}

}  // namespace

bool isDownKeyHeld() { return webDownKeyHeld() != 0; }

// The page has loaded the art before it starts the program (pilaroArtLoaded).
void loadArt() {}

// The page's timer, which counts its periods by the clock.
void startTimer(unsigned periodMs) { webStartTimers(static_cast<int>(periodMs)); }

// The page's timer; the wipe's steps show as the browser paints between them.
void startDelay(unsigned ms) { webStartDelay(static_cast<int>(ms)); }

// The canvas needs no bookkeeping at the start of a frame: the background covers it all.
void beginFrame() {}

void copyRect(Surface to, int x, int y, int width, int height, Surface from, int fromX, int fromY) {
    webCopyRect(static_cast<int>(to), x, y, width, height, static_cast<int>(from), fromX, fromY);
}

void fillWhite(Surface to, int x, int y, int width, int height) {
    webFillWhite(static_cast<int>(to), x, y, width, height);
}

void drawText(Surface to, int x, int y, const std::string& utf8) {
    webDrawText(static_cast<int>(to), x, y, utf8.c_str());
}

// The wipe draws straight on the visible canvas, which the browser shows once the program returns.
void beginWindowDrawing() {}
void endWindowDrawing() {}

void invalidateGameWindow() { webShowFrame(); }

void startSound(int soundId) { webStartSound(soundId); }

void showMessageBox(const std::string& textUtf8, const std::string& titleUtf8, BoxButtons buttons, BoxOwner owner) {
    lastBoxYesNo = buttons == BoxButtons::yesNo;
    webMessageBox(textUtf8.c_str(), titleUtf8.c_str(), lastBoxYesNo ? yesButtonText : okButtonText,
                  lastBoxYesNo ? noButtonText : "", owner == BoxOwner::nameWindow);
}

void showNameWindow() { webShowNameWindow(); }
void hideNameWindow() { webHideNameWindow(); }
std::string nameFieldText() { return takeString(webNameFieldText()); }

// A browser cannot encode code page 932: the name's bytes come from the table compiled in, the
// same the desktop programs count and send with.
std::string utf8ToCp932(const std::string& utf8) { return cp932::encode(utf8); }

std::string cp932ToUtf8(const std::string& cp932) {
    // The browser's own Shift_JIS decoder: it knows code page 932's extensions.
    return takeString(webDecodeCp932(cp932.data(), static_cast<int>(cp932.size())));
}

void startRankingPost(const HttpTarget& target, const std::string& headerLine, const std::string& body,
                      std::size_t replyLimit, unsigned timeLimitMs) {
    // A page may only talk to the host it came from: the ranking (and the replay
    // path beside it) is asked at the same path there.
    webHttpPost(target.path.c_str(), headerLine.c_str(), body.data(), static_cast<int>(body.size()),
                static_cast<int>(replyLimit), static_cast<int>(timeLimitMs));
}

namespace {

// Bytes as base64, which the browser's storage keeps as text.
std::string base64(const std::string& bytes) {
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (std::size_t at = 0; at < bytes.size(); at += 3) {
        std::uint32_t group = static_cast<std::uint8_t>(bytes[at]) << 16;
        if (at + 1 < bytes.size()) group |= static_cast<std::uint8_t>(bytes[at + 1]) << 8;
        if (at + 2 < bytes.size()) group |= static_cast<std::uint8_t>(bytes[at + 2]);
        for (int i = 0; i < 4; ++i)
            text += at + i - 1 < bytes.size() || i < 2 ? digits[group >> (18 - 6 * i) & 63] : '=';
    }
    return text;
}

}  // namespace

// The player's files live in the browser's storage, under their names: the best score as its text,
// a recording as base64.
bool readUserFile(const char* name, std::string& bytes) {
    char* stored = webReadStored(name);
    if (stored == nullptr) return false;
    bytes = takeString(stored);
    return true;
}

// Every tab of the site shares one stored best score, and a tab's game may have begun before
// another tab stored a higher one: a lower score never replaces it. On the desktop one program
// owns the file, so this comparison is the browser's alone.
bool writeUserFile(const char* name, const std::string& bytes) {
    if (std::string(name) != hiScoreFileName) return webWriteStored(name, base64(bytes).c_str()) != 0;
    std::string stored;
    std::uint32_t storedScore = 0;
    std::uint32_t score = 0;
    if (readUserFile(name, stored) && parseHiScoreText(stored, storedScore) && parseHiScoreText(bytes, score) &&
        score <= storedScore) {
        return true;
    }
    return webWriteStored(name, bytes.c_str()) != 0;
}

void debugOutput(const std::string& utf8) { webDebugOutput(utf8.c_str()); }

void postClose(WindowId) { webEnded(1); }

// What the page calls: its timer, keys (by their keyCode, the desktop's virtual-key number),
// activation, the OK button, a box's answer, the delay and the ranking's reply, each handed straight
// to the program.
extern "C" {

EMSCRIPTEN_KEEPALIVE void pilaroTimer() { onTimer(); }
EMSCRIPTEN_KEEPALIVE int pilaroTicksPerPeriod() { return static_cast<int>(ticksPerPeriod); }
EMSCRIPTEN_KEEPALIVE int pilaroTicksRun() { return ticksRun() ? 1 : 0; }
// A game is being played: its ticks run or its wipe does (the page keeps the screen on meanwhile).
EMSCRIPTEN_KEEPALIVE int pilaroGameRuns() { return ticksRun() || phase() == Phase::wiping ? 1 : 0; }
// The game's score while its new-best box is up, else 0 (the page offers to share it).
EMSCRIPTEN_KEEPALIVE unsigned pilaroNewBestScore() { return phase() == Phase::newBest ? currentGame().score : 0; }
EMSCRIPTEN_KEEPALIVE void pilaroGameKeyDown(int code) { onKeyDown(WindowId::game, keyOfVirtualKey(code)); }
EMSCRIPTEN_KEEPALIVE void pilaroNameWindowKeyDown(int code) { onKeyDown(WindowId::name, keyOfVirtualKey(code)); }
EMSCRIPTEN_KEEPALIVE void pilaroKeyUp() { onKeyUp(); }
EMSCRIPTEN_KEEPALIVE void pilaroActivate(int active) { onActivate(active != 0); }
EMSCRIPTEN_KEEPALIVE void pilaroNameConfirmed() { onNameConfirmed(); }
EMSCRIPTEN_KEEPALIVE void pilaroDelayElapsed() { onDelayElapsed(); }
// Another tab changed the stored best score: the game's next comparison is with that one.
EMSCRIPTEN_KEEPALIVE void pilaroHiScoreChanged() { onHiScoreChanged(); }

EMSCRIPTEN_KEEPALIVE void pilaroBoxAnswer(int yes) {
    if (refused) return webEnded(0);
    onBoxAnswer(!lastBoxYesNo ? BoxAnswer::ok : yes ? BoxAnswer::yes : BoxAnswer::no);
}

// The reply's bytes are in memory the page took with malloc; they are freed here.
EMSCRIPTEN_KEEPALIVE void pilaroRankingReply(char* bytes, int length) {
    const std::string reply(bytes ? bytes : "", bytes ? static_cast<std::size_t>(length) : 0);
    std::free(bytes);
    onRankingReply(reply);
}

// The page's lock is decided: the windows, the first game and its art, or the refusal's box.
EMSCRIPTEN_KEEPALIVE void pilaroLockDecided(int taken) {
    if (!taken) {
        refused = true;
        showMessageBox(alreadyRunningText, alreadyRunningTitle, BoxButtons::ok, BoxOwner::none);
        return;
    }
    webNameSurfaces(static_cast<int>(Surface::backBuffer), static_cast<int>(Surface::gameWindow),
                    static_cast<int>(Surface::backdrop), static_cast<int>(Surface::tileSheet));
    webOpenWindows(gameWindowTitle, canvasWidth, canvasHeight, nameWindowTitle, nameWindowWidth, nameWindowHeight,
                   namePrompt, okButtonText, nameFieldRect.x, nameFieldRect.y, nameFieldRect.width,
                   nameFieldRect.height, okButtonRect.x, okButtonRect.y, okButtonRect.width, okButtonRect.height,
                   okButtonId);
    webLoadArt();
}

// The art is in: the program starts, its first frame at once rather than with the first tick. The
// page's own host is asked for the ranking, at the build's path; the page's address may give the
// seed (?seed=, for tests).
EMSCRIPTEN_KEEPALIVE void pilaroArtLoaded() {
    char* seed = webSeedText();
    const std::string seedText = seed ? takeString(seed) : "";
    startProgram(nullptr, seedText.c_str());
}

// Watching a kept game (watch.js): the windows without the lock, which guards the player's own
// files; then the recording, in memory the page took with malloc, freed here, played back (false
// when it is none); then the watcher's controls.
EMSCRIPTEN_KEEPALIVE void pilaroWatchOpen() { pilaroLockDecided(1); }
EMSCRIPTEN_KEEPALIVE int pilaroWatch(std::uint8_t* bytes, int length) {
    const bool started = startWatching(bytes, static_cast<std::size_t>(length));
    std::free(bytes);
    return started ? 1 : 0;
}
EMSCRIPTEN_KEEPALIVE void pilaroWatchSpeed(int times) { setWatchSpeed(static_cast<unsigned>(times)); }
EMSCRIPTEN_KEEPALIVE void pilaroWatchPaused(int paused) { setWatchPaused(paused != 0); }
EMSCRIPTEN_KEEPALIVE void pilaroWatchRestart() { restartWatching(); }
EMSCRIPTEN_KEEPALIVE int pilaroWatchEnded() { return watchEnded() ? 1 : 0; }
EMSCRIPTEN_KEEPALIVE unsigned pilaroWatchScore() { return watchedGame().score; }
}

// The page's lock is asked for first; its answer comes back as pilaroLockDecided.
int main() {
    webTakeInstanceLock();
    return 0;
}
