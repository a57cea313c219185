// fakePlatform.cpp: the test double's implementation of every platform function.
#include "fakePlatform.h"

FakePlatform fake;

static std::string place(Surface to, int x, int y) {
    const char* names[] = {"back", "window", "backdrop", "tiles"};
    return std::string(names[static_cast<int>(to)]) + " " + std::to_string(x) + "," + std::to_string(y);
}
static std::string size(int width, int height) { return " " + std::to_string(width) + "x" + std::to_string(height); }
static void draw(const std::string& what) { fake.drawing.push_back(what); }

bool isDownKeyHeld() { return fake.downHeld; }
void loadArt() {}
void startTimer(unsigned) {}
void startDelay(unsigned ms) { fake.delays.push_back(ms), fake.delayPending = true; }

void beginFrame() { draw("begin frame"); }
void copyRect(Surface to, int x, int y, int width, int height, Surface from, int fromX, int fromY) {
    draw(place(to, x, y) + size(width, height) + " <- " + place(from, fromX, fromY));
}
void fillWhite(Surface to, int x, int y, int width, int height) {
    draw(place(to, x, y) + size(width, height) + " white");
}
void drawText(Surface to, int x, int y, const std::string& utf8) { draw(place(to, x, y) + " " + utf8); }
void beginWindowDrawing() { draw("begin window"); }
void endWindowDrawing() { draw("end window"); }
void invalidateGameWindow() {}  // the shells' tests see the frame shown
void startSound(int soundId) { fake.sounds.push_back(soundId); }

void showMessageBox(const std::string& textUtf8, const std::string& titleUtf8, BoxButtons buttons, BoxOwner owner) {
    fake.boxes.push_back(titleUtf8 + "|" + textUtf8 + (buttons == BoxButtons::ok ? "|ok" : "|yes-no") +
                         (owner == BoxOwner::none ? "|free" : "|owned"));
}

void showNameWindow() { fake.nameWindowVisible = true; }
void hideNameWindow() { fake.nameWindowVisible = false; }
std::string nameFieldText() { return fake.nameField; }

void startRankingPost(const HttpTarget& target, const std::string& headerLine, const std::string& body,
                      std::size_t replyLimit, unsigned timeLimitMs) {
    fake.requests.push_back((target.secure ? "https://" : "http://") + target.host + ":" + std::to_string(target.port) +
                            target.path + "|" + headerLine + "|" + body + "|" + std::to_string(replyLimit));
    fake.timeLimits.push_back(timeLimitMs);
}

bool readUserFile(const char* name, std::string& bytes) {
    if (std::string(name) != hiScoreFileName) return fake.files.count(name) ? (bytes = fake.files[name], true) : false;
    bytes = fake.hiScoreText;
    return fake.hiScoreFile;
}

bool writeUserFile(const char* name, const std::string& bytes) {
    if (std::string(name) != hiScoreFileName) return fake.files[name] = bytes, true;
    if (fake.hiScoreWriteFails) return false;
    fake.hiScoreFile = true, fake.hiScoreText = bytes;
    return true;
}

void debugOutput(const std::string& utf8) { fake.debugLines.push_back(utf8); }
void postClose(WindowId window) { fake.closes.push_back(window); }
