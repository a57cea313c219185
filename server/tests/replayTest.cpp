// replayTest.cpp: replays before their scores: what the rules accept, how a submission is matched
// to one and marked verified, what is kept, and the refusals, against both stores upgraded in place
// from the release before.
#include "games.h"
#include "handler.h"
#include "replayCheck.h"
#include "support.h"
#include "texts.h"

#include "game/replay.h"
#include "text/cp932.h"

#include <gtest/gtest.h>

using namespace std::string_literals;

namespace {

// Fault: a recording whose rules end elsewhere, or that is cut or bent, must never verify a score.
TEST(ReplayCheck, AcceptsOnlyAGameThatEndsAsRecordedWithItsScore) {
    std::uint32_t score = 0;
    std::string recording = playedGame(7, score);
    ReplayClaim claim;
    ASSERT_EQ(checkReplay(replayBody("ABC", score, recording), claim), ReplayVerdict::accepted);
    EXPECT_EQ(claim.submission.name, "ABC");
    // One key moved a tick later (the first such move that changes the game) is refused: the key
    // and its key-up a tick later, and the byte after them gives up a tick of its own.
    auto hash = [](const std::string& bytes) {
        Game game;
        replay(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), game);
        return gameHash(game);
    };
    std::string moved;
    for (std::size_t at = 18; at + 2 < recording.size() && moved.empty(); ++at) {
        auto byte = static_cast<unsigned char>(recording[at]), after = static_cast<unsigned char>(recording[at + 2]);
        if ((byte & 15) == 0 || (byte & 15) >= keyCount || byte >> 4 == 15 || after >> 4 == 0) continue;
        std::string candidate = recording;
        candidate[at] = static_cast<char>(byte + 16), candidate[at + 2] = static_cast<char>(after - 16);
        if (hash(candidate) != hash(recording)) moved = candidate;
    }
    ASSERT_FALSE(moved.empty());
    std::string noisy = recording.substr(0, 18) + std::string(4000, '\x01') + recording.substr(18);
    const std::pair<std::string, ReplayVerdict> refused[] = {
        {replayBody("ABC", score + 1, recording), ReplayVerdict::wrongScore},
        {replayBody("ABC", score, recording.substr(0, recording.size() / 2)), ReplayVerdict::notEnded},
        {replayBody("ABC", score, recording.substr(0, 10)), ReplayVerdict::notRecording},
        {replayBody("ABC", score, "PLRY\x02" + recording.substr(5)), ReplayVerdict::notRecording},
        {replayBody("ABC", score, recording.substr(0, 18) + std::string(64000, '\xFF')), ReplayVerdict::tooLong},
        {replayBody("ABC", score, noisy), ReplayVerdict::implausible},
        {"\x01_5\n" + recording, ReplayVerdict::malformed},
        {"ABC" + std::to_string(score) + "\n" + recording, ReplayVerdict::malformed},
        {"ABC_" + std::to_string(score) + recording, ReplayVerdict::malformed}};
    for (const auto& [body, verdict] : refused) {
        EXPECT_EQ(checkReplay(body, claim), verdict) << body.substr(0, 20);
        EXPECT_STRNE(replayVerdictText(verdict), "");
    }
    EXPECT_NE(checkReplay(replayBody("ABC", score, moved), claim), ReplayVerdict::accepted);
}

class Replays : public testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        if ((location = freshStore(GetParam())).empty()) GTEST_SKIP() << postgresMissing;
        config.databasePath = location;
        config.rateLimit = {5, 60};
    }
    Response post(const char* path, const std::string& body, const char* address = "10.0.0.1") {
        return handleRequest(shared, config, {"POST", "", address, path, "rank.example", "", "", "", ""},
                             BodyState::complete, body, now);
    }
    Response get(const char* path, const std::string& query) {
        return handleRequest(shared, config, {"GET", query, "10.0.0.9", path, "rank.example", "", "", "", ""},
                             BodyState::complete, "", now);
    }
    std::vector<RankingEntry> ranking() {
        std::vector<RankingEntry> entries;
        shared.read([&](RankingStore& store) { EXPECT_TRUE(store.read(0, 100, entries)); });
        return entries;
    }
    std::string location;
    ServerConfig config;
    SharedStore shared;
    std::int64_t now = 100000;
};

// On a store of the release before replays, which upgrades in place and keeps its one entry (OLD,
// not verified, at the bottom).
TEST_P(Replays, AMatchedSubmissionIsVerifiedKeepsOnlyItsBestReplayAndCopiesAreRefusedOnAnUpgradedStore) {
    bool sqlite = GetParam() == "sqlite"s;
    ASSERT_TRUE(rawSql(location, readFile(PILARO_TEST_PREVIOUS_RELEASE "/ranking."s +
                                          (sqlite ? "sqlite3" : "postgresql") + ".sql")));
    std::uint32_t first = 0, second = 0, score = 0;
    std::string one = playedGame(11, first), two = playedGame(12, second);
    if (first > second) std::swap(one, two), std::swap(first, second);
    ASSERT_LT(first, second);
    // The replay, then the classic submission: verified, and its replay served for watching.
    EXPECT_EQ(post(replayPath, replayBody("AB", first, one)).status, 200);
    EXPECT_EQ(post(rankingPath, "AB_" + std::to_string(first)).status, 200);
    EXPECT_NE(get(PILARO_RANKING_API_PATH, "board=week").body.find("\"name\":\"AB\""), std::string::npos)
        << "the upgraded store's period boards";
    std::string id = replayKeyText(replayKey(one));
    Response watched = get(replayPath, "id=" + id);
    EXPECT_TRUE(watched.status == 200 && watched.body == one &&
                watched.extraHeaders.find("immutable") != std::string::npos);
    EXPECT_NE(get(rankingPath, "").body.find("/play/?watch=" + id), std::string::npos);
    // The same recording for a second entry under another name is refused.
    EXPECT_EQ(post(replayPath, replayBody("XY", first, one), "10.0.0.2").status, 409);
    // A submission from another address, with another score or name, or too late, is not matched.
    EXPECT_EQ(post(replayPath, replayBody("AB", second, two)).status, 200);
    EXPECT_EQ(post(rankingPath, "AB_" + std::to_string(second), "10.0.0.3").status, 200);
    EXPECT_TRUE(ranking().at(0).replay.empty());
    // A better entry without a replay took the old replay's place: it is gone.
    EXPECT_EQ(get(replayPath, "id=" + id).status, 404);
    EXPECT_EQ(post(rankingPath, "AB_" + std::to_string(second + 1)).status, 200);
    EXPECT_TRUE(ranking().at(0).replay.empty());
    EXPECT_EQ(get(replayPath, "id=zz").status, 400);
    // Verified-only: a bare score (made up) is refused, a replayed one ranked.
    config.verifiedOnly = true;
    Response bare = post(rankingPath, "CD_99999999", "10.0.0.4");
    EXPECT_EQ(bare.status, 403);
    EXPECT_EQ(cp932::decode(bare.body), refusalText(Refusal::notVerified) + "\n"s);
    EXPECT_EQ(post(replayPath, replayBody("CD", first, one), "10.0.0.4").status, 200);
    now += replayMatchSeconds + 1;
    EXPECT_EQ(post(rankingPath, "CD_" + std::to_string(first), "10.0.0.4").status, 403) << "matched too late";
    EXPECT_EQ(post(replayPath, replayBody("CD", first, one), "10.0.0.4").status, 200);
    EXPECT_EQ(post(rankingPath, "CD_" + std::to_string(first), "10.0.0.4").status, 200);
    // Fault guarded against: one that waited in vain must go (CD's replay took it), else it would
    // keep its recording from every other name for good.
    EXPECT_EQ(post(replayPath, replayBody("XY", second, two), "10.0.0.7").status, 200);
    std::vector<RankingEntry> entries = ranking();
    ASSERT_EQ(entries.size(), sqlite ? 3u : 2u);
    EXPECT_TRUE(!sqlite || (entries.back().name == "OLD" && entries.back().replay.empty()));
    // Replays count against the address's allowance; refused ones are not stored.
    config.rateLimit = {1, 60};
    std::string game = playedGame(20, score);
    EXPECT_EQ(post(replayPath, replayBody("EF", score, game), "10.0.0.5").status, 200);
    EXPECT_EQ(post(replayPath, replayBody("EF", score, game), "10.0.0.5").status, 429);
    EXPECT_EQ(post(replayPath, replayBody("EF", score + 1, game), "10.0.0.6").status, 400);
    expectConsistentHolding(location, {"AB", "CD"});
}

INSTANTIATE_TEST_SUITE_P(, Replays, testing::Values("sqlite", "postgresql"));

}  // namespace
