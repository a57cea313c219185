// hiScore.cpp: the best score's text, kept by the shell in hiScoreFileName (or the browser's
// storage) as "%d" writes it.
#include <cctype>
#include <cstdint>
#include <string>

#include "scores/scores.h"

bool parseHiScoreText(const std::string& text, std::uint32_t& score) {
    // Like "%d" (white space, optional sign, digits), but with a defined result where scanf's is
    // not: a number beyond the signed 32-bit range is held at the nearest end of that range.
    std::size_t at = 0;
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
    if (at == text.size() || !std::isdigit(static_cast<unsigned char>(text[at]))) return false;
    const std::int64_t limit = negative ? -static_cast<std::int64_t>(INT32_MIN) : INT32_MAX;
    std::int64_t magnitude = 0;
    for (; at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])); ++at) {
        magnitude = magnitude * 10 + (text[at] - '0');
        if (magnitude > limit) magnitude = limit;  // further digits cannot bring it back in range
    }
    // The number is kept as its bit pattern: a stored -1 is a best score no game can beat.
    score = static_cast<std::uint32_t>(static_cast<std::int32_t>(negative ? -magnitude : magnitude));
    return true;
}

std::string hiScoreFileText(std::uint32_t score) { return std::to_string(static_cast<std::int32_t>(score)); }
