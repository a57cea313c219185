// fakePlatform.h: a test double for the platform interface. It records what the core draws,
// plays, asks and sends as plain text, answers boxes and HTTP from a script, and never sleeps.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"

struct FakePlatform {
    // What the core did. Drawing, in order: "begin frame", "<to> x,y wxh <- <from> x,y" for a copy,
    // "<to> x,y wxh white", "<to> x,y <text>", "begin window" and "end window"; the surfaces are
    // back, window, backdrop and tiles. Boxes: "title|text|ok or yes-no|free or owned". Requests:
    // "scheme://host:port/path|header line|body|reply limit".
    std::vector<std::string> drawing, boxes, requests, debugLines;
    std::vector<int> sounds;
    std::vector<WindowId> closes;
    unsigned sleptMs = 0, invalidations = 0;

    // What the machine answers, and whether the name window is up (tests also put it up).
    bool downHeld = false, nameWindowVisible = false;
    std::deque<BoxAnswer> boxAnswers;  // when empty: OK for OK boxes, No for Yes/No boxes
    std::function<void()> onBox;       // runs while a box is "up", before it answers
    std::string nameField, httpReply;

    // Drops the records and the script.
    void clear() { *this = FakePlatform{}; }
};

extern FakePlatform fake;
