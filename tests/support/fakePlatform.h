// fakePlatform.h: a test double for the platform interface. It records what the core draws,
// plays, asks and sends, answers boxes and HTTP from a script, and never really sleeps.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"

struct DrawOp {
    enum Kind { copy, white, print } kind;
    Surface to;
    int x, y, width, height;
    Surface from;
    int fromX, fromY;
    std::string text;
};

struct BoxRecord {
    std::string text;
    std::string title;
    BoxButtons buttons;
    BoxOwner owner;
};

struct RequestRecord {
    HttpTarget target;
    std::string headerLine;
    std::string body;
    std::size_t replyLimit;
};

struct FakePlatform {
    // What the core did.
    std::vector<DrawOp> drawOps;
    std::vector<int> sounds;
    std::vector<BoxRecord> boxes;
    std::vector<RequestRecord> requests;
    std::vector<std::string> debugLines;
    std::vector<WindowId> closes;
    unsigned sleptMs = 0;
    int invalidations = 0;
    int framesBegun = 0;
    int windowDrawingDepth = 0;
    int windowDrawingSessions = 0;
    bool nameWindowVisible = false;
    int nameWindowShowings = 0;

    // What the machine answers.
    bool downHeld = false;
    std::deque<BoxAnswer> boxAnswers;  // when empty: OK for OK boxes, No for Yes/No boxes
    std::function<void(const BoxRecord&)> onBox;  // runs while a box is "up", before it answers
    std::string nameField;
    std::string httpReply;

    // Drops the records, keeps nothing scripted.
    void clear();
    std::vector<std::string> boxTitles() const;
};

extern FakePlatform fake;
