// cp932.cpp: code page 932 conversions by table lookup (the tables are resources/cp932.inc).
#include "text/cp932.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace {

#include "cp932.inc"

constexpr char32_t noCharacter = 0xFFFF;
constexpr std::string_view replacementUtf8 = "\xEF\xBF\xBD";

using cp932::isLeadByte;

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Reads one character of code page 932 at `at`; noCharacter when the bytes there are none, with
// `length` the bytes to skip: a lead byte and a trail byte that make no character go together,
// unless the trail byte is ASCII and so a character of its own.
char32_t readCp932(std::string_view bytes, std::size_t at, std::size_t& length) {
    const auto lead = static_cast<unsigned char>(bytes[at]);
    length = 1;
    if (!isLeadByte(lead)) return singleByteCodePoints[lead];
    if (at + 1 == bytes.size()) return noCharacter;
    const auto trail = static_cast<unsigned char>(bytes[at + 1]);
    if (trail < 0x40 || trail > 0xFC) return noCharacter;
    const int row = lead <= 0x9F ? lead - 0x81 : lead - 0xE0 + 31;
    const char32_t c = doubleByteCodePoints[row * 189 + (trail - 0x40)];
    if (c != noCharacter || trail >= 0x80) length = 2;
    return c;
}

// Reads one UTF-8 character at `at`; noCharacter for a broken sequence (overlong, a surrogate,
// cut short, past U+10FFFF), with `length` the bytes of that broken stretch.
char32_t readUtf8(std::string_view text, std::size_t at, std::size_t& length) {
    const auto lead = static_cast<unsigned char>(text[at]);
    length = 1;
    if (lead < 0x80) return lead;
    int more = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : 1;
    if (lead < 0xC2 || lead > 0xF4) return noCharacter;
    char32_t c = lead & (0x3F >> more);
    // The first continuation byte's range depends on the lead: no overlongs, surrogates or beyond.
    const unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    const unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    for (int i = 0; i < more; ++i) {
        if (at + length == text.size()) return noCharacter;
        const auto next = static_cast<unsigned char>(text[at + length]);
        if (next < (i == 0 ? low : 0x80) || next > (i == 0 ? high : 0xBF)) return noCharacter;
        c = c << 6 | (next & 0x3F);
        ++length;
    }
    return c;
}

// The bytes of one character, a lead byte in the high half; false when code page 932 has none.
bool findBytes(char32_t c, unsigned& bytes) {
    if (c > 0xFFFF) return false;
    const auto* end = std::end(encodableCodePoints);
    const auto* found = std::lower_bound(std::begin(encodableCodePoints), end, c);
    if (found == end || *found != c) return false;
    bytes = encodedBytes[found - std::begin(encodableCodePoints)];
    return true;
}

void appendCp932(std::string& out, unsigned bytes) {
    if (bytes > 0xFF) out += static_cast<char>(bytes >> 8);
    out += static_cast<char>(bytes & 0xFF);
}

}  // namespace

namespace cp932 {

std::string encode(std::string_view utf8) {
    std::string out;
    for (std::size_t at = 0, length = 0; at < utf8.size(); at += length) {
        unsigned bytes = 0;
        const char32_t c = readUtf8(utf8, at, length);
        if (c != noCharacter && findBytes(c, bytes))
            appendCp932(out, bytes);
        else
            out += '?';
    }
    return out;
}

std::string decode(std::string_view bytes) {
    std::string out;
    for (std::size_t at = 0, length = 0; at < bytes.size(); at += length) {
        const char32_t c = readCp932(bytes, at, length);
        if (c != noCharacter)
            appendUtf8(out, c);
        else
            out += replacementUtf8;
    }
    return out;
}

bool encodeStrict(std::string_view utf8, std::string& out) {
    out.clear();
    for (std::size_t at = 0, length = 0; at < utf8.size(); at += length) {
        unsigned bytes = 0;
        const char32_t c = readUtf8(utf8, at, length);
        if (c == noCharacter || !findBytes(c, bytes)) return false;
        appendCp932(out, bytes);
    }
    return true;
}

bool decodeStrict(std::string_view bytes, std::string& out) {
    out.clear();
    for (std::size_t at = 0, length = 0; at < bytes.size(); at += length) {
        const char32_t c = readCp932(bytes, at, length);
        // Some characters have two forms (NEC's and IBM's rows of the same symbols and kanji): only
        // the one the encoder writes is taken, so that one name has one spelling in bytes.
        unsigned written = 0;
        if (c == noCharacter || !findBytes(c, written)) return false;
        const unsigned lead = static_cast<unsigned char>(bytes[at]);
        if (written != (length == 1 ? lead : lead << 8 | static_cast<unsigned char>(bytes[at + 1]))) return false;
        appendUtf8(out, c);
    }
    return true;
}

}  // namespace cp932
