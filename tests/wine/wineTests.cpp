// wineTests.cpp: pilaro.exe played under Wine on a throw-away X display: its imports, its window,
// the single-instance guard, the keys, the frame on screen, and the whole new-best-score branch
// down to the ranking POST on a loopback server.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <list>
#include <set>
#include <sstream>
#include <tuple>

#include "desktop.h"
#include "loopbackServer.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string prefix = PILARO_WINE_PREFIX;
const std::string exePath = PILARO_WIN32_EXE;

// The screen layout of the game window's 408x524 client area.
constexpr int cell = 24, wellLeft = 24, wellTop = 24, wellRows = 20, wellColumns = 10;
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

struct Block {
    int row, col, tile;
};

// The tiles drawn in the rows x columns cells whose top-left corner is at (left, top).
std::vector<Block> blocksIn(const Image& image, int left, int top, int rows, int columns) {
    std::vector<Block> blocks;
    if (image.width < 408 || image.height < 524) return blocks;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            const int x = left + cell * c, y = top + cell * r;
            for (int k = 0; k < 8; ++k) {
                if (image.at(x + 4, y + 12) == tileFaces[k].base && image.at(x + 12, y + 4) == tileFaces[k].light) {
                    blocks.push_back({r, c, k});
                }
            }
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

// The piece moved to the top-left corner (its outline whatever its place), and its leftmost and
// rightmost columns.
struct Outline {
    std::set<std::pair<int, int>> cells;
    int left = wellColumns, right = -1;
};

Outline outline(const std::vector<Block>& blocks) {
    Outline shape;
    int top = wellRows;
    for (const Block& b : blocks) top = std::min(top, b.row), shape.left = std::min(shape.left, b.col);
    for (const Block& b : blocks) shape.cells.insert({b.row - top, b.col - shape.left}), shape.right = std::max(shape.right, b.col);
    return shape;
}

// The white pixels of the score panel between rows top and bottom (exclusive), and the leftmost.
struct Ink {
    int count = 0;
    int left = 1000;
    std::vector<bool> pixels;
};

Ink panelInk(const Image& image, int top, int bottom) {
    Ink ink;
    for (int y = top; y < bottom; ++y) {
        for (int x = 284; x < 408; ++x) {
            ink.pixels.push_back(image.at(x, y) == white);
            if (ink.pixels.back()) ++ink.count, ink.left = std::min(ink.left, x);
        }
    }
    return ink;
}

std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

class WineGame : public ::testing::Test {
protected:
    void SetUp() override {
        if (fs::exists(prefix + ".unusable")) {
            GTEST_SKIP() << "Wine cannot start here: " << readFile(prefix + ".unusable");
        }
        ASSERT_TRUE(fs::exists(prefix + "/system.reg"))
            << "no Wine prefix at " << prefix << "; run these tests through CTest, whose wine.prefix.make makes it";
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
        runCommand("WINEPREFIX='" + prefix + "' timeout 30 wineserver -k >/dev/null 2>&1");
        programs.clear();
        desktop.stop();
        if (!workDir.empty()) fs::remove_all(workDir);
    }

    Program& start(const std::string& exe) {
        return programs.emplace_back(exe, workDir, workDir + "/wine" + std::to_string(programs.size()) + ".log");
    }

    // Starts `exe` and returns it with its game window, or with "" when none showed.
    std::pair<Program*, std::string> startGame(const std::string& exe) {
        Program& game = start(exe);
        const std::string window = waitForWindow("Pilaro", 60s);
        if (window.empty()) ADD_FAILURE() << "no window titled Pilaro";
        return {&game, window};
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
        std::vector<std::string> texts;
        waitUntil(5s, [&] { return (texts = messageBoxTexts(program.outputPath)).size() > index; });
        if (box.empty() || texts.size() != index + 1) {
            ADD_FAILURE() << "box " << title << " is box " << texts.size() << " (shown: " << !box.empty()
                          << "), expected " << index + 1;
            return {};
        }
        EXPECT_TRUE(pressKeys(box, keys)) << "answering " << title;
        EXPECT_TRUE(waitUntil(10s, [&] { return waitForWindow(title) != box; })) << title << " stayed up";
        return texts.back();
    }

    // Hard-drops piece after piece to a game over, answers Yes to the best-score box and to the
    // ranking offer, and returns the name window; `score` gets the score the boxes show.
    std::string toNameWindow(const Program& game, const std::string& window, std::string& score) {
        for (int drop = 0; drop < 100 && waitForWindow("ハイスコア！").empty(); ++drop) {
            pressKeys(window, "shift");
            waitUntil(300ms, [] { return !waitForWindow("ハイスコア！").empty(); });
        }
        const std::string best = answerBox(game, 0, "ハイスコア！", "Return");
        EXPECT_EQ(best.rfind("スコア：", 0), 0u) << best;
        score = best.substr(std::min(best.size(), std::string("スコア：").size()));
        EXPECT_EQ(answerBox(game, 1, "ランキング登録", "Return"), "あなたのスコア\n" + score + "\nランキングに登録しますか？");
        const std::string nameWindow = waitForWindow("名前入力", 15s);
        EXPECT_FALSE(nameWindow.empty()) << "Yes to the offer did not show the name window";
        return nameWindow;
    }

    // Clicks into the name field, types `name` and presses OK.
    static bool submitName(const std::string& nameWindow, const std::string& name) {
        return xdotool("mousemove --window " + nameWindow + " 60 45 click 1") && xdotool("type --delay 60 " + name) &&
               xdotool("mousemove --window " + nameWindow + " 155 40 click 1");
    }

    Desktop desktop;
    std::string workDir;
    std::list<Program> programs;  // a list: the tests hold pointers to its elements
};

TEST(Win32Program, ImportsOnlyDllsOfTheSystem) {
    // The compiler's runtime is linked in; anything beyond these would have to be shipped too.
    const std::set<std::string> system = {"gdi32.dll", "kernel32.dll", "msvcrt.dll", "user32.dll", "wininet.dll",
                                          "winmm.dll"};
    for (const std::string& exe : {exePath}) {
        std::istringstream names(runCommand(std::string(PILARO_MINGW_OBJDUMP) + " -p '" + exe +
                                            "' 2>/dev/null | sed -n 's/.*DLL Name: //p' | tr A-Z a-z"));
        std::size_t count = 0;
        for (std::string name; std::getline(names, name); ++count) EXPECT_TRUE(system.count(name)) << exe << " imports " << name;
        EXPECT_GT(count, 0u) << "no imports read from " << exe;
    }
}

TEST_F(WineGame, FreshGameShowsItsFrameAndAnswersTheKeys) {
    const auto [game, window] = startGame(exePath);
    ASSERT_FALSE(window.empty());
    const Image image = firstFrame(window);
    EXPECT_EQ(image.width, 408) << "client width";
    EXPECT_EQ(image.height, 524) << "client height";
    std::vector<Block> piece = wellBlocks(image);
    ASSERT_TRUE(isOnePiece(piece)) << "no single falling piece in the well";

    // The two previews in their boxes from their top-left cell.
    EXPECT_TRUE(isOnePiece(blocksIn(image, previewLeft, nextTop, 4, 4))) << "next box";
    EXPECT_TRUE(isOnePiece(blocksIn(image, previewLeft, afterNextTop, 4, 4))) << "after-next box";

    // The background: grey cells with their grid where no block lies, the white right edge of
    // the well, and black around the boxes.
    for (int r = 0; r < wellRows; ++r) {
        for (int c = 0; c < wellColumns; ++c) {
            if (std::any_of(piece.begin(), piece.end(), [&](const Block& b) { return b.row == r && b.col == c; })) continue;
            const Rgb inside = image.at(wellLeft + cell * c + 8, wellTop + cell * r + 9);
            EXPECT_TRUE(inside == boxGrey || inside == gridGrey) << "well cell " << r << "," << c;
        }
    }
    const std::vector<std::tuple<int, int, Rgb>> samples = {
        {263, 492, white}, {383, 100, white}, {383, 230, white}, {5, 5, black},     {12, 300, black},
        {270, 300, black}, {280, 130, black}, {300, 130, black}, {400, 60, black}, {200, 515, black}, {407, 523, black}};
    for (const auto& [x, y, colour] : samples) EXPECT_EQ(image.at(x, y), colour) << "at " << x << "," << y;

    // Five lines of white text at x = 288 with tops at 264, 288, 336, 360 and 408.
    for (int top : {264, 288, 336, 360, 408}) {
        const Ink ink = panelInk(image, top, top + 16);
        EXPECT_GT(ink.count, 20) << "no text in the line at " << top;
        EXPECT_TRUE(ink.left >= 288 && ink.left <= 292) << "line at " << top << " starts at " << ink.left;
    }

    // Up turns every piece but the square one (shape 0); Left and Right slide it to the walls.
    const std::vector<std::pair<std::string, std::function<bool(const Outline&)>>> moves = {
        {"Up", [&, before = outline(piece).cells](const Outline& now) { return piece[0].tile == 0 || now.cells != before; }},
        {"Left Left Left Left Left Left", [](const Outline& now) { return now.left == 0; }},
        {"Right Right Right Right Right Right Right Right Right Right",
         [](const Outline& now) { return now.right == wellColumns - 1; }},
    };
    for (const auto& [keys, moved] : moves) {
        ASSERT_TRUE(pressKeys(window, keys));
        EXPECT_TRUE(waitUntil(3s, [&] {
            const std::vector<Block> now = wellBlocks(screenshot(window));
            return isOnePiece(now) && moved(outline(now));
        })) << keys << " did not move the piece";
    }

    // Shift drops it to the floor, where it settles beside the next piece, and the score changes.
    ASSERT_TRUE(pressKeys(window, "shift"));
    Image landed;
    EXPECT_TRUE(waitUntil(3s, [&] {
        const std::vector<Block> blocks = wellBlocks(landed = screenshot(window));
        return blocks.size() == 8 &&
               std::any_of(blocks.begin(), blocks.end(), [](const Block& b) { return b.row == wellRows - 1; });
    })) << "Shift did not drop the piece to the floor";
    EXPECT_NE(panelInk(landed, 288, 304).pixels, panelInk(image, 288, 304).pixels) << "the score line did not change";

    // F1 pauses behind a box of its own; Escape after it still closes the game.
    ASSERT_TRUE(pressKeys(window, "F1"));
    EXPECT_EQ(answerBox(*game, 0, "ポーズ中", "Return"), "続ける");
    ASSERT_TRUE(pressKeys(window, "Escape"));
    ASSERT_TRUE(game->waitForExit(15s)) << "Escape did not end the program";
    EXPECT_EQ(game->exitCode, 0);
}

TEST_F(WineGame, SecondCopyShowsTheAlreadyRunningBoxAndEndsWithZero) {
    const auto [first, window] = startGame(exePath);
    ASSERT_FALSE(window.empty());
    Program& second = start(exePath);
    EXPECT_EQ(answerBox(second, 0, "起動できません", "Return"), "既に起動しています");
    ASSERT_TRUE(second.waitForExit(15s)) << "the second copy is still running";
    EXPECT_EQ(second.exitCode, 0);
    EXPECT_FALSE(first->waitForExit(0ms)) << "the first copy was disturbed";
    EXPECT_EQ(waitForWindow("Pilaro"), window);
}

TEST_F(WineGame, NewBestScoreIsSavedAndPostedWithTheTypedName) {
    // A best score already on file: the new one must replace it.
    std::ofstream(workDir + "/hiScore.txt") << "7";
    LoopbackServer server;
    std::string why, score;
    // "12位" in code page 932, then markup that the done box must not show.
    ASSERT_TRUE(server.start(httpReply("12\x88\xca<html><body>ranking</body></html>", "200 OK",
                                       "Content-Type: text/html; charset=Shift_JIS\r\n"),
                             ReplyMode::answer, &why))
        << why;
    // The game sends its ranking where the environment says; Wine hands the variable on to the exe.
    setenv("PILARO_RANKING_URL", server.rankingUrl().c_str(), 1);
    const auto [game, window] = startGame(exePath);
    ASSERT_FALSE(window.empty());
    const std::string nameWindow = toNameWindow(*game, window, score);
    ASSERT_FALSE(nameWindow.empty());
    ASSERT_GT(std::strtoul(score.c_str(), nullptr, 10), 7u) << score;
    EXPECT_EQ(readFile(workDir + "/hiScore.txt"), score);

    // OK with nothing typed: the warning, and the name window stays for another try.
    ASSERT_TRUE(xdotool("mousemove --window " + nameWindow + " 155 40 click 1"));
    EXPECT_EQ(answerBox(*game, 2, "警告", "Return"), "名前を入力してください");
    EXPECT_EQ(waitForWindow("名前入力"), nameWindow);

    ASSERT_TRUE(submitName(nameWindow, "ABC"));
    EXPECT_EQ(answerBox(*game, 3, "登録完了", "Return"), "12位11位以下はホームページにて");
    const std::vector<ReceivedRequest> requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].head.rfind("POST /whiteRanking.cgi HTTP/1.1\r\n", 0), 0u) << requests[0].head;
    EXPECT_NE(requests[0].head.find("\r\nContent-Type: application/x-www-form-urlencoded\r\n"), std::string::npos)
        << requests[0].head;
    EXPECT_EQ(requests[0].body, "ABC_" + score);

    // No at the continue question: Tab moves to No, space presses it.
    EXPECT_EQ(answerBox(*game, 4, "ゲームオーバー", "Tab space"), "続けますか？");
    ASSERT_TRUE(game->waitForExit(15s)) << "No did not end the program";
    EXPECT_EQ(game->exitCode, 0);
}

TEST_F(WineGame, SilentRankingServerEndsInAnEmptyDoneBoxWithinTenSeconds) {
    LoopbackServer server;
    std::string why, score;
    ASSERT_TRUE(server.start("", ReplyMode::silent, &why)) << why;
    setenv("PILARO_RANKING_URL", server.rankingUrl().c_str(), 1);
    const auto [game, window] = startGame(exePath);
    ASSERT_FALSE(window.empty());
    const std::string nameWindow = toNameWindow(*game, window, score);
    ASSERT_FALSE(nameWindow.empty());
    ASSERT_TRUE(submitName(nameWindow, "slow"));

    // The game is frozen while it waits; the time-outs must give it back.
    const auto clicked = Clock::now();
    ASSERT_FALSE(waitForWindow("登録完了", 20s).empty()) << "no done box within 20 s";
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - clicked).count();
    EXPECT_LE(waited, 10000) << "the done box came " << waited << " ms after OK";
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0].body, "slow_" + score);
    EXPECT_EQ(answerBox(*game, 2, "登録完了", "Return"), "");

    // Yes at the continue question deals a new game, which plays on.
    EXPECT_EQ(answerBox(*game, 3, "ゲームオーバー", "Return"), "続けますか？");
    EXPECT_TRUE(isOnePiece(wellBlocks(firstFrame(window)))) << "no fresh game after Yes";
}

}  // namespace
