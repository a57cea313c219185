// hiScore.cpp: the best score kept in "hiScore.txt" in the working directory.
#include <cctype>
#include <cstdint>
#include <cstdio>

#include "game/game.h"
#include "platform/platform.h"
#include "scores/scores.h"

const char* const hiScoreFileName = "hiScore.txt";

namespace {

const char* const hiScoreTempName = "hiScore.txt.tmp";

// Reads a leading decimal number the way "%d" would (white space, optional sign, digits), but
// with a defined result where scanf's is not: a number beyond the signed 32-bit range is held
// at the nearest end of that range. False when no number starts the text.
bool parseLeadingNumber(std::FILE* file, std::int32_t& value) {
    int ch = std::fgetc(file);
    while (ch != EOF && std::isspace(ch)) ch = std::fgetc(file);
    bool negative = false;
    if (ch == '+' || ch == '-') {
        negative = ch == '-';
        ch = std::fgetc(file);
    }
    if (ch == EOF || !std::isdigit(ch)) return false;
    const std::int64_t limit = negative ? -static_cast<std::int64_t>(INT32_MIN) : INT32_MAX;
    std::int64_t magnitude = 0;
    while (ch != EOF && std::isdigit(ch)) {
        magnitude = magnitude * 10 + (ch - '0');
        if (magnitude > limit) magnitude = limit;  // further digits cannot bring it back in range
        ch = std::fgetc(file);
    }
    value = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
    return true;
}

}  // namespace

void loadHiScore() {
    game.hiScore = 0;
    std::FILE* file = std::fopen(hiScoreFileName, "r");
    if (!file) return;
    std::int32_t value = 0;
    // The number is kept as its bit pattern: a stored -1 is a best score no game can beat.
    if (parseLeadingNumber(file, value)) game.hiScore = static_cast<std::uint32_t>(value);
    std::fclose(file);
}

void saveHiScore() {
    // The new score goes to a file beside the old one and replaces it in one rename, so a crash
    // or a full disk leaves the previous best score rather than an empty file.
    bool written = false;
    if (std::FILE* file = std::fopen(hiScoreTempName, "w")) {
        const bool printed = std::fprintf(file, "%d", static_cast<int>(game.score)) > 0;
        const bool flushed = std::fflush(file) == 0;
        const bool closed = std::fclose(file) == 0;
        written = printed && flushed && closed;
        // The rename is the platform's: a plain rename() will not replace a file on every system.
        if (written) written = replaceFile(hiScoreTempName, hiScoreFileName);
        if (!written) std::remove(hiScoreTempName);
    }
    if (!written) debugOutput("ファイルオープンに失敗しました\n");
}
