// boardsTest.cpp: today's, this week's and the all-time board against both stores: the periods'
// edges to the second, the place search around a name, and the read API's answers and refusals.
#include "handler.h"
#include "support.h"
#include "text/cp932.h"

#include <gtest/gtest.h>

#include <future>

using namespace std::string_literals;

namespace {

// Monday 2026-12-07 00:00:00 in Japan (2026-12-06 15:00:00 UTC).
constexpr std::int64_t monday = 1796569200;
constexpr std::int64_t day = 86400;

class Boards : public testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        if ((config.databasePath = freshStore(GetParam())).empty()) GTEST_SKIP() << postgresMissing;
        config.rateLimit = {0, 60};
    }
    Response ask(const char* method, const char* path, const std::string& query, std::int64_t now,
                 const std::string& body = "", const std::string& ifNoneMatch = "") {
        return handleRequest(shared, config, {method, query, "10.0.0.9", path, "", "", "", "", ifNoneMatch},
                             BodyState::complete, body, now);
    }
    void submit(const std::string& name, std::uint32_t score, std::int64_t at) {
        ASSERT_EQ(ask("POST", PILARO_RANKING_PATH, "", at, cp932::encode(name) + "_" + std::to_string(score)).status, 200);
    }
    Response api(const std::string& query, std::int64_t now, const std::string& ifNoneMatch = "") {
        return ask("GET", PILARO_RANKING_API_PATH, query, now, "", ifNoneMatch);
    }
    // "NAME SCORE, ..." of a board as the store reads it at `now`, and its count of names.
    std::string board(Board which, std::int64_t now) {
        std::string out;
        shared.read([&](RankingStore& store) {
            std::vector<RankingEntry> entries;
            std::uint32_t names = 0;
            EXPECT_TRUE(store.readBoard(boardAt(which, now), 0, 100, entries) && store.countBoard(boardAt(which, now), names));
            for (const RankingEntry& entry : entries) out += (out.empty() ? "" : ", ") + entry.name + " " + std::to_string(entry.score);
            EXPECT_EQ(names, entries.size()) << out;
        });
        return out;
    }
    std::uint32_t place(Board which, std::int64_t now, const std::string& name) {
        std::uint32_t found = 0;
        shared.read([&](RankingStore& store) { EXPECT_TRUE(store.placeOf(boardAt(which, now), name, found)); });
        return found;
    }

    ServerConfig config;
    SharedStore shared;
};

// Each submission counts on the boards of its own second: 23:59:59 is the day before, 00:00:00
// the next; Sunday 23:59:59 the week before, Monday 00:00:00 the next. A name's period best is
// its best within the period, under its all-time best; ties in the order they were reached.
TEST_P(Boards, PeriodsTurnAtMidnightAndMondayInJapanToTheSecond) {
    submit("A", 100, monday - 1);
    EXPECT_EQ(board(Board::today, monday - 1), "A 100");
    EXPECT_EQ(board(Board::week, monday - 1), "A 100");
    submit("B", 50, monday);
    submit("A", 10, monday);
    submit("A", 9, monday + 5);  // not a better one
    EXPECT_EQ(board(Board::today, monday), "B 50, A 10");
    EXPECT_EQ(board(Board::week, monday), "B 50, A 10");
    EXPECT_EQ(board(Board::allTime, monday), "A 100, B 50");
    submit("C", 70, monday + day - 1);
    EXPECT_EQ(board(Board::today, monday + day - 1), "C 70, B 50, A 10");
    submit("D", 80, monday + day);
    submit("E", 80, monday + day);  // a tie: behind the name that reached it first
    submit("B", 60, monday + day + 1);
    EXPECT_EQ(board(Board::today, monday + day - 1), "") << "a day that is over goes, a row with each submission";
    EXPECT_EQ(board(Board::today, monday + day), "D 80, E 80, B 60");
    EXPECT_EQ(board(Board::week, monday + day), "D 80, E 80, C 70, B 60, A 10");
    EXPECT_EQ(place(Board::today, monday + day, "E"), 2u);
    EXPECT_EQ(place(Board::week, monday + day, "A"), 5u);
    EXPECT_EQ(place(Board::today, monday + day, "A"), 0u) << "not today";
    EXPECT_EQ(place(Board::allTime, monday + day, "E"), 3u);
    // A name taken out of the ranking leaves the period boards too.
    bool found = false;
    shared.exclusive([&](RankingStore& store) { EXPECT_TRUE(store.removeName("D", found)); });
    EXPECT_EQ(board(Board::today, monday + day), "E 80, B 60");
    EXPECT_EQ(place(Board::today, monday + day, "E"), 1u);
    // The next week starts empty, and the old weeks' rows go with the new submissions.
    submit("F", 1, monday + 7 * day);
    EXPECT_EQ(board(Board::week, monday + 7 * day), "F 1");
    for (int i = 0; i < 8; ++i) submit("G", 2 + i, monday + 7 * day + 1 + i);
    EXPECT_EQ(board(Board::week, monday + day), "") << "pruned";
    EXPECT_EQ(board(Board::week, monday + 7 * day), "G 9, F 1");
    expectConsistentHolding(config.databasePath, {"E", "G"});  // the period counts agree with their rows
}

// The place search: a double-byte name at the top, in the middle and at the end of a board of 31
// names shows its place with up to ten names above and ten below.
TEST_P(Boards, PlaceSearchShowsTenAboveAndBelowForADoubleByteName) {
    for (int i = 0; i < 30; ++i) submit("N" + std::to_string(i), 1000 + 10 * i, monday);
    const std::string query = "board=today&name=%E3%81%B4%E3%82%89%E3%82%8D";  // ぴらろ
    // Score, place, first and last place shown: the end, the middle, the top.
    const std::tuple<std::uint32_t, int, int, int> rows[] = {{1, 31, 21, 31}, {1145, 16, 6, 26}, {2000, 1, 1, 11}};
    for (auto [score, at, first, last] : rows) {
        submit("ぴらろ", score, monday + 1);
        std::string found = api(query, monday + 1).body, place = std::to_string(at);
        EXPECT_NE(found.find("\"search\":{\"name\":\"ぴらろ\",\"nameCp932\":\"82d282e782eb\",\"place\":" + place + "}"),
                  std::string::npos) << found;
        EXPECT_NE(found.find("\"entries\":[{\"place\":" + std::to_string(first) + ","), std::string::npos) << found;
        EXPECT_NE(found.find("{\"place\":" + place + ",\"name\":\"ぴらろ\""), std::string::npos) << found;
        EXPECT_NE(found.find("{\"place\":" + std::to_string(last) + ",\"name\""), std::string::npos) << found;
        EXPECT_EQ(found.find("{\"place\":" + std::to_string(last + 1) + ",\"name\""), std::string::npos) << found;
    }
    // Not on this week's board of the week after, and the page says so.
    EXPECT_NE(api(query, monday + day).body.find("\"place\":null},\"entries\":[]}"), std::string::npos);
    std::string page = ask("GET", PILARO_RANKING_PATH, "board=week&name=%E3%81%B4%E3%82%89%E3%82%8D", monday + 7 * day).body;
    EXPECT_NE(page.find("「ぴらろ」は今週のランキングにいません。"), std::string::npos) << page;
}

// The API's answer, field by field as README documents it; a cache's tag gets a 304; every bad
// parameter a 400 with a JSON error (fault: refusals must never be 500s or pages).
TEST_P(Boards, ApiAnswersItsDocumentedFieldsAndRefusesBadParametersWithJson) {
    submit("ぴら", 30, monday);
    submit("<Q>\"", 20, monday + 1);
    Response all = api("board=all", monday + 2);
    EXPECT_EQ(all.status, 200);
    EXPECT_EQ(all.contentType, "application/json; charset=utf-8");
    EXPECT_EQ(all.body, "{\"board\":\"all\",\"periodStart\":null,\"names\":2,\"page\":1,\"pages\":1,\"perPage\":50,"
                        "\"entries\":[{\"place\":1,\"name\":\"ぴら\",\"nameCp932\":\"82d282e7\",\"score\":30,\"replay\":null},"
                        "{\"place\":2,\"name\":\"\\u003cQ\\u003e\\\"\",\"nameCp932\":\"3c513e22\",\"score\":20,\"replay\":null}]}\n");
    EXPECT_TRUE(api("board=week&page=7", monday + 2).body.starts_with(
        "{\"board\":\"week\",\"periodStart\":1796569200,\"names\":2,\"page\":1,\"pages\":1,"));
    std::size_t tagAt = all.extraHeaders.find("ETag: \"");
    ASSERT_NE(tagAt, std::string::npos);
    std::string tag = all.extraHeaders.substr(tagAt + 6, 18);
    EXPECT_NE(all.extraHeaders.find("Cache-Control: public, max-age="), std::string::npos);
    Response cached = api("board=all", monday + 2, "\"x\", W/" + tag);
    EXPECT_EQ(cached.status, 304);
    EXPECT_EQ(cached.body, "");
    EXPECT_EQ(responseHead(cached).find("Content-Length"), std::string::npos);
    submit("X", 1, monday + 3);
    EXPECT_EQ(api("board=all", monday + 3, tag).status, 200) << "the board changed";
    for (const char* bad : {"board=month", "board=", "page=0", "page=abc", "page=", "page=100000000", "page=1&page=2",
                            "board=today&board=week", "foo=1", "name=%ZZ", "name=%E3%81", "name=", "name=+",
                            "name=%F0%9F%98%80", "name=ABCDEFGHIJK", "name=A%09B", "page=1&name=A", "&"}) {
        Response refused = api(bad, monday + 3);
        EXPECT_EQ(refused.status, 400) << bad;
        EXPECT_EQ(refused.contentType, "application/json; charset=utf-8") << bad;
        EXPECT_TRUE(refused.body.starts_with("{\"error\":\"") && refused.body.ends_with("\"}\n")) << bad << refused.body;
        EXPECT_NE(refused.extraHeaders.find("Cache-Control: no-store"), std::string::npos) << bad;
    }
    EXPECT_EQ(api("", monday + 3).status, 200) << "all defaults";
    EXPECT_EQ(ask("POST", PILARO_RANKING_API_PATH, "", monday + 3, "Y_1").status, 405) << "fault: taken as a submission";
}

// The day after a busy day: every eighth submission takes some of the rows of the periods that are
// over, with their counts, and many do so at once, as the ranking's processes and hosts do. Fault
// (PostgreSQL): each row's counts were changed in turn, level by level, so two submissions each
// held a count row the other wanted next: "deadlock detected", a 503 after a second's wait.
TEST_P(Boards, SubmissionsTakeTheOldPeriodsRowsAtOnceWithoutWaitingInACircle) {
    std::string error;
    std::unique_ptr<RankingStore> filler = openStore(config.databasePath, StoreAccess::serve, error);
    ASSERT_NE(filler, nullptr) << error;
    for (const PendingSubmission& each : submitBatch(*filler, "old", 1500, monday - 7 * day, true)) ASSERT_EQ(each.error, "");
    std::vector<std::future<std::vector<PendingSubmission>>> processes;  // sixteen, sixty names each
    for (int p = 0; p < 16; ++p)
        processes.push_back(std::async(std::launch::async, [this, p, why = std::string()]() mutable {
            std::unique_ptr<RankingStore> store = openStore(config.databasePath, StoreAccess::serve, why);
            return store ? submitBatch(*store, "new" + std::to_string(p) + "_", 60, monday, true) : std::vector<PendingSubmission>{};
        }));
    for (auto& process : processes) for (const PendingSubmission& each : process.get()) EXPECT_EQ(each.error, "") << each.submission.name;
    EXPECT_EQ(expectConsistentHolding(config.databasePath, {}), 1500u + 16 * 60);  // the old rows counted out, the new in
}

INSTANTIATE_TEST_SUITE_P(, Boards, testing::Values("sqlite", "postgresql"));

}  // namespace
