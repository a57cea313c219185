// fakePlatform.cpp: the test double's implementation of every platform function.
#include "fakePlatform.h"

#include <cstdio>

FakePlatform fake;

void FakePlatform::clear() { *this = FakePlatform{}; }

std::vector<std::string> FakePlatform::boxTitles() const {
    std::vector<std::string> titles;
    for (const BoxRecord& box : boxes) titles.push_back(box.title);
    return titles;
}

bool isDownKeyHeld() { return fake.downHeld; }
void sleepMs(unsigned ms) { fake.sleptMs += ms; }

void copyRect(Surface to, int x, int y, int width, int height, Surface from, int fromX, int fromY) {
    fake.drawOps.push_back({DrawOp::copy, to, x, y, width, height, from, fromX, fromY, {}});
}
void fillWhite(Surface to, int x, int y, int width, int height) {
    fake.drawOps.push_back({DrawOp::white, to, x, y, width, height, to, 0, 0, {}});
}
void drawText(Surface to, int x, int y, const std::string& utf8) {
    fake.drawOps.push_back({DrawOp::print, to, x, y, 0, 0, to, 0, 0, utf8});
}
void beginWindowDrawing() {
    ++fake.windowDrawingDepth;
    ++fake.windowDrawingSessions;
}
void endWindowDrawing() { --fake.windowDrawingDepth; }
void beginFrame() { ++fake.framesBegun; }
void invalidateGameWindow() { ++fake.invalidations; }
void startSound(int soundId) { fake.sounds.push_back(soundId); }

BoxAnswer showMessageBox(const std::string& textUtf8, const std::string& titleUtf8, BoxButtons buttons,
                         BoxOwner owner) {
    const BoxRecord box{textUtf8, titleUtf8, buttons, owner};
    fake.boxes.push_back(box);
    if (fake.onBox) fake.onBox(box);
    if (!fake.boxAnswers.empty()) {
        const BoxAnswer answer = fake.boxAnswers.front();
        fake.boxAnswers.pop_front();
        return answer;
    }
    return buttons == BoxButtons::ok ? BoxAnswer::ok : BoxAnswer::no;
}

void showNameWindow() {
    fake.nameWindowVisible = true;
    ++fake.nameWindowShowings;
}
void hideNameWindow() { fake.nameWindowVisible = false; }
std::string nameFieldText() { return fake.nameField; }

std::string httpPost(const HttpTarget& target, const std::string& headerLine, const std::string& body,
                     std::size_t replyLimit) {
    fake.requests.push_back({target, headerLine, body, replyLimit});
    return fake.httpReply.substr(0, replyLimit);
}

// The tests run on Linux, where rename() replaces an existing file in one step.
bool replaceFile(const char* from, const char* to) { return std::rename(from, to) == 0; }

void debugOutput(const std::string& utf8) { fake.debugLines.push_back(utf8); }
void postClose(WindowId window) { fake.closes.push_back(window); }
