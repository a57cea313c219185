// fakePlatform.cpp: the test double's implementation of every platform function.
#include "fakePlatform.h"

#include <cstdio>

FakePlatform fake;

static std::string place(Surface to, int x, int y) {
    const char* names[] = {"back", "window", "backdrop", "tiles"};
    return std::string(names[static_cast<int>(to)]) + " " + std::to_string(x) + "," + std::to_string(y);
}
static std::string size(int width, int height) { return " " + std::to_string(width) + "x" + std::to_string(height); }
static void draw(const std::string& what) { fake.drawing.push_back(what); }

bool isDownKeyHeld() { return fake.downHeld; }
void sleepMs(unsigned ms) { fake.sleptMs += ms; }

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
void invalidateGameWindow() { ++fake.invalidations; }
void startSound(int soundId) { fake.sounds.push_back(soundId); }

BoxAnswer showMessageBox(const std::string& textUtf8, const std::string& titleUtf8, BoxButtons buttons,
                         BoxOwner owner) {
    fake.boxes.push_back(titleUtf8 + "|" + textUtf8 + (buttons == BoxButtons::ok ? "|ok" : "|yes-no") +
                         (owner == BoxOwner::none ? "|free" : "|owned"));
    if (fake.onBox) fake.onBox();
    if (fake.boxAnswers.empty()) return buttons == BoxButtons::ok ? BoxAnswer::ok : BoxAnswer::no;
    const BoxAnswer answer = fake.boxAnswers.front();
    fake.boxAnswers.pop_front();
    return answer;
}

void showNameWindow() { fake.nameWindowVisible = true; }
void hideNameWindow() { fake.nameWindowVisible = false; }
std::string nameFieldText() { return fake.nameField; }

std::string httpPost(const HttpTarget& target, const std::string& headerLine, const std::string& body,
                     std::size_t replyLimit) {
    fake.requests.push_back((target.secure ? "https://" : "http://") + target.host + ":" + std::to_string(target.port) +
                            target.path + "|" + headerLine + "|" + body + "|" + std::to_string(replyLimit));
    return fake.httpReply.substr(0, replyLimit);
}

// The tests run on Linux, where rename() replaces an existing file in one step.
bool replaceFile(const char* from, const char* to) { return std::rename(from, to) == 0; }

void debugOutput(const std::string& utf8) { fake.debugLines.push_back(utf8); }
void postClose(WindowId window) { fake.closes.push_back(window); }
