// main.cpp: the browser program's entry, its message loop and the platform interface, each call
// handed to the page's JavaScript (library.js) that draws, plays, asks and sends.
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include <emscripten.h>

#include "game/game.h"
#include "game/input.h"
#include "platform/platform.h"
#include "present/frame.h"
#include "present/shellFacts.h"
#include "scores/scores.h"
#include "shell.h"
#include "text/cp932.h"

namespace {

// The page's events, as webNextEvent reports them: the kind in the high 16 bits, a value below (for
// a key, its virtual-key number, plus 256 when the name window had the keys).
enum EventKind { eventTick = 1, eventKeyDown, eventKeyUp, eventActivate, eventCommand, eventClose };

void dispatch(int event) {
    const int kind = event >> 16;
    const int value = event & 0xFFFF;
    switch (kind) {
    case eventTick: onTimerTick(); break;
    case eventKeyDown: onKeyDown(value >> 8 ? WindowId::name : WindowId::game, value & 0xFF); break;
    case eventKeyUp: onKeyUp(); break;
    case eventActivate: onActivate(value != 0); break;
    case eventCommand: onCommand(static_cast<unsigned>(value)); break;
    default: break;
    }
}

std::string takeString(char* text) {
    std::string copy = text ? text : "";
    std::free(text);
    return copy;
}

}  // namespace

bool isDownKeyHeld() { return webDownKeyHeld() != 0; }

// The wipe's sleeps hand the thread back to the browser, which shows what was drawn so far.
void sleepMs(unsigned ms) { emscripten_sleep(ms); }

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

// The wipe draws straight on the visible canvas; the browser shows it whenever the program sleeps.
void beginWindowDrawing() {}
void endWindowDrawing() {}

void invalidateGameWindow() { webShowFrame(); }

void startSound(int soundId) { webStartSound(soundId); }

BoxAnswer showMessageBox(const std::string& textUtf8, const std::string& titleUtf8, BoxButtons buttons,
                         BoxOwner owner) {
    const bool yesNo = buttons == BoxButtons::yesNo;
    const int answer = webMessageBox(textUtf8.c_str(), titleUtf8.c_str(), yesNo ? yesButtonText : okButtonText,
                                     yesNo ? noButtonText : "", owner == BoxOwner::nameWindow);
    if (!yesNo) return BoxAnswer::ok;
    return answer ? BoxAnswer::yes : BoxAnswer::no;
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

std::string httpPost(const HttpTarget& target, const std::string& headerLine, const std::string& body,
                     std::size_t replyLimit) {
    // A page may only talk to the host it came from: the ranking is asked at the same path there.
    int length = 0;
    char* reply = webHttpPost(target.path.c_str(), headerLine.c_str(), body.data(), static_cast<int>(body.size()),
                              static_cast<int>(replyLimit), &length);
    std::string bytes(reply ? reply : "", reply ? static_cast<std::size_t>(length) : 0);
    std::free(reply);
    return bytes;
}

// The page's files live in memory, where rename() replaces a file in one step.
bool replaceFile(const char* from, const char* to) { return std::rename(from, to) == 0; }

void debugOutput(const std::string& utf8) { webDebugOutput(utf8.c_str()); }

void postClose(WindowId) { webPostClose(); }

int main() {
    if (!webTakeInstanceLock()) {
        showMessageBox(alreadyRunningText, alreadyRunningTitle, BoxButtons::ok, BoxOwner::none);
        webEnded(0);
        return 0;
    }
    webOpenWindows(gameWindowTitle, canvasWidth, canvasHeight, nameWindowTitle, nameWindowWidth, nameWindowHeight,
                   namePrompt, okButtonText, nameFieldRect.x, nameFieldRect.y, nameFieldRect.width,
                   nameFieldRect.height, okButtonRect.x, okButtonRect.y, okButtonRect.width, okButtonRect.height,
                   okButtonId);

    std::srand(static_cast<unsigned>(std::time(nullptr)));
    newGame();
    webLoadArt();
    // The first frame shows at once rather than with the first tick; composing it changes nothing.
    composeFrame();

    // Each of the two windows of the desktop program runs a timer, and each of their ticks runs
    // the game; the page starts two as well.
    webStartTimers(static_cast<int>(tickPeriodMs));
    for (int event = webNextEvent(); event >> 16 != eventClose; event = webNextEvent()) dispatch(event);
    webEnded(1);
    return 0;
}
