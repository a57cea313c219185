// rulesTest.cpp: the ranking's rules without a web server: parsing bodies, places and ties, the
// rate limit, the reply the game shows, the ranking page, and the status of each kind of request.
#include "cp932.h"
#include "handler.h"
#include "ranking.h"
#include "support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <random>
#include <tuple>

using namespace std::string_literals;

namespace {

// ---- Parsing the body --------------------------------------------------------------------------

struct BodyRow {
    const char* label;
    std::string body;
    BodyError error;
    std::string name;
    std::uint32_t score;
};

class BodyParsing : public testing::TestWithParam<BodyRow> {};

TEST_P(BodyParsing, SplitsAtTheLastUnderscoreAndChecksBothParts) {
    const BodyRow& row = GetParam();
    Submission submission;
    EXPECT_EQ(parseSubmission(row.body, submission), row.error);
    if (row.error == BodyError::none) {
        EXPECT_EQ(submission.name, row.name);
        EXPECT_EQ(submission.score, row.score);
    } else {
        EXPECT_FALSE(bodyErrorText(row.error).empty());
    }
}

const BodyRow bodyRows[] = {
    {"plain", "ABC_1200", BodyError::none, "ABC", 1200},
    {"underscores in the name", "a_b_c_7", BodyError::none, "a_b_c", 7},
    {"form characters and a blank", "_&= %_5", BodyError::none, "_&= %", 5},
    {"second byte 0x5F (full-width backslash)", "\x81\x5F_100", BodyError::none, "\x81\x5F", 100},
    {"second byte 0x5F twice (katakana da)", "\x83\x5F\x83\x5F_3", BodyError::none, "\x83\x5F\x83\x5F", 3},
    {"ten single bytes", "ABCDEFGHIJ_1", BodyError::none, "ABCDEFGHIJ", 1},
    {"five double-byte characters", "\x82\xA0\x82\xA2\x82\xA4\x82\xA6\x82\xA8_9", BodyError::none,
     "\x82\xA0\x82\xA2\x82\xA4\x82\xA6\x82\xA8", 9},
    {"half-width katakana", "\xB1\xB2_2", BodyError::none, "\xB1\xB2", 2},
    {"largest score", "A_4294967295", BodyError::none, "A", 4294967295u},
    {"leading zeros, ten digits", "A_0000000007", BodyError::none, "A", 7},
    {"empty body", "", BodyError::noSeparator, "", 0},
    {"no underscore", "ABC1200", BodyError::noSeparator, "", 0},
    {"empty name", "_1200", BodyError::nameLength, "", 0},
    {"eleven bytes", "ABCDEFGHIJK_1", BodyError::nameLength, "", 0},
    {"eleven bytes with double-byte characters", "\x82\xA0\x82\xA2\x82\xA4\x82\xA6\x82\xA8X_1", BodyError::nameLength,
     "", 0},
    {"tab", "A\tB_1", BodyError::nameControl, "", 0},
    {"line feed", "A\nB_1", BodyError::nameControl, "", 0},
    {"NUL", "A\0B_1"s, BodyError::nameControl, "", 0},
    {"DEL", "A\x7F_1", BodyError::nameControl, "", 0},
    {"lead byte cut off by the underscore", "AB\x81_1", BodyError::nameEncoding, "", 0},
    {"lone 0x80", "\x80_1", BodyError::nameEncoding, "", 0},
    {"lone 0xA0", "\xA0_1", BodyError::nameEncoding, "", 0},
    {"lone 0xFD", "\xFD_1", BodyError::nameEncoding, "", 0},
    {"trail byte out of range", "\x81\xFD_1", BodyError::nameEncoding, "", 0},
    {"unassigned double-byte code", "\x85\x40_1", BodyError::nameEncoding, "", 0},
    {"UTF-8 instead of code page 932", "\xE3\x81\x82_1", BodyError::nameEncoding, "", 0},
    {"no score", "A_", BodyError::score, "", 0},
    {"letters in the score", "A_12a", BodyError::score, "", 0},
    {"negative score (a %d of a large unsigned)", "A_-1", BodyError::score, "", 0},
    {"plus sign", "A_+1", BodyError::score, "", 0},
    {"blank before the score", "A_ 1", BodyError::score, "", 0},
    {"line end after the score", "A_1\n", BodyError::score, "", 0},
    {"overflows 32 bits", "A_4294967296", BodyError::score, "", 0},
    {"eleven digits", "A_00000000001", BodyError::score, "", 0},
    {"far too big", "A_99999999999999999999", BodyError::score, "", 0},
};

INSTANTIATE_TEST_SUITE_P(Rows, BodyParsing, testing::ValuesIn(bodyRows), [](const auto& info) {
    std::string label;
    for (const char* c = info.param.label; *c != '\0'; ++c) label += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
    return label;
});

// ---- Ranking rules -----------------------------------------------------------------------------

class Rules : public testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(openRanking(ranking, ":memory:", error)) << error;
    }
    void TearDown() override { closeRanking(ranking); }

    SubmitResult submit(const std::string& name, std::uint32_t score, const std::string& address = "10.0.0.1",
                        std::int64_t now = 1000, RateLimit limit = {0, 60}) {
        return submitScore(ranking, Submission{name, score}, address, now, limit);
    }
    // "NAME SCORE" for each place, best first.
    std::vector<std::string> order() {
        std::vector<RankingEntry> entries;
        EXPECT_TRUE(readRanking(ranking, 0, 1000, entries));
        std::vector<std::string> out;
        for (const RankingEntry& entry : entries) {
            EXPECT_EQ(entry.place, out.size() + 1);
            out.push_back(entry.name + " " + std::to_string(entry.score));
        }
        return out;
    }
    std::uint64_t history() {
        std::uint64_t count = 0;
        EXPECT_TRUE(countSubmissions(ranking, count));
        return count;
    }

    RankingDb ranking;
};

TEST_F(Rules, TiesGoToTheEarlierSubmission) {
    EXPECT_EQ(submit("A", 100).place, 1u);
    EXPECT_EQ(submit("B", 100).place, 2u);
    // B reaching the same score again does not pass A, nor move B's own earlier mark.
    SubmitResult again = submit("B", 100);
    EXPECT_EQ(again.place, 2u);
    EXPECT_FALSE(again.improved);
    EXPECT_EQ(order(), (std::vector<std::string>{"A 100", "B 100"}));
    // A name that reaches a tie later is behind everyone already there.
    submit("C", 150);
    submit("D", 150);
    EXPECT_EQ(submit("A", 150).place, 3u);
    EXPECT_EQ(order(), (std::vector<std::string>{"C 150", "D 150", "A 150", "B 100"}));
}

TEST_F(Rules, ABetterSecondSubmissionReplacesTheBestAndAWorseOneIsOnlyKept) {
    submit("A", 100);
    submit("B", 200);
    SubmitResult better = submit("A", 300);
    EXPECT_TRUE(better.improved);
    EXPECT_EQ(better.place, 1u);
    EXPECT_EQ(better.bestScore, 300u);
    SubmitResult worse = submit("A", 50);
    EXPECT_EQ(worse.outcome, SubmitOutcome::accepted);
    EXPECT_FALSE(worse.improved);
    EXPECT_EQ(worse.place, 1u);
    EXPECT_EQ(worse.bestScore, 300u);
    EXPECT_EQ(order(), (std::vector<std::string>{"A 300", "B 200"}));
    EXPECT_EQ(history(), 4u);  // every accepted submission is kept
}

TEST_F(Rules, NamesAreComparedAsBytes) {
    submit("abc", 1);
    submit("ABC", 2);
    submit("abc ", 3);
    EXPECT_EQ(order().size(), 3u);
}

TEST_F(Rules, RemovingANameMovesTheOthersUp) {
    submit("A", 3);
    submit("B", 2);
    submit("C", 1);
    bool found = false;
    ASSERT_TRUE(removeName(ranking, "B", found));
    EXPECT_TRUE(found);
    ASSERT_TRUE(removeName(ranking, "B", found));
    EXPECT_FALSE(found);
    EXPECT_EQ(order(), (std::vector<std::string>{"A 3", "C 1"}));
    EXPECT_EQ(history(), 3u);
}

TEST_F(Rules, RateLimitCountsAcceptedSubmissionsPerAddressWithinTheWindow) {
    RateLimit limit{3, 60};
    for (std::int64_t at : {1000, 1030, 1031})
        EXPECT_EQ(submit("A", 1, "10.0.0.9", at, limit).outcome, SubmitOutcome::accepted);
    EXPECT_EQ(submit("A", 99, "10.0.0.9", 1040, limit).outcome, SubmitOutcome::rateLimited);
    EXPECT_EQ(submit("B", 1, "10.0.0.8", 1040, limit).outcome, SubmitOutcome::accepted);
    EXPECT_EQ(history(), 4u);  // the refused one is not stored
    EXPECT_EQ(order(), (std::vector<std::string>{"A 1", "B 1"}));
    // Once the first of the three is more than a window old, one more is allowed.
    EXPECT_EQ(submit("A", 5, "10.0.0.9", 1061, limit).outcome, SubmitOutcome::accepted);
    EXPECT_EQ(submit("A", 6, "10.0.0.9", 1061, limit).outcome, SubmitOutcome::rateLimited);
}

// Against a plain model: for random submissions the stored order and every reported place must
// match best-score-descending, earliest-reaching-submission-first. PILARO_TEST_SEED replays a run.
TEST_F(Rules, RandomSubmissionsMatchAModel) {
    unsigned seed = std::random_device{}();
    if (const char* fixed = std::getenv("PILARO_TEST_SEED")) seed = static_cast<unsigned>(std::strtoul(fixed, nullptr, 10));
    std::printf("seed %u (PILARO_TEST_SEED replays it)\n", seed);
    std::mt19937 random(seed);
    std::map<std::string, std::pair<std::uint32_t, int>> model;  // name -> best score, submission number
    for (int n = 0; n < 400; ++n) {
        std::string name(1, static_cast<char>('a' + random() % 12));
        std::uint32_t score = random() % 20;  // few values: many ties
        auto it = model.find(name);
        if (it == model.end() || score > it->second.first) model[name] = {score, n};
        SubmitResult result = submit(name, score);
        ASSERT_EQ(result.outcome, SubmitOutcome::accepted);
        std::vector<std::tuple<std::int64_t, int, std::string>> sorted;
        for (auto& [key, value] : model) sorted.emplace_back(-static_cast<std::int64_t>(value.first), value.second, key);
        std::sort(sorted.begin(), sorted.end());
        auto place = std::find_if(sorted.begin(), sorted.end(), [&](auto& t) { return std::get<2>(t) == name; });
        ASSERT_EQ(result.place, static_cast<std::uint32_t>(place - sorted.begin() + 1)) << "submission " << n;
        ASSERT_EQ(result.bestScore, model[name].first);
    }
    std::vector<std::string> expected;
    std::vector<std::tuple<std::int64_t, int, std::string>> sorted;
    for (auto& [key, value] : model) sorted.emplace_back(-static_cast<std::int64_t>(value.first), value.second, key);
    std::sort(sorted.begin(), sorted.end());
    for (auto& t : sorted) expected.push_back(std::get<2>(t) + " " + std::to_string(-std::get<0>(t)));
    EXPECT_EQ(order(), expected);
}

// ---- What the game and the page show -----------------------------------------------------------

TEST(GameReply, PlaceThenTopTenThenAnHtmlRemainder) {
    std::vector<RankingEntry> top = {{1, "ABC", 1200}, {2, "\x81\x5F\x82\xA0", 900}, {3, "x<y", 5}};
    SubmitResult result;
    result.place = 2;
    result.improved = true;
    std::string reply = gameReply(result, top, "/whiteRanking.cgi");
    std::string shown = firstToken(reply);
    // The game shows everything up to the remainder: a "<" in a name must not cut the list.
    EXPECT_EQ(decodeCp932(shown), "あなたは2位です\n1位 ABC 1200\n2位 ＼あ 900\n3位 x＜y 5\n");
    EXPECT_EQ(reply.substr(shown.size(), 9), "<a href=\"");
    SubmitResult worse = result;
    worse.improved = false;
    worse.bestScore = 1300;
    EXPECT_NE(decodeCp932(firstToken(gameReply(worse, top, "/x"))).find("1300"), std::string::npos);
}

TEST(GameReply, TheLongestTopTenFitsInTheGamesSingleRead) {
    std::vector<RankingEntry> top;
    for (std::uint32_t place = 1; place <= 10; ++place)
        top.push_back({place, "\x82\xA0\x82\xA0\x82\xA0\x82\xA0\x82\xA0", 4294967295u});
    SubmitResult result{SubmitOutcome::accepted, 4294967295u, 4294967295u, false};
    std::string reply = gameReply(result, top, "/whiteRanking.cgi");
    // The game reads 1024 bytes once; the whole text before the remainder must be among them.
    EXPECT_LT(firstToken(reply).size() + 1, 1024u);
    EXPECT_EQ(std::count(reply.begin(), reply.begin() + 1024 < reply.end() ? reply.begin() + 1024 : reply.end(), '\n'), 13);
}

TEST(RankingPage, EscapesNamesAndLinksThePages) {
    std::vector<RankingEntry> entries = {{51, "<script>", 10}, {52, "O'B\"&", 9}, {53, "\x82\xA0", 8}};
    std::string html = rankingPage(entries, 2, 3, 120, "/whiteRanking.cgi");
    EXPECT_NE(html.find("&lt;script&gt;"), std::string::npos);
    EXPECT_EQ(html.find("<script>"), std::string::npos);
    EXPECT_NE(html.find("O&#39;B&quot;&amp;"), std::string::npos);
    EXPECT_NE(html.find(">あ<"), std::string::npos);  // decoded to UTF-8
    EXPECT_NE(html.find("name=\"viewport\""), std::string::npos);
    EXPECT_NE(html.find("?page=1\""), std::string::npos);
    EXPECT_NE(html.find("?page=3\""), std::string::npos);
    EXPECT_NE(html.find("<td class=\"place\">51</td>"), std::string::npos);
}

TEST(Cp932, ConversionsBothWays) {
    std::string bytes;
    ASSERT_TRUE(encodeCp932("あ＼～", bytes));
    EXPECT_EQ(bytes, "\x82\xA0\x81\x5F\x81\x60");
    EXPECT_FALSE(encodeCp932("\xF0\x9F\x98\x80", bytes));  // an emoji has no code page 932 form
    EXPECT_EQ(decodeCp932("A\x80" "B"), "A\xEF\xBF\xBD" "B");
}

// ---- Requests and their statuses ---------------------------------------------------------------

struct RequestRow {
    const char* label;
    const char* method;
    BodyState state;
    std::string body;
    int status;
};

class Requests : public testing::TestWithParam<RequestRow> {};

TEST_P(Requests, AnswerWithTheRightStatusAndAShowableText) {
    const RequestRow& row = GetParam();
    RankingDb ranking;
    ServerConfig config{":memory:", {0, 60}};
    Response response = handleRequest(ranking, config, {row.method, "", "127.0.0.1", "/whiteRanking.cgi"}, row.state,
                                      row.body, 1000);
    closeRanking(ranking);
    EXPECT_EQ(response.status, row.status);
    EXPECT_NE(response.extraHeaders.find("Cache-Control: no-store"), std::string::npos);
    if (std::string(row.method) == "POST") {
        // The game shows the text before the first "<": a refusal must have its reason there.
        EXPECT_FALSE(firstToken(response.body).empty());
        if (row.status != 200) {
            EXPECT_EQ(response.body.find('<'), std::string::npos);
            EXPECT_TRUE(isValidCp932(response.body));
        }
    }
}

const RequestRow requestRows[] = {
    {"accepted", "POST", BodyState::complete, "ABC_1200", 200},
    {"bad score", "POST", BodyState::complete, "ABC_x", 400},
    {"empty body", "POST", BodyState::complete, "", 400},
    {"too large", "POST", BodyState::tooLarge, "", 413},
    {"cut short", "POST", BodyState::incomplete, "AB", 400},
    {"page", "GET", BodyState::complete, "", 200},
    {"head", "HEAD", BodyState::complete, "", 200},
    {"other method", "PUT", BodyState::complete, "A_1", 405},
};

INSTANTIATE_TEST_SUITE_P(Rows, Requests, testing::ValuesIn(requestRows),
                         [](const auto& info) { return std::string(info.param.method) + "_" + std::to_string(info.index); });

TEST(Requests, WithoutADatabaseTheyAreRefusedNotCrashed) {
    RankingDb ranking;
    Response response = handleRequest(ranking, ServerConfig{}, {"POST", "", "127.0.0.1", ""}, BodyState::complete,
                                      "ABC_1", 1000);
    EXPECT_EQ(response.status, 503);
    EXPECT_EQ(response.body.find('<'), std::string::npos);
}

TEST(Requests, RateLimitAnswers429WithRetryAfter) {
    RankingDb ranking;
    ServerConfig config{":memory:", {2, 60}};
    RequestInfo request{"POST", "", "10.1.1.1", "/whiteRanking.cgi"};
    EXPECT_EQ(handleRequest(ranking, config, request, BodyState::complete, "A_1", 1000).status, 200);
    EXPECT_EQ(handleRequest(ranking, config, request, BodyState::complete, "A_2", 1000).status, 200);
    Response limited = handleRequest(ranking, config, request, BodyState::complete, "A_3", 1000);
    closeRanking(ranking);
    EXPECT_EQ(limited.status, 429);
    EXPECT_NE(limited.extraHeaders.find("Retry-After: 60"), std::string::npos);
    EXPECT_EQ(limited.body.find('<'), std::string::npos);
}

TEST(Requests, PagesAreClampedAndNumberedFromTheQuery) {
    RankingDb ranking;
    ServerConfig config{":memory:", {0, 60}};
    for (int i = 0; i < 120; ++i)
        handleRequest(ranking, config, {"POST", "", "10.1.1.1", ""}, BodyState::complete,
                      "N" + std::to_string(i) + "_" + std::to_string(i), 1000);
    auto pageOf = [&](const char* query) {
        return handleRequest(ranking, config, {"GET", query, "", "/whiteRanking.cgi"}, BodyState::complete, "", 1000).body;
    };
    EXPECT_NE(pageOf("").find("1 / 3"), std::string::npos);
    EXPECT_NE(pageOf("page=2").find("<td class=\"place\">51</td><td class=\"name\">N69</td>"), std::string::npos);
    EXPECT_NE(pageOf("x=1&page=9").find("3 / 3"), std::string::npos);
    EXPECT_NE(pageOf("page=-1").find("1 / 3"), std::string::npos);
    closeRanking(ranking);
}

TEST(Config, RateLimitSettings) {
    RateLimit limit;
    EXPECT_TRUE(parseRateLimit("5", limit));
    EXPECT_EQ(limit.count, 5u);
    EXPECT_EQ(limit.seconds, 60u);
    EXPECT_TRUE(parseRateLimit("0", limit));
    EXPECT_EQ(limit.count, 0u);
    EXPECT_TRUE(parseRateLimit("10/30", limit));
    EXPECT_EQ(limit.seconds, 30u);
    for (const char* bad : {"", "x", "5/", "5/0", "5/x", "5 "}) EXPECT_FALSE(parseRateLimit(bad, limit)) << bad;
}

}  // namespace
