// lighttpdTest.cpp: the ranking end to end on loopback: lighttpd started by scripts/ranking-server
// in a temporary data folder, the game's own HTTP exchange, awkward bodies, the rate limit, and a
// kill -9 of the ranking processes while they take submissions.
#include "cp932.h"
#include "platform/platform.h"
#include "ranking.h"
#include "support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <mutex>
#include <set>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

const char* const formHeader = "Content-Type: application/x-www-form-urlencoded";

// What the game's done box shows for a reply: the first token and the fixed sentence (UTF-8 here).
std::string doneText(const std::string& reply) {
    std::string token = firstToken(reply);
    return token.empty() ? std::string() : decodeCp932(token) + "11位以下はホームページにて";
}

class Lighttpd : public testing::Test {
protected:
    static void SetUpTestSuite() {
        server = new LocalServer;
        ASSERT_TRUE(server->start()) << "lighttpd did not start; see " << server->dataDir << "/lighttpd-error.log";
    }
    static void TearDownTestSuite() {
        server->stop();
        removeTree(server->dataDir);
        delete server;
        server = nullptr;
    }
    void SetUp() override {
        if (server == nullptr || server->port == 0) GTEST_SKIP() << "no server";
    }
    static std::string gamePost(const std::string& body, const char* host = "127.0.0.1") {
        HttpTarget target;
        target.host = host;
        target.port = server->port;
        target.path = "/whiteRanking.cgi";
        return httpPost(target, formHeader, body, 1024);
    }
    static std::string page(const std::string& query = "") {
        return rawExchange(server->port, "GET /whiteRanking.cgi" + query + " HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                                          "Connection: close\r\n\r\n")
            .body;
    }
    static LocalServer* server;
};

LocalServer* Lighttpd::server = nullptr;

// The tests of this suite share one database, so each uses names of its own.
TEST_F(Lighttpd, TheGamesExchangeShowsThePlaceAndTheTopTen) {
    // "localhost", as in the game's default ranking address (it may resolve to ::1 first).
    std::string shown = doneText(gamePost("ABC_1200", "localhost"));
    EXPECT_EQ(shown.rfind("あなたは", 0), 0u) << shown;
    EXPECT_NE(shown.find("位 ABC 1200\n"), std::string::npos) << shown;
    EXPECT_TRUE(shown.ends_with("\n11位以下はホームページにて")) << shown;
    // Underscores, form characters and a second byte 0x5F arrive unescaped and stay in the name.
    std::string name = "_&= %\x81\x5F";
    std::string top = doneText(gamePost(name + "_99999999"));
    EXPECT_NE(top.find("1位 _&= %＼ 99999999\n"), std::string::npos) << top;
    EXPECT_EQ(top.rfind("あなたは1位です\n", 0), 0u) << top;
}

TEST_F(Lighttpd, RefusalsAreShownAsTheirReason) {
    EXPECT_EQ(doneText(gamePost("ABCDEFGHIJK_1")), "名前は1から10バイトにしてください\n11位以下はホームページにて");
    EXPECT_EQ(doneText(gamePost("A_-5")), "スコアが正しくありません\n11位以下はホームページにて");
}

struct OddBody {
    const char* label;
    std::string request;  // sent as it is
    int status;
};

TEST_F(Lighttpd, OddBodiesAreAnsweredAndNothingBreaks) {
    const std::string head = "POST /whiteRanking.cgi HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n";
    const std::string megabyte(1 << 20, 'A');
    std::string chunkedMegabyte = head + "Transfer-Encoding: chunked\r\n\r\n";
    for (int i = 0; i < 16; ++i) chunkedMegabyte += "10000\r\n" + std::string(0x10000, 'B') + "\r\n";
    chunkedMegabyte += "0\r\n\r\n";
    const OddBody rows[] = {
        {"empty", head + "Content-Length: 0\r\n\r\n", 400},
        {"one megabyte", head + "Content-Length: " + std::to_string(megabyte.size()) + "\r\n\r\n" + megabyte, 413},
        {"chunked", head + "Transfer-Encoding: chunked\r\n\r\n4\r\nCH_5\r\n0\r\n\r\n", 200},
        {"chunked megabyte", chunkedMegabyte, 413},
        {"binary", head + "Content-Length: 6\r\n\r\n" + std::string("\x00\xFF\x01\x80_1", 6), 400},
        {"script tag", head + "Content-Length: 10\r\n\r\n<script>_3", 200},
        {"SQL quotes", head + "Content-Length: 11\r\n\r\n';DROP--\"_4", 200},
    };
    for (const OddBody& row : rows) {
        RawReply reply = rawExchange(server->port, row.request);
        EXPECT_EQ(reply.status, row.status) << row.label << ": " << reply.headers;
    }
    // Stored literally, shown escaped, and the tables are all still there.
    std::string html = page();
    EXPECT_NE(html.find("<td class=\"name\">&lt;script&gt;</td>"), std::string::npos);
    EXPECT_NE(html.find("<td class=\"name\">&#39;;DROP--&quot;</td>"), std::string::npos);
    EXPECT_EQ(html.find("<script>"), std::string::npos);
    RankingDb ranking;
    std::string error;
    ASSERT_TRUE(openRanking(ranking, server->databasePath(), error)) << error;
    std::vector<RankingEntry> all;
    ASSERT_TRUE(readRanking(ranking, 0, 1000, all));
    closeRanking(ranking);
    bool scriptStored = false;
    for (const RankingEntry& entry : all) scriptStored |= entry.name == "<script>";
    EXPECT_TRUE(scriptStored);
}

TEST_F(Lighttpd, ThePageIsServedAndTheRootLeadsThere) {
    std::string html = page("?page=1");
    EXPECT_NE(html.find("<meta name=\"viewport\""), std::string::npos);
    RawReply root = rawExchange(server->port, "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(root.status, 301);
    EXPECT_NE(root.headers.find("/whiteRanking.cgi"), std::string::npos);
}

TEST(LighttpdRateLimit, TheFourthSubmissionInAMinuteIsRefused) {
    LocalServer server;
    server.rate = "3/60";
    ASSERT_TRUE(server.start());
    int statuses[4];
    for (int i = 0; i < 4; ++i) statuses[i] = postBody(server.port, "R_" + std::to_string(i)).status;
    RawReply limited = postBody(server.port, "R_9");
    server.stop();
    removeTree(server.dataDir);
    EXPECT_EQ(statuses[0], 200);
    EXPECT_EQ(statuses[2], 200);
    EXPECT_EQ(statuses[3], 429);
    EXPECT_EQ(limited.status, 429);
    EXPECT_EQ(decodeCp932(firstToken(limited.body)), "送信が多すぎます。少し待ってから送ってください\n");
}

// The same program as a plain CGI program under lighttpd: every request is a new process, so the
// rate limit only holds because it is kept in the database.
TEST(LighttpdCgi, AnswersTheGameAndKeepsTheRateLimitAcrossProcesses) {
    LocalServer server;
    server.mode = "cgi";
    server.rate = "2/60";
    ASSERT_TRUE(server.start());
    HttpTarget target;
    target.host = "127.0.0.1";
    target.port = server.port;
    target.path = "/whiteRanking.cgi";
    std::string first = httpPost(target, formHeader, "CGI_5", 1024);
    std::string second = httpPost(target, formHeader, "CGI_6", 1024);
    std::string third = httpPost(target, formHeader, "CGI_7", 1024);
    RawReply page = rawExchange(server.port, "GET /whiteRanking.cgi HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    server.stop();
    removeTree(server.dataDir);
    EXPECT_EQ(doneText(first), "あなたは1位です\n1位 CGI 5\n11位以下はホームページにて");
    EXPECT_EQ(doneText(second), "あなたは1位です\n1位 CGI 6\n11位以下はホームページにて");
    EXPECT_EQ(doneText(third), "送信が多すぎます。少し待ってから送ってください\n11位以下はホームページにて");
    EXPECT_NE(page.body.find("<td class=\"name\">CGI</td><td class=\"score\">6</td>"), std::string::npos);
}

// Fault: a ranking process killed in the middle of a write transaction must leave a consistent
// file, and every submission it had answered 200 must be in it.
TEST(LighttpdFaults, KillingTheRankingProcessesUnderLoadLosesNoAcknowledgedSubmission) {
    LocalServer server;
    ASSERT_TRUE(server.start());
    std::mutex lock;
    std::vector<std::string> acknowledged;
    std::atomic<bool> stop{false};
    auto deadline = Clock::now() + std::chrono::seconds(30);
    std::vector<std::thread> posters;
    for (int t = 0; t < 3; ++t) {
        posters.emplace_back([&, t] {
            for (int i = 0; !stop && Clock::now() < deadline; ++i) {
                char name[16];
                std::snprintf(name, sizeof name, "K%d%06d", t, i % 1000000);
                if (postBody(server.port, std::string(name) + "_" + std::to_string(i)).status == 200) {
                    std::lock_guard<std::mutex> guard(lock);
                    acknowledged.emplace_back(name);
                } else {
                    // lighttpd rests a backend it saw die for a second: do not spin through it.
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                }
            }
        });
    }
    auto waitFor = [&](std::size_t count) {
        while (Clock::now() < deadline) {
            {
                std::lock_guard<std::mutex> guard(lock);
                if (acknowledged.size() >= count) return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    };
    int killed = 0;
    int rounds = 0;
    std::size_t target = 150;
    for (; rounds < 3 && waitFor(target); ++rounds) {
        for (pid_t pid : server.workerPids())
            if (kill(pid, SIGKILL) == 0) ++killed;
        // lighttpd starts new ranking processes; the next round waits for them to take work again.
        target += 150;
    }
    bool recovered = waitFor(target);
    stop = true;
    for (std::thread& t : posters) t.join();
    server.stop();
    EXPECT_EQ(rounds, 3) << "submissions stopped being accepted after kill round " << rounds;
    EXPECT_TRUE(recovered) << "no submission was accepted after the last kill";
    EXPECT_GE(killed, 3);

    RankingDb ranking;
    std::string error;
    ASSERT_TRUE(openRanking(ranking, server.databasePath(), error)) << error;
    std::string report;
    EXPECT_TRUE(checkIntegrity(ranking, report)) << report;
    std::vector<RankingEntry> all;
    ASSERT_TRUE(readRanking(ranking, 0, 100000, all));
    std::uint64_t stored = 0;
    ASSERT_TRUE(countSubmissions(ranking, stored));
    closeRanking(ranking);
    std::set<std::string> names;
    for (const RankingEntry& entry : all) names.insert(entry.name);
    std::size_t missing = 0;
    for (const std::string& name : acknowledged) missing += names.count(name) == 0 ? 1 : 0;
    EXPECT_EQ(missing, 0u) << "of " << acknowledged.size() << " acknowledged";
    // A submission can be stored and its reply lost with the killed process, never the reverse.
    EXPECT_GE(stored, acknowledged.size());
    std::printf("acknowledged %zu, stored %llu, processes killed %d\n", acknowledged.size(),
                static_cast<unsigned long long>(stored), killed);
    removeTree(server.dataDir);
}

// Fault: the disk fills up under the FastCGI workers, which keep one connection (and so a growing
// log) open across requests. Writes must fail as 503 refusals, never as a crash or a 200, and the
// file must hold every acknowledged submission.
TEST(LighttpdFaults, AFullDiskRefusesSubmissionsAndLosesNoAcknowledgedOne) {
    LocalServer server;
    server.fileSizeLimit = 256 * 1024;
    ASSERT_TRUE(server.start());
    std::vector<std::string> acknowledged;
    int refused = 0;
    int other = 0;
    for (int i = 0; i < 2000 && refused < 20; ++i) {
        std::string name = "D" + std::to_string(i);
        int status = postBody(server.port, name + "_" + std::to_string(i)).status;
        if (status == 200) acknowledged.push_back(name);
        else if (status == 503) ++refused;
        else ++other;
    }
    // Room again: the same workers, still running, take submissions as before.
    std::vector<pid_t> processes = server.workerPids();
    processes.push_back(server.lighttpdPid());
    for (pid_t pid : processes) runShell("prlimit --pid " + std::to_string(pid) + " --fsize=unlimited:");
    RawReply after = postBody(server.port, "AFTER_1");
    int afterwards = after.status;
    server.stop();
    std::printf("acknowledged %zu, refused %d\n", acknowledged.size(), refused);
    EXPECT_EQ(afterwards, 200);
    EXPECT_GT(acknowledged.size(), 0u);
    EXPECT_EQ(refused, 20) << "the file size limit was never reached";
    EXPECT_EQ(other, 0);

    RankingDb ranking;
    std::string error;
    ASSERT_TRUE(openRanking(ranking, server.databasePath(), error)) << error;
    std::string report;
    EXPECT_TRUE(checkIntegrity(ranking, report)) << report;
    std::vector<RankingEntry> all;
    ASSERT_TRUE(readRanking(ranking, 0, 100000, all));
    closeRanking(ranking);
    std::set<std::string> names;
    for (const RankingEntry& entry : all) names.insert(entry.name);
    for (const std::string& name : acknowledged) EXPECT_EQ(names.count(name), 1u) << name;
    removeTree(server.dataDir);
}

}  // namespace
