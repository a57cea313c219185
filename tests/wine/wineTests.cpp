// wineTests.cpp: pilaro.exe played under Wine on a throw-away X display: its imports, and one run
// of three games, at 192 and at 96 DPI, that walks the window, the frame, the keys, the single-instance
// guard, the new-best-score branch down to the ranking POST, the time limit of the exchange, and a
// score the real ranking verifies.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <list>

#include "desktop.h"
#include "localRanking.h"
#include "loopbackServer.h"
#include "platform/platform.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string prefix = PILARO_WINE_PREFIX;

// A window's picture shows the 408x524 canvas when it is that size `scale` times over.
bool showsCanvas(const Image& shot) { return shot.width == 408 * shot.scale && shot.height == 524 * shot.scale; }

// The blocks (row, column) in the rows x columns cells of 24 pixels from (left, top) of the canvas:
// the cells whose centre is not the light grey of an empty one.
using Blocks = std::vector<std::array<int, 2>>;
Blocks blocksIn(const Image& canvas, int left = 24, int top = 24, int rows = 20, int columns = 10) {
    Blocks blocks;
    for (int cell = 0; cell < rows * columns && showsCanvas(canvas); ++cell)
        if (canvas.at(left + 24 * (cell % columns) + 12, top + 24 * (cell / columns) + 12) != Rgb{215, 215, 215})
            blocks.push_back({cell / columns, cell % columns});
    return blocks;
}

class WineGame : public ::testing::Test {
protected:
    void SetUp() override {
        if (fs::exists(prefix + ".unusable"))
            GTEST_SKIP() << "Wine cannot start here: " << runCommand("cat '" + prefix + ".unusable'");
        ASSERT_TRUE(fs::exists(prefix + "/system.reg")) << "no Wine prefix at " << prefix << "; run CTest";
        setenv("WINEPREFIX", prefix.c_str(), 1);
        // The msgbox trace is how the tests read the text of every message box.
        setenv("WINEDEBUG", "-all,trace+msgbox", 1);
        setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1);
        workDir = runCommand("mktemp -d /tmp/pilaroWine.XXXXXX | tr -d '\\n'");
        ASSERT_FALSE(workDir.empty()) << "no folder for the game to run in";
        ASSERT_EQ(desktop.start(), "");
    }

    void TearDown() override {
        // Only ever the tests' own prefix: a developer's everyday Wine programs are left alone.
        runCommand("timeout 30 wineserver -k >/dev/null 2>&1");  // the display goes with the fixture
        if (!workDir.empty()) fs::remove_all(workDir);
    }

    // Starts a copy of the game with the screen at `dpi` (Wine reads it when a program starts); the
    // program and the first window titled Pilaro, or "".
    std::pair<Program*, std::string> startGame(int dpi) {
        runCommand("timeout 60 wine reg add 'HKCU\\Control Panel\\Desktop' /v LogPixels /t REG_DWORD /d " +
                   std::to_string(dpi) + " /f >/dev/null 2>&1");
        Program& game =
            programs.emplace_back(PILARO_WIN32_EXE, workDir, workDir + "/" + std::to_string(programs.size()));
        return {&game, waitForWindow("Pilaro", 60s)};
    }

    // Screenshots until the well holds one piece, as while the first falls, and checks that
    // frame: the window `scale` times the canvas with every tile edge sharp, a piece in each
    // preview, and five lines of panel text starting at x = 288.
    static void checkFirstFrame(const std::string& window, int scale) {
        Image canvas;
        waitUntil(20s, [&] { return blocksIn(canvas = screenshot(window, scale)).size() == 4; });
        EXPECT_TRUE(showsCanvas(canvas)) << "client size " << canvas.width << "x" << canvas.height;
        int blurred = 0;  // pixels that differ from the top-left one of their scale x scale square
        for (int i = 0; i < canvas.width * canvas.height; ++i)
            blurred += canvas.pixels[i] != canvas.at(i % canvas.width / scale, i / canvas.width / scale);
        EXPECT_EQ(blurred, 0) << "at factor " << scale;
        EXPECT_EQ(blocksIn(canvas, 288, 24, 4, 4), (Blocks{{1, 1}, {1, 2}, {2, 1}, {2, 2}})) << "the O of seed 1 next";
        EXPECT_EQ(blocksIn(canvas, 288, 144, 4, 4), (Blocks{{0, 1}, {1, 1}, {2, 1}, {3, 1}})) << "and its I after";
        // White text in the bands of rows from top to bottom, or none in the gap between the score and
        // LINE, where text drawn at the screen's size rather than the canvas's would run into.
        for (const auto [top, bottom, text] :
             {std::array{264, 280, 1}, {288, 304, 1}, {306, 334, 0}, {336, 352, 1}, {360, 376, 1}, {408, 424, 1}}) {
            int white = 0, leftmost = 408;
            for (int y = top; y < bottom; ++y)
                for (int x = 284; x < 408; ++x)
                    if (canvas.at(x, y) == Rgb{255, 255, 255}) ++white, leftmost = std::min(leftmost, x);
            EXPECT_TRUE(text ? white > 20 : white == 0) << white << " white pixels at " << top;
            EXPECT_TRUE(!text || std::abs(leftmost - 290) <= 2) << "text at " << top << " starts at " << leftmost;
        }
    }

    // Waits for the box titled `title` and answers it with `keys`.
    static void answerBox(const std::string& title, const std::string& keys) {
        const std::string box = waitForWindow(title, 30s);
        EXPECT_TRUE(pressKeys(box, keys)) << (box.empty() ? "no box " : "cannot answer ") << title;
        EXPECT_TRUE(waitUntil(10s, [&] { return waitForWindow(title) != box; })) << title << " stayed up";
    }

    // Hard-drops to a game over, answers Yes to the best-score box and to the offer, and returns
    // the name window and the new best score on file.
    std::pair<std::string, std::string> toNameWindow(const std::string& window) {
        for (int drop = 0; drop < 100 && waitForWindow("ハイスコア！", 300ms).empty(); ++drop)
            pressKeys(window, "shift");
        for (const char* title : {"ハイスコア！", "ランキング登録"}) answerBox(title, "Return");
        return {waitForWindow("名前入力", 15s), runCommand("cat '" + workDir + "/hiScore.txt'")};
    }

    // Clicks into the name field (its place at 96 DPI times `scale`), types with the xdotool
    // commands `typing`, and clicks OK.
    static bool submitName(const std::string& nameWindow, int scale, const std::string& typing) {
        const auto click = [&](int x, int y) {
            return xdotool("mousemove --window " + nameWindow + " " + std::to_string(x * scale) + " " +
                           std::to_string(y * scale) + " click 1");
        };
        return click(60, 45) && (typing.empty() || xdotool(typing)) && click(155, 40);
    }

    Desktop desktop;
    std::string workDir;
    std::list<Program> programs;  // a list: the tests hold references to its elements
};

TEST(Win32Program, ImportsOnlyDllsOfTheSystem) {
    // The compiler's runtime is linked in; anything beyond these would have to be shipped too.
    // Only kernel32 is listed beside those that may be there: none at all means objdump read nothing.
    EXPECT_EQ(runCommand(PILARO_MINGW_OBJDUMP " -p '" PILARO_WIN32_EXE "' | sed -n 's/.*DLL Name: //p' | tr A-Z a-z | "
                                              "grep -vxE '(gdi32|msvcrt|user32|wininet|winmm)\\.dll' | sort -u"),
              "kernel32.dll\n");
}

TEST_F(WineGame, ThreeCopiesAtTwoDpisWalkTheWholeProgram) {
    // The game's ranking goes where PILARO_RANKING_URL says; Wine hands the variable on to the exe.
    LoopbackServer server;
    // "12位" in code page 932, then markup that the done box must not show. The server knows no
    // replay path (an older one's 404): the score is ranked all the same.
    ASSERT_EQ(server.start(httpReply("12\x88\xca<html><body>ranking</body></html>"), ReplyMode::answer,
                           httpReply("Not Found", "404 Not Found")),
              "");
    setenv("PILARO_RANKING_URL", server.rankingUrl().c_str(), 1);
    std::ofstream(workDir + "/hiScore.txt") << "7";
    // The seed a test gives deals the same first pieces on every shell: seed 1, an S, then an O and an I.
    setenv("PILARO_SEED", "1", 1);
    // The 1 key becomes 〜 (U+301C): X has no key for it, and xdotool's own passing mapping is
    // too brief for Wine, which reads the keyboard's map when it starts.
    runCommand("xkbcomp -w 0 $DISPLAY - | sed 's/\\[ *1, *exclam *\\]/[ U301C ]/' | xkbcomp -w 0 - $DISPLAY");

    // At 192 DPI the window is twice the canvas, every canvas pixel a sharp 2x2 square.
    auto [game, window] = startGame(192);
    ASSERT_FALSE(window.empty()) << "no window titled Pilaro";
    checkFirstFrame(window, 2);
    // F1 pauses behind a box of its own; a second copy is refused and leaves the first alone. (Every
    // key reaches the game by one line of the window procedure, through the program's table of key
    // codes, which the browser tests' arrow keys and pads pin; F1, Shift and Escape show here that
    // the line is there.)
    ASSERT_TRUE(pressKeys(window, "F1"));
    answerBox("ポーズ中", "Return");
    Program& second = *startGame(192).first;
    answerBox("起動できません", "Return");
    EXPECT_EQ(second.waitForExit(15s), 0) << "the second copy";

    // Yes to the offer shows the name window; OK with nothing typed there: the warning, and the name
    // window stays for another try.
    auto [nameWindow, score] = toNameWindow(window);
    ASSERT_TRUE(submitName(nameWindow, 2, "")) << "no name window";
    answerBox("警告", "Return");
    // 〜 goes out as 81 60, as the Linux build sends it (Windows' own converter made it "?").
    ASSERT_TRUE(submitName(nameWindow, 2, "key U301C type --delay 60 AB"));
    answerBox("登録完了", "Return");
    // The game's recording first (to the replay path, as the real ranking's verification below
    // shows), then the score as before.
    ASSERT_EQ(server.requests().size(), 2u);
    const ReceivedRequest replayRequest = server.requests()[0], request = server.requests()[1];
    EXPECT_NE(replayRequest.head.find("\r\nContent-Type: application/octet-stream\r\n"), std::string::npos);
    EXPECT_EQ(request.head.substr(0, request.head.find("\r\n")), "POST " + std::string(rankingPath) + " HTTP/1.1");
    EXPECT_NE(request.head.find("\r\nContent-Type: application/x-www-form-urlencoded\r\n"), std::string::npos);
    EXPECT_EQ(request.body, std::string("\x81\x60") + "AB_" + score);
    EXPECT_EQ(replayRequest.body.substr(0, replayRequest.body.find('\n')), request.body) << "the replay's name line";
    // No at the continue question (Tab moves to No, space presses it) ends the program with 0.
    answerBox("ゲームオーバー", "Tab space");
    EXPECT_EQ(game->waitForExit(15s), 0) << "after No";
    // The done box shows the reply as WinINet read it. (The boxes' other texts and their order are the
    // core's; their titles, converted as the texts are, were each waited for above.)
    EXPECT_THAT(messageBoxTexts(game->outputPath), testing::Contains("12位11位以下はホームページにて"));

    // At 96 DPI, against a server that trickles its reply a byte at a time (it would take minutes,
    // yet never pauses long enough for WinINet's own limits): the empty done box once the 10 s are up.
    ASSERT_EQ(server.start(httpReply(std::string(1500, 'x')), ReplyMode::trickle), "");
    setenv("PILARO_RANKING_URL", server.rankingUrl().c_str(), 1);
    fs::remove(workDir + "/hiScore.txt");
    std::tie(game, window) = startGame(96);
    ASSERT_FALSE(window.empty()) << "no window titled Pilaro at 96 DPI";
    checkFirstFrame(window, 1);
    // A few pieces spread over the well, for README's picture.
    for (const char* keys :
         {"Left Left Left Left shift", "Right Right Right shift", "Up shift", "Right Right Right Right Right shift"})
        pressKeys(window, keys), std::this_thread::sleep_for(400ms);
    runCommand("timeout 10 import -window " + window + " " PILARO_WINE_SCREENSHOT);
    std::tie(nameWindow, score) = toNameWindow(window);
    ASSERT_TRUE(submitName(nameWindow, 1, "type --delay 60 slow")) << "no name window at 96 DPI";
    // The exchange gives up at 10 s; the wait allows for a loaded machine, far short of the minutes
    // the whole reply would take.
    EXPECT_FALSE(waitForWindow("登録完了", 30s).empty()) << "no done box within 30 s of OK";
    EXPECT_EQ(server.requests().back().body, "slow_" + score);
    answerBox("登録完了", "Return");
    // Yes deals a new game, which plays on; Escape then ends the program with 0.
    answerBox("ゲームオーバー", "Return");
    EXPECT_TRUE(waitUntil(10s, [&] { return blocksIn(screenshot(window)).size() == 4; })) << "no new game";
    ASSERT_TRUE(pressKeys(window, "Escape"));
    EXPECT_EQ(game->waitForExit(15s), 0) << "after Escape";
    EXPECT_THAT(messageBoxTexts(game->outputPath), testing::Contains("")) << "the abandoned exchange's done box";

    // A third copy sends a new best score to the real ranking, which plays the game's recording,
    // written beside the best score, again and ranks the score verified by it.
    LocalServer ranking;
    ASSERT_TRUE(ranking.start()) << ranking.errorLog();
    setenv("PILARO_RANKING_URL", ranking.rankingUrl().c_str(), 1);
    fs::remove(workDir + "/hiScore.txt");
    std::tie(game, window) = startGame(96);
    std::tie(nameWindow, score) = toNameWindow(window);
    ASSERT_TRUE(submitName(nameWindow, 1, "type --delay 60 real")) << "no name window for the real ranking";
    answerBox("登録完了", "Return");
    answerBox("ゲームオーバー", "Tab space");
    EXPECT_EQ(game->waitForExit(15s), 0) << "after No";
    // The ranking as the operator's list shows it, "PLACE\tNAME\tSCORE\tREPLAY" a line, where REPLAY is
    // the id of the recording that verified the entry: the first 32 hex digits of its SHA-256.
    const std::string replayId = runCommand("timeout 10 sha256sum '" + workDir + "/" + replayFileName + "' | cut -c1-32");
    EXPECT_EQ(runCommand("timeout 30 '" PILARO_RANKING_ADMIN "' --db '" + ranking.store + "' list"),
              "1\treal\t" + score + "\t" + replayId);
}

}  // namespace
