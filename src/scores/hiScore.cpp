// hiScore.cpp: the best score kept in "hiScore.txt" in the working directory.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <string>

#include "game/game.h"
#include "platform/platform.h"
#include "scores/scores.h"

const char* const hiScoreFileName = "hiScore.txt";

namespace {

const char* const hiScoreTempName = "hiScore.txt.tmp";

}  // namespace

// Reads a leading decimal number the way "%d" would (white space, optional sign, digits), but
// with a defined result where scanf's is not: a number beyond the signed 32-bit range is held
// at the nearest end of that range. The number is kept as its bit pattern: a stored -1 is a best
// score no game can beat.
bool parseHiScoreText(const std::string& text, std::uint32_t& score) {
    std::size_t at = 0;
    auto next = [&]() -> int { return at < text.size() ? static_cast<unsigned char>(text[at++]) : EOF; };
    int ch = next();
    while (ch != EOF && std::isspace(ch)) ch = next();
    bool negative = false;
    if (ch == '+' || ch == '-') {
        negative = ch == '-';
        ch = next();
    }
    if (ch == EOF || !std::isdigit(ch)) return false;
    const std::int64_t limit = negative ? -static_cast<std::int64_t>(INT32_MIN) : INT32_MAX;
    std::int64_t magnitude = 0;
    while (ch != EOF && std::isdigit(ch)) {
        magnitude = magnitude * 10 + (ch - '0');
        if (magnitude > limit) magnitude = limit;  // further digits cannot bring it back in range
        ch = next();
    }
    score = static_cast<std::uint32_t>(static_cast<std::int32_t>(negative ? -magnitude : magnitude));
    return true;
}

// What "%d" writes for the score taken as a signed number.
std::string hiScoreFileText(std::uint32_t score) { return std::to_string(static_cast<std::int32_t>(score)); }

void loadHiScore() {
    game.hiScore = 0;
    std::FILE* file = std::fopen(hiScoreFileName, "r");
    if (!file) return;
    std::string text;
    char chunk[256];
    for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;) text.append(chunk, got);
    std::fclose(file);
    std::uint32_t score = 0;
    if (parseHiScoreText(text, score)) game.hiScore = score;
}

void saveHiScore() {
    // The new score goes to a file beside the old one and replaces it in one rename, so a crash
    // or a full disk leaves the previous best score rather than an empty file.
    bool written = false;
    if (std::FILE* file = std::fopen(hiScoreTempName, "w")) {
        const std::string text = hiScoreFileText(game.score);
        const bool printed = std::fwrite(text.data(), 1, text.size(), file) == text.size();
        const bool flushed = std::fflush(file) == 0;
        const bool closed = std::fclose(file) == 0;
        written = printed && flushed && closed;
        // The rename is the platform's: a plain rename() will not replace a file on every system.
        if (written) written = replaceFile(hiScoreTempName, hiScoreFileName);
        if (!written) std::remove(hiScoreTempName);
    }
    if (!written) debugOutput("ファイルオープンに失敗しました\n");
}
