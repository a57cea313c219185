// wineTests.cpp: pilaro.exe played under Wine on a throw-away X display: its imports, and one run
// of two games, at 192 and at 96 DPI, that walks the window, the frame, the keys, the single-instance
// guard, the new-best-score branch down to the ranking POST, and the time limit of the exchange.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <list>
#include <set>
#include <sstream>

#include "desktop.h"
#include "loopbackServer.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string prefix = PILARO_WINE_PREFIX;
const std::string exePath = PILARO_WIN32_EXE;

// A tile is recognised by its left face in the base colour and its top face in the light shade.
const std::pair<Rgb, Rgb> tileFaces[8] = {
    {{255, 130, 130}, {255, 162, 162}}, {{247, 255, 130}, {255, 255, 162}}, {{175, 255, 130}, {218, 255, 162}},
    {{130, 255, 212}, {162, 255, 255}}, {{130, 148, 255}, {162, 185, 255}}, {{250, 130, 255}, {255, 162, 255}},
    {{255, 186, 130}, {255, 232, 162}}, {{184, 184, 184}, {230, 230, 230}},
};

// The tiles (row, column, tile) in the rows x columns cells of 24 pixels from (left, top) of the canvas.
using Blocks = std::vector<std::array<int, 3>>;
Blocks blocksIn(const Image& canvas, int left = 24, int top = 24, int rows = 20, int columns = 10) {
    Blocks blocks;
    for (int cell = 0; cell < rows * columns * 8 && canvas.width == 408; ++cell) {
        const int x = left + 24 * (cell / 8 % columns), y = top + 24 * (cell / 8 / columns), k = cell % 8;
        if (canvas.at(x + 4, y + 12) == tileFaces[k].first && canvas.at(x + 12, y + 4) == tileFaces[k].second)
            blocks.push_back({cell / 8 / columns, cell / 8 % columns, k});
    }
    return blocks;
}

// Four blocks of one shape's tile: a piece, wherever it lies.
bool isOnePiece(const Blocks& blocks) {
    return blocks.size() == 4 &&
           std::all_of(blocks.begin(), blocks.end(), [&](auto& b) { return b[2] == blocks[0][2]; });
}

// The leftmost and the rightmost column of the blocks.
std::pair<int, int> span(const Blocks& blocks) {
    std::pair<int, int> columns{9, 0};
    for (const auto& b : blocks) columns = {std::min(columns.first, b[1]), std::max(columns.second, b[1])};
    return columns;
}

// The window's picture brought back to the canvas, when it is `scale` times the canvas in each
// direction; `blurred` counts the pixels that differ from the top-left one of their square.
Image canvasOf(const Image& shot, int scale, int* blurred = nullptr) {
    Image canvas{408, 524, {}};
    if (shot.width != 408 * scale || shot.height != 524 * scale) return {};
    for (int y = 0; y < shot.height && blurred; ++y)
        for (int x = 0; x < shot.width; ++x) *blurred += shot.at(x, y) != shot.at(x - x % scale, y - y % scale);
    for (int y = 0; y < 524; ++y)
        for (int x = 0; x < 408; ++x)
            for (int value : shot.at(x * scale, y * scale)) canvas.rgb.push_back(static_cast<unsigned char>(value));
    return canvas;
}

std::string readFile(const std::string& path) { return runCommand("cat '" + path + "' 2>/dev/null"); }

class WineGame : public ::testing::Test {
protected:
    void SetUp() override {
        if (fs::exists(prefix + ".unusable"))
            GTEST_SKIP() << "Wine cannot start here: " << readFile(prefix + ".unusable");
        ASSERT_TRUE(fs::exists(prefix + "/system.reg"))
            << "no Wine prefix at " << prefix << "; run these through CTest";
        setenv("WINEPREFIX", prefix.c_str(), 1);
        // The msgbox trace is how the tests read the text of every message box.
        setenv("WINEDEBUG", "-all,trace+msgbox", 1);
        setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1);
        char work[] = "/tmp/pilaroWine.XXXXXX";
        ASSERT_NE(mkdtemp(work), nullptr);
        workDir = work;
        std::string why;
        ASSERT_TRUE(desktop.start(why)) << why;
    }

    void TearDown() override {
        // Only ever the tests' own prefix: a developer's everyday Wine programs are left alone.
        runCommand("timeout 30 wineserver -k >/dev/null 2>&1");
        programs.clear();
        desktop.stop();
        if (!workDir.empty()) fs::remove_all(workDir);
    }

    Program& start() {
        return programs.emplace_back(exePath, workDir, workDir + "/" + std::to_string(programs.size()));
    }

    // Starts the game with the screen at `dpi` (Wine reads it when a program starts); its window or "".
    std::pair<Program*, std::string> startGame(int dpi) {
        runCommand("timeout 60 wine reg add 'HKCU\\Control Panel\\Desktop' /v LogPixels /t REG_DWORD /d " +
                   std::to_string(dpi) + " /f >/dev/null 2>&1");
        Program& game = start();
        return {&game, waitForWindow("Pilaro", 60s)};
    }

    // Screenshots until the well holds one piece, as while the first falls, and checks that
    // frame: the window `scale` times the canvas with every tile edge sharp, a piece in each
    // preview, and five lines of panel text starting at x = 288.
    static Blocks checkFirstFrame(const std::string& window, int scale) {
        Image shot;
        waitUntil(20s, [&] { return isOnePiece(blocksIn(canvasOf(shot = screenshot(window), scale))); });
        EXPECT_EQ(std::pair(shot.width, shot.height), std::pair(408 * scale, 524 * scale)) << "client size";
        int blurred = 0;
        const Image canvas = canvasOf(shot, scale, &blurred);
        EXPECT_EQ(blurred, 0) << "pixels that differ from their square at factor " << scale;
        EXPECT_TRUE(isOnePiece(blocksIn(canvas, 288, 24, 4, 4)) && isOnePiece(blocksIn(canvas, 288, 144, 4, 4)));
        // The white pixels between rows top and bottom, and the leftmost of them.
        const auto ink = [&](int top, int bottom) {
            std::pair<int, int> found{0, 408};
            for (int y = top; y < bottom && canvas.width; ++y)
                for (int x = 284; x < 408; ++x)
                    if (canvas.at(x, y) == Rgb{255, 255, 255}) ++found.first, found.second = std::min(found.second, x);
            return found;
        };
        for (int top : {264, 288, 336, 360, 408})
            EXPECT_TRUE(ink(top, top + 16).first > 20 && std::abs(ink(top, top + 16).second - 290) <= 2) << top;
        // Text drawn at the screen's size rather than the canvas's would run into the gap.
        EXPECT_EQ(ink(306, 334).first, 0) << "text between the score and LINE";
        return blocksIn(canvas);
    }

    // Waits for the box titled `title`, checks that it is the `index`th box of `program` and
    // returns its text after answering it with `keys`.
    std::string answerBox(const Program& program, std::size_t index, const std::string& title,
                          const std::string& keys) {
        const std::string box = waitForWindow(title, 30s);
        std::vector<std::string> texts;
        waitUntil(5s, [&] { return (texts = messageBoxTexts(program.outputPath)).size() > index; });
        if (box.empty() || texts.size() != index + 1) {
            ADD_FAILURE() << title << " is box " << texts.size() << " (shown: " << !box.empty() << "), not "
                          << index + 1;
            return {};
        }
        EXPECT_TRUE(pressKeys(box, keys)) << "answering " << title;
        EXPECT_TRUE(waitUntil(10s, [&] { return waitForWindow(title) != box; })) << title << " stayed up";
        return texts.back();
    }

    // Hard-drops to a game over, answers Yes to the best-score box (box `index`) and to the offer,
    // and returns the name window; `score` gets the score the boxes show.
    std::string toNameWindow(const Program& game, const std::string& window, std::size_t index, std::string& score) {
        for (int drop = 0; drop < 100 && waitForWindow("ハイスコア！").empty(); ++drop) {
            pressKeys(window, "shift");
            waitUntil(300ms, [] { return !waitForWindow("ハイスコア！").empty(); });
        }
        const std::string best = answerBox(game, index, "ハイスコア！", "Return"), shown = "スコア：";
        EXPECT_EQ(best.substr(0, shown.size()), shown);
        score = best.substr(std::min(best.size(), shown.size()));
        EXPECT_EQ(answerBox(game, index + 1, "ランキング登録", "Return"),
                  "あなたのスコア\n" + score + "\nランキングに登録しますか？");
        return waitForWindow("名前入力", 15s);
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
    const std::string imports = runCommand(std::string(PILARO_MINGW_OBJDUMP) + " -p '" + exePath +
                                           "' 2>/dev/null | sed -n 's/.*DLL Name: //p' | tr A-Z a-z");
    EXPECT_NE(imports.find("kernel32.dll"), std::string::npos) << "no imports read from " << exePath;
    EXPECT_EQ(runCommand("echo '" + imports + "' | grep -vxE '(gdi32|kernel32|msvcrt|user32|wininet|winmm)\\.dll|'"),
              "");
}

TEST_F(WineGame, TwoGamesAtTwoDpisWalkTheWholeProgram) {
    // The game's ranking goes where PILARO_RANKING_URL says; Wine hands the variable on to the exe.
    LoopbackServer server;
    std::string score;
    // "12位" in code page 932, then markup that the done box must not show.
    ASSERT_EQ(server.start(httpReply("12\x88\xca<html><body>ranking</body></html>")), "");
    setenv("PILARO_RANKING_URL", server.rankingUrl().c_str(), 1);
    std::ofstream(workDir + "/hiScore.txt") << "7";
    // The 1 key becomes 〜 (U+301C): X has no key for it, and xdotool's own passing mapping is
    // too brief for Wine, which reads the keyboard's map when it starts.
    runCommand("xkbcomp -w 0 $DISPLAY - | sed 's/\\[ *1, *exclam *\\]/[ U301C ]/' | xkbcomp -w 0 - $DISPLAY");

    // At 192 DPI the window is twice the canvas, every canvas pixel a sharp 2x2 square.
    auto [game, window] = startGame(192);
    ASSERT_FALSE(window.empty()) << "no window titled Pilaro";
    const auto piece = checkFirstFrame(window, 2);
    ASSERT_TRUE(isOnePiece(piece));
    // Up turns every piece but the square one (shape 0); Left and Right slide it to the walls;
    // Shift drops it to the floor, where it settles beside the next piece.
    // Every piece but the square is wider than tall or taller than wide: a turn changes its width.
    const auto width = [](const Blocks& blocks) { return span(blocks).second - span(blocks).first; };
    const std::vector<std::pair<std::string, std::function<bool(const Blocks&)>>> moves = {
        {"Up", [&](auto& now) { return isOnePiece(now) && (piece[0][2] == 0 || width(now) != width(piece)); }},
        {"Left Left Left Left Left Left", [&](auto& now) { return isOnePiece(now) && span(now).first == 0; }},
        {"Right Right Right Right Right Right Right Right Right Right",
         [&](auto& now) { return isOnePiece(now) && span(now).second == 9; }},
        {"shift", [&](auto& now) { return now.size() == 8 && span(now).second == 9; }}};
    for (const auto& [keys, moved] : moves) {
        ASSERT_TRUE(pressKeys(window, keys));
        EXPECT_TRUE(waitUntil(3s, [&] { return moved(blocksIn(canvasOf(screenshot(window), 2))); })) << keys;
    }

    // F1 pauses behind a box of its own; a second copy is refused and leaves the first alone.
    ASSERT_TRUE(pressKeys(window, "F1"));
    EXPECT_EQ(answerBox(*game, 0, "ポーズ中", "Return"), "続ける");
    Program& second = start();
    EXPECT_EQ(answerBox(second, 0, "起動できません", "Return"), "既に起動しています");
    EXPECT_TRUE(second.waitForExit(15s) && second.exitCode == 0) << "the second copy did not end with 0";
    EXPECT_EQ(waitForWindow("Pilaro"), window) << "the first copy was disturbed";

    // The new best score replaces the one on file before the ranking is offered.
    std::string nameWindow = toNameWindow(*game, window, 1, score);
    ASSERT_FALSE(nameWindow.empty()) << "Yes to the offer did not show the name window";
    ASSERT_GT(std::strtoul(score.c_str(), nullptr, 10), 7u) << score;
    EXPECT_EQ(readFile(workDir + "/hiScore.txt"), score);
    // OK with nothing typed: the warning, and the name window stays for another try.
    ASSERT_TRUE(submitName(nameWindow, 2, ""));
    EXPECT_EQ(answerBox(*game, 3, "警告", "Return"), "名前を入力してください");
    EXPECT_EQ(waitForWindow("名前入力"), nameWindow);
    // 〜 goes out as 81 60, as the Linux build sends it (Windows' own converter made it "?").
    ASSERT_TRUE(submitName(nameWindow, 2, "key U301C type --delay 60 AB"));
    EXPECT_EQ(answerBox(*game, 4, "登録完了", "Return"), "12位11位以下はホームページにて");
    ASSERT_EQ(server.requests().size(), 1u);
    const ReceivedRequest request = server.requests()[0];
    EXPECT_TRUE(request.head.rfind("POST /whiteRanking.cgi HTTP/1.1\r\n", 0) == 0 &&
                request.head.find("\r\nContent-Type: application/x-www-form-urlencoded\r\n") != std::string::npos)
        << request.head;
    EXPECT_EQ(request.body, std::string("\x81\x60") + "AB_" + score);
    // No at the continue question (Tab moves to No, space presses it) ends the program with 0.
    EXPECT_EQ(answerBox(*game, 5, "ゲームオーバー", "Tab space"), "続けますか？");
    EXPECT_TRUE(game->waitForExit(15s) && game->exitCode == 0) << "No did not end the program with 0";

    // At 96 DPI, against a server that trickles its reply a byte at a time (it would take minutes,
    // yet never pauses long enough for WinINet's own limits): the empty done box within 10 s of OK.
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
    nameWindow = toNameWindow(*game, window, 0, score);
    ASSERT_FALSE(nameWindow.empty()) << "no name window at 96 DPI";
    ASSERT_TRUE(submitName(nameWindow, 1, "type --delay 60 slow"));
    const auto clicked = Clock::now();
    ASSERT_FALSE(waitForWindow("登録完了", 20s).empty()) << "no done box within 20 s";
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - clicked).count();
    std::printf("the done box came %lld ms after OK\n", static_cast<long long>(waited));
    EXPECT_LE(waited, 10000);
    EXPECT_EQ(server.requests().back().body, "slow_" + score);
    EXPECT_EQ(answerBox(*game, 2, "登録完了", "Return"), "");
    // Yes deals a new game, which plays on; Escape then ends the program with 0.
    EXPECT_EQ(answerBox(*game, 3, "ゲームオーバー", "Return"), "続けますか？");
    EXPECT_TRUE(waitUntil(10s, [&] { return isOnePiece(blocksIn(canvasOf(screenshot(window), 1))); })) << "no new game";
    ASSERT_TRUE(pressKeys(window, "Escape"));
    EXPECT_TRUE(game->waitForExit(15s) && game->exitCode == 0) << "Escape did not end the program with 0";
}

}  // namespace
