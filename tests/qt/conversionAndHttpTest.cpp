// conversionAndHttpTest.cpp: the Qt-free pieces of the Linux shell: code page 932 and the HTTP POST.
#include <string>

#include <gtest/gtest.h>

#include "loopbackServer.h"
#include "platform/platform.h"

namespace {

struct ConversionRow {
    bool toCp932;  // else from code page 932 to UTF-8
    std::string from;
    std::string to;
};

class Cp932 : public testing::TestWithParam<ConversionRow> {};

TEST_P(Cp932, ConvertsWithQuestionMarksAndReplacementCharacters)
{
    const ConversionRow& row = GetParam();
    EXPECT_EQ(row.toCp932 ? utf8ToCp932(row.from) : cp932ToUtf8(row.from), row.to);
}

// Unmappable or broken UTF-8 becomes "?"; an undefined or cut-off code page 932 sequence, U+FFFD.
INSTANTIATE_TEST_SUITE_P(Rows, Cp932, testing::Values(
    ConversionRow{true, "ABC_1200", "ABC_1200"},
    ConversionRow{true, "", ""},
    ConversionRow{true, "名前", "\x96\xBC\x91\x4F"},
    ConversionRow{true, "ｱｲ", "\xB1\xB2"},          // half-width katakana is one byte each
    ConversionRow{true, "ソ", "\x83\x5C"},          // a second byte of 0x5C (backslash)
    ConversionRow{true, "～", "\x81\x60"},          // full-width tilde, where plain Shift JIS differs
    ConversionRow{true, "a€b", "a?b"},
    ConversionRow{true, "x\xF0\x9F\x98\x80y", "x?y"},
    ConversionRow{true, "a\xFF" "b", "a?b"},
    ConversionRow{true, "a\xE3\x81", "a?"},
    ConversionRow{false, "\x96\xBC\x91\x4F", "名前"},
    ConversionRow{false, "\x83\x7A\x81\x5B\x83\x80", "ホーム"},  // second bytes in the ASCII range
    ConversionRow{false, "a\xFF" "b", "a\xEF\xBF\xBD" "b"},
    ConversionRow{false, "a\x82", "a\xEF\xBF\xBD"},
    ConversionRow{false, "\x81\x7F", "\xEF\xBF\xBD\x7F"}),
    [](const auto& info) { return "row" + std::to_string(info.index); });

std::string okReply(const std::string& body)
{
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

struct PostRow {
    const char* label;
    std::string body;
    std::string serverReply;  // empty: no server listens
    std::string shown;        // what httpPost gives back
    bool secure = false;
};

TEST(HttpPost, SendsExactlyWhatItIsGivenAndGivesBackTheReplysFirstBytes)
{
    std::string longReply;
    for (int i = 0; i < 3000; ++i) longReply += static_cast<char>('a' + i % 26);
    const PostRow rows[] = {
        {"short", "ABC_1200", okReply("abc<def"), "abc<def"},
        {"bytes a form would escape", "A&=% \x83\x5C_99", okReply("abc"), "abc"},
        {"long body, where curl would wait for a go-ahead", std::string(3000, 'x') + "_1", okReply("abc"), "abc"},
        {"long reply, only the first 1024 bytes kept", "A_1", okReply(longReply), longReply.substr(0, 1024)},
        {"a redirect's own body, not followed", "A_1",
         "HTTP/1.1 302 Found\r\nLocation: /elsewhere\r\nContent-Length: 7\r\nConnection: close\r\n\r\nmoved<x", "moved<x"},
        {"no server", "A_1", "", ""},
        {"https to a server that does not speak TLS", "A_1", okReply("abc"), "", true}};
    for (const PostRow& row : rows) {
        LoopbackServer server;
        ASSERT_TRUE(server.start(0, row.serverReply));
        const unsigned short port = server.port();
        if (row.serverReply.empty()) server.stop();
        const HttpTarget target{row.secure, "127.0.0.1", port, "/whiteRanking.cgi"};
        EXPECT_EQ(httpPost(target, "Content-Type: application/x-www-form-urlencoded", row.body, 1024), row.shown)
            << row.label;
        if (row.serverReply.empty() || row.secure) continue;
        SCOPED_TRACE(row.label);
        expectFormPost(server.lastRequest(), row.body);  // a redirect followed would be a GET elsewhere
    }
}

}  // namespace
