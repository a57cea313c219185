// shellTest.cpp: the Linux shell driven as a player would: its windows, keys, ticks and drawing, the
// end-of-game boxes and the name window, the ranking POSTs to a loopback server, and the
// single-instance lock.
// (The HTTP exchange alone is also tested by the ranking server's tests; a game's recording that the
// real ranking verifies, by the Wine and browser tests, whose rules another compiler built.)
#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <QAbstractButton>
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QStyle>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

#include "blockedEntry.h"
#include "game/game.h"
#include "localRanking.h"
#include "loopbackServer.h"
#include "platform/platform.h"
#include "program/program.h"
#include "scores/rankingFacts.h"
#include "scores/scores.h"
#include "shell.h"

namespace {

bool runUntil(const std::function<bool()>& done, int timeoutMs = 10000) { return QTest::qWaitFor(done, timeoutMs); }

void sendKey(QWidget* widget, bool press, int qtKey, bool autoRepeat = false) {
    QKeyEvent event(press ? QEvent::KeyPress : QEvent::KeyRelease, qtKey, Qt::NoModifier, QString(), autoRepeat);
    QApplication::sendEvent(widget, &event);
}

// A close the window manager asks for (its close box, Alt+F4).
void closeFromDesktop(QWidget* window) {
    QCloseEvent event;
    QApplication::sendEvent(window->windowHandle(), &event);
}

// What a box must be: はい/いいえ or OK without icons, as wide as its title and the frame's buttons,
// and a Yes/No box deaf to Escape and to the close box.
// Empty when it does; else how it failed to look and behave as on Windows.
std::string faultsOf(QMessageBox* box) {
    std::string faults, texts;
    for (QAbstractButton* button : box->buttons())
        texts += button->text().toStdString() + (button->icon().isNull() ? " " : " (with an icon) ");
    if (texts != "OK " && texts != "はい いいえ ") faults += "; buttons " + texts;
    QFont bold = box->font();
    bold.setBold(true);
    if (box->width() < QFontMetrics(bold).horizontalAdvance(box->windowTitle()) +
                           3 * box->style()->pixelMetric(QStyle::PM_TitleBarHeight))
        faults += "; too narrow";
    const auto frameButtons = Qt::WindowMinMaxButtonsHint | (texts == "OK " ? Qt::Widget : Qt::WindowCloseButtonHint);
    if (box->windowFlags() & frameButtons) faults += "; the frame has buttons it must not";
    if (texts != "OK ") sendKey(box, true, Qt::Key_Escape), closeFromDesktop(box);
    if (!box->isVisible()) faults += "; Escape or the close box closed it";
    return faults;
}

// Answers every modal box by its title with the button of that text, noting first its title, its
// text, " (owned)" when the name window owns it, and its faults.
struct BoxAnswerer : QObject {
    explicit BoxAnswerer(std::map<std::string, std::string> buttons) : answers(std::move(buttons)) { startTimer(20); }
    void timerEvent(QTimerEvent*) override {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        const auto answer = answers.find(box != nullptr ? box->windowTitle().toStdString() : "");
        if (answer == answers.end() || !box->isVisible()) return;
        seen.push_back(answer->first + ": " + box->text().toStdString() +
                       (box->parentWidget() && box->parentWidget() == nameWindowWidget() ? " (owned)" : "") +
                       faultsOf(box));
        for (QAbstractButton* button : box->buttons())
            if (button->text().toStdString() == answer->second) return button->click();
    }
    std::map<std::string, std::string> answers;
    std::vector<std::string> seen;
};

LoopbackServer server;

// Points the game at the server, then ends the game with this score against the best it knows: the
// piece at its entry, hard-dropped in a well filled around it.
void endGameWith(unsigned score) {
    if (server.port != 0) chooseRankingUrl(server.rankingUrl().c_str());
    blockTheEntry(currentGame(), score);
    QTest::keyClick(gameWindowWidget(), Qt::Key_Shift);
}

TEST(Shell, ThreeGamesFromTheFirstKeysThroughTheRankingToTheEnd) {
    // The lock goes into the run's own folder, the current one. A first copy, the real program in a
    // process of its own, holds it; a second, the program's own start-up run here, is refused.
    QProcess first;
    first.start(QStringLiteral(PILARO_PROGRAM), {});
    ASSERT_TRUE(runUntil([] { return QFile::exists(QStringLiteral("pilaro.lock")); }));
    // clang-format off
    BoxAnswerer boxes{{{"起動できません", "OK"}, {"ハイスコア！", "OK"}, {"ランキング登録", "はい"}, {"警告", "OK"},
                       {"登録完了", "OK"}, {"ゲームオーバー", "はい"}}};
    // clang-format on
    EXPECT_EQ(pilaroMain(), 0);
    EXPECT_TRUE(gameWindowWidget() == nullptr && first.state() == QProcess::Running) << "a window, or the first gone";
    // A copy that dies leaves its lock behind; the next start takes it over.
    first.kill();
    ASSERT_TRUE(first.waitForFinished(5000) && QFile::exists(QStringLiteral("pilaro.lock")));
    // The seed a test gives deals the same first pieces on every shell: seed 1, an S, then an O and an I.
    qputenv("PILARO_SEED", "1");
    ASSERT_TRUE(startShell() && runUntil([] { return gameWindowWidget()->isActiveWindow(); }));
    Game& game = currentGame();
    Piece& current = game.current;
    EXPECT_EQ(std::tuple(current.colour + 0, game.next.colour + 0, game.afterNext.colour + 0),
              std::tuple(shapeS + 0, shapeO + 0, shapeI + 0));
    QWidget *window = gameWindowWidget(), *nameWindow = nameWindowWidget();
    EXPECT_EQ((window->windowTitle() + " " + nameWindow->windowTitle()).toStdString(), "Pilaro 名前入力");
    EXPECT_TRUE(window->size() == QSize(408, 524) && window->minimumSize() == window->maximumSize());
    EXPECT_FALSE(nameWindow->isVisible());

    // Keys. Fault guarded against: Qt sends a release before every auto-repeated press; passed on,
    // it would clear the key latch (a sound on every repeat) and the Down lockout.
    const int startCol = current.col, startRow = current.row;
    sendKey(window, true, Qt::Key_Right), sendKey(window, false, Qt::Key_Right, true);
    EXPECT_EQ(game.keyLatch, 1);
    sendKey(window, true, Qt::Key_Right, true), sendKey(window, false, Qt::Key_Right);
    sendKey(window, true, Qt::Key_Down);
    const bool downHeld = isDownKeyHeld();
    sendKey(window, false, Qt::Key_Down);
    EXPECT_EQ(std::tuple(current.col, current.row, game.score, downHeld, isDownKeyHeld(), soundsLoaded()),
              std::tuple(startCol + 2, startRow + 1, 1u, true, false, true));

    // One precise 33 ms timer, each of whose periods is two ticks of 33 ms game time, and at level 1
    // a piece falls a row every 31 ticks. Counted in ticks, not seconds.
    const auto timers = QAbstractEventDispatcher::instance()->registeredTimers(window);
    ASSERT_EQ(timers.size(), 1);
    EXPECT_TRUE(timers[0].interval == 33 && timers[0].timerType == Qt::PreciseTimer);
    struct Events : QObject {
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Timer) ++periods;
            if (event->type() == QEvent::Paint) ++paints;
            return false;
        }
        int periods = 0, paints = 0;
    } seen;
    current.row = 0, game.gravityClock = 0;
    for (QWidget* watched : {window, nameWindow}) watched->installEventFilter(&seen);
    ASSERT_TRUE(runUntil([&] { return seen.periods >= 31; }, 30000));
    EXPECT_EQ(current.row, seen.periods * 2 / 31);

    // A step of the wipe shows on the window. (That the next frame covers it again is the frame
    // test's, which draws frames over the wipe's squares and compares them with fresh ones.)
    beginWindowDrawing();
    fillWhite(Surface::gameWindow, 0, 0, 24, 24);
    endWindowDrawing();
    EXPECT_EQ(window->grab().toImage().pixelColor(5, 5), QColor(Qt::white));

    // A new best score, then the name window. The server answers with a
    // redirect, whose own body is shown: one followed would be a second request. It knows no replay
    // path (an older server's 404): the score is ranked all the same.
    ASSERT_EQ(server.start(httpReply("<<5\x88\xCA<br>", "302 Found", "Location: /elsewhere\r\n"), ReplyMode::answer,
                           httpReply("<html>Not Found</html>", "404 Not Found")),
              "");
    endGameWith(1200);
    ASSERT_TRUE(runUntil([] { return nameFieldWidget() != nullptr && nameWindowWidget()->isActiveWindow(); }));
    QLineEdit* field = nameFieldWidget();
    EXPECT_TRUE(nameWindow->frameGeometry().size() == QSize(250, 90) && field->geometry() == QRect(30, 30, 90, 30) &&
                okButtonWidget()->geometry() == QRect(130, 30, 50, 20) &&
                nameWindow->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    // Keys go to the game until the player clicks into the field, even one without a code of its own
    // (fault guarded against: those never reached the game, so they did not set the latch); the
    // desktop's close box does nothing.
    sendKey(nameWindow, true, Qt::Key_Home);
    closeFromDesktop(nameWindow);
    EXPECT_TRUE(game.keyLatch == 1 && nameWindow->isVisible());
    sendKey(nameWindow, false, Qt::Key_Home);
    okButtonWidget()->click();  // nothing typed: a warning owned by the name window, which stays
    ASSERT_TRUE(runUntil([&] { return boxes.seen.size() == 4 && QApplication::activeModalWidget() == nullptr; }));
    QTest::mouseClick(field, Qt::LeftButton);
    // The field takes only what it shows, and Enter does not confirm the name (the boxes seen and
    // the requests sent, checked at the end, would show it did).
    QTest::keyClicks(field, QString(40, QLatin1Char('W')));
    EXPECT_LE(field->fontMetrics().horizontalAdvance(field->text()), 90);
    QTest::keyClick(field, Qt::Key_Return);
    field->clear();
    QInputMethodEvent typed;  // Japanese arrives through the input method, committed as a whole
    typed.setCommitString(QString::fromUtf8("名前"));
    QApplication::sendEvent(field, &typed);
    okButtonWidget()->click();  // the exchange, then the done box and the continue question
    // Yes dealt a new game, which knows the new best (and plays: the next game ends as the first did).
    ASSERT_TRUE(runUntil([] { return phase() == Phase::playing; }));
    EXPECT_TRUE(!nameWindow->isVisible() && game.hiScore == 1200u);

    // A second best score, sent to a server that trickles its reply a byte at a time (it would take
    // minutes, yet never stalls): the name window keeps the name typed before (the request shows
    // it). While the request is out the window ticks, repaints and moves (fault guarded against:
    // the exchange blocked the loop for up to 10 s); the recording's request and the score's give up
    // after their 10 s limit together, not sooner.
    ASSERT_EQ(server.start(httpReply(std::string(1500, 'x')), ReplyMode::trickle), "");
    endGameWith(1300);
    ASSERT_TRUE(runUntil([] { return nameWindowWidget()->isActiveWindow(); }));
    const auto clicked = std::chrono::steady_clock::now();
    okButtonWidget()->click();
    seen.periods = seen.paints = 0;
    const QPoint movedTo = window->pos() + QPoint(7, 5);
    window->move(movedTo);
    window->update();
    ASSERT_TRUE(runUntil([&] { return seen.paints > 0 && seen.periods > 0 && window->pos() == movedTo; }));
    EXPECT_EQ(boxes.seen.back(), "ランキング登録: あなたのスコア\n1300\nランキングに登録しますか？") << "no reply yet";
    ASSERT_TRUE(runUntil([] { return phase() == Phase::playing; }, 30000));
    EXPECT_GE(std::chrono::duration<double>(std::chrono::steady_clock::now() - clicked).count(), 10.0);
    // The game's recording, as sent below, is also written beside the best score.
    const std::string secondRecording(lastRecording().begin(), lastRecording().end());
    EXPECT_EQ(readFile(replayFileName), secondRecording);

    // A third game that only equals the best (compared strictly, it is none): the continue question
    // alone, and No ends the program, with exit code 0, without writing the best score.
    boxes.answers["ゲームオーバー"] = "いいえ";
    boxes.answers["ランキング登録"] = "いいえ";  // were it taken for a new best, the boxes below would show it
    endGameWith(1300);
    EXPECT_EQ(runShell(), 0);
    EXPECT_EQ(readFile("hiScore.txt"), "1300");

    const std::string goOn = "ゲームオーバー: 続けますか？";
    // clang-format off
    EXPECT_EQ(boxes.seen, (std::vector<std::string>{"起動できません: 既に起動しています",
        "ハイスコア！: スコア：1200", "ランキング登録: あなたのスコア\n1200\nランキングに登録しますか？",
        "警告: 名前を入力してください (owned)", "登録完了: 5位11位以下はホームページにて", goOn,
        "ハイスコア！: スコア：1300", "ランキング登録: あなたのスコア\n1300\nランキングに登録しますか？",
        "登録完了: ", goOn, goOn}));
    // clang-format on
    // Two requests a game, the recording's then the score's, none tried again, no redirect followed;
    // the second game's bytes, sent with the name the window kept (the first game's, as typed).
    const std::vector<ReceivedRequest> requests = server.requests();
    ASSERT_EQ(requests.size(), 4u);
    const std::string host = " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(server.port) + "\r\nContent-Type: ";
    const std::string replayBody = "\x96\xBC\x91\x4F_1300\n" + secondRecording;
    EXPECT_EQ(requests[2].head + requests[2].body, "POST " + std::string(replayPath) + host +
                                                       "application/octet-stream\r\nContent-Length: " +
                                                       std::to_string(replayBody.size()) + "\r\n" + replayBody);
    EXPECT_EQ(requests[3].head + requests[3].body, "POST " + std::string(rankingPath) + host +
                  "application/x-www-form-urlencoded\r\nContent-Length: 9\r\n\x96\xBC\x91\x4F_1300");
}

}  // namespace
