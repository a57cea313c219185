// scoresTest.cpp: the best-score file, both game-over flows, the name check and the ranking
// exchange: the exact boxes, file bytes and request bytes.
#include "coreFixture.h"

#include "scores/scores.h"

using Texts = std::vector<std::string>;

class Scores : public CoreTest {};

// Ends a game with `score` against the file's `best` ("" for no file), answering the boxes in
// turn; returns the boxes shown.
static Texts endGameWith(const char* best, std::uint32_t score, std::initializer_list<BoxAnswer> answers) {
    fake.clear();
    fake.hiScoreFile = *best != '\0', fake.hiScoreText = best;
    resetProgram();
    newGame(currentGame(), 0);
    onHiScoreChanged();  // the best score as the program reads it
    endTheGame(score);
    for (BoxAnswer answer : answers) onBoxAnswer(answer);
    return fake.boxes;
}

TEST_F(Scores, TheFileIsReadLikePercentDAndWrittenLikeIt) {
    // Whatever else the file holds (blanks, signs, trailing letters, numbers out of range) is read as
    // strtol reads it, held to the signed range, and every score is written as a text read back as
    // itself (the largest as "-1"): the hiScore fuzz target's checks, from a corpus of such texts
    // and scores. Here: a number, none after one, -1 as the largest score, and no file at all.
    const std::pair<const char*, std::uint32_t> rows[] = {{"750", 750}, {"abc", 0}, {"-1", 0xFFFFFFFFu}, {nullptr, 0}};
    for (const auto& [content, hiScore] : rows) {
        fake.hiScoreFile = content != nullptr, fake.hiScoreText = content ? content : "";
        onHiScoreChanged();
        EXPECT_EQ(game.hiScore, hiScore) << '"' << (content ? content : "no file") << '"';
    }

    // A failed write leaves the old best score, and the debugger hears of it.
    fake.hiScoreWriteFails = true;
    endTheGame(900);
    onBoxAnswer(BoxAnswer::ok);
    EXPECT_EQ(fake.hiScoreText, "");
    EXPECT_EQ(fake.debugLines, Texts{"ファイルオープンに失敗しました\n"});
}

TEST_F(Scores, TheGameOverFlowsTheNameAndTheRankingRequest) {
    const std::string goOn = "ゲームオーバー|続けますか？|yes-no|free";
    const std::string url = "https://example.org:8443/a/whiteRanking.cgi";
    // (A score equal to the best, and Yes dealing a new game: the Qt run's third and first games; no
    // score beating a best of -1, compared unsigned: the random play's, whose every game is judged
    // against that; No closing the game window: each shell's test, where the program then ends.)
    EXPECT_EQ(endGameWith("500", 501, {BoxAnswer::ok, BoxAnswer::no, BoxAnswer::yes}),
              (Texts{"ハイスコア！|スコア：501|ok|free",
                     "ランキング登録|あなたのスコア\n501\nランキングに登録しますか？|yes-no|free", goOn}));
    EXPECT_EQ(fake.hiScoreText + " " + std::to_string(game.hiScore), "501 501")
        << "the next game is judged against the saved best";

    // An address that is not http or https: one line for the developer, and the built-in address.
    chooseRankingUrl(nullptr);
    const std::string builtIn = rankingUrl;
    chooseRankingUrl("ftp://example.org/x");
    EXPECT_EQ(rankingUrl, builtIn);
    EXPECT_EQ(fake.debugLines.size(), 1u);
    chooseRankingUrl(url.c_str());

    // The largest score offered and taken: the name window waits with ticks idle. Then OK in the
    // name window: what is typed (UTF-8), what the server replies, the box that follows and the
    // body sent. Lengths count code page 932 bytes; the body carries them unescaped. The done box
    // shows the reply's first "<"-delimited token, read to a NUL and from at most 1024 bytes.
    // Fault guarded against: the body was built in 20 bytes, which cut a 10-byte name with the
    // largest score.
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
        endGameWith("501", 4'294'967'295u, {BoxAnswer::ok, BoxAnswer::yes});
        fake.boxes.clear(), fake.drawing.clear();
        tick();
        EXPECT_TRUE(fake.nameWindowVisible && fake.drawing.empty());
        fake.nameField = row.typed;
        onNameConfirmed();
        // The recording goes first; whatever its reply (here an older server's 404 page), it is not
        // shown, and the score follows within what is left of the one time limit.
        const Phase replayOut = phase();
        onRankingReply("<html>404 Not Found");
        onRankingReply(row.reply);
        EXPECT_EQ(fake.boxes, Texts{row.box}) << row.typed;
        const std::string recording(lastRecording().begin(), lastRecording().end());
        const Texts sent = {"https://example.org:8443/a/whiteReplay.cgi|Content-Type: application/octet-stream|" +
                                row.body + "_4294967295\n" + recording + "|1024",
                            url + "|Content-Type: application/x-www-form-urlencoded|" + row.body + "_4294967295|1024"};
        EXPECT_EQ(fake.requests, row.body.empty() ? Texts{} : sent);
        if (!row.body.empty()) {
            EXPECT_EQ(replayOut, Phase::sendingReplay);
            EXPECT_TRUE(fake.timeLimits.size() == 2 && fake.timeLimits[0] == replayTimeLimitMs &&
                        fake.timeLimits[1] >= rankingTimeLimitMs - replayTimeLimitMs &&
                        fake.timeLimits[1] <= rankingTimeLimitMs);
        }
        EXPECT_EQ(fake.nameWindowVisible, row.body.empty()) << "the window stays up for a correction";
        EXPECT_EQ(phase(), row.body.empty() ? Phase::nameWarning : Phase::done);
        onBoxAnswer(BoxAnswer::ok);
        onNameConfirmed();  // a warning answered: the window takes OK again; after a reply, nothing
        EXPECT_EQ(fake.boxes.back(), row.body.empty() ? row.box : goOn) << row.typed;
    }
    // The replay path sits where the ranking's does on its host, a folder kept, or at the root.
    for (const auto& [path, beside] : std::vector<std::pair<std::string, std::string>>{
             {"/whiteRanking.cgi", "/whiteReplay.cgi"}, {"/a/b/whiteRanking.cgi?x#y", "/a/b/whiteReplay.cgi"},
             {"/ranking.php", "/whiteReplay.cgi"}, {"/whiteRanking.cgi/x", "/whiteReplay.cgi"}})
        EXPECT_EQ(replayPathBeside(path), beside) << path;
    // A refused address sends and shows nothing, and the question follows at once.
    for (const std::string& bad : std::vector<std::string>{"ftp://host/x", "", "http://", "http://host:99999/x", "http://user@host/x", "host/x",
                                  "http://" + std::string(4096, 'h') + "/x"}) {
        rankingUrl = bad;
        endGameWith("501", 502, {BoxAnswer::ok, BoxAnswer::yes});
        fake.nameField = "A";
        onNameConfirmed();
        EXPECT_EQ(fake.requests, Texts{}) << bad;
        EXPECT_EQ(fake.boxes.back(), goOn) << bad;
    }
}
