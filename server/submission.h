// submission.h: what a ranking submission may hold, what storing one gives back, and the rate limit:
// the rules every store shares.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "scores/rankingFacts.h"  // maxNameBytes, shared with the game

// Why a request body was refused; `none` when it holds a name and a score.
enum class BodyError { none, noSeparator, nameLength, nameEncoding, nameControl, nameBlank, score };

struct Submission {
    std::string name;  // code page 932 bytes, 1 to 10 of them, no blank at either end
    std::uint32_t score = 0;
};

constexpr std::size_t maxScoreDigits = 10;

// Splits "NAME_SCORE" at the LAST underscore: the name itself may hold underscores, and so may a
// double-byte character whose second byte is 0x5F. Blanks (half- or full-width) at either end of
// the name are dropped, so "AB " and "AB" are one player.
BodyError parseSubmission(std::string_view body, Submission& out);
// The name part alone, by the same rules (the operator's command reads names as the server does).
BodyError parseName(std::string_view name, std::string& out);
// A name in the form the refused names are matched in (UTF-8): full-width letters, digits and
// signs as their ASCII forms and half-width katakana as full-width ones, a sound mark joined to
// its kana (ｂａｄ is bad, ﾊﾞｶ and ハ゛カ are バカ), and letters in lower case.
std::string foldedName(std::string_view cp932Name);
// (texts.h gives the reason for a refusal as a sentence.)

// How many accepted submissions one client address may make per window; 0 turns the limit off.
// An address is remembered only for one window.
struct RateLimit {
    unsigned count = 5;
    unsigned seconds = 60;
};

// notVerified: the operator takes verified submissions only, and no replay matched this one.
// heldBack: the operator hid the name's entry or refused the name (store.h's Moderation).
enum class SubmitOutcome { accepted, rateLimited, storageFailed, notVerified, heldBack };

struct SubmitResult {
    SubmitOutcome outcome = SubmitOutcome::storageFailed;
    std::uint32_t place = 0;       // the name's place after this submission (1 = top)
    std::uint32_t bestScore = 0;   // the name's best score after this submission
    bool improved = false;         // this submission became the name's best
    std::uint32_t retryAfter = 0;  // rateLimited: seconds until the address may submit again
    bool verified = false;         // a replay accepted shortly before matched it
};

struct RankingEntry {
    std::uint32_t place = 0;
    std::string name;  // code page 932 bytes
    std::uint32_t score = 0;
    std::string replay;  // the key of the replay behind this entry (replayCheck.h); empty: not verified
};
