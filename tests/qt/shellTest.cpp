// shellTest.cpp: the Linux shell's windows, keys, ticks, drawing and the end-of-game dialogs.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include <QCloseEvent>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QtTest/qtestspontaneevent.h>

#include "present/frame.h"
#include "shellFixture.h"

namespace {

const QMessageBox::StandardButton ok = QMessageBox::Ok;
const QMessageBox::StandardButton yes = QMessageBox::Yes;
const QMessageBox::StandardButton no = QMessageBox::No;

std::string fileBytes(const char* name)
{
    std::ifstream file(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Counts the events of one type that reach the objects it watches.
struct EventCounter : QObject {
    explicit EventCounter(QEvent::Type counted) : type(counted) {}
    bool eventFilter(QObject*, QEvent* event) override
    {
        count += event->type() == type;
        return false;
    }
    QEvent::Type type;
    int count = 0;
};

bool gameRuns() { return game.gravityClock > 0 || current.row > 0; }

TEST_F(ShellTest, WindowsHaveTheirSizesAndTitlesAndTheNameWindowPassesKeysOnAndClosesOnlyByEscape)
{
    QWidget* gameWindow = gameWindowWidget();
    EXPECT_EQ(gameWindow->windowTitle().toStdString(), "Pilaro");
    EXPECT_EQ(gameWindow->size(), QSize(408, 524));
    EXPECT_EQ(gameWindow->minimumSize(), gameWindow->maximumSize());
    EXPECT_FALSE(gameWindow->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));

    QWidget* nameWindow = nameWindowWidget();
    EXPECT_EQ(nameWindow->windowTitle().toStdString(), "名前入力");
    EXPECT_FALSE(nameWindow->isVisible());
    EXPECT_FALSE(nameWindow->windowFlags().testFlag(Qt::WindowCloseButtonHint));
    showNameWindow();
    ASSERT_TRUE(runUntil([&] { return nameWindow->isActiveWindow(); }, 3000));
    EXPECT_EQ(nameWindow->frameGeometry().size(), QSize(250, 90));
    EXPECT_TRUE(nameWindow->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QLineEdit* field = nameFieldWidget();
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->geometry(), QRect(30, 30, 90, 30));
    EXPECT_EQ(okButtonWidget()->geometry(), QRect(130, 30, 50, 20));
    EXPECT_EQ(okButtonWidget()->text().toStdString(), "OK");
    QImage shown = nameWindow->grab().toImage();
    EXPECT_EQ(shown.pixelColor(shown.width() - 2, shown.height() - 2), QColor(Qt::white));

    // Keys go to the game until the player clicks into the field.
    EXPECT_FALSE(field->hasFocus());
    sendKey(nameWindow, true, Qt::Key_A);
    EXPECT_EQ(game.keyLatch, 1);
    sendKey(nameWindow, false, Qt::Key_A);
    QTest::mouseClick(field, Qt::LeftButton);
    ASSERT_TRUE(field->hasFocus());
    QTest::keyPress(field, Qt::Key_Up);  // means nothing to the field, and its window leaves it alone
    EXPECT_EQ(game.keyLatch, 0);
    QTest::keyRelease(field, Qt::Key_Up);
    // The field takes only what it shows, and Enter does not confirm the name.
    QTest::keyClicks(field, QString(40, QLatin1Char('W')));
    EXPECT_GT(field->text().size(), 0);
    EXPECT_LE(field->fontMetrics().horizontalAdvance(field->text()), 90);
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_TRUE(nameWindow->isVisible());

    // A close box the window manager draws although the window asks for none is not heard.
    QCloseEvent fromWindowManager;
    QSpontaneKeyEvent::setSpontaneous(&fromWindowManager);
    QApplication::sendEvent(nameWindow, &fromWindowManager);
    EXPECT_TRUE(nameWindow->isVisible());
    // Escape once the window itself has the keys back closes it, and that ends the program.
    nameWindow->setFocus();
    EventCounter closes(QEvent::Close);
    nameWindow->installEventFilter(&closes);
    sendKey(nameWindow, true, Qt::Key_Escape);
    EXPECT_TRUE(runUntil([&] { return closes.count > 0 && !nameWindow->isVisible(); }, 3000));
}

TEST_F(ShellTest, AFrameLeavesNothingOfTheOneBefore)
{
    // Fault guarded against: the back buffer gets back only the background it lost since the last
    // frame; a rectangle left out of that account would keep a stale block on screen.
    const QColor background(215, 215, 215);
    current.row = 0;  // keep the falling piece at the top, away from the cells looked at
    for (int cell = 100; cell < wellCells; ++cell) {
        playfield.occupied[cell] = 1;
        playfield.colour[cell] = static_cast<std::uint8_t>(cell % 8);
    }
    composeFrame();
    QImage shown = gameWindowWidget()->grab().toImage();
    auto wellPixel = [&](int row, int column) {
        return shown.pixelColor(wellLeft + cellSize * column + 5, wellTop + cellSize * row + 5);
    };
    EXPECT_NE(wellPixel(19, 0), background);
    std::fill(std::begin(playfield.occupied), std::end(playfield.occupied), 0);
    composeFrame();
    shown = gameWindowWidget()->grab().toImage();
    for (int row = 10; row < wellRows; ++row)
        for (int column = 0; column < wellColumns; ++column)
            ASSERT_EQ(wellPixel(row, column), background) << "row " << row << " column " << column;
}

TEST_F(ShellTest, DirectDrawingShowsDuringTheSleepsAndGivesWayToTheNextFrame)
{
    // Fault guarded against: a plain update() would paint the wipe only once the loop runs again,
    // never while the thread sleeps.
    ASSERT_TRUE(runUntil(gameRuns));
    EventCounter paints(QEvent::Paint);
    gameWindowWidget()->installEventFilter(&paints);
    beginWindowDrawing();
    fillWhite(Surface::gameWindow, 0, 0, 24, 24);
    sleepMs(1);
    EXPECT_GE(paints.count, 1);
    EXPECT_EQ(gameWindowWidget()->grab().toImage().pixelColor(5, 5), QColor(Qt::white));
    endWindowDrawing();
    invalidateGameWindow();
    EXPECT_EQ(gameWindowWidget()->grab().toImage().pixelColor(5, 5), QColor(Qt::black));
}

TEST_F(ShellTest, KeysSlideDropAndTurnThePieceAndAHeldKeyRepeatsWithoutReleasing)
{
    QWidget* window = gameWindowWidget();
    const int startCol = current.col;
    tapKey(window, Qt::Key_Right);
    EXPECT_EQ(current.col, startCol + 1);
    // Fault guarded against: Qt sends a release before every auto-repeated press; passed on, it
    // would clear the key latch (a sound on every repeat) and the Down lockout.
    sendKey(window, true, Qt::Key_Left);
    for (int i = 0; i < 2; ++i) {
        sendKey(window, false, Qt::Key_Left, true);
        EXPECT_EQ(game.keyLatch, 1);
        sendKey(window, true, Qt::Key_Left, true);
    }
    EXPECT_EQ(current.col, startCol - 2);
    sendKey(window, false, Qt::Key_Left);
    EXPECT_EQ(game.keyLatch, 0);

    const int startRow = current.row;
    sendKey(window, true, Qt::Key_Down);
    sendKey(window, false, Qt::Key_Down, true);
    EXPECT_TRUE(isDownKeyHeld());
    sendKey(window, false, Qt::Key_Down);
    EXPECT_FALSE(isDownKeyHeld());
    EXPECT_EQ(current.row, startRow + 1);
    EXPECT_EQ(game.score, 1u);

    // Turn a piece that turns freely, well clear of the walls.
    while (current.rotationLimit != 4) makeRandomPiece(current);
    current.col = 3;
    current.row = 5;
    const Piece before = current;
    tapKey(window, Qt::Key_Up);
    EXPECT_FALSE(std::equal(std::begin(before.cells), std::end(before.cells), std::begin(current.cells)));
}

TEST_F(ShellTest, BothWindowsTickSoAPieceFallsARowEveryThirtyOneTicksAtLevelOne)
{
    // The hidden name window's timer runs a tick too: two ticks of 33 ms game time per period.
    // Counted in ticks, not seconds, so a busy machine cannot fail it.
    EventCounter gameTicks(QEvent::Timer), nameTicks(QEvent::Timer);
    ASSERT_EQ(game.fallInterval, 1000u);
    current.row = 0;
    game.gravityClock = 0;
    gameWindowWidget()->installEventFilter(&gameTicks);
    nameWindowWidget()->installEventFilter(&nameTicks);
    ASSERT_TRUE(runUntil([&] { return gameTicks.count + nameTicks.count >= 62; }, 30000));
    EXPECT_NEAR(nameTicks.count, gameTicks.count, 2);
    EXPECT_EQ(current.row, (gameTicks.count + nameTicks.count) / 31);
}

TEST_F(ShellTest, AGamePlayedWithHardDropsEndsInTheBestScoreDialogs)
{
    unsigned seed = static_cast<unsigned>(std::time(nullptr));
    if (const char* replay = std::getenv("PILARO_TEST_SEED")) seed = static_cast<unsigned>(std::strtoul(replay, nullptr, 10));
    std::printf("seed %u (PILARO_TEST_SEED replays it)\n", seed);
    static std::mt19937 generator;
    generator.seed(seed);
    randomSource = [] { return static_cast<int>(generator() & 0x7FFFFFFF); };
    newGame();

    BoxAnswerer boxes{{"ハイスコア！", ok}, {"ランキング登録", no}, {"ゲームオーバー", yes}};
    std::string savedWhenOffered;
    boxes.whenShown = [&](const SeenBox& box) {
        if (box.title == "ランキング登録") savedWhenOffered = fileBytes("hiScore.txt");
    };
    const bool ended = runUntil([&] {
        if (!boxes.seen.empty()) return boxes.seen.size() >= 3;
        tapKey(gameWindowWidget(), Qt::Key_Shift);
        return false;
    }, 60000);
    randomSource = std::rand;
    ASSERT_TRUE(ended) << "seed " << seed;
    ASSERT_EQ(boxes.titles(), (std::vector<std::string>{"ハイスコア！", "ランキング登録", "ゲームオーバー"}));
    const std::string best = std::to_string(game.hiScore);  // Yes dealt a new game that knows it
    EXPECT_GT(game.hiScore, 0u);
    EXPECT_EQ(boxes.seen[0].text, "スコア：" + best);
    EXPECT_EQ(boxes.seen[1].text, "あなたのスコア\n" + best + "\nランキングに登録しますか？");
    EXPECT_EQ(boxes.seen[2].text, "続けますか？");
    for (const SeenBox& box : boxes.seen) EXPECT_EQ(box.owner, nullptr) << box.title;
    EXPECT_EQ(savedWhenOffered, best);  // saved before the offer, so declining keeps it
    EXPECT_EQ(fileBytes("hiScore.txt"), best);
    EXPECT_EQ(game.score, 0u);
    EXPECT_TRUE(runUntil(gameRuns, 3000));
}

struct GameOverRow {
    unsigned score;
    unsigned best;
    QMessageBox::StandardButton toContinue;
};

class PlainGameOver : public ShellTest, public testing::WithParamInterface<GameOverRow> {};

TEST_P(PlainGameOver, AsksOnlyWhetherToContinue)
{
    const GameOverRow& row = GetParam();
    BoxAnswerer boxes{{"ゲームオーバー", row.toContinue}};
    endGameWith(row.score, row.best);
    ASSERT_TRUE(runUntil([&] { return !boxes.seen.empty(); }));
    EXPECT_EQ(boxes.titles(), std::vector<std::string>{"ゲームオーバー"});
    EXPECT_EQ(boxes.seen[0].text, "続けますか？");
    EXPECT_EQ(fileBytes("hiScore.txt"), "");  // nothing saved without a new best score
    if (row.toContinue == yes) {
        EXPECT_EQ(game.score, 0u);
        EXPECT_TRUE(runUntil(gameRuns, 3000));  // the game window has the activation back
    } else {
        // No closes the game window, which ends the program with code 0 (checked on tear-down).
        EXPECT_TRUE(runUntil([] { return !gameWindowWidget()->isVisible(); }, 3000));
    }
}

// Rows: below the best, equal to the best (not a new best), below the best and stop.
INSTANTIATE_TEST_SUITE_P(Branches, PlainGameOver,
    testing::Values(GameOverRow{100, 500, yes}, GameOverRow{500, 500, yes}, GameOverRow{100, 500, no}),
    [](const auto& info) { return "row" + std::to_string(info.index); });

TEST_F(ShellTest, TheNameIsCheckedAndTheWindowStaysForACorrection)
{
    BoxAnswerer boxes{{"ハイスコア！", ok}, {"ランキング登録", yes}, {"警告", ok}, {"ゲームオーバー", no}};
    endGameWith(1200, 0);
    ASSERT_TRUE(runUntil([] { return nameWindowWidget()->isVisible() && nameFieldWidget() != nullptr; }));
    // The limit is 10 bytes of code page 932, not 10 characters.
    const char* const rows[][2] = {{"", "名前を入力してください"},
                                   {"ABCDEFGHIJK", "文字数は10文字以下にしてネ"},
                                   {"あいうえおか", "文字数は10文字以下にしてネ"}};
    for (const auto& [name, warning] : rows) {
        const std::size_t before = boxes.seen.size();
        nameFieldWidget()->setText(QString::fromUtf8(name));
        okButtonWidget()->click();
        ASSERT_EQ(boxes.seen.size(), before + 1) << name;
        EXPECT_EQ(boxes.seen.back().title, "警告") << name;
        EXPECT_EQ(boxes.seen.back().text, warning) << name;
        EXPECT_EQ(boxes.seen.back().owner, nameWindowWidget()) << name;
        EXPECT_TRUE(nameWindowWidget()->isVisible()) << name;
        EXPECT_EQ(nameFieldWidget()->text().toStdString(), name);
    }
    EXPECT_EQ(game.rankingPending, 1);
}

}  // namespace
