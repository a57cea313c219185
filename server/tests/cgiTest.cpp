// cgiTest.cpp: the ranking program run as a plain CGI program, and a full disk under it.
#include "ranking.h"
#include "support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

namespace {

class Cgi : public testing::Test {
protected:
    void SetUp() override { dir = makeTempDir(); }
    void TearDown() override { removeTree(dir); }
    std::string database() const { return dir + "/ranking.sqlite3"; }
    std::string dir;
};

TEST_F(Cgi, AnswersOneRequestPerRun) {
    CgiResult first = runCgi("POST", "ABC_1200", database());
    EXPECT_EQ(first.exitStatus, 0);
    EXPECT_EQ(first.status, 200);
    EXPECT_NE(first.output.find("Content-Type: text/plain; charset=Shift_JIS\r\n"), std::string::npos);
    EXPECT_NE(firstToken(first.body).find("1\x88\xca ABC 1200\n"), std::string::npos);  // "1位 ABC 1200"
    CgiResult page = runCgi("GET", "", database());
    EXPECT_EQ(page.status, 200);
    EXPECT_NE(page.body.find("<td class=\"name\">ABC</td>"), std::string::npos);
    EXPECT_EQ(runCgi("POST", std::string(65, 'A'), database()).status, 413);
    EXPECT_EQ(runCgi("DELETE", "", database()).status, 405);
    // Without a length (a gateway streaming a chunked body) the body is read to its end, within
    // the same limit.
    EXPECT_EQ(runCgi("POST", "NOLENGTH_3", database(), 0, {"CONTENT_LENGTH="}).status, 200);
    EXPECT_EQ(runCgi("POST", std::string(100000, 'A'), database(), 0, {"CONTENT_LENGTH="}).status, 413);
}

TEST_F(Cgi, ABodyShorterThanItsLengthIsRefused) {
    CgiResult cut = runCgi("POST", "ABC_12", database(), 0, {"CONTENT_LENGTH=20"});
    EXPECT_EQ(cut.status, 400);
}

TEST_F(Cgi, WithoutAWebServerItExplainsItself) {
    // No REQUEST_METHOD: started by hand from a shell.
    CgiResult run = runCgi("", "", database());
    EXPECT_EQ(run.exitStatus, 2);
    EXPECT_EQ(run.output, "");
}

TEST_F(Cgi, TheOperatorRemovesANameTypedInUtf8) {
    ASSERT_EQ(runCgi("POST", "\x81\x5F\x82\xA0_50", database()).status, 200);  // "＼あ"
    ASSERT_EQ(runCgi("POST", "OTHER_40", database()).status, 200);
    std::string admin = "'" PILARO_RANKING_ADMIN "' --db '" + database() + "' ";
    EXPECT_EQ(runShell(admin + "remove '＼あ' >/dev/null"), 0);
    EXPECT_EQ(runShell(admin + "remove '＼あ' 2>/dev/null"), 1);  // gone already
    EXPECT_EQ(runShell(admin + "remove-hex 4F54484552 >/dev/null"), 0);  // "OTHER"
    EXPECT_EQ(runShell(admin + "remove '😀' 2>/dev/null"), 1);  // no code page 932 form
    EXPECT_EQ(runShell(admin + "check >/dev/null"), 0);
    EXPECT_EQ(runCgi("GET", "", database()).body.find("<td class=\"name\">"), std::string::npos);
}

// Fault: the disk fills up while submissions arrive (a file size limit stands in for it). Writes
// must fail as refusals, the file must stay consistent, and every submission answered 200 must be
// there once there is room again.
TEST_F(Cgi, AFullDiskRefusesSubmissionsAndLosesNoAcknowledgedOne) {
    ASSERT_EQ(runCgi("POST", "SEED_1", database()).status, 200);
    std::uint64_t limit = 0;
    for (const char* suffix : {"", "-wal", "-shm"}) {
        std::error_code ignored;
        auto size = std::filesystem::file_size(database() + suffix, ignored);
        if (!ignored && size > limit) limit = size;
    }
    // Each run checkpoints the log into the main file when it closes; once the main file can grow
    // no more the log keeps what was committed and grows until it cannot either.
    limit += 16 * 1024;
    std::vector<std::string> acknowledged;
    int refused = 0;
    int other = 0;
    for (int i = 0; i < 400 && refused < 10; ++i) {
        std::string name = "F" + std::to_string(i);
        CgiResult run = runCgi("POST", name + "_" + std::to_string(i), database(), limit);
        if (run.status == 200) acknowledged.push_back(name);
        else if (run.status == 503) ++refused;
        else ++other;
    }
    std::printf("acknowledged %zu, refused %d\n", acknowledged.size(), refused);
    EXPECT_GT(acknowledged.size(), 0u);
    EXPECT_EQ(refused, 10) << "the file size limit was never reached";
    EXPECT_EQ(other, 0) << "a full disk must give 503, not a crash";

    RankingDb ranking;
    std::string error;
    ASSERT_TRUE(openRanking(ranking, database(), error)) << error;
    std::string report;
    EXPECT_TRUE(checkIntegrity(ranking, report)) << report;
    std::vector<RankingEntry> all;
    ASSERT_TRUE(readRanking(ranking, 0, 1000, all));
    closeRanking(ranking);
    std::set<std::string> names;
    for (const RankingEntry& entry : all) names.insert(entry.name);
    for (const std::string& name : acknowledged) EXPECT_EQ(names.count(name), 1u) << name;
    // With room again, submissions are taken as before.
    EXPECT_EQ(runCgi("POST", "AFTER_5", database()).status, 200);
}

}  // namespace
