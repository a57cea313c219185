// wineTests.cpp: pilaro.exe played under Wine on a throw-away X display: its window, the
// single-instance guard, the keys, the frame on screen, and the whole new-best-score branch
// down to the ranking POST on a loopback server.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <list>
#include <set>
#include <utility>

#include "desktop.h"
#include "loopbackServer.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string exePath = PILARO_WIN32_EXE;
// The same game built to send its ranking to 127.0.0.1:rankingPort instead of the real server.
const std::string loopbackExePath = (fs::path(PILARO_WIN32_EXE).parent_path() / "pilaroLoopback.exe").string();
constexpr unsigned rankingPort = PILARO_WINE_RANKING_PORT;

// The screen layout of the game window's 408x524 client area.
constexpr int cell = 24;
constexpr int wellLeft = 24, wellTop = 24, wellRows = 20, wellColumns = 10;
constexpr int previewLeft = 288, nextTop = 24, afterNextTop = 144;
const Rgb black{0, 0, 0}, white{255, 255, 255}, boxGrey{215, 215, 215}, gridGrey{219, 219, 219};

// A tile is recognised by two of its faces: the left triangle in the base colour and the top
// one in the light shade.
struct TileFaces {
    Rgb base, light;
};
const TileFaces tileFaces[8] = {
    {{255, 130, 130}, {255, 162, 162}}, {{247, 255, 130}, {255, 255, 162}}, {{175, 255, 130}, {218, 255, 162}},
    {{130, 255, 212}, {162, 255, 255}}, {{130, 148, 255}, {162, 185, 255}}, {{250, 130, 255}, {255, 162, 255}},
    {{255, 186, 130}, {255, 232, 162}}, {{184, 184, 184}, {230, 230, 230}},
};

// The tile whose top-left corner is at (x, y), or -1 where none is drawn.
int tileAt(const Image& image, int x, int y) {
    for (int k = 0; k < 8; ++k) {
        if (image.at(x + 4, y + 12) == tileFaces[k].base && image.at(x + 12, y + 4) == tileFaces[k].light) return k;
    }
    return -1;
}

struct Block {
    int row, col, tile;
};

std::vector<Block> blocksIn(const Image& image, int left, int top, int rows, int columns) {
    std::vector<Block> blocks;
    if (image.width < 408 || image.height < 524) return blocks;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            const int tile = tileAt(image, left + cell * c, top + cell * r);
            if (tile >= 0) blocks.push_back({r, c, tile});
        }
    }
    return blocks;
}

std::vector<Block> wellBlocks(const Image& image) { return blocksIn(image, wellLeft, wellTop, wellRows, wellColumns); }

// Four blocks of one shape's tile: a piece, wherever it lies.
bool isOnePiece(const std::vector<Block>& blocks) {
    return blocks.size() == 4 && std::all_of(blocks.begin(), blocks.end(), [&](const Block& b) {
               return b.tile == blocks[0].tile && b.tile < 7;
           });
}

// The blocks moved to the top-left corner: the piece's outline whatever its place.
std::set<std::pair<int, int>> outline(const std::vector<Block>& blocks) {
    int top = wellRows, left = wellColumns;
    for (const Block& b : blocks) top = std::min(top, b.row), left = std::min(left, b.col);
    std::set<std::pair<int, int>> cells;
    for (const Block& b : blocks) cells.insert({b.row - top, b.col - left});
    return cells;
}

int leftmostColumn(const std::vector<Block>& blocks) {
    int left = wellColumns;
    for (const Block& b : blocks) left = std::min(left, b.col);
    return left;
}

int rightmostColumn(const std::vector<Block>& blocks) {
    int right = -1;
    for (const Block& b : blocks) right = std::max(right, b.col);
    return right;
}

// White pixels of the score panel between rows top and bottom (exclusive), and the leftmost.
struct Ink {
    int count = 0;
    int left = 1000;
};

Ink panelInk(const Image& image, int top, int bottom) {
    Ink ink;
    for (int y = top; y < bottom; ++y) {
        for (int x = 284; x < 408; ++x) {
            if (image.at(x, y) == white) ++ink.count, ink.left = std::min(ink.left, x);
        }
    }
    return ink;
}

// The pixels of the score panel's line whose top is at `top`.
std::vector<bool> panelPixels(const Image& image, int top) {
    std::vector<bool> pixels;
    for (int y = top; y < top + 16; ++y) {
        for (int x = 284; x < 408; ++x) pixels.push_back(image.at(x, y) == white);
    }
    return pixels;
}

std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

class WineGame : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string prefix = PILARO_WINE_PREFIX;
        if (fs::exists(prefix + ".unusable")) {
            GTEST_SKIP() << "Wine cannot start here: " << readFile(prefix + ".unusable");
        }
        ASSERT_TRUE(fs::exists(prefix + "/system.reg"))
            << "no Wine prefix at " << prefix << "; run these tests through CTest, whose wine.prefix.make makes it";
        ASSERT_TRUE(fs::exists(exePath)) << exePath;
        setenv("WINEPREFIX", prefix.c_str(), 1);
        ownPrefix = true;
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
        if (ownPrefix) runCommand("timeout 30 wineserver -k >/dev/null 2>&1");
        for (Program& program : programs) endProgram(program);
        desktop.stop();
        if (!workDir.empty()) fs::remove_all(workDir);
    }

    Program& start(const std::string& exe) {
        const std::string output = workDir + "/wine" + std::to_string(programs.size()) + ".log";
        programs.push_back(startUnderWine(exe, workDir, output));
        return programs.back();
    }

    std::string gameWindow() { return waitForWindow("Pilaro", 60s); }

    // Keeps the screenshot next to the test binary, for a person to look at.
    void keep(const Image& image, const std::string& name) {
        fs::create_directories(PILARO_WINE_SHOTS);
        image.savePpm(std::string(PILARO_WINE_SHOTS) + "/" + name + ".ppm");
    }

    // Screenshots until the well holds exactly one piece, as it does while the first falls.
    Image firstFrame(const std::string& window) {
        Image image;
        waitUntil(20s, [&] { return isOnePiece(wellBlocks(image = screenshot(window))); });
        return image;
    }

    // Waits for the box titled `title`, checks that it is the `index`th box of `program` and
    // returns its text after answering it with `keys`.
    std::string answerBox(const Program& program, std::size_t index, const std::string& title,
                          const std::string& keys) {
        const std::string box = waitForWindow(title, 30s);
        if (box.empty()) {
            ADD_FAILURE() << "no box titled " << title << " appeared";
            return {};
        }
        std::vector<std::string> texts;
        waitUntil(5s, [&] { return (texts = messageBoxTexts(program.outputPath)).size() > index; });
        if (texts.size() != index + 1) {
            ADD_FAILURE() << "box " << title << " is box " << texts.size() << ", expected " << index + 1;
            return {};
        }
        EXPECT_TRUE(pressKeys(box, keys)) << "answering " << title;
        EXPECT_TRUE(waitUntil(10s, [&] { return findWindow(title) != box; })) << title << " stayed up";
        return texts.back();
    }

    // Hard-drops piece after piece into the middle of the well until a game-over box shows.
    bool dropUntilGameOver(const std::string& window) {
        for (int drop = 0; drop < 100; ++drop) {
            if (!findWindow("ハイスコア！").empty() || !findWindow("ゲームオーバー").empty()) return true;
            pressKeys(window, "shift");
            waitUntil(300ms, [] { return !findWindow("ハイスコア！").empty(); });
        }
        return false;
    }

    Desktop desktop;
    bool ownPrefix = false;
    std::string workDir;
    std::list<Program> programs;  // a list: the tests hold references to its elements
};

TEST(Win32Program, ImportsOnlyDllsOfTheSystem) {
    // The compiler's runtime is linked in; anything beyond these would have to be shipped too.
    const std::set<std::string> system = {"gdi32.dll", "kernel32.dll", "msvcrt.dll", "user32.dll", "wininet.dll",
                                          "winmm.dll"};
    for (const std::string& exe : {exePath, loopbackExePath}) {
        int status = 0;
        const std::string dump = runCommand(std::string(PILARO_MINGW_OBJDUMP) + " -p '" + exe + "' 2>&1", &status);
        ASSERT_EQ(status, 0) << dump;
        std::set<std::string> imported;
        for (std::size_t at = dump.find("DLL Name: "); at != std::string::npos; at = dump.find("DLL Name: ", at + 1)) {
            std::string name = dump.substr(at + 10, dump.find('\n', at) - at - 10);
            std::transform(name.begin(), name.end(), name.begin(), [](unsigned char ch) { return std::tolower(ch); });
            imported.insert(name);
        }
        EXPECT_FALSE(imported.empty()) << exe;
        for (const std::string& name : imported) EXPECT_TRUE(system.count(name)) << exe << " imports " << name;
    }
}

TEST_F(WineGame, GameWindowIsTitledPilaroWithA408x524ClientArea) {
    Program& game = start(exePath);
    const std::string window = gameWindow();
    ASSERT_FALSE(window.empty()) << "no window titled Pilaro";
    int width = 0, height = 0;
    ASSERT_TRUE(windowSize(window, width, height));
    EXPECT_EQ(width, 408);
    EXPECT_EQ(height, 524);
    // The name window exists from the start, hidden.
    EXPECT_EQ(findWindow("名前入力"), "");
    // F1 pauses behind a box of its own; Escape after it still closes the game.
    ASSERT_TRUE(pressKeys(window, "F1"));
    EXPECT_EQ(answerBox(game, 0, "ポーズ中", "Return"), "続ける");
    ASSERT_TRUE(pressKeys(window, "Escape"));
    ASSERT_TRUE(waitForExit(game, 15s)) << "Escape did not end the program";
    EXPECT_EQ(game.exitCode, 0);
}

TEST_F(WineGame, SecondCopyShowsTheAlreadyRunningBoxAndEndsWithZero) {
    Program& first = start(exePath);
    const std::string window = gameWindow();
    ASSERT_FALSE(window.empty());

    Program& second = start(exePath);
    EXPECT_EQ(answerBox(second, 0, "起動できません", "Return"), "既に起動しています");
    ASSERT_TRUE(waitForExit(second, 15s)) << "the second copy is still running";
    EXPECT_EQ(second.exitCode, 0);
    EXPECT_FALSE(waitForExit(first, 0ms)) << "the first copy was disturbed";
    EXPECT_EQ(findWindow("Pilaro"), window);

    // With the first copy gone, its mutex goes too, and a new copy starts as usual.
    ASSERT_TRUE(pressKeys(window, "Escape"));
    ASSERT_TRUE(waitForExit(first, 15s));
    EXPECT_EQ(first.exitCode, 0);
    Program& third = start(exePath);
    const std::string thirdWindow = gameWindow();
    EXPECT_FALSE(thirdWindow.empty()) << "a copy started after the first ended did not open its window";
    EXPECT_TRUE(messageBoxTexts(third.outputPath).empty()) << "the copy after the first ended showed a box";
    EXPECT_FALSE(waitForExit(third, 0ms));
}

TEST_F(WineGame, FirstFrameShowsBackgroundFallingPiecePreviewsAndScorePanel) {
    start(exePath);
    const std::string window = gameWindow();
    ASSERT_FALSE(window.empty());
    const Image image = firstFrame(window);
    keep(image, "firstFrame");
    ASSERT_TRUE(isOnePiece(wellBlocks(image))) << "no single falling piece in the well";

    // The falling piece near the top, the two previews in their boxes from their top-left cell.
    for (const Block& b : wellBlocks(image)) EXPECT_LT(b.row, 6) << "the first piece should still be near the top";
    const std::vector<Block> next = blocksIn(image, previewLeft, nextTop, 4, 4);
    const std::vector<Block> afterNext = blocksIn(image, previewLeft, afterNextTop, 4, 4);
    EXPECT_TRUE(isOnePiece(next)) << "next box holds " << next.size() << " tiles";
    EXPECT_TRUE(isOnePiece(afterNext)) << "after-next box holds " << afterNext.size() << " tiles";

    // The background: grey cells with their grid where no block lies, the white right edge of
    // the well, and black around the boxes.
    std::set<std::pair<int, int>> occupied;
    for (const Block& b : wellBlocks(image)) occupied.insert({b.row, b.col});
    for (int r = 0; r < wellRows; ++r) {
        for (int c = 0; c < wellColumns; ++c) {
            if (occupied.count({r, c})) continue;
            const Rgb inside = image.at(wellLeft + cell * c + 8, wellTop + cell * r + 9);
            EXPECT_TRUE(inside == boxGrey || inside == gridGrey) << "well cell " << r << "," << c;
        }
    }
    EXPECT_EQ(image.at(263, 492), white);
    EXPECT_EQ(image.at(383, 100), white);
    EXPECT_EQ(image.at(383, 230), white);
    for (const auto& [x, y] : std::vector<std::pair<int, int>>{
             {5, 5}, {12, 300}, {270, 300}, {280, 130}, {300, 130}, {400, 60}, {200, 515}, {407, 523}}) {
        EXPECT_EQ(image.at(x, y), black) << "at " << x << "," << y;
    }

    // Five lines of white text at x = 288 with tops at 264, 288, 336, 360 and 408, nothing
    // between them.
    for (int top : {264, 288, 336, 360, 408}) {
        const Ink ink = panelInk(image, top, top + 16);
        EXPECT_GT(ink.count, 20) << "no text in the line at " << top;
        EXPECT_GE(ink.left, 288) << "line at " << top;
        EXPECT_LE(ink.left, 292) << "line at " << top;
    }
    for (const auto& [top, bottom] : std::vector<std::pair<int, int>>{{242, 263}, {308, 335}, {380, 407}, {432, 524}}) {
        EXPECT_EQ(panelInk(image, top, bottom).count, 0) << "text between " << top << " and " << bottom;
    }
}

TEST_F(WineGame, ArrowKeysSlideAndTurnThePieceAndShiftDropsIt) {
    Program& game = start(exePath);
    const std::string window = gameWindow();
    ASSERT_FALSE(window.empty());
    const Image start = firstFrame(window);
    std::vector<Block> piece = wellBlocks(start);
    ASSERT_TRUE(isOnePiece(piece));

    // Up turns every piece but the square one (shape 0), whose outline stays as it is.
    const auto before = outline(piece);
    ASSERT_TRUE(pressKeys(window, "Up"));
    if (piece[0].tile != 0) {
        EXPECT_TRUE(waitUntil(3s, [&] {
            piece = wellBlocks(screenshot(window));
            return isOnePiece(piece) && outline(piece) != before;
        })) << "Up did not turn the piece";
    }

    ASSERT_TRUE(pressKeys(window, "Left Left Left Left Left Left"));
    EXPECT_TRUE(waitUntil(3s, [&] {
        piece = wellBlocks(screenshot(window));
        return isOnePiece(piece) && leftmostColumn(piece) == 0;
    })) << "Left did not slide the piece to the left wall";

    ASSERT_TRUE(pressKeys(window, "Right Right Right Right Right Right Right Right Right Right"));
    EXPECT_TRUE(waitUntil(3s, [&] {
        piece = wellBlocks(screenshot(window));
        return isOnePiece(piece) && rightmostColumn(piece) == wellColumns - 1;
    })) << "Right did not slide the piece to the right wall";

    // Shift drops it to the floor, where it settles, and the next piece comes in at the top.
    ASSERT_TRUE(pressKeys(window, "shift"));
    Image landed;
    EXPECT_TRUE(waitUntil(3s, [&] {
        const std::vector<Block> blocks = wellBlocks(landed = screenshot(window));
        return std::count_if(blocks.begin(), blocks.end(), [](const Block& b) { return b.row == wellRows - 1; }) > 0 &&
               blocks.size() == 8;
    })) << "Shift did not drop the piece to the floor";
    keep(landed, "afterHardDrop");
    // The drop scored: the score line reads differently, the line count does not.
    EXPECT_NE(panelPixels(landed, 288), panelPixels(start, 288)) << "the score line did not change";
    EXPECT_EQ(panelPixels(landed, 360), panelPixels(start, 360)) << "the line count changed without a full row";

    ASSERT_TRUE(pressKeys(window, "Escape"));
    ASSERT_TRUE(waitForExit(game, 15s));
    EXPECT_EQ(game.exitCode, 0);
}

TEST_F(WineGame, NewBestScoreIsSavedAndPostedWithTheTypedName) {
    ASSERT_TRUE(fs::exists(loopbackExePath)) << "build pilaroLoopback.exe (PILARO_WIN32_LOOPBACK_COPY)";
    // A best score already on file: the new one must replace it.
    std::ofstream(workDir + "/hiScore.txt") << "7";
    LoopbackServer server;
    std::string why;
    // "12位" in code page 932, then markup that the done box must not show.
    ASSERT_TRUE(server.start(rankingPort, "12\x88\xca<html><body>ranking</body></html>", false, why)) << why;

    Program& game = start(loopbackExePath);
    const std::string window = gameWindow();
    ASSERT_FALSE(window.empty());
    ASSERT_TRUE(dropUntilGameOver(window)) << "a hundred hard drops did not end the game";

    const std::string best = answerBox(game, 0, "ハイスコア！", "Return");
    ASSERT_EQ(best.rfind("スコア：", 0), 0u) << best;
    const std::string score = best.substr(std::string("スコア：").size());
    ASSERT_FALSE(score.empty());
    ASSERT_GT(std::stoul(score), 7u);
    EXPECT_TRUE(waitUntil(5s, [&] { return readFile(workDir + "/hiScore.txt") == score; }))
        << "hiScore.txt holds \"" << readFile(workDir + "/hiScore.txt") << "\", expected " << score;

    EXPECT_EQ(answerBox(game, 1, "ランキング登録", "Return"),
              "あなたのスコア\n" + score + "\nランキングに登録しますか？");

    const std::string nameWindow = waitForWindow("名前入力", 15s);
    ASSERT_FALSE(nameWindow.empty()) << "Yes to the offer did not show the name window";
    Image nameShot;
    waitUntil(5s, [&] { return (nameShot = screenshot(nameWindow)).width > 0; });
    keep(nameShot, "nameWindow");
    ASSERT_TRUE(clickAt(nameWindow, 60, 45));  // into the name field
    ASSERT_TRUE(typeText("ABC"));
    ASSERT_TRUE(clickAt(nameWindow, 155, 40));  // the OK button

    EXPECT_EQ(answerBox(game, 2, "登録完了", "Return"), "12位11位以下はホームページにて");
    const std::vector<ReceivedRequest> requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].requestLine, "POST /whiteRanking.cgi HTTP/1.1");
    EXPECT_NE(requests[0].headers.find("Content-Type: application/x-www-form-urlencoded\r\n"), std::string::npos)
        << requests[0].headers;
    EXPECT_EQ(requests[0].body, "ABC_" + score);

    // No at the continue question: Tab moves to No, space presses it.
    EXPECT_EQ(answerBox(game, 3, "ゲームオーバー", "Tab space"), "続けますか？");
    ASSERT_TRUE(waitForExit(game, 15s)) << "No did not end the program";
    EXPECT_EQ(game.exitCode, 0);
    EXPECT_EQ(readFile(workDir + "/hiScore.txt"), score);
}

TEST_F(WineGame, EmptyNameIsRefusedAndEscapeInTheNameWindowEndsTheProgram) {
    ASSERT_TRUE(fs::exists(loopbackExePath)) << "build pilaroLoopback.exe (PILARO_WIN32_LOOPBACK_COPY)";
    Program& game = start(loopbackExePath);
    const std::string window = gameWindow();
    ASSERT_FALSE(window.empty());
    ASSERT_TRUE(dropUntilGameOver(window));
    answerBox(game, 0, "ハイスコア！", "Return");
    answerBox(game, 1, "ランキング登録", "Return");
    const std::string nameWindow = waitForWindow("名前入力", 15s);
    ASSERT_FALSE(nameWindow.empty());

    // OK with nothing typed: the warning, and the name window stays for another try.
    ASSERT_TRUE(clickAt(nameWindow, 155, 40));
    EXPECT_EQ(answerBox(game, 2, "警告", "Return"), "名前を入力してください");
    EXPECT_EQ(findWindow("名前入力"), nameWindow);

    // Until the field is clicked the name window has the keys, and Escape closes it; the
    // destruction of either window ends the program.
    ASSERT_TRUE(pressKeys(nameWindow, "Escape"));
    ASSERT_TRUE(waitForExit(game, 15s)) << "Escape in the name window did not end the program";
    EXPECT_EQ(game.exitCode, 0);
    EXPECT_FALSE(readFile(workDir + "/hiScore.txt").empty()) << "the best score was not saved before the offer";
}

TEST_F(WineGame, SilentRankingServerEndsInAnEmptyDoneBoxWithinTenSeconds) {
    ASSERT_TRUE(fs::exists(loopbackExePath)) << "build pilaroLoopback.exe (PILARO_WIN32_LOOPBACK_COPY)";
    LoopbackServer server;
    std::string why;
    ASSERT_TRUE(server.start(rankingPort, "", true, why)) << why;

    Program& game = start(loopbackExePath);
    const std::string window = gameWindow();
    ASSERT_FALSE(window.empty());
    ASSERT_TRUE(dropUntilGameOver(window));
    answerBox(game, 0, "ハイスコア！", "Return");
    answerBox(game, 1, "ランキング登録", "Return");
    const std::string nameWindow = waitForWindow("名前入力", 15s);
    ASSERT_FALSE(nameWindow.empty());
    ASSERT_TRUE(clickAt(nameWindow, 60, 45));
    ASSERT_TRUE(typeText("slow"));
    ASSERT_TRUE(clickAt(nameWindow, 155, 40));

    // The game is frozen while it waits; the time-outs must give it back.
    const auto clicked = Clock::now();
    const std::string done = waitForWindow("登録完了", 20s);
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - clicked);
    ASSERT_FALSE(done.empty()) << "no done box within 20 s";
    std::printf("silent server: the done box came %lld ms after OK\n", static_cast<long long>(waited.count()));
    EXPECT_LE(waited.count(), 10000) << "the exchange took " << waited.count() << " ms";
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0].body.rfind("slow_", 0), 0u);
    EXPECT_EQ(answerBox(game, 2, "登録完了", "Return"), "");

    // Yes at the continue question deals a new game, which plays on.
    EXPECT_EQ(answerBox(game, 3, "ゲームオーバー", "Return"), "続けますか？");
    EXPECT_TRUE(isOnePiece(wellBlocks(firstFrame(window)))) << "no fresh game after Yes";
    ASSERT_TRUE(pressKeys(window, "Escape"));
    ASSERT_TRUE(waitForExit(game, 15s));
    EXPECT_EQ(game.exitCode, 0);
}

}  // namespace
