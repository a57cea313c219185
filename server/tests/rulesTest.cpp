// rulesTest.cpp: the ranking's rules without a web server, against both stores: parsing bodies,
// places and ties, the rate limit, foreign stores, the reply the game shows, the ranking page, and
// the answers that need no store.
#include "handler.h"
#include "support.h"
#include "text/cp932.h"
#include "testSeed.h"
#include "texts.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <map>
#include <set>
#include <random>
#include <tuple>

using namespace std::string_literals;

namespace {

// A request to host "rank.example:8631" as the gateway describes it.
RequestInfo request(const char* method, const char* query = "", const char* address = "10.0.0.1",
                    const char* origin = "", const char* fetchSite = "") {
    return {method, query, address, PILARO_RANKING_PATH, "rank.example:8631", origin, fetchSite, {}, {}};
}

// The name is split off at the LAST underscore, its length is counted in bytes, and blanks at
// either end are not part of it.
TEST(BodyParsing, SplitsAtTheLastUnderscoreAndChecksBothParts) {
    // Fault: "AB " and "AB" were two players. 0x81 0x40 at the end is no blank when its 0x81 ends a
    // character of its own; 0x815F is the full-width backslash, not an ASCII one.
    // clang-format off
    const std::pair<std::string, std::string> accepted[] = {
        {"ABC_1200", "ABC 1200"}, {"a_b__c_7", "a_b__c 7"}, {"_&= %_5", "_&= % 5"}, {"\xB1\xB2_2", "\xB1\xB2 2"},
        {"\x81\x5F_100", "\x81\x5F 100"}, {"A_4294967295", "A 4294967295"}, {"A_0000000007", "A 7"},
        {"\x82\xA0\x82\xA2\x82\xA4\x82\xA6\x82\xA8_9", "\x82\xA0\x82\xA2\x82\xA4\x82\xA6\x82\xA8 9"},
        {" AB _3", "AB 3"}, {"\x81\x40\x41 B\x81\x40_3", "A B 3"}, {"\x8A\x81\x40_1", "\x8A\x81\x40 1"},
        {"\x87\x54\xFA\x5C_1", "\x87\x54\xFA\x5C 1"}};
    // clang-format on
    Submission submission;
    for (const auto& [body, parsed] : accepted) {
        EXPECT_EQ(parseSubmission(body, submission), BodyError::none) << testing::PrintToString(body);
        EXPECT_EQ(submission.name + " " + std::to_string(submission.score), parsed) << testing::PrintToString(body);
    }
    const std::pair<BodyError, std::vector<std::string>> refused[] = {
        {BodyError::noSeparator, {"", "ABC1200"}},
        {BodyError::nameLength, {"_1200", "ABCDEFGHIJK_1", "\x82\xA0\x82\xA2\x82\xA4\x82\xA6\x82\xA8X_1"}},
        {BodyError::nameControl, {"A\tB_1", "A\0B_1"s, "A\x7F_1"}},
        // A lead byte cut off by the underscore, lone bytes outside the code page, an unassigned
        // double-byte code, UTF-8, the second forms of Ⅰ, ∵ and 纊 (fault: accepted, so one
        // character under two codes made two players).
        {BodyError::nameEncoding,
         {"AB\x81_1", "\x80_1", "\xA0_1", "\xFD_1", "\x85\x40_1", "\xE3\x81\x82_1", "\xFA\x4A_1", "\xFA\x5B_1", "\xED\x40_1"}},
        {BodyError::nameBlank, {" _1", "   _1", "\x81\x40_1", " \x81\x40 _1"}},  // fault: accepted
        // "-1" would be a large unsigned to strtoul, which also skips a blank and takes a "+".
        {BodyError::score, {"A_", "A_12a", "A_-1", "A_+1", "A_ 1", "A_4294967296", "A_00000000001"}}};
    for (const auto& [error, bodies] : refused) {
        EXPECT_FALSE(bodyErrorText(error).empty());
        for (const std::string& body : bodies)
            EXPECT_EQ(parseSubmission(body, submission), error) << testing::PrintToString(body);
    }
}

// A refused name matches in any width and letter case, a sound mark joined to its kana (the same
// name typed half-width, full-width or with a separate mark); other writings stay apart.
TEST(Names, FoldInEveryWidthAndCase) {
    const std::pair<const char*, const char*> same[] = {{"ｂａｄ", "BAD"}, {"ﾊﾞｶ", "バカ"}, {"ハ゛カ", "バカ"}, {"ﾎﾟﾁ", "ポチ"},
                                                        {"ｳﾞｧｰ", "ヴァー"}, {"ΑΒΓ", "αβγ"}, {"ЖЁ", "жё"}, {"Ａ１！　", "a1! "}};
    for (const auto& [typed, folded] : same)
        EXPECT_EQ(foldedName(cp932::encode(typed)), foldedName(cp932::encode(folded))) << typed;
    EXPECT_EQ(foldedName(cp932::encode("ﾅﾞﾊﾟ")), "ナ゛パ");
    EXPECT_NE(foldedName(cp932::encode("ばか")), foldedName(cp932::encode("バカ")));
}

// Every rule holds for both stores: the same cases run against each.
class Stores : public testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        if ((location = freshStore(GetParam())).empty()) GTEST_SKIP() << postgresMissing;
        std::string error;
        ASSERT_NE(store = openStore(location, StoreAccess::serve, error), nullptr) << error;
    }
    SubmitResult submit(const std::string& name, std::uint32_t score, const std::string& address = "10.0.0.1",
                        std::int64_t now = 1000, RateLimit limit = {0, 60}) {
        std::vector<RankingEntry> topTen;
        SubmitResult result = store->submit(Submission{name, score}, address, now, limit, topTen);
        EXPECT_TRUE(result.outcome != SubmitOutcome::accepted || order(topTen) == order({}, 10)) << "the top ten given";
        return result;
    }
    // "NAME SCORE" for each place, best first: of `entries`, or else of the store's first `count`.
    std::vector<std::string> order(std::vector<RankingEntry> entries = {}, std::uint32_t count = 1000) {
        std::vector<std::string> out;
        EXPECT_TRUE(!entries.empty() || store->read(0, count, entries));
        for (const RankingEntry& entry : entries)
            out.push_back(std::to_string(entry.place) + " " + entry.name + " " + std::to_string(entry.score));
        return out;
    }

    std::string location;
    std::unique_ptr<RankingStore> store;
};

TEST_P(Stores, RateLimitCountsPerAddressTellsTheSecondsLeftAndOnlyItsWindowIsKept) {
    RateLimit limit{3, 60};
    for (std::int64_t at : {1000, 1030, 1031})
        EXPECT_EQ(submit("A", 1, "10.0.0.9", at, limit).outcome, SubmitOutcome::accepted);
    // Refused, with the seconds left (fault: the whole window was given); not stored (the count below).
    EXPECT_EQ(submit("A", 99, "10.0.0.9", 1040, limit).retryAfter, 20u);
    EXPECT_EQ(submit("B", 1, "10.0.0.8", 1040, limit).outcome, SubmitOutcome::accepted);
    // Once the first of the three is more than a window old, one more is allowed.
    EXPECT_EQ(submit("A", 5, "10.0.0.9", 1061, limit).outcome, SubmitOutcome::accepted);
    EXPECT_EQ(submit("A", 6, "10.0.0.9", 1061, limit).retryAfter, 29u);
    // Fault: addresses (and submissions) were kept for ever, and those kept when the limit was
    // turned off stayed. Later submissions take those out of the window away; without a limit
    // none keeps its address. Refused submissions are not stored.
    for (std::int64_t at : {2000, 2001}) submit("C", 1, "10.0.0.7", at, limit);
    StoreCounts counts;
    ASSERT_TRUE(store->counts(counts));
    EXPECT_EQ(counts.addressesKept, 2u);
    submit("C", 3, "10.0.0.7", 2002);
    ASSERT_TRUE(store->counts(counts));
    EXPECT_EQ(counts.submissions + counts.addressesKept, 1u) << "the latest alone, without its address";

    // Fault: the history was never pruned, and a flood from many addresses grew the store without
    // bound. It keeps each name's best and the rate window's submissions: here 50 a second from
    // new addresses for 400 seconds, a 60-second window, 20 names. The bound is README's (70 bytes
    // a name, 80 a submission in the window), with room to spare.
    std::vector<PendingSubmission> batch(50);
    std::vector<PendingSubmission*> pointers;
    for (int n = 0; n < 20000; ++n) {
        PendingSubmission& pending = batch[n % 50];
        pending = {{"F" + std::to_string(n % 20), std::uint32_t(n)}, "a" + std::to_string(n), 3000 + n / 50, limit, {},
                   {}, {}, {}};
        pointers.push_back(&pending);
        if (pointers.size() == 50) store->submitAll(pointers), pointers.clear();
    }
    ASSERT_TRUE(store->counts(counts));
    EXPECT_EQ(counts.names, 23u) << batch.back().error;
    EXPECT_LE(counts.submissions, 61u * 50 + 4) << "the window's, and the few to go with the next";
    EXPECT_EQ(order().front(), "1 F19 19999");
    if (GetParam() != "sqlite"s) return;
    store.reset();  // the log goes into the file
    EXPECT_LE(std::filesystem::file_size(location), 32u * 1024 + 23 * 100 + 61 * 50 * 100) << "bytes";
}

// Against a plain model: for random submissions the stored order and every reported place must
// match best-score-descending, earliest-reaching-submission-first, one place per name (compared as
// bytes). PILARO_TEST_SEED replays a run.
TEST_P(Stores, RandomSubmissionsMatchAModel) {
    std::mt19937 random(testSeed());
    std::map<std::string, std::pair<std::int64_t, int>> model;  // name -> minus the best score, submission
    // The model's first `count` places, as order() gives them.
    auto ranking = [&model](std::size_t count) {
        std::set<std::pair<std::pair<std::int64_t, int>, std::string>> marks;
        for (auto& [name, mark] : model) marks.insert({mark, name});
        std::vector<std::string> out;
        for (auto& [mark, name] : marks)
            if (out.size() < count)
                out.push_back(std::to_string(out.size() + 1) + " " + name + " " + std::to_string(-mark.first));
        return out;
    };
    // In batches of one to four, as a busy server gathers them: each is answered as if alone.
    int n = 0;
    while (n < 300) {
        std::vector<PendingSubmission> batch(1 + random() % 4);
        std::vector<PendingSubmission*> pointers;
        for (PendingSubmission& pending : batch) {
            // Few values, many ties (reaching one again is no better), scores whose counts share
            // high levels or not, and the top of the range.
            std::uint32_t score =
                random() % 50 == 49 ? 4294967295u : (random() % 2 ? 0x10000000u : 0u) + random() % 20 * 17;
            pending.submission = {std::string(1, "aAbBcCdDeEfF"[random() % 12]), score};
            pending.limit.count = 0;
            pointers.push_back(&pending);
        }
        store->submitAll(pointers);
        for (PendingSubmission& pending : batch) {
            const std::string& name = pending.submission.name;
            bool better = !model.count(name) || pending.submission.score > -model[name].first;
            if (better) model[name] = {-std::int64_t(pending.submission.score), n};
            std::uint32_t place = 1;
            for (auto& [other, mark] : model) place += mark < model[name] ? 1 : 0;
            const SubmitResult& result = pending.result;
            // Outcome, place, best score, improved.
            ASSERT_EQ(std::make_tuple(result.outcome, result.place, result.bestScore, result.improved),
                      std::make_tuple(SubmitOutcome::accepted, place, std::uint32_t(-model[name].first), better))
                << "submission " << n;
            ASSERT_EQ(order(pending.topTen), ranking(10)) << "submission " << n;
            ++n;
        }
    }
    std::vector<std::string> expected = ranking(model.size());
    EXPECT_EQ(order(), expected);
    // Every window of places, as a page deep in the ranking is read: from its first place's score.
    for (std::uint32_t offset = 1; offset < expected.size(); ++offset) {
        std::vector<RankingEntry> window;
        ASSERT_TRUE(store->read(offset, 3, window) && !window.empty());  // (order() reads an empty one itself)
        auto end = expected.begin() + std::min<std::size_t>(offset + 3, expected.size());
        EXPECT_EQ(order(window), std::vector<std::string>(expected.begin() + offset, end));
    }
    // Removing the best name moves everyone up. (Names are one character, after the place and a
    // blank.)
    bool found = false;
    std::string best = expected[0].substr(2, 1), second = expected[1].substr(2, 1);
    ASSERT_TRUE(store->removeName(best, found));
    EXPECT_TRUE(found);
    ASSERT_TRUE(store->removeName(best, found));
    EXPECT_FALSE(found) << "removed twice";
    EXPECT_EQ(submit(second, 0).place, 1u);
    StoreCounts counts;
    ASSERT_TRUE(store->counts(counts));
    EXPECT_EQ(counts.names, model.size() - 1);
    expectConsistentHolding(location, {second});
}

// Fault: the operator's command, pointed at another program's file or a newer ranking, changed it.
TEST_P(Stores, AForeignOrNewerStoreIsRefusedAndLeftAsItIs) {
    std::string error, foreign = freshStore(GetParam());
    EXPECT_TRUE(rawSql(location, GetParam() == "sqlite"s ? "PRAGMA user_version = 1000"
                                                         : "UPDATE pilaro_ranking_schema SET version = 1000") &&
                rawSql(foreign, "CREATE TABLE other(x integer)"));
    store.reset();
    // The newer one keeps its version through every open (or a later open would take it), and the
    // foreign one gets none of our tables.
    for (StoreAccess access : {StoreAccess::serve, StoreAccess::modify, StoreAccess::readOnly}) {
        EXPECT_EQ(openStore(location, access, error), nullptr);
        EXPECT_NE(error.find("newer"), std::string::npos) << error;
        EXPECT_EQ(openStore(foreign, access, error), nullptr);
        EXPECT_EQ(error, "not a Pilaro ranking");
    }
    EXPECT_TRUE(rawSql(foreign, "CREATE TABLE names(x integer)"));
}

// Fault: every PostgreSQL ranking process set the ranking up again on its first request, and its
// triggers' table locks held every other process's submissions, on every host, until that commit
// reached the disk. A ranking this program set up is left as it is; one without this program's
// functions (another release's, or none as here) is set up again.
TEST_P(Stores, TheSetUpRunsOnlyWhereThisProgramsFunctionsAreMissing) {
    if (GetParam() == "sqlite"s) return;
    const std::string setUp = "(SELECT xmin::text FROM pg_proc WHERE proname = $$pilaro_submit$$ AND pronamespace = "
                              "current_schema()::regnamespace)";
    std::string error;
    ASSERT_TRUE(rawSql(location, "CREATE TABLE before AS SELECT " + setUp + " AS x"));
    ASSERT_NE(openStore(location, StoreAccess::serve, error), nullptr) << error;
    EXPECT_TRUE(rawSql(location, "DO $d$BEGIN ASSERT (SELECT x FROM before) = " + setUp + "; END$d$")) << "set up again";
    ASSERT_TRUE(rawSql(location, "DROP FUNCTION pilaro_submit(bytea, bigint, text, bigint, int, int, bool, bigint, text)"));
    store = openStore(location, StoreAccess::serve, error);
    ASSERT_NE(store, nullptr) << error;
    EXPECT_EQ(submitBatch(*store, "S", 1)[0].result.place, 1u) << "the program's own function again";
}

// Both stores write a batch in one transaction with one flush: a member that cannot be stored (a
// trigger refuses BAD1) must not take the others with it.
TEST_P(Stores, ABatchMemberThatCannotBeStoredIsRefusedAlone) {
    ASSERT_TRUE(rawSql(location, GetParam() == "sqlite"s
                                     ? "CREATE TRIGGER refuse BEFORE INSERT ON submissions WHEN "
                                       "unicode(substr(NEW.name, 4)) = 49 BEGIN SELECT RAISE(ABORT, refused); END"
                                     : "CREATE FUNCTION refuse() RETURNS trigger LANGUAGE plpgsql AS $f$BEGIN RAISE "
                                       "EXCEPTION $m$refused$m$; END$f$; CREATE TRIGGER refuse BEFORE INSERT ON "
                                       "submissions FOR EACH ROW WHEN (get_byte(NEW.name, 3) = 49) EXECUTE FUNCTION "
                                       "refuse()"));
    std::vector<PendingSubmission> mixed = submitBatch(*store, "BAD", 3);
    EXPECT_NE(mixed[1].error.find("refused"), std::string::npos) << mixed[1].error;
    EXPECT_EQ(mixed[2].result.place, 2u) << "BAD0 is ranked first, and BAD1 not";
}

// Fault: a page read held the store while it read, and deep pages (read with OFFSET) stalled every
// submission. A page read has a connection of its own: a submission is stored meanwhile.
TEST_P(Stores, NoSubmissionWaitsForAPageRead) {
    std::string error;
    SharedStore shared;
    ASSERT_TRUE(shared.open(location, error)) << error;
    std::future_status submitted = std::future_status::timeout;
    std::future<int> submission;  // out here: with the fault, it ends only after the read
    shared.read([&](RankingStore&) {
        submission = std::async(std::launch::async, [&] {
            return handleRequest(shared, {location, {0, 60}, {}}, request("POST"), BodyState::complete, "B_2", 9)
                .status;
        });
        submitted = submission.wait_for(std::chrono::seconds(10));
    });
    EXPECT_EQ(submitted, std::future_status::ready) << "the submission waited for the page read";
    EXPECT_EQ(submission.get(), 200);
}

INSTANTIATE_TEST_SUITE_P(, Stores, testing::Values("sqlite", "postgresql"));

// Fault guarded against: a writer's turn that woke another thread than the one it answered, or
// none, left a request waiting for ever. Eight threads' replays, submissions and turns all meet.
TEST(SharedStores, WakeEachThreadForItsOwnAnswer) {
    SharedStore store;
    std::string error;
    ASSERT_TRUE(store.open(":memory:", error)) << error;
    std::vector<std::future<int>> threads;
    for (char t = 'A'; t < 'I'; ++t)
        threads.push_back(std::async(std::launch::async, [&store, name = std::string(1, t), verified = 0]() mutable {
            for (; name.size() <= 40; name += 'x') {
                PendingReplay replay{{"key" + name, name, 7, "rec"}, "a", 1000, {0, 60}, {}, 0, {}};
                PendingSubmission submission{{name, 7}, "a", 1000, {0, 60}, false, {}, {}, {}};
                store.storeReplay(replay), store.submit(submission), store.exclusive([](RankingStore&) {});
                verified += replay.outcome == ReplayOutcome::accepted && submission.result.verified;
            }
            return verified;
        }));
    for (std::future<int>& each : threads) EXPECT_EQ(each.get(), 40);
}

TEST(Texts, TheGamesReply) {
    // A "<" in a name must not cut the list the game shows, and 0x815F is the code page's full-width
    // backslash, not plain Shift_JIS's ASCII one.
    std::vector<RankingEntry> top = {{1, "ABC", 1200, {}}, {2, "\x81\x5F\x82\xA0", 900, {}}, {3, "x<y", 5, {}}};
    EXPECT_EQ(gameReply({SubmitOutcome::accepted, 2, 1300, false, 0}, top, PILARO_RANKING_PATH),
              cp932::encode("あなたは2位です\n(これまでの最高 1300)\n1位 ABC 1200\n2位 ＼あ 900\n3位 x＜y 5\n"
                            "<a href=\"" PILARO_RANKING_PATH "\">ランキング</a>\n"));
    // The game reads 1024 bytes once: the longest place and top ten must be among them.
    top.assign(10, {1, "\x82\xA0\x82\xA0\x82\xA0\x82\xA0\x82\xA0", 4294967295u, {}});
    EXPECT_LT(gameReply({SubmitOutcome::accepted, 4294967295u, 4294967295u, false, 0}, top, "/").find('<'), 1024u);
}

TEST(Requests, AreNeverCachedLogEvery5xxNumberPagesRefuseOtherSitesAndGiveAnIpv6Slash64OneAllowance) {
    // Faults: a store that cannot be opened answered 503 and left no trace for the operator; a
    // malformed rate quietly became 5/60 ("-0": a sign was taken, and turned the limit off); a
    // relative store was taken from the web root (CGI). Each such setting is named in the 503 line
    // of every request; a PUT is refused before the store is needed.
    const std::string gone = "/nonexistent/r.sqlite3";
    const std::tuple<const char*, std::string, std::string, int, const char*> rows[] = {
        {"POST", gone, "0", 503, "pilaro-ranking: 503: "}, {"GET", gone, "0", 503, "pilaro-ranking: 503: "},
        {"PUT", gone, "0", 405, ""}, {"GET", gone, "5x", 503, "PILARO_RANKING_RATE"},
        {"GET", gone, "-0", 503, "PILARO_RANKING_RATE"}, {"GET", "5x", "10/30", 503, "PILARO_RANKING_DB"}};
    for (const auto& [method, database, rate, status, logged] : rows) {
        static std::string settings[2];  // the database and the rate, for the lookup (no captures)
        settings[0] = database, settings[1] = rate;
        ServerConfig config = configFromEnvironment(
            [](const char* name) -> const char* {
                return name == "PILARO_RANKING_DB"s ? settings[0].c_str()
                       : name == "PILARO_RANKING_RATE"s ? settings[1].c_str() : nullptr;
            });
        SharedStore none;
        Response response = handleRequest(none, config, request(method), BodyState::complete, "A_1", 1000);
        EXPECT_EQ(response.status, status) << method << " " << database << " " << rate;
        EXPECT_EQ(response.logLine.empty(), status != 503) << response.logLine;
        EXPECT_NE(response.logLine.find(logged), std::string::npos) << response.logLine;
        EXPECT_NE(response.extraHeaders.find("Cache-Control: no-store"), std::string::npos);
    }
    // Pages are numbered from the query and clamped to the ranking; names are shown escaped.
    // (Request threads meeting at the shared store are the lighttpd tests' load, whose every
    // acknowledged submission must be stored.)
    SharedStore store;
    for (int i = 0; i < 60; ++i) {
        const char* const odd[] = {"\x82\xA0", "O'B\"&", "<script>"};  // 7, 8, 9
        std::string name = i >= 7 && i <= 9 ? odd[i - 7] : "N" + std::to_string(i);
        Response response = handleRequest(store, {":memory:", {0, 60}, {}}, request("POST"), BodyState::complete,
                                          name + "_" + std::to_string(i), 1000);
        EXPECT_EQ(response.status, 200) << response.logLine;
    }
    auto page = [&](const char* query) {
        return handleRequest(store, {}, request("GET", query), BodyState::complete, "", 1000).body;
    };
    std::string last = page("x=1&page=9");
    EXPECT_EQ(last.find("<script>"), std::string::npos);
    for (const char* part : {"2 / 2</span><span></span></nav>", "?board=all&amp;page=1\"", "O&#39;B&quot;&amp;", ">あ<",
                             "<td class=\"place\">51</td><td class=\"name\">&lt;script&gt;</td>"})
        EXPECT_NE(last.find(part), std::string::npos) << part;
    EXPECT_NE(page("page=1").find("?board=all&amp;page=2\""), std::string::npos);

    // Faults: any web site could submit through its visitors' browsers (each visitor's address one
    // more allowance), and each IPv6 address was an allowance of its own (a home connection's /64
    // holds 2^64). A browser's request from another site is refused and not stored; the desktop
    // games and curl send neither header. One allowance per /64; IPv4 addresses as ever.
    // Address, Origin, Sec-Fetch-Site, status; S1, S2, ... in turn (S5 is refused).
    const std::tuple<const char*, const char*, const char*, int> sites[] = {
        {"10.0.0.1", "", "", 200}, {"10.0.0.2", "http://rank.example:8631", "same-origin", 200},
        {"10.0.0.4", "https://RANK.example:8631", "", 200}, {"10.0.0.5", "http://other.example:8631", "", 403},
        {"10.0.0.6", "null", "", 403}, {"10.0.0.7", "http://rank.example.other.example:8631", "", 403},
        {"10.0.0.8", "http://rank.example", "", 403}, {"10.0.0.9", "", "cross-site", 403},
        {"10.0.0.10", "http://rank.example:8631", "same-site", 403}, {"::ffff:10.0.0.1", "", "", 429},
        {"2001:db8:0:1::1", "", "", 200}, {"2001:db8:0:1:ffff:ffff:ffff:ffff", "", "", 429},
        {"2001:db8:0:2::1", "", "", 200}, {"10.0.0.3", "", "none", 200}};
    int n = 0;
    for (const auto& [address, origin, site, status] : sites) {
        Response response = handleRequest(store, {":memory:", {1, 60}, {}}, request("POST", "", address, origin, site),
                                          BodyState::complete, "S" + std::to_string(++n) + "_1", 1000);
        EXPECT_EQ(response.status, status) << address << " " << origin << " " << site;
    }
    EXPECT_EQ(page("page=2").find(">S5<"), std::string::npos) << "a refused submission was stored";
}

}  // namespace
