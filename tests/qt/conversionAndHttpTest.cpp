// conversionAndHttpTest.cpp: the Qt-free pieces of the Linux shell: code page 932 and the HTTP POST.
#include <chrono>
#include <string>

#include <gtest/gtest.h>

#include "loopbackServer.h"
#include "platform/platform.h"

namespace {

struct ConversionRow {
    const char* label;
    std::string utf8;
    std::string cp932;
};

class ToCp932 : public testing::TestWithParam<ConversionRow> {};

TEST_P(ToCp932, GivesTheBytesOrAQuestionMark)
{
    EXPECT_EQ(utf8ToCp932(GetParam().utf8), GetParam().cp932) << GetParam().label;
}

INSTANTIATE_TEST_SUITE_P(Rows, ToCp932, testing::Values(
    ConversionRow{"ascii", "ABC_1200", "ABC_1200"},
    ConversionRow{"empty", "", ""},
    ConversionRow{"kanji", "名前", "\x96\xBC\x91\x4F"},
    ConversionRow{"hiragana", "あいう", "\x82\xA0\x82\xA2\x82\xA4"},
    ConversionRow{"half-width katakana is one byte", "ｱｲ", "\xB1\xB2"},
    ConversionRow{"a second byte of 0x5C (backslash)", "ソ", "\x83\x5C"},
    ConversionRow{"full-width tilde", "～", "\x81\x60"},
    ConversionRow{"euro sign has no code", "a€b", "a?b"},
    ConversionRow{"emoji has no code", "x\xF0\x9F\x98\x80y", "x?y"},
    ConversionRow{"broken UTF-8 byte", "a\xFF" "b", "a?b"},
    ConversionRow{"cut-off UTF-8 at the end", "a\xE3\x81", "a?"}),
    [](const testing::TestParamInfo<ConversionRow>& info) { return "row" + std::to_string(info.index); });

class FromCp932 : public testing::TestWithParam<ConversionRow> {};

TEST_P(FromCp932, GivesTheTextOrAReplacementCharacter)
{
    EXPECT_EQ(cp932ToUtf8(GetParam().cp932), GetParam().utf8) << GetParam().label;
}

INSTANTIATE_TEST_SUITE_P(Rows, FromCp932, testing::Values(
    ConversionRow{"ascii", "abc", "abc"},
    ConversionRow{"kanji", "名前", "\x96\xBC\x91\x4F"},
    ConversionRow{"the done sentence", "11位以下はホームページにて",
                  "11\x88\xCA\x88\xC8\x89\xBA\x82\xCD\x83\x7A\x81\x5B\x83\x80\x83\x79\x81\x5B\x83\x57\x82\xC9\x82\xC4"},
    ConversionRow{"undefined byte", "a\xEF\xBF\xBD" "b", "a\xFF" "b"},
    ConversionRow{"lead byte cut off at the end", "a\xEF\xBF\xBD", "a\x82"},
    ConversionRow{"lead byte with a bad second byte", "\xEF\xBF\xBD\x7F", "\x81\x7F"}),
    [](const testing::TestParamInfo<ConversionRow>& info) { return "row" + std::to_string(info.index); });

const char* const formHeader = "Content-Type: application/x-www-form-urlencoded";

HttpTarget loopbackTarget(unsigned short port)
{
    HttpTarget target;
    target.host = "127.0.0.1";
    target.port = port;
    target.path = "/whiteRanking.cgi";
    return target;
}

std::string okReply(const std::string& body)
{
    return "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

TEST(HttpPost, SendsExactlyTheHeaderAndBodyGiven)
{
    struct Row {
        const char* label;
        std::string body;
    };
    // A long body is where curl would add "Expect: 100-continue" and wait for the server's go-ahead.
    const Row rows[] = {{"short", "ABC_1200"},
                        {"name with the bytes a form would escape", "A&=% \x83\x5C_99"},
                        {"long", std::string(3000, 'x') + "_1"}};
    for (const Row& row : rows) {
        LoopbackServer server;
        ASSERT_TRUE(server.start(0, okReply("abc<def")));
        const std::string reply = httpPost(loopbackTarget(server.port()), formHeader, row.body, 1024);
        EXPECT_EQ(reply, "abc<def") << row.label;
        ParsedRequest request = parseRequest(server.lastRequest());
        EXPECT_EQ(request.method, "POST") << row.label;
        EXPECT_EQ(request.path, "/whiteRanking.cgi") << row.label;
        int contentTypes = 0;
        EXPECT_EQ(headerValue(request, "Content-Type", &contentTypes), "application/x-www-form-urlencoded")
            << row.label;
        EXPECT_EQ(contentTypes, 1) << row.label;
        EXPECT_EQ(headerValue(request, "Content-Length"), std::to_string(row.body.size())) << row.label;
        int expects = 0;
        headerValue(request, "Expect", &expects);
        EXPECT_EQ(expects, 0) << row.label;
        EXPECT_EQ(request.body, row.body) << row.label;
    }
}

TEST(HttpPost, KeepsOnlyTheFirstBytesOfALongReply)
{
    std::string body;
    for (int i = 0; i < 3000; ++i) body += static_cast<char>('a' + i % 26);
    LoopbackServer server;
    ASSERT_TRUE(server.start(0, okReply(body)));
    EXPECT_EQ(httpPost(loopbackTarget(server.port()), formHeader, "A_1", 1024), body.substr(0, 1024));
}

TEST(HttpPost, ShowsARedirectsOwnBodyWithoutFollowingIt)
{
    LoopbackServer server;
    ASSERT_TRUE(server.start(0, "HTTP/1.1 302 Found\r\nLocation: /elsewhere\r\nContent-Length: 7\r\n"
                                "Connection: close\r\n\r\nmoved<x"));
    EXPECT_EQ(httpPost(loopbackTarget(server.port()), formHeader, "A_1", 1024), "moved<x");
    EXPECT_EQ(server.requestCount(), 1);
}

TEST(HttpPost, GivesNothingWhenNoServerListens)
{
    // Find a free port by taking one and giving it back.
    unsigned short port = 0;
    {
        LoopbackServer probe;
        ASSERT_TRUE(probe.start(0, ""));
        port = probe.port();
    }
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(httpPost(loopbackTarget(port), formHeader, "A_1", 1024), "");
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(6));
}

TEST(HttpPost, GivesNothingForAnEncryptedTargetThatIsNotEncrypted)
{
    // Over https the server must speak TLS with a valid certificate; a plain server fails the handshake.
    LoopbackServer server;
    ASSERT_TRUE(server.start(0, okReply("abc")));
    HttpTarget target = loopbackTarget(server.port());
    target.secure = true;
    EXPECT_EQ(httpPost(target, formHeader, "A_1", 1024), "");
}

}  // namespace
