// scoresTest.cpp: the best-score file, the game-over dialogs, the name check and the ranking exchange.
#include "coreFixture.h"

#include <filesystem>

#include "game/input.h"
#include "scores/scores.h"

using Titles = std::vector<std::string>;

// ---- the best-score file ----

class HiScoreFile : public CoreTest {};

TEST_F(HiScoreFile, ReadsTheLeadingNumberLikePercentD) {
    const struct { const char* content; std::uint32_t hiScore; } rows[] = {
        {"750", 750},
        {" 42abc", 42},
        {"\n\t+17\n", 17},
        {"", 0},
        {"abc", 0},
        {"-", 0},
        {"-1", 0xFFFFFFFFu},
        {"2147483647", 2147483647u},
        {"99999999999999999999", 2147483647u},  // held at the top of the signed range
        {"-99999999999999999999", 0x80000000u},
        {"007", 7},
    };
    for (const auto& row : rows) {
        writeHiScoreFile(row.content);
        game.hiScore = 12345;
        loadHiScore();
        EXPECT_EQ(game.hiScore, row.hiScore) << '"' << row.content << '"';
    }
}

TEST_F(HiScoreFile, AMissingOrUnreadableFileCountsAsZero) {
    game.hiScore = 5;
    loadHiScore();
    EXPECT_EQ(game.hiScore, 0u);
    std::filesystem::create_directory("hiScore.txt");  // a folder where the file should be
    game.hiScore = 5;
    loadHiScore();
    EXPECT_EQ(game.hiScore, 0u);
}

TEST_F(HiScoreFile, SavingWritesExactlyTheDigitsAndReplacesTheOldFile) {
    writeHiScoreFile("500 and some words");
    game.score = 501;
    saveHiScore();
    EXPECT_EQ(readHiScoreFile(), "501");
    EXPECT_FALSE(std::filesystem::exists("hiScore.txt.tmp"));
    EXPECT_TRUE(fake.debugLines.empty());
    EXPECT_EQ(game.hiScore, 0u) << "saving does not touch the best score in memory";
}

TEST_F(HiScoreFile, AFailedSaveKeepsTheOldFileAndTellsTheDebugger) {
    writeHiScoreFile("321");
    std::filesystem::create_directory("hiScore.txt.tmp");  // the temporary file cannot be made
    game.score = 900;
    saveHiScore();
    EXPECT_EQ(readHiScoreFile(), "321");
    EXPECT_EQ(fake.debugLines, std::vector<std::string>{"ファイルオープンに失敗しました\n"});
}

// ---- the end of a game ----

class GameOver : public CoreTest {
protected:
    void endGameWith(std::uint32_t score) {
        game.score = score;
        game.gameOver = 1;
        handleGameOver();
    }
};

TEST_F(GameOver, ScoreNotAboveTheBestAsksOnlyWhetherToContinue) {
    writeHiScoreFile("500");
    newGame();
    fake.boxAnswers = {BoxAnswer::yes};
    endGameWith(500);
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_EQ(fake.boxes[0].text, "続けますか？");
    EXPECT_EQ(fake.boxes[0].title, "ゲームオーバー");
    EXPECT_EQ(fake.boxes[0].buttons, BoxButtons::yesNo);
    EXPECT_EQ(game.rankingPending, 0);
    EXPECT_EQ(readHiScoreFile(), "500");
    EXPECT_EQ(game.score, 0u) << "Yes dealt a new game";
    EXPECT_EQ(game.gameOver, 0);
    EXPECT_TRUE(fake.closes.empty());
}

TEST_F(GameOver, NoAtTheContinueQuestionClosesTheGameWindow) {
    writeHiScoreFile("-1");  // nothing beats it
    newGame();
    endGameWith(4'000'000'000u);
    EXPECT_EQ(fake.boxTitles(), Titles{"ゲームオーバー"});
    EXPECT_EQ(fake.closes, std::vector<WindowId>{WindowId::game});
    EXPECT_EQ(readHiScoreFile(), "-1");
}

TEST_F(GameOver, ANewBestIsAnnouncedSavedAndOfferedThenDeclined) {
    writeHiScoreFile("500");
    newGame();
    fake.onBox = [](const BoxRecord&) { EXPECT_EQ(game.rankingPending, 1) << "ticks idle under every box"; };
    fake.boxAnswers = {BoxAnswer::ok, BoxAnswer::no, BoxAnswer::yes};
    endGameWith(501);
    EXPECT_EQ(fake.boxTitles(), (Titles{"ハイスコア！", "ランキング登録", "ゲームオーバー"}));
    EXPECT_EQ(fake.boxes[0].text, "スコア：501");
    EXPECT_EQ(fake.boxes[1].text, "あなたのスコア\n501\nランキングに登録しますか？");
    EXPECT_EQ(fake.boxes[1].buttons, BoxButtons::yesNo);
    EXPECT_EQ(readHiScoreFile(), "501");
    EXPECT_EQ(game.hiScore, 501u) << "the new game reads the saved best back";
    EXPECT_EQ(game.rankingPending, 0);
    EXPECT_FALSE(fake.nameWindowVisible);
}

TEST_F(GameOver, TheHighScoreBranchWalksToTheRankingAndBack) {
    newGame();
    fake.boxAnswers = {BoxAnswer::ok, BoxAnswer::yes};
    endGameWith(1200);
    EXPECT_TRUE(fake.nameWindowVisible);
    EXPECT_EQ(game.rankingPending, 1) << "the flow waits for the OK button with ticks idle";
    onTimerTick();
    EXPECT_EQ(fake.sleptMs, 1u);

    fake.nameField = "ABC";
    fake.httpReply = "abc<def";
    fake.boxAnswers = {BoxAnswer::ok, BoxAnswer::yes};
    onCommand(1);
    EXPECT_FALSE(fake.nameWindowVisible);
    ASSERT_EQ(fake.requests.size(), 1u);
    const RequestRecord& request = fake.requests[0];
    EXPECT_EQ(request.target.host, "localhost");
    EXPECT_EQ(request.target.port, 8631u);
    EXPECT_EQ(request.target.path, "/whiteRanking.cgi");
    EXPECT_FALSE(request.target.secure);
    EXPECT_EQ(request.headerLine, "Content-Type: application/x-www-form-urlencoded");
    EXPECT_EQ(request.body, "ABC_1200");
    EXPECT_EQ(request.replyLimit, 1024u);
    EXPECT_EQ(fake.boxTitles(), (Titles{"ハイスコア！", "ランキング登録", "登録完了", "ゲームオーバー"}));
    EXPECT_EQ(fake.boxes[2].text, "abc11位以下はホームページにて");
    EXPECT_EQ(game.rankingPending, 0);
    EXPECT_EQ(game.score, 0u);
}

class NameCheck : public CoreTest, public ::testing::WithParamInterface<std::tuple<const char*, const char*, const char*>> {};

// name typed (UTF-8), the warning shown (empty: accepted), the body sent
INSTANTIATE_TEST_SUITE_P(Names, NameCheck, ::testing::Values(
    std::make_tuple("", "名前を入力してください", ""),
    std::make_tuple("ABCDEFGHIJ", "", "ABCDEFGHIJ_77"),
    std::make_tuple("ABCDEFGHIJK", "文字数は10文字以下にしてネ", ""),
    std::make_tuple("あいうえお", "", "\x82\xa0\x82\xa2\x82\xa4\x82\xa6\x82\xa8_77"),
    std::make_tuple("あいうえおか", "文字数は10文字以下にしてネ", ""),
    std::make_tuple("a_b&c=d %", "", "a_b&c=d %_77"),
    std::make_tuple("ソ", "", "\x83\x5c_77"),      // second byte 0x5C, a backslash byte
    std::make_tuple("ァ", "", "\x83\x40_77"),
    std::make_tuple("€", "", "?_77"),             // not in code page 932: sent as "?"
    std::make_tuple("ABCDEFGHIJKLMNOPQRSTUVWXYZ", "文字数は10文字以下にしてネ", "")));

TEST_P(NameCheck, MeasuresCodePage932BytesAndSendsThemAsTyped) {
    const auto [typed, warning, body] = GetParam();
    game.score = 77;
    game.rankingPending = 1;
    fake.nameWindowVisible = true;
    fake.nameField = typed;
    confirmName();
    if (*warning) {
        ASSERT_EQ(fake.boxes.size(), 1u);
        EXPECT_EQ(fake.boxes[0].text, warning);
        EXPECT_EQ(fake.boxes[0].title, "警告");
        EXPECT_EQ(fake.boxes[0].owner, BoxOwner::nameWindow);
        EXPECT_TRUE(fake.nameWindowVisible) << "the window stays up for a correction";
        EXPECT_TRUE(fake.requests.empty());
    } else {
        ASSERT_EQ(fake.requests.size(), 1u);
        EXPECT_EQ(fake.requests[0].body, body);
        EXPECT_FALSE(fake.nameWindowVisible);
    }
}

TEST_F(NameCheck, AWarningCanBeCorrectedAndTheSecondShowingKeepsTheField) {
    game.score = 5;
    fake.nameField = "ABCDEFGHIJKL";
    confirmName();
    fake.nameField = "ABCDEFGHIJ";
    confirmName();
    EXPECT_EQ(fake.boxTitles(), (Titles{"警告", "登録完了", "ゲームオーバー"}));
    EXPECT_EQ(fake.requests.size(), 1u);
}

// Fault guarded against: the body used to be built in 20 bytes, which cut a 10-byte name with
// a nine-digit score.
TEST_F(NameCheck, ALongNameWithALargeScoreIsSentWhole) {
    game.score = 4'294'967'295u;
    fake.nameField = "ABCDEFGHIJ";
    confirmName();
    ASSERT_EQ(fake.requests.size(), 1u);
    EXPECT_EQ(fake.requests[0].body, "ABCDEFGHIJ_4294967295");
}

// ---- the reply ----

class Reply : public CoreTest {};

TEST_F(Reply, TheDoneBoxShowsTheDecodedTokenAndTheSentenceOrNothing) {
    const struct { std::string reply; std::string shown; } rows[] = {
        {"abc<def", "abc11位以下はホームページにて"},
        {"<<abc<def", "abc11位以下はホームページにて"},
        {"\x82\xa0\x82\xa2<html>", "あい11位以下はホームページにて"},
        {"<", ""},
        {"<<<", ""},
        {"", ""},
        {std::string("ab\0cd<", 6), "ab11位以下はホームページにて"},  // a NUL ends the text, as in a C string
        {std::string(1500, 'y'), std::string(1024, 'y') + "11位以下はホームページにて"},
    };
    for (const auto& row : rows) {
        fake.clear();
        fake.httpReply = row.reply;
        EXPECT_TRUE(httpPostForm("http://example.test/whiteRanking.cgi", "A_1"));
        ASSERT_EQ(fake.boxes.size(), 1u);
        EXPECT_EQ(fake.boxes[0].text, row.shown);
        EXPECT_EQ(fake.boxes[0].title, "登録完了");
        EXPECT_EQ(fake.boxes[0].owner, BoxOwner::none);
    }
}

TEST_F(Reply, ARefusedAddressOpensNothingAndShowsNothing) {
    for (const char* url : {"ftp://host/x", "", "http://", "http://host:99999/x", "http://user@host/x", "host/x"}) {
        fake.clear();
        EXPECT_FALSE(httpPostForm(url, "A_1")) << url;
        EXPECT_TRUE(fake.requests.empty());
        EXPECT_TRUE(fake.boxes.empty());
    }
}

TEST(RankingAddress, SplitsSchemeHostPortAndPath) {
    const struct { const char* url; bool secure; const char* host; unsigned port; const char* path; } rows[] = {
        {"http://localhost:8631/whiteRanking.cgi", false, "localhost", 8631, "/whiteRanking.cgi"},
        {"HTTPS://example.org/a/whiteRanking.cgi", true, "example.org", 443, "/a/whiteRanking.cgi"},
        {"http://example.org", false, "example.org", 80, "/"},
        {"http://[::1]:8080/x", false, "[::1]", 8080, "/x"},
    };
    for (const auto& row : rows) {
        HttpTarget target;
        ASSERT_TRUE(splitUrl(row.url, target)) << row.url;
        EXPECT_EQ(target.secure, row.secure);
        EXPECT_EQ(target.host, row.host);
        EXPECT_EQ(target.port, row.port);
        EXPECT_EQ(target.path, row.path);
    }
    HttpTarget target;
    EXPECT_FALSE(splitUrl("http://" + std::string(4096, 'h') + "/x", target));
    EXPECT_TRUE(splitUrl("http://" + std::string(4095, 'h') + "/x", target));
}
