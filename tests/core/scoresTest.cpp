// scoresTest.cpp: the best-score file, both game-over flows, the name check and the ranking
// exchange: the exact boxes, file bytes and request bytes.
#include "coreFixture.h"

#include "scores/scores.h"

using Texts = std::vector<std::string>;

class Scores : public CoreTest {
protected:
    // Ends a game with `score` and answers the boxes in turn; returns each box as "title|text".
    static Texts endGameWith(std::uint32_t score, std::initializer_list<BoxAnswer> answers) {
        newGame();
        game.score = score;
        game.gameOver = 1;
        fake.boxAnswers = answers;
        handleGameOver();
        Texts boxes;
        for (const BoxRecord& box : fake.boxes) boxes.push_back(box.title + "|" + box.text);
        return boxes;
    }
};

TEST_F(Scores, TheFileIsReadLikePercentDAndWrittenWhole) {
    const struct { const char* content; std::uint32_t hiScore; } rows[] = {
        {"750", 750}, {" 42abc", 42}, {"\n\t+17\n", 17}, {"", 0}, {"abc", 0}, {"-", 0}, {"007", 7},
        {"-1", 0xFFFFFFFFu}, {"99999999999999999999", 2147483647u},  // held at the top of the signed range
    };
    for (const auto& row : rows) {
        writeFile(row.content);
        loadHiScore();
        EXPECT_EQ(game.hiScore, row.hiScore) << '"' << row.content << '"';
    }
    std::filesystem::remove("hiScore.txt");
    game.hiScore = 5;
    loadHiScore();
    EXPECT_EQ(game.hiScore, 0u) << "no file";

    writeFile("500 and some words");
    game.score = 501;
    saveHiScore();
    EXPECT_EQ(readFile(), "501");
    EXPECT_TRUE(fake.debugLines.empty());
    // Fault guarded against: the file was emptied before the new number was written, so a failed
    // write lost the old best score. Now the old file stays and the debugger hears of it.
    std::filesystem::create_directory("hiScore.txt.tmp");
    game.score = 900;
    saveHiScore();
    EXPECT_EQ(readFile(), "501");
    EXPECT_EQ(fake.debugLines, Texts{"ファイルオープンに失敗しました\n"});
}

TEST_F(Scores, TheGameOverFlows) {
    const std::string goOn = "ゲームオーバー|続けますか？";
    writeFile("500");
    EXPECT_EQ(endGameWith(500, {BoxAnswer::yes}), Texts{goOn}) << "equal to the best: no new best";
    EXPECT_EQ(fake.boxes[0].buttons, BoxButtons::yesNo);
    EXPECT_EQ(readFile(), "500");
    EXPECT_EQ(game.gameOver, 0) << "Yes dealt a new game";
    EXPECT_TRUE(fake.closes.empty());

    fake.clear();
    fake.onBox = [](const BoxRecord& box) { EXPECT_EQ(game.rankingPending, 1) << "ticks idle under " << box.title; };
    EXPECT_EQ(endGameWith(501, {BoxAnswer::ok, BoxAnswer::no, BoxAnswer::no}),
              (Texts{"ハイスコア！|スコア：501", "ランキング登録|あなたのスコア\n501\nランキングに登録しますか？", goOn}));
    EXPECT_EQ(readFile(), "501");
    EXPECT_EQ(fake.closes, std::vector<WindowId>{WindowId::game}) << "No closes the game window";

    fake.clear();
    writeFile("-1");  // nothing beats it, compared unsigned
    EXPECT_EQ(endGameWith(4'000'000'000u, {}), Texts{goOn});

    // A new best, offered and taken: the name window waits with ticks idle, OK sends the request.
    fake.clear();
    writeFile("0");
    endGameWith(1200, {BoxAnswer::ok, BoxAnswer::yes});
    EXPECT_TRUE(fake.nameWindowVisible);
    onTimerTick();
    EXPECT_EQ(fake.sleptMs, 1u);
    fake.nameField = "ABC";
    fake.httpReply = "abc<def";
    fake.boxes.clear();
    fake.boxAnswers = {BoxAnswer::ok, BoxAnswer::yes};
    onCommand(2);  // only the OK button's command (1) confirms
    onCommand(1);
    EXPECT_FALSE(fake.nameWindowVisible);
    ASSERT_EQ(fake.requests.size(), 1u);
    const RequestRecord& request = fake.requests[0];
    EXPECT_EQ(request.target.path, "/whiteRanking.cgi");
    EXPECT_EQ(request.headerLine, "Content-Type: application/x-www-form-urlencoded");
    EXPECT_EQ(request.body, "ABC_1200");
    EXPECT_EQ(request.replyLimit, 1024u);
    EXPECT_EQ(fake.boxTitles(), (Texts{"登録完了", "ゲームオーバー"}));
    EXPECT_EQ(fake.boxes[0].text, "abc11位以下はホームページにて");
    EXPECT_EQ((std::vector<std::uint32_t>{game.rankingPending, game.score, game.hiScore}),
              (std::vector<std::uint32_t>{0, 0, 1200})) << "a new game, judged against the saved best";
}

TEST_F(Scores, TheNameIsCountedInCodePage932BytesAndSentAsTyped) {
    // typed (UTF-8), the warning (empty: accepted), the body sent
    const struct { const char* typed; const char* warning; std::string body; } rows[] = {
        {"", "名前を入力してください", ""},
        {"ABCDEFGHIJ", "", "ABCDEFGHIJ_4294967295"},  // fault guarded against: a 20-byte body cut this
        {"ABCDEFGHIJK", "文字数は10文字以下にしてネ", ""},
        {"あいうえお", "", "\x82\xa0\x82\xa2\x82\xa4\x82\xa6\x82\xa8_4294967295"},
        {"あいうえおか", "文字数は10文字以下にしてネ", ""},
        {"a_b&c=d %", "", "a_b&c=d %_4294967295"},
        {"ソ", "", "\x83\x5c_4294967295"},  // second byte 0x5C, a backslash byte
        {"€", "", "?_4294967295"},           // not in code page 932: sent as "?"
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZ", "文字数は10文字以下にしてネ", ""},
    };
    for (const auto& row : rows) {
        fake.clear();
        game.score = 4'294'967'295u;
        fake.nameWindowVisible = true;
        fake.nameField = row.typed;
        confirmName();
        if (*row.warning) {
            ASSERT_EQ(fake.boxes.size(), 1u) << row.typed;
            EXPECT_EQ(fake.boxes[0].text, row.warning);
            EXPECT_EQ(fake.boxes[0].title, "警告");
            EXPECT_EQ(fake.boxes[0].owner, BoxOwner::nameWindow);
            EXPECT_TRUE(fake.nameWindowVisible && fake.requests.empty()) << "the window stays up for a correction";
        } else {
            ASSERT_EQ(fake.requests.size(), 1u) << row.typed;
            EXPECT_EQ(fake.requests[0].body, row.body);
            EXPECT_FALSE(fake.nameWindowVisible);
        }
    }
}

TEST_F(Scores, TheReplyAndTheAddress) {
    const struct { std::string reply, shown; } replies[] = {
        {"abc<def", "abc11位以下はホームページにて"},
        {"<<abc<def", "abc11位以下はホームページにて"},
        {"\x82\xa0\x82\xa2<html>", "あい11位以下はホームページにて"},
        {"<", ""}, {"<<<", ""}, {"", ""},
        {std::string("ab\0cd<", 6), "ab11位以下はホームページにて"},  // a NUL ends the text, as in a C string
        {std::string(1500, 'y'), std::string(1024, 'y') + "11位以下はホームページにて"},
    };
    for (const auto& row : replies) {
        fake.clear();
        fake.httpReply = row.reply;
        httpPostForm("http://example.test/whiteRanking.cgi", "A_1");
        ASSERT_EQ(fake.boxes.size(), 1u);
        EXPECT_EQ(fake.boxes[0].text, row.shown);
        EXPECT_EQ(fake.boxes[0].title, "登録完了");
        EXPECT_EQ(fake.boxes[0].owner, BoxOwner::none);
    }
    const struct { const char* url; bool secure; const char* host; unsigned port; const char* path; } urls[] = {
        {"http://localhost:8631/whiteRanking.cgi", false, "localhost", 8631, "/whiteRanking.cgi"},
        {"HTTPS://example.org/a/whiteRanking.cgi", true, "example.org", 443, "/a/whiteRanking.cgi"},
        {"http://example.org", false, "example.org", 80, "/"},
        {"http://[::1]:8080/x", false, "[::1]", 8080, "/x"},
    };
    for (const auto& row : urls) {
        HttpTarget target;
        ASSERT_TRUE(splitUrl(row.url, target)) << row.url;
        EXPECT_EQ((Texts{target.secure ? "https" : "http", target.host, std::to_string(target.port), target.path}),
                  (Texts{row.secure ? "https" : "http", row.host, std::to_string(row.port), row.path}));
    }
    const std::string longHost = "http://" + std::string(4096, 'h') + "/x";
    for (const std::string url : {"ftp://host/x", "", "http://", "http://host:99999/x", "http://user@host/x", "host/x", longHost.c_str()}) {
        fake.clear();
        EXPECT_FALSE(httpPostForm(url, "A_1")) << url;
        EXPECT_TRUE(fake.requests.empty() && fake.boxes.empty()) << "a refused address opens and shows nothing";
    }
}
