// submission.cpp: parsing the game's "NAME_SCORE" body.
#include "submission.h"

#include "text/cp932.h"

namespace {

// A single-byte control character (0x00..0x1F or 0x7F) anywhere: a trail byte is never below
// 0x40, so a byte in that range is always a character of its own.
bool hasControlCharacter(std::string_view bytes) {
    for (char c : bytes) {
        unsigned char b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F) return true;
    }
    return false;
}

// The name without blanks at either end. Characters are walked from the start, because a
// full-width blank's bytes (0x81 0x40) may also end another double-byte character.
std::string_view trimBlanks(std::string_view name) {
    std::size_t first = std::string_view::npos;  // start of the first non-blank character
    std::size_t end = 0;                         // end of the last non-blank character
    for (std::size_t at = 0; at < name.size();) {
        unsigned char b = static_cast<unsigned char>(name[at]);
        std::size_t size = cp932::isLeadByte(b) && at + 1 < name.size() ? 2 : 1;
        bool blank = b == ' ' || (size == 2 && b == 0x81 && name[at + 1] == '\x40');
        if (!blank) {
            if (first == std::string_view::npos) first = at;
            end = at + size;
        }
        at += size;
    }
    return first == std::string_view::npos ? std::string_view() : name.substr(first, end - first);
}

}  // namespace

BodyError parseName(std::string_view name, std::string& out) {
    if (name.empty() || name.size() > maxNameBytes) return BodyError::nameLength;
    if (hasControlCharacter(name)) return BodyError::nameControl;
    // Strict decoding also refuses the second code of a character that code page 932 holds under
    // two (FA 4A for 87 54, both Ⅰ): the game never sends one, and one name keeps one spelling.
    std::string readable;
    if (!cp932::decodeStrict(name, readable)) return BodyError::nameEncoding;
    name = trimBlanks(name);
    if (name.empty()) return BodyError::nameBlank;
    out.assign(name);
    return BodyError::none;
}

BodyError parseSubmission(std::string_view body, Submission& out) {
    std::size_t split = body.rfind('_');
    if (split == std::string_view::npos) return BodyError::noSeparator;
    std::string name;
    if (BodyError error = parseName(body.substr(0, split), name); error != BodyError::none) return error;
    std::string_view digits = body.substr(split + 1);
    if (digits.empty() || digits.size() > maxScoreDigits) return BodyError::score;
    std::uint64_t score = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return BodyError::score;
        score = score * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (score > 0xFFFFFFFFull) return BodyError::score;
    out.name = std::move(name);
    out.score = static_cast<std::uint32_t>(score);
    return BodyError::none;
}
