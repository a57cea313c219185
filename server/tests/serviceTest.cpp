// serviceTest.cpp: the ranking run as a service: backups taken while it serves that restore into
// a fresh store (both stores), its health check, and its counters as Prometheus reads them.
#include "handler.h"
#include "support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <tuple>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

RequestInfo asked(const char* method, const char* path, const char* address = "127.0.0.1") {
    return {method, "", address, path, "", "", "", "", ""};
}

class Service : public testing::TestWithParam<const char*> {};

// A backup taken while submissions are being written holds every submission acknowledged before
// it began, and restored into a fresh store it serves the same page. SQLite: the admin's backup
// and restore; PostgreSQL: README's pg_dump and pg_restore.
TEST_P(Service, ABackupTakenWhileServingRestoresIntoAFreshStoreThatServesTheSamePage) {
    std::string location = freshStore(GetParam());
    if (location.empty()) GTEST_SKIP() << postgresMissing;
    ServerConfig config{location, {0, 60}, {}};
    SharedStore store;
    std::vector<std::string> names;
    for (int i = 0; i < 120; ++i) {
        names.push_back("B" + std::to_string(i));
        Response r = handleRequest(store, config, asked("POST", PILARO_RANKING_PATH), BodyState::complete,
                                   names.back() + "_" + std::to_string(100 + i), 1000);
        ASSERT_EQ(r.status, 200) << r.logLine;
    }
    const std::string page = handleRequest(store, config, asked("GET", PILARO_RANKING_PATH), BodyState::complete, "", 1000).body;
    // Meanwhile the names submit lower scores: written, yet nothing on the page changes.
    std::atomic<bool> done{false};
    std::atomic<int> stored{0};
    std::thread load([&] {
        for (int i = 0; !done; ++i)
            stored += handleRequest(store, config, asked("POST", PILARO_RANKING_PATH), BodyState::complete,
                                    "B" + std::to_string(i % 120) + "_1", 1000).status == 200;
    });
    std::string folder = makeTempDir(), restored;
    if (GetParam() == std::string("sqlite")) {
        std::string admin = "'" PILARO_RANKING_ADMIN "' --db ", backup = folder + "/backup.sqlite3";
        EXPECT_EQ(runShell(admin + "'" + location + "' backup '" + backup + "' >'" + folder + "/said'"), 0);
        EXPECT_NE(readFile(folder + "/said").find("copied 120 names"), std::string::npos) << readFile(folder + "/said");
        std::string before = readFile(backup);
        EXPECT_EQ(runShell(admin + "'" + location + "' backup '" + backup + "' 2>/dev/null"), 1) << "wrote over a file";
        EXPECT_EQ(readFile(backup), before);
        restored = folder + "/restored.sqlite3";
        EXPECT_EQ(runShell(admin + "'" + restored + "' restore '" + backup + "' >/dev/null"), 0);
        EXPECT_EQ(runShell(admin + "'" + restored + "' log | grep -q '\trestore\t\t" + backup + "$'"), 0) << "not logged";
    } else {
        // The store is a schema of the test server's database; the restore goes to a new database.
        std::size_t options = location.find("&options=");
        std::string uri = location.substr(0, options), schema = location.substr(location.find("%3D") + 3);
        std::string database = uri.substr(0, uri.find("/postgres?")) + "/r_" + schema + uri.substr(uri.find('?'));
        EXPECT_TRUE(rawSql(uri, "CREATE DATABASE r_" + schema));
        EXPECT_EQ(runShell("pg_dump --format=custom --schema=" + schema + " --file='" + folder + "/ranking.dump' '" + uri + "'"), 0);
        EXPECT_EQ(runShell("pg_restore --no-owner --dbname='" + database + "' '" + folder + "/ranking.dump'"), 0);
        restored = database + location.substr(options);
    }
    done = true;
    load.join();
    EXPECT_GT(stored, 0);
    expectConsistentHolding(restored, names);
    SharedStore fresh;
    EXPECT_EQ(handleRequest(fresh, {restored, {0, 60}, {}}, asked("GET", PILARO_RANKING_PATH), BodyState::complete, "", 1000).body, page);
    EXPECT_EQ(handleRequest(fresh, {restored, {0, 60}, {}}, asked("POST", PILARO_RANKING_PATH), BodyState::complete, "NEW_1", 1000).status, 200);
    std::filesystem::remove_all(folder);
}

// Moderation through the operator's command, on both stores: a hidden entry leaves the page and
// the places and comes back; a hidden or refused name (in any width and case) gets the short
// refusal, never a 200; every action is logged.
TEST_P(Service, ModerationHidesAndRefusesNamesAndLogsEveryAction) {
    std::string location = freshStore(GetParam()), folder = makeTempDir();
    if (location.empty()) GTEST_SKIP() << postgresMissing;
    ServerConfig config{location, {0, 60}, {}};
    SharedStore store;
    auto ask = [&](const char* method, const std::string& body) {
        return handleRequest(store, config, asked(method, PILARO_RANKING_PATH), BodyState::complete, body, 1000);
    };
    for (const char* body : {"TOP_30", "MID_20", "LOW_10"}) ASSERT_EQ(ask("POST", body).status, 200);
    const char* const heldBack = "この名前では登録できません\n";
    const std::tuple<const char*, int, std::string, int, std::string> rows[] = {
        {"hide MID 'a look first'", 0, "LOW_10", 200, "あなたは2位です\n"},
        {"hide MID", 1, "MID_25", 403, heldBack},
        {"refuse ｂａｄ", 0, "BaD_5", 403, heldBack},
        {"refuse ﾊﾞｶ", 0, "\x83\x6f\x83\x4a_5", 403, heldBack},  // バカ
        {"allow BAD", 0, "bad_5", 200, "あなたは3位です\n"},
        {"unhide MID", 0, "LOW_10", 200, "あなたは3位です\n"}};
    std::string admin = "'" PILARO_RANKING_ADMIN "' --db '" + location + "' ";
    for (const auto& [command, exit, body, status, shown] : rows) {
        EXPECT_EQ(runShell(admin + command + " >/dev/null 2>&1"), exit) << command;
        Response reply = ask("POST", body);
        EXPECT_EQ(reply.status, status) << command;
        EXPECT_EQ(doneText(reply.body).substr(0, shown.size()), shown) << command;
        EXPECT_EQ(ask("GET", "").body.find("MID</td>") == std::string::npos, std::string(command) != "unhide MID") << command;
    }
    EXPECT_NE(handleRequest(store, config, asked("GET", PILARO_RANKING_METRICS_PATH), BodyState::complete, "", 1000)
                  .body.find("reason=\"name_held_back\"} 3\n"), std::string::npos);
    EXPECT_EQ(runShell(admin + "log | cut -f 2- >'" + folder + "/log'"), 0);
    EXPECT_EQ(readFile(folder + "/log"), "hide\tMID\ta look first\nrefuse\tｂａｄ\t\nrefuse\tﾊﾞｶ\t\nallow\tBAD\t\nunhide\tMID\t\n");
    expectConsistentHolding(location, {"TOP", "MID", "LOW", "bad"});
    std::filesystem::remove_all(folder);
}

// The admin's check finds one damaged row of each kind that the stores keep beside others (the
// place counts, the period boards, the moderation), and names it alone.
TEST_P(Service, TheCheckNamesEachKindOfDamagedRow) {
    const char* const damages[] = {
        "UPDATE place_counts SET names = names + 1 WHERE level = 0", "UPDATE period_counts SET names = names + 1 WHERE level = 0",
        "UPDATE period_bests SET name = name || name WHERE submission = (SELECT max(submission) FROM names)",
        "INSERT INTO hidden(name, score, submission, reason, at) SELECT name, score, submission, CAST(score AS text), 0 FROM names WHERE submission = (SELECT max(submission) FROM names)",
        "UPDATE names SET replay = name WHERE submission = (SELECT max(submission) FROM names)"};
    ASSERT_EQ(std::size(damages), rowChecks().size());
    for (std::size_t i = 0; i < std::size(damages); ++i) {
        std::string location = freshStore(GetParam()), error, report;
        if (location.empty()) GTEST_SKIP() << postgresMissing;
        std::unique_ptr<RankingStore> store = openStore(location, StoreAccess::serve, error);
        ASSERT_TRUE(submitBatch(*store, "N", 2)[1].error.empty() && store->check(report)) << report;
        ASSERT_TRUE(rawSql(location, damages[i])) << damages[i];
        EXPECT_FALSE(store->check(report));
        EXPECT_TRUE(report.starts_with(rowChecks()[i].disagreement) && report.find('\n') == std::string::npos) << report;
    }
}

INSTANTIATE_TEST_SUITE_P(, Service, testing::Values("sqlite", "postgresql"));

// A store of the last release with SQLite's own names (schema 7) is read as it is, and upgrades in
// place to what a new store is, with its entries, its period boards and its moderation.
TEST(Upgrade, AStoreOfSchema7IsReadAsItIsAndUpgradesInPlaceKeepingEverything) {
    std::string location = freshStore("sqlite"), fresh = freshStore("sqlite"), error, report;
    ASSERT_EQ(runShell("sqlite3 '" + location + "' <'" PILARO_TEST_PREVIOUS_RELEASE "/ranking-schema7.sqlite3.sql'"), 0);
    auto schema = [](const std::string& path) {  // its version, and its tables, indexes and triggers
        runShell("sqlite3 '" + path + "' 'PRAGMA user_version; SELECT * FROM sqlite_schema ORDER BY 2' | cut -d '|' -f 1-3 >" + path + ".txt");
        return readFile(path + ".txt");
    };
    const std::string before = schema(location);
    for (StoreAccess access : {StoreAccess::readOnly, StoreAccess::modify}) {
        std::unique_ptr<RankingStore> store = openStore(location, access, error);
        std::vector<RankingEntry> week, top;
        bool hidden = false, changed = false;
        ASSERT_NE(store, nullptr) << error;
        EXPECT_TRUE(store->readBoard(boardAt(Board::week, 1796626783), 0, 9, week) && week.size() == 1 && store->heldBack("C", "c", hidden) && hidden);
        EXPECT_EQ(schema(location) == before, access == StoreAccess::readOnly) << "read-only, it stays as it was";
        // Written through the new names: the triggers keep the boards, the counts agree.
        if (access == StoreAccess::modify) {
            EXPECT_TRUE(store->submit({"B", 9}, "", 1796626783, {0, 60}, top).outcome == SubmitOutcome::accepted &&
                        store->moderate(Moderation::unhide, "C", "c", "C", "", 0, changed) && changed);
        }
        EXPECT_TRUE(store->check(report)) << report;
    }
    openStore(fresh, StoreAccess::serve, error);
    EXPECT_EQ(schema(location), schema(fresh));
}

// The counters after each kind of answer, as promtool reads them; only loopback may read them.
// (The health check: every deployment test, and its 503 FailedFlush and LighttpdFaults.)
TEST(Metrics, CountEachOutcomePassPromtoolAndAreForLoopbackOnly) {
    ServerConfig config{freshStore("sqlite"), {1, 60}, {}};
    SharedStore store;
    for (const char* body : {"M_1", "M_2", "M_3", "", "N_1"})
        handleRequest(store, config, asked("POST", PILARO_RANKING_PATH, body[0] == 'N' ? "10.0.0.2" : "10.0.0.1"),
                      BodyState::complete, body, 1000);
    handleRequest(store, config, asked("GET", PILARO_RANKING_PATH), BodyState::complete, "", 1000);
    EXPECT_EQ(handleRequest(store, config, asked("GET", PILARO_RANKING_METRICS_PATH, "10.0.0.1"), BodyState::complete, "", 1000).status, 403);
    Response metrics = handleRequest(store, config, asked("GET", PILARO_RANKING_METRICS_PATH, "::1"), BodyState::complete, "", 1000);
    ASSERT_EQ(metrics.status, 200);
    for (const char* line : {"pilaro_submissions_total{outcome=\"stored\"} 2\n", "pilaro_submissions_total{outcome=\"rate_limited\"} 2\n",
                             "pilaro_submissions_total{outcome=\"refused\",reason=\"malformed\"} 1\n", "pilaro_names 2\n",
                             "pilaro_request_duration_seconds_count{kind=\"page\"} 1\n", "pilaro_batch_submissions_count 4\n"})
        EXPECT_NE(metrics.body.find(line), std::string::npos) << line << metrics.body;
    std::string folder = makeTempDir();
    std::ofstream(folder + "/metrics") << metrics.body;
    EXPECT_EQ(runShell("promtool check metrics <'" + folder + "/metrics'"), 0) << metrics.body;
    std::filesystem::remove_all(folder);
}

}  // namespace
