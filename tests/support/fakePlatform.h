// fakePlatform.h: a test double for the platform interface. It records what the core draws,
// plays, asks, sends and writes as plain text, keeps the best-score file in memory, and never
// waits: the tests deliver the answers, the delays and the replies themselves.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"

struct FakePlatform {
    // What the core did. Drawing, in order: "begin frame", "<to> x,y wxh <- <from> x,y" for a copy,
    // "<to> x,y wxh white", "<to> x,y <text>", "begin window" and "end window"; the surfaces are
    // back, window, backdrop and tiles. Boxes: "title|text|ok or yes-no|free or owned". Requests:
    // "scheme://host:port/path|header line|body|reply limit". Delays: the ms of each started.
    std::vector<std::string> drawing, boxes, requests, debugLines;
    std::vector<int> sounds;
    std::vector<unsigned> delays, timeLimits;  // and each request's time limit
    std::vector<WindowId> closes;
    bool delayPending = false;

    // The machine's state: the Down key, the name window and its field, the best-score file
    // (none when `hiScoreFile` is false; a write fails when `hiScoreWriteFails`) and the other files.
    bool downHeld = false, nameWindowVisible = false;
    std::string nameField;
    bool hiScoreFile = false, hiScoreWriteFails = false;
    std::string hiScoreText;
    std::map<std::string, std::string> files;

    // Drops the records and the machine's state.
    void clear() { *this = FakePlatform{}; }
};

extern FakePlatform fake;
