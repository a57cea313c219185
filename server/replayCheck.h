// replayCheck.h: a game's recording sent before its score, read and played again by the rules
// before the score may count as verified.
#pragma once

#include "submission.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The replay path's body limit: a 30-minute game's recording is about 20 KB.
constexpr std::uint64_t maxReplayBodyBytes = 64 * 1024;
// The most ticks a recording may hold: four hours of play at the game's 60.6 ticks a second. The
// bytes already bound it (15 ticks a byte), this bounds the rules' work for one verification to
// about 20 ms of one core whatever the bytes say.
constexpr std::uint64_t maxReplayTicks = 4ull * 3600 * 61;
// A key press takes a finger at least 1/40 s on average over a game: more key-downs than that per
// tick (plus a few) were not typed by a person's hand.
constexpr std::uint64_t keyDownsPerTickDivisor = 3;  // at most 2 key-downs every 3 ticks, i.e. 40 a second
constexpr std::uint64_t spareKeyDowns = 64;
// How long an accepted replay waits for its classic submission: the clients send the two within
// 10 s; the rest allows for the clocks of several web hosts on one PostgreSQL store to differ.
constexpr std::int64_t replayMatchSeconds = 300;

enum class ReplayVerdict {
    accepted,
    malformed,     // no "NAME_SCORE\n" line, or the name or score is not one the ranking takes
    notRecording,  // not a recording of a known version
    tooLong,       // more ticks than maxReplayTicks
    implausible,   // more key presses than a hand makes in that time
    notEnded,      // the rules did not reach a blocked entry at the recording's end
    wrongScore,    // the rules reached another score than the one claimed
};

struct ReplayClaim {
    Submission submission;   // the name's bytes and the score claimed
    std::string recording;   // the recording's bytes
    std::uint64_t ticks = 0; // ticks the recording holds
};

// Parses the replay body ("NAME_SCORE\n" then the recording) and plays the recording with the
// rules. Pure: many may run at once on several threads.
ReplayVerdict checkReplay(std::string_view body, ReplayClaim& out);
// Plays a recording alone (the operator's re-verification): the verdict for `score`.
ReplayVerdict checkRecording(std::string_view recording, std::uint32_t score, std::uint64_t* ticks = nullptr);
// The replay's id: the first 128 bits of the SHA-256 of the recording, as 16 bytes.
std::string replayKey(std::string_view recording);
// The id as the watch link writes it (32 lowercase hex digits), and back; false for anything else.
std::string replayKeyText(std::string_view key);
bool parseReplayKeyText(std::string_view text, std::string& key);
