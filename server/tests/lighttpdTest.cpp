// lighttpdTest.cpp: the ranking end to end on loopback: lighttpd started by scripts/ranking-server
// in a temporary data folder, the game's own HTTP exchange, awkward bodies, the rate limit, and the
// faults a server meets (its processes killed under load, a full disk).
#include "cp932.h"
#include "platform/platform.h"
#include "support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <mutex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

std::string gamePost(unsigned port, const std::string& body, const char* host = "127.0.0.1") {
    HttpTarget target;
    target.host = host;
    target.port = port;
    target.path = "/whiteRanking.cgi";
    return httpPost(target, "Content-Type: application/x-www-form-urlencoded", body, 1024);
}

// What the game's done box shows of a reply (in UTF-8 here), before its own fixed sentence.
std::string doneText(const std::string& reply) { return decodeCp932(firstToken(reply)); }

const std::string head = "POST /whiteRanking.cgi HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n";

TEST(Lighttpd, TheGamesExchangeShowsThePlaceAndTheTopTenOrTheReason) {
    LocalServer server;
    ASSERT_TRUE(server.start()) << "see " << server.dataDir << "/lighttpd-error.log";
    // "localhost", as in the game's default ranking address (it may resolve to ::1 first).
    EXPECT_EQ(doneText(gamePost(server.port, "ABC_1200", "localhost")), "あなたは1位です\n1位 ABC 1200\n");
    // Underscores, form characters and a second byte 0x5F arrive unescaped and stay in the name.
    EXPECT_EQ(doneText(gamePost(server.port, "_&= %\x81\x5F_99999999")),
              "あなたは1位です\n1位 _&= %＼ 99999999\n2位 ABC 1200\n");
    EXPECT_EQ(doneText(gamePost(server.port, "ABCDEFGHIJK_1")), "名前は1から10バイトにしてください\n");
    EXPECT_EQ(doneText(gamePost(server.port, "A_-5")), "スコアが正しくありません\n");
}

TEST(Lighttpd, OddBodiesAreAnsweredAndStoredLiterally) {
    LocalServer server;
    ASSERT_TRUE(server.start());
    const std::string megabyte(1 << 20, 'A');
    std::string chunkedMegabyte = head + "Transfer-Encoding: chunked\r\n\r\n";
    for (int i = 0; i < 16; ++i) chunkedMegabyte += "10000\r\n" + std::string(0x10000, 'B') + "\r\n";
    const struct {
        std::string request;  // sent as it is
        int status;
        const char* inHeaders;
    } rows[] = {
        {head + "Content-Length: 0\r\n\r\n", 400, ""},
        {head + "Content-Length: " + std::to_string(megabyte.size()) + "\r\n\r\n" + megabyte, 413, ""},
        {head + "Transfer-Encoding: chunked\r\n\r\n4\r\nCH_5\r\n0\r\n\r\n", 200, ""},
        {chunkedMegabyte + "0\r\n\r\n", 413, ""},
        {head + "Content-Length: 6\r\n\r\n" + std::string("\x00\xFF\x01\x80_1", 6), 400, ""},
        {head + "Content-Length: 10\r\n\r\n<script>_3", 200, ""},
        {head + "Content-Length: 11\r\n\r\n';DROP--\"_4", 200, ""},
        {"GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n", 301, "/whiteRanking.cgi"},
    };
    for (const auto& row : rows) {
        RawReply reply = rawExchange(server.port, row.request);
        EXPECT_EQ(reply.status, row.status) << row.request.substr(head.size(), 40);
        EXPECT_NE(reply.headers.find(row.inHeaders), std::string::npos) << reply.headers;
    }
    // Stored literally, shown escaped, and the tables are all still there.
    std::string html = rawExchange(server.port, "GET /whiteRanking.cgi HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n").body;
    EXPECT_NE(html.find("<td class=\"name\">&lt;script&gt;</td>"), std::string::npos);
    EXPECT_NE(html.find("<td class=\"name\">&#39;;DROP--&quot;</td>"), std::string::npos);
    EXPECT_EQ(html.find("<script>"), std::string::npos);
    expectConsistentHolding(server.databasePath(), {"<script>", "';DROP--\""});
}

// As FastCGI (two workers) and as plain CGI (a new process per request) the rate limit only holds
// because it is kept in the database.
TEST(LighttpdRateLimit, TheThirdSubmissionInAMinuteIsRefusedInEitherMode) {
    for (const char* mode : {"fastcgi", "cgi"}) {
        SCOPED_TRACE(mode);
        LocalServer server;
        server.mode = mode;
        server.rate = "2/60";
        ASSERT_TRUE(server.start());
        EXPECT_EQ(doneText(gamePost(server.port, "R_5")), "あなたは1位です\n1位 R 5\n");
        EXPECT_EQ(doneText(gamePost(server.port, "R_6")), "あなたは1位です\n1位 R 6\n");
        EXPECT_EQ(doneText(gamePost(server.port, "R_7")), "送信が多すぎます。少し待ってから送ってください\n");
        RawReply limited = postBody(server.port, "R_8");
        EXPECT_EQ(limited.status, 429);
        EXPECT_NE(limited.headers.find("Retry-After: 60"), std::string::npos);
        EXPECT_EQ(expectConsistentHolding(server.databasePath(), {"R"}), 2u);
    }
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
                std::string name = "K" + std::to_string(t) + "_" + std::to_string(i);
                if (postBody(server.port, name + "_" + std::to_string(i)).status == 200) {
                    std::lock_guard<std::mutex> guard(lock);
                    acknowledged.push_back(name);
                } else {
                    // lighttpd rests a backend it saw die for a second: do not spin through it.
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                }
            }
        });
    }
    auto waitFor = [&](std::size_t count) {
        for (; Clock::now() < deadline; std::this_thread::sleep_for(std::chrono::milliseconds(5))) {
            std::lock_guard<std::mutex> guard(lock);
            if (acknowledged.size() >= count) return true;
        }
        return false;
    };
    int killed = 0;
    int rounds = 0;
    // After each round lighttpd starts new ranking processes; the next waits for them to take work.
    for (; rounds < 3 && waitFor(150 * (rounds + 1)); ++rounds)
        for (pid_t pid : server.workerPids()) killed += kill(pid, SIGKILL) == 0 ? 1 : 0;
    bool recovered = waitFor(150 * (rounds + 1));
    stop = true;
    for (std::thread& t : posters) t.join();
    server.stop();
    EXPECT_EQ(rounds, 3) << "submissions stopped being accepted after kill round " << rounds;
    EXPECT_TRUE(recovered) << "no submission was accepted after the last kill";
    EXPECT_GE(killed, 3);
    std::uint64_t stored = expectConsistentHolding(server.databasePath(), acknowledged);
    // A submission can be stored and its reply lost with the killed process, never the reverse.
    EXPECT_GE(stored, acknowledged.size());
    std::printf("acknowledged %zu, stored %llu, processes killed %d\n", acknowledged.size(),
                static_cast<unsigned long long>(stored), killed);
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
    EXPECT_EQ(postBody(server.port, "AFTER_1").status, 200);
    server.stop();
    std::printf("acknowledged %zu, refused %d\n", acknowledged.size(), refused);
    EXPECT_GT(acknowledged.size(), 0u);
    EXPECT_EQ(refused, 20) << "the file size limit was never reached";
    EXPECT_EQ(other, 0);
    expectConsistentHolding(server.databasePath(), acknowledged);
}

}  // namespace
