// conversionAndHttpTest.cpp: the Qt-free piece of the Linux shell: the HTTP POST.
#include <string>

#include <gtest/gtest.h>

#include "loopbackServer.h"
#include "platform/platform.h"

namespace {

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
