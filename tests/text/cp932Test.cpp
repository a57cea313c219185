// cp932Test.cpp: the code page 932 helper: fixed rows for both modes, then every character
// against glibc's converter, which the compiled-in tables were read from.
#include <iconv.h>

#include <string>

#include <gtest/gtest.h>

#include "text/cp932.h"

namespace {

const std::string refused = "(refused)", same = "(as lenient)", fffd = "\xEF\xBF\xBD";

TEST(Cp932, FixedRowsConvertLenientlyAndStrictly) {
    // direction (true: UTF-8 to code page 932), input, lenient output, strict output. Single characters
    // are the table test's; these rows are strings and what is refused: a yen sign never becomes a
    // backslash; cut short; an overlong "/" and a surrogate; an ASCII byte after a lead stands alone;
    // unassigned pairs; the second forms of FA5C and 81E0. (Strings that convert whole, such as a
    // name, both ways alike, are the fuzz target's and the shells' sent bytes.)
    // clang-format off
    const struct { bool toCp932; std::string from, lenient, strict; } rows[] = {
        {true, "¥￥\\", "\x81\x8F\x81\x8F\\", same}, {true, "a€b", "a?b", refused}, {true, "a\xE3\x81", "a?", refused},
        {true, "x\xF0\x9F\x98\x80y", "x?y", refused}, {true, "a\377b", "a?b", refused},
        {true, "\xC0\xAF\xED\xA0\x80", "?????", refused}, {false, "a\377b", "a" + fffd + "b", refused},
        {false, "a\x82", "a" + fffd, refused}, {false, "\x81\x7F", fffd + "\x7F", refused},
        {false, "\x85\x40\x85\x9F", fffd + "@" + fffd, refused}, {false, "\xED\x40\x87\x90", "纊≒", refused}};
    // clang-format on
    for (const auto& row : rows) {
        std::string strict;
        const bool done = row.toCp932 ? cp932::encodeStrict(row.from, strict) : cp932::decodeStrict(row.from, strict);
        EXPECT_EQ(row.toCp932 ? cp932::encode(row.from) : cp932::decode(row.from), row.lenient) << row.from;
        EXPECT_EQ(done ? strict : refused, row.strict == same ? row.lenient : row.strict) << row.from;
    }
}

// glibc's answer for `in` through `cd`, or `refused`.
std::string glibc(iconv_t cd, std::string in) {
    char buffer[16], *inPtr = in.data(), *outPtr = buffer;
    std::size_t inLeft = in.size(), outLeft = sizeof buffer;
    const bool ok = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    return ok ? std::string(buffer, outPtr) : refused;
}

// This pins every single character both ways: half-width katakana in one byte, second bytes in the
// ASCII range (0x5C included), and what a Linux input method and Windows type for the same mark
// (〜 and ～, − and －, — and ―, ‖ and ∥) giving the same bytes.
// Strictly, a character code page 932 holds twice (NEC's and IBM's rows) is read only in the form
// that is written: one name, one spelling in bytes.
TEST(Cp932Tables, EveryCharacterConvertsAsGlibcConvertsItButTheYenSign) {
    iconv_t reading = iconv_open("UTF-8", "CP932"), writing = iconv_open("CP932", "UTF-8"),
            toUtf8 = iconv_open("UTF-8", "UTF-32LE");
    std::string ours;
    for (int lead = 0; lead < 256; ++lead) {
        for (int trail = -1; trail < 256 && (trail < 0 || lead >= 0x80); ++trail) {  // ASCII leads no pair
            const std::string in = std::string(1, char(lead)) + (trail >= 0 ? std::string(1, char(trail)) : "");
            std::string read = glibc(reading, in);
            if (read != refused && glibc(writing, read) != in) read = refused;  // a second form
            ASSERT_EQ(cp932::decodeStrict(in, ours) ? ours : refused, read) << lead << " " << trail;
        }
    }
    for (char32_t c = 1; c < 0x10000; ++c) {
        if ((c >= 0xD800 && c <= 0xDFFF) || c == 0xA5) continue;
        const std::string utf8 = glibc(toUtf8, std::string(reinterpret_cast<const char*>(&c), 4));
        ASSERT_EQ(cp932::encodeStrict(utf8, ours) ? ours : refused, glibc(writing, utf8)) << "U+" << std::hex << +c;
    }
    for (iconv_t cd : {reading, writing, toUtf8}) iconv_close(cd);
}

}  // namespace
