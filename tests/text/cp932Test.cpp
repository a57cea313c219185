// cp932Test.cpp: the code page 932 helper: fixed rows for both modes, then every character
// against glibc's converter, which the compiled-in tables were read from.
#include <iconv.h>

#include <string>

#include <gtest/gtest.h>

#include "text/cp932.h"

namespace {

const std::string refused = "(refused)";

struct Row {
    bool toCp932;  // else from code page 932 to UTF-8
    std::string from;
    std::string lenient;
    std::string strict;  // `refused` when the strict call returns false
};

class Cp932 : public testing::TestWithParam<Row> {};

TEST_P(Cp932, ConvertsLenientlyAndStrictly) {
    const Row& row = GetParam();
    std::string strict;
    const bool done = row.toCp932 ? cp932::encodeStrict(row.from, strict) : cp932::decodeStrict(row.from, strict);
    EXPECT_EQ(row.toCp932 ? cp932::encode(row.from) : cp932::decode(row.from), row.lenient);
    EXPECT_EQ(done ? strict : refused, row.strict);
}

const std::string fffd = "\xEF\xBF\xBD";

INSTANTIATE_TEST_SUITE_P(
    Rows, Cp932,
    testing::Values(Row{true, "ABC_1200", "ABC_1200", "ABC_1200"}, Row{true, "", "", ""},
                    Row{true, "名前", "\x96\xBC\x91\x4F", "\x96\xBC\x91\x4F"},
                    Row{true, "ｱｲ", "\xB1\xB2", "\xB1\xB2"},  // half-width katakana is one byte each
                    Row{true, "ソ", "\x83\x5C", "\x83\x5C"},  // a second byte of 0x5C (backslash)
                    // What a Linux input method types and what Windows types give the same bytes.
                    Row{true, "〜～", "\x81\x60\x81\x60", "\x81\x60\x81\x60"},
                    Row{true, "−－", "\x81\x7C\x81\x7C", "\x81\x7C\x81\x7C"},
                    Row{true, "—―", "\x81\x5C\x81\x5C", "\x81\x5C\x81\x5C"},
                    Row{true, "‖∥", "\x81\x61\x81\x61", "\x81\x61\x81\x61"},
                    Row{true, "¥￥\\", "\x81\x8F\x81\x8F\\",
                        "\x81\x8F\x81\x8F\\"},  // a yen sign never becomes a backslash
                    Row{true, "a€b", "a?b", refused}, Row{true, "x\xF0\x9F\x98\x80y", "x?y", refused},
                    Row{true,
                        "a\xFF"
                        "b",
                        "a?b", refused},
                    Row{true, "a\xE3\x81", "a?", refused},                // cut short
                    Row{true, "\xC0\xAF\xED\xA0\x80", "?????", refused},  // an overlong "/" and a surrogate
                    Row{false, "\x96\xBC\x91\x4F", "名前", "名前"},
                    Row{false, "\x83\x7A\x81\x5B\x83\x80", "ホーム", "ホーム"},  // second bytes in the ASCII range
                    Row{false, "\x81\x60\x5C\x7E", "～\\~", "～\\~"},
                    Row{false,
                        "a\xFF"
                        "b",
                        "a" + fffd + "b", refused},
                    Row{false, "a\x82", "a" + fffd, refused},
                    Row{false, "\x81\x7F", fffd + "\x7F", refused},  // an ASCII byte after a lead stands alone
                    Row{false, "\x85\x40\x85\x9F", fffd + "@" + fffd, refused}),  // unassigned pairs
    [](const auto& info) { return "row" + std::to_string(info.index); });

// glibc's answer for `in` through `cd`, or `refused`.
std::string glibc(iconv_t cd, const std::string& in) {
    char buffer[16];
    char* inPtr = const_cast<char*>(in.data());
    std::size_t inLeft = in.size(), outLeft = sizeof buffer;
    char* outPtr = buffer;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    const bool ok = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1);
    return ok ? std::string(buffer, static_cast<std::size_t>(outPtr - buffer)) : refused;
}

TEST(Cp932Tables, EveryCharacterConvertsAsGlibcConvertsItButTheYenSign) {
    iconv_t reading = iconv_open("UTF-8", "CP932"), writing = iconv_open("CP932", "UTF-8");
    for (int lead = 0; lead < 256; ++lead) {
        for (int trail = -1; trail < 256; ++trail) {
            std::string bytes(1, static_cast<char>(lead)), ours;
            if (trail >= 0) bytes += static_cast<char>(trail);
            if (!cp932::decodeStrict(bytes, ours)) ours = refused;
            ASSERT_EQ(ours, glibc(reading, bytes)) << std::hex << lead << ' ' << trail;
            if (lead < 0x80) break;  // a pair starting in ASCII is two single bytes
        }
    }
    for (char32_t c = 1; c < 0x10000; ++c) {
        if ((c >= 0xD800 && c <= 0xDFFF) || c == 0xA5) continue;
        std::string utf8, ours;
        if (c < 0x80)
            utf8 = {static_cast<char>(c)};
        else if (c < 0x800)
            utf8 = {static_cast<char>(0xC0 | c >> 6), static_cast<char>(0x80 | (c & 0x3F))};
        else
            utf8 = {static_cast<char>(0xE0 | c >> 12), static_cast<char>(0x80 | (c >> 6 & 0x3F)),
                    static_cast<char>(0x80 | (c & 0x3F))};
        if (!cp932::encodeStrict(utf8, ours)) ours = refused;
        ASSERT_EQ(ours, glibc(writing, utf8)) << "U+" << std::hex << static_cast<unsigned>(c);
    }
    iconv_close(reading);
    iconv_close(writing);
}

}  // namespace
