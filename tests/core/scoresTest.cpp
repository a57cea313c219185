// scoresTest.cpp: the best-score file, both game-over flows, the name check and the ranking
// exchange: the exact boxes, file bytes and request bytes.
#include "coreFixture.h"

#include <cstdlib>

#include "scores/scores.h"

using Texts = std::vector<std::string>;

class Scores : public CoreTest {};

// Ends a game with `score` against the file's `best`, answering the boxes in turn; returns the boxes shown.
static Texts endGameWith(const char* best, std::uint32_t score, std::initializer_list<BoxAnswer> answers) {
    writeFile(best);
    fake.clear();
    newGame();
    game.score = score, game.gameOver = 1;
    fake.boxAnswers = answers;
    handleGameOver();
    return fake.boxes;
}

TEST_F(Scores, TheFileIsReadLikePercentDAndReplacedWhole) {
    // The last row is held at the top of the signed range.
    // clang-format off
    const std::pair<const char*, std::uint32_t> rows[] = {
        {"750", 750}, {" 42abc", 42}, {"\n\t+17\n", 17}, {"", 0}, {"abc", 0}, {"-", 0}, {"007", 7}, {"-1", 0xFFFFFFFFu},
        {"99999999999999999999", 2147483647u}, {nullptr, 0}};  // the last: no file
    // clang-format on
    for (const auto& [content, hiScore] : rows) {
        content ? writeFile(content) : (void)std::filesystem::remove("hiScore.txt");
        loadHiScore();
        EXPECT_EQ(game.hiScore, hiScore) << '"' << (content ? content : "no file") << '"';
    }

    writeFile("501");
    // Fault guarded against: the file was emptied before the new number was written, so a failed
    // write lost the old best score. Now the old file stays and the debugger hears of it.
    std::filesystem::create_directory("hiScore.txt.tmp");
    game.score = 900;
    saveHiScore();
    EXPECT_EQ(readFile(), "501");
    EXPECT_EQ(fake.debugLines, Texts{"ファイルオープンに失敗しました\n"});
}

TEST_F(Scores, TheGameOverFlowsTheNameAndTheRankingRequest) {
    const std::string goOn = "ゲームオーバー|続けますか？|yes-no|free";
    const std::string url = "https://example.org:8443/a/whiteRanking.cgi";
    EXPECT_EQ(endGameWith("500", 500, {BoxAnswer::yes}), Texts{goOn}) << "equal to the best: no new best";
    EXPECT_TRUE(fake.closes.empty() && !game.gameOver) << "Yes dealt a new game";
    EXPECT_EQ(endGameWith("-1", 4'000'000'000u, {}), Texts{goOn}) << "nothing beats -1, compared unsigned";
    EXPECT_EQ(fake.closes, std::vector<WindowId>{WindowId::game}) << "No closes the game window";
    EXPECT_EQ(endGameWith("500", 501, {BoxAnswer::ok, BoxAnswer::no, BoxAnswer::yes}),
              (Texts{"ハイスコア！|スコア：501|ok|free",
                     "ランキング登録|あなたのスコア\n501\nランキングに登録しますか？|yes-no|free", goOn}));
    EXPECT_EQ(readFile() + " " + std::to_string(game.hiScore), "501 501")
        << "the next game is judged against the saved best";

    // An address that is not http or https: one line for the developer, and the built-in address.
    const std::string builtIn = (unsetenv("PILARO_RANKING_URL"), chooseRankingUrl(), rankingUrl);
    setenv("PILARO_RANKING_URL", "ftp://example.org/x", 1);
    chooseRankingUrl();
    EXPECT_TRUE(rankingUrl == builtIn && fake.debugLines.size() == 1) << rankingUrl;

    // The largest score offered and taken, to an address from the environment: the name window
    // waits with ticks idle.
    setenv("PILARO_RANKING_URL", url.c_str(), 1);
    chooseRankingUrl();
    unsetenv("PILARO_RANKING_URL");
    endGameWith("501", 4'294'967'295u, {BoxAnswer::ok, BoxAnswer::yes});
    onTimerTick();
    EXPECT_TRUE(fake.nameWindowVisible && fake.sleptMs == 1);

    // Then OK in the name window: what is typed (UTF-8), what the server replies, the first box
    // and the body sent. Lengths count code page 932 bytes; the body carries them unescaped. The
    // done box shows the reply's first "<"-delimited token, read to a NUL and from at most 1024
    // bytes. Fault guarded against: the body was built in 20 bytes, which cut a 10-byte name with
    // the largest score.
    const std::string done = "登録完了|", shown = "11位以下はホームページにて|ok|free", none = done + "|ok|free",
                      tooLong = "警告|文字数は10文字以下にしてネ|ok|owned";
    // clang-format off
    const struct { const char* typed; std::string reply, box, body; } rows[] = {
        {"", "", "警告|名前を入力してください|ok|owned", ""}, {"ABCDEFGHIJ", "abc<def", done + "abc" + shown, "ABCDEFGHIJ"},
        {"ABCDEFGHIJK", "", tooLong, ""}, {"ABCDEFGHIJKLMNOPQRSTUVWXYZ", "", tooLong, ""},
        {"あいうえお", "<<abc<def", done + "abc" + shown, "\x82\xa0\x82\xa2\x82\xa4\x82\xa6\x82\xa8"},
        {"a_b&c=d %", "\x82\xa0\x82\xa2<html>", done + "あい" + shown, "a_b&c=d %"},
        {"ソ", "<", none, "\x83\x5c"}, {"€", "<<<", none, "?"}, {"A", "", none, "A"}, {"あいうえおか", "", tooLong, ""},
        {"B", std::string("ab\0cd<", 6), done + "ab" + shown, "B"},
        {"C", std::string(1500, 'y'), done + std::string(1024, 'y') + shown, "C"}};
    // clang-format on
    for (const auto& row : rows) {
        fake.clear();
        fake.onBox = [] { EXPECT_EQ(game.rankingPending, 1) << fake.boxes.back(); };
        fake.nameWindowVisible = true, fake.nameField = row.typed, fake.httpReply = row.reply;
        onCommand(2);  // only the OK button's command confirms
        onCommand(1);
        EXPECT_EQ(fake.boxes, row.body.empty() ? Texts{row.box} : (Texts{row.box, goOn})) << row.typed;
        const Texts sent = {url + "|Content-Type: application/x-www-form-urlencoded|" + row.body + "_4294967295|1024"};
        EXPECT_EQ(fake.requests, row.body.empty() ? Texts{} : sent);
        EXPECT_EQ(fake.nameWindowVisible, row.body.empty()) << "the window stays up for a correction";
    }
    // A refused address opens and shows nothing.
    fake.clear();
    const std::string longHost = "http://" + std::string(4096, 'h') + "/x";
    for (const std::string url :
         {"ftp://host/x", "", "http://", "http://host:99999/x", "http://user@host/x", "host/x", longHost.c_str()})
        EXPECT_FALSE(httpPostForm(url, "A_1") || !fake.requests.empty() || !fake.boxes.empty()) << url;
}
