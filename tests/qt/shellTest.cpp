// shellTest.cpp: the Linux shell's windows, keys, ticks, drawing and the end-of-game dialogs.
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include <QApplication>
#include <QEvent>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QCloseEvent>
#include <QtTest/qtestspontaneevent.h>

#include "game/game.h"
#include "platform/platform.h"
#include "present/frame.h"
#include "shell.h"
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

TEST_F(ShellTest, WindowsHaveTheirSizesTitlesAndFrames)
{
    QWidget* gameWindow = gameWindowWidget();
    EXPECT_EQ(gameWindow->windowTitle().toStdString(), "Pilaro");
    EXPECT_EQ(gameWindow->size(), QSize(408, 524));
    // Fixed size: no sizing border, and no maximise box, but minimise and close.
    EXPECT_EQ(gameWindow->minimumSize(), gameWindow->maximumSize());
    const Qt::WindowFlags gameFlags = gameWindow->windowFlags();
    EXPECT_FALSE(gameFlags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(gameFlags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_TRUE(gameFlags.testFlag(Qt::WindowCloseButtonHint));

    QWidget* nameWindow = nameWindowWidget();
    EXPECT_EQ(nameWindow->windowTitle().toStdString(), "名前入力");
    EXPECT_FALSE(nameWindow->isVisible());
    EXPECT_FALSE(nameWindow->windowFlags().testFlag(Qt::WindowCloseButtonHint));
    EXPECT_EQ(nameFieldWidget(), nullptr);  // the controls come with the first showing

    showNameWindow();
    ASSERT_TRUE(runUntil([&] { return nameWindow->isVisible(); }));
    EXPECT_EQ(nameWindow->frameGeometry().size(), QSize(250, 90));
    EXPECT_TRUE(nameWindow->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    ASSERT_NE(nameFieldWidget(), nullptr);
    EXPECT_EQ(nameFieldWidget()->geometry(), QRect(30, 30, 90, 30));
    EXPECT_EQ(okButtonWidget()->geometry(), QRect(130, 30, 50, 20));
    EXPECT_EQ(okButtonWidget()->text().toStdString(), "OK");
    // Nothing is given the keyboard: the player clicks into the field first.
    EXPECT_FALSE(nameFieldWidget()->hasFocus());
    QImage shown = nameWindow->grab().toImage();
    EXPECT_EQ(shown.pixelColor(shown.width() - 2, shown.height() - 2), QColor(Qt::white));
    hideNameWindow();
}

TEST_F(ShellTest, PaintsTheComposedFrameWithTheEmbeddedArt)
{
    // A tick composes a frame from the background art: black margin, grey well.
    ASSERT_TRUE(runUntil([] { return game.gravityClock > 0 || current.row > 0; }));
    runFor(100);
    QImage shown = gameWindowWidget()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shown.size(), QSize(408, 524));
    EXPECT_EQ(shown.pixelColor(5, 5), QColor(0, 0, 0));
    EXPECT_EQ(shown.pixelColor(24 + 5, 24 + 24 * 19 + 5), QColor(215, 215, 215));
}

TEST_F(ShellTest, AFrameLeavesNothingOfTheOneBefore)
{
    // Fault guarded against: the back buffer gets back only the background it lost since the last
    // frame; a rectangle left out of that account would keep a stale block on screen.
    auto wellPixel = [](int row, int column) {
        QImage shown = gameWindowWidget()->grab().toImage();
        return shown.pixelColor(wellLeft + cellSize * column + 5, wellTop + cellSize * row + 5);
    };
    const QColor background(215, 215, 215);
    current.row = 0;  // keep the falling piece at the top, away from the cells looked at
    for (int cell = 100; cell < wellCells; ++cell) {
        playfield.occupied[cell] = 1;
        playfield.colour[cell] = static_cast<std::uint8_t>(cell % 8);
    }
    composeFrame();
    EXPECT_NE(wellPixel(19, 0), background);
    EXPECT_NE(wellPixel(10, 9), background);
    for (int cell = 0; cell < wellCells; ++cell) playfield.occupied[cell] = 0;
    composeFrame();
    for (int row = 10; row < wellRows; ++row)
        for (int column = 0; column < wellColumns; ++column)
            ASSERT_EQ(wellPixel(row, column), background) << "row " << row << " column " << column;
    // The score panel is drawn again over the restored background, white on black.
    QImage shown = gameWindowWidget()->grab().toImage();
    int whitePixels = 0;
    for (int y = 264; y < 264 + 16; ++y)
        for (int x = hudLeft; x < hudLeft + 60; ++x) whitePixels += shown.pixelColor(x, y).lightness() > 200;
    EXPECT_GT(whitePixels, 10);
}

TEST_F(ShellTest, DirectDrawingShowsDuringTheSleepsAndGivesWayToTheNextFrame)
{
    // Counting paints shows whether the wipe reaches the screen while the thread sleeps: a
    // plain update() would only paint once the loop runs again.
    struct PaintCounter : QObject {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* event) override
        {
            if (event->type() == QEvent::Paint) ++paints;
            return false;
        }
    } counter;
    runFor(100);
    gameWindowWidget()->installEventFilter(&counter);
    beginWindowDrawing();
    fillWhite(Surface::gameWindow, 0, 0, 24, 24);
    sleepMs(1);
    EXPECT_GE(counter.paints, 1);
    QImage during = gameWindowWidget()->grab().toImage();
    EXPECT_EQ(during.pixelColor(5, 5), QColor(Qt::white));
    endWindowDrawing();
    invalidateGameWindow();
    QImage after = gameWindowWidget()->grab().toImage();
    EXPECT_EQ(after.pixelColor(5, 5), QColor(Qt::black));
    gameWindowWidget()->removeEventFilter(&counter);
}

TEST_F(ShellTest, ArrowKeysSlideAndTurnThePiece)
{
    QWidget* window = gameWindowWidget();
    const int startCol = current.col;
    sendKey(window, true, Qt::Key_Left);
    sendKey(window, false, Qt::Key_Left);
    EXPECT_EQ(current.col, startCol - 1);
    sendKey(window, true, Qt::Key_Right);
    sendKey(window, false, Qt::Key_Right);
    sendKey(window, true, Qt::Key_Right);
    sendKey(window, false, Qt::Key_Right);
    EXPECT_EQ(current.col, startCol + 1);

    const int startRow = current.row;
    sendKey(window, true, Qt::Key_Down);
    EXPECT_TRUE(isDownKeyHeld());
    sendKey(window, false, Qt::Key_Down);
    EXPECT_FALSE(isDownKeyHeld());
    EXPECT_EQ(current.row, startRow + 1);
    EXPECT_EQ(game.score, 1u);

    // Turn a piece that turns freely, well clear of the walls.
    current = next;
    while (current.rotationLimit != 4) makeRandomPiece(current);
    current.col = 3;
    current.row = 5;
    std::uint8_t before[16];
    std::copy(std::begin(current.cells), std::end(current.cells), before);
    sendKey(window, true, Qt::Key_Up);
    sendKey(window, false, Qt::Key_Up);
    EXPECT_FALSE(std::equal(std::begin(before), std::end(before), std::begin(current.cells)));
}

TEST_F(ShellTest, AHeldKeyRepeatsWithoutReleasing)
{
    // Fault guarded against: Qt sends a release before every auto-repeated press; passed on,
    // it would clear the key latch (a sound on every repeat) and the Down lockout.
    QWidget* window = gameWindowWidget();
    const int startCol = current.col;
    sendKey(window, true, Qt::Key_Left);
    ASSERT_EQ(game.keyLatch, 1);
    for (int i = 0; i < 2; ++i) {
        sendKey(window, false, Qt::Key_Left, true);
        EXPECT_EQ(game.keyLatch, 1);
        sendKey(window, true, Qt::Key_Left, true);
    }
    EXPECT_EQ(current.col, startCol - 3);
    sendKey(window, false, Qt::Key_Left);
    EXPECT_EQ(game.keyLatch, 0);

    sendKey(window, true, Qt::Key_Down);
    sendKey(window, false, Qt::Key_Down, true);
    EXPECT_TRUE(isDownKeyHeld());
    sendKey(window, false, Qt::Key_Down);
    EXPECT_FALSE(isDownKeyHeld());
}

TEST_F(ShellTest, BothWindowsTickSoAPieceFallsARowEveryThirtyOneTicksAtLevelOne)
{
    // Each window's timer runs a tick, the hidden name window's too: two ticks of 33 ms game time
    // per 33 ms period, so a 1000 ms fall interval passes in about half a second. Counted in
    // ticks, not seconds, so a busy machine cannot fail it.
    struct TimerCounter : QObject {
        int count = 0;
        bool eventFilter(QObject*, QEvent* event) override
        {
            if (event->type() == QEvent::Timer) ++count;
            return false;
        }
    } gameTicks, nameTicks;
    ASSERT_EQ(game.fallInterval, 1000u);
    current.row = 0;
    game.gravityClock = 0;
    gameWindowWidget()->installEventFilter(&gameTicks);
    nameWindowWidget()->installEventFilter(&nameTicks);
    ASSERT_TRUE(runUntil([&] { return gameTicks.count + nameTicks.count >= 62; }, 30000));
    gameWindowWidget()->removeEventFilter(&gameTicks);
    nameWindowWidget()->removeEventFilter(&nameTicks);
    EXPECT_GE(nameTicks.count, gameTicks.count - 2);
    EXPECT_LE(nameTicks.count, gameTicks.count + 2);
    // 62 ticks of 33 ms: 2046 ms of game time, two falls of 1000 ms each (31 ticks apiece).
    const int ticks = gameTicks.count + nameTicks.count;
    EXPECT_EQ(current.row, ticks / 31);
}

TEST_F(ShellTest, AGamePlayedWithHardDropsEndsInTheDialogs)
{
    unsigned seed = static_cast<unsigned>(std::time(nullptr));
    if (const char* replay = std::getenv("PILARO_TEST_SEED")) seed = static_cast<unsigned>(std::strtoul(replay, nullptr, 10));
    std::printf("seed %u (PILARO_TEST_SEED replays it)\n", seed);
    static std::mt19937 generator;
    generator.seed(seed);
    randomSource = [] { return static_cast<int>(generator() & 0x7FFFFFFF); };
    newGame();

    BoxAnswerer boxes;
    boxes.answer("ハイスコア！", ok);
    boxes.answer("ランキング登録", no);
    boxes.answer("ゲームオーバー", yes);
    QWidget* window = gameWindowWidget();
    std::uint32_t finalScore = 0;
    boxes.whenShown("ハイスコア！", [&] { finalScore = game.score; });
    const bool ended = runUntil([&] {
        if (!boxes.seen.empty()) return boxes.seen.size() >= 3;
        sendKey(window, true, Qt::Key_Shift);
        sendKey(window, false, Qt::Key_Shift);
        return false;
    }, 60000);
    ASSERT_TRUE(ended) << "seed " << seed;
    EXPECT_EQ(boxes.titles(), (std::vector<std::string>{"ハイスコア！", "ランキング登録", "ゲームオーバー"}));
    EXPECT_GT(finalScore, 0u);
    EXPECT_EQ(fileBytes("hiScore.txt"), std::to_string(finalScore));
    // Yes dealt a new game that knows the new best score, and ticks play it.
    EXPECT_EQ(game.score, 0u);
    EXPECT_EQ(game.hiScore, finalScore);
    EXPECT_TRUE(runUntil([] { return current.row > 0 || game.gravityClock > 0; }, 3000));
    randomSource = std::rand;
}

struct GameOverRow {
    const char* label;
    unsigned score;
    unsigned best;
    QMessageBox::StandardButton toContinue;
};

class PlainGameOver : public ShellTest, public testing::WithParamInterface<GameOverRow> {};

TEST_P(PlainGameOver, AsksOnlyWhetherToContinue)
{
    const GameOverRow& row = GetParam();
    BoxAnswerer boxes;
    boxes.answer("ゲームオーバー", row.toContinue);
    endGameWith(row.score, row.best);
    ASSERT_TRUE(runUntil([&] { return !boxes.seen.empty(); })) << row.label;
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].text, "続けますか？");
    EXPECT_EQ(boxes.seen[0].owner, nullptr);
    EXPECT_EQ(game.rankingPending, 0);
    EXPECT_EQ(fileBytes("hiScore.txt"), "");  // nothing saved without a new best score
    if (row.toContinue == yes) {
        EXPECT_EQ(game.score, 0u);
        EXPECT_EQ(game.gameOver, 0);
        // The game window has the activation back, so the new game runs.
        EXPECT_TRUE(runUntil([] { return game.gravityClock > 0 || current.row > 0; }, 3000));
    } else {
        // No closes the game window, which ends the program with code 0 (checked on tear-down).
        EXPECT_TRUE(runUntil([] { return !gameWindowWidget()->isVisible(); }, 3000));
    }
}

INSTANTIATE_TEST_SUITE_P(Branches, PlainGameOver, testing::Values(
    GameOverRow{"below the best, go on", 100, 500, yes},
    GameOverRow{"equal to the best is not a new best", 500, 500, yes},
    GameOverRow{"below the best, stop", 100, 500, no}),
    [](const testing::TestParamInfo<GameOverRow>& info) { return "row" + std::to_string(info.index); });

TEST_F(ShellTest, ANewBestScoreIsAnnouncedSavedAndOffered)
{
    BoxAnswerer boxes;
    boxes.answer("ハイスコア！", ok);
    boxes.answer("ランキング登録", no);
    boxes.answer("ゲームオーバー", yes);
    std::string savedWhenOffered;
    boxes.whenShown("ランキング登録", [&] { savedWhenOffered = fileBytes("hiScore.txt"); });
    endGameWith(1200, 1000);
    ASSERT_TRUE(runUntil([&] { return boxes.seen.size() >= 3; }));
    EXPECT_EQ(boxes.seen[0].text, "スコア：1200");
    EXPECT_EQ(boxes.seen[1].text, "あなたのスコア\n1200\nランキングに登録しますか？");
    EXPECT_EQ(boxes.seen[2].text, "続けますか？");
    for (const SeenBox& box : boxes.seen) EXPECT_EQ(box.owner, nullptr) << box.title;
    EXPECT_EQ(savedWhenOffered, "1200");  // saved before the offer, so declining keeps it
    EXPECT_EQ(game.hiScore, 1200u);
    EXPECT_EQ(game.rankingPending, 0);
}

// Gets to the name window: new best score, Yes to the offer.
void reachNameEntry(BoxAnswerer& boxes)
{
    boxes.answer("ハイスコア！", ok);
    boxes.answer("ランキング登録", yes);
    ASSERT_TRUE(runUntil([] { return nameWindowWidget()->isVisible() && nameFieldWidget() != nullptr; }));
    EXPECT_EQ(game.rankingPending, 1);
}

TEST_F(ShellTest, TheNameIsCheckedAndTheWindowStaysForACorrection)
{
    BoxAnswerer boxes;
    boxes.answer("警告", ok);
    boxes.answer("ゲームオーバー", no);
    endGameWith(1200, 0);
    reachNameEntry(boxes);
    QLineEdit* field = nameFieldWidget();

    struct Row {
        const char* label;
        const char* name;
        const char* warning;
    };
    const Row rows[] = {{"empty", "", "名前を入力してください"},
                        {"11 bytes", "ABCDEFGHIJK", "文字数は10文字以下にしてネ"},
                        {"six double-byte characters are 12 bytes", "あいうえおか", "文字数は10文字以下にしてネ"}};
    for (const Row& row : rows) {
        const std::size_t before = boxes.seen.size();
        field->setText(QString::fromUtf8(row.name));
        okButtonWidget()->click();
        ASSERT_EQ(boxes.seen.size(), before + 1) << row.label;
        EXPECT_EQ(boxes.seen.back().title, "警告") << row.label;
        EXPECT_EQ(boxes.seen.back().text, row.warning) << row.label;
        EXPECT_EQ(boxes.seen.back().owner, nameWindowWidget()) << row.label;
        EXPECT_TRUE(nameWindowWidget()->isVisible()) << row.label;
        EXPECT_EQ(field->text().toStdString(), row.name) << row.label;
    }
    EXPECT_EQ(game.rankingPending, 1);
}

TEST_F(ShellTest, TheNameFieldTakesOnlyWhatItShows)
{
    showNameWindow();
    QLineEdit* field = nameFieldWidget();
    ASSERT_NE(field, nullptr);
    QTest::mouseClick(field, Qt::LeftButton);
    QTest::keyClicks(field, QString(40, QLatin1Char('W')));
    const int typed = static_cast<int>(field->text().size());
    EXPECT_GT(typed, 0);
    EXPECT_LT(typed, 40);
    EXPECT_LE(field->fontMetrics().horizontalAdvance(field->text()), 90);
    // Enter in the field does not confirm the name.
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_TRUE(nameWindowWidget()->isVisible());
    hideNameWindow();
}

TEST_F(ShellTest, KeysGoToTheGameUntilTheFieldIsClicked)
{
    showNameWindow();
    ASSERT_TRUE(runUntil([] { return nameWindowWidget()->isActiveWindow(); }, 3000));
    QWidget* nameWindow = nameWindowWidget();
    sendKey(nameWindow, true, Qt::Key_A);
    EXPECT_EQ(game.keyLatch, 1);
    sendKey(nameWindow, false, Qt::Key_A);
    EXPECT_EQ(game.keyLatch, 0);

    QTest::mouseClick(nameFieldWidget(), Qt::LeftButton);
    ASSERT_TRUE(nameFieldWidget()->hasFocus());
    // Up means nothing to the field and reaches its window, which leaves it alone.
    QTest::keyPress(nameFieldWidget(), Qt::Key_Up);
    EXPECT_EQ(game.keyLatch, 0);
    QTest::keyRelease(nameFieldWidget(), Qt::Key_Up);
    hideNameWindow();
}

TEST_F(ShellTest, TheNameWindowClosesOnlyThroughTheGame)
{
    showNameWindow();
    QWidget* nameWindow = nameWindowWidget();
    ASSERT_TRUE(runUntil([&] { return nameWindow->isActiveWindow(); }, 3000));
    // A close box the window manager draws although the window asks for none is not heard.
    QCloseEvent fromWindowManager;
    QSpontaneKeyEvent::setSpontaneous(&fromWindowManager);
    QApplication::sendEvent(nameWindow, &fromWindowManager);
    EXPECT_TRUE(nameWindow->isVisible());
    // Escape while the window itself has the keys closes it, and that ends the program.
    bool closed = false;
    struct Watch : QObject {
        bool* seen;
        explicit Watch(bool* flag) : seen(flag) {}
        bool eventFilter(QObject*, QEvent* event) override
        {
            if (event->type() == QEvent::Close) *seen = true;
            return false;
        }
    } watch(&closed);
    nameWindow->installEventFilter(&watch);
    sendKey(nameWindow, true, Qt::Key_Escape);
    EXPECT_TRUE(runUntil([&] { return closed && !nameWindow->isVisible(); }, 3000));
    nameWindow->removeEventFilter(&watch);
}

}  // namespace
