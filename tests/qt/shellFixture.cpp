// shellFixture.cpp: event, key and box helpers for the Linux shell's tests.
#include "shellFixture.h"

#include <cstdio>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMessageBox>

#include "game/game.h"
#include "platform/platform.h"
#include "shell.h"

BoxAnswerer::BoxAnswerer()
{
    timer.setInterval(20);
    QObject::connect(&timer, &QTimer::timeout, this, [this] { poll(); });
    timer.start();
}

BoxAnswerer::~BoxAnswerer() { timer.stop(); }

void BoxAnswerer::answer(const std::string& title, QMessageBox::StandardButton button)
{
    answers.emplace_back(title, button);
}

void BoxAnswerer::whenShown(const std::string& title, std::function<void()> look)
{
    looks.emplace_back(title, std::move(look));
}

std::vector<std::string> BoxAnswerer::titles() const
{
    std::vector<std::string> result;
    for (const SeenBox& box : seen) result.push_back(box.title);
    return result;
}

void BoxAnswerer::poll()
{
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || !box->isVisible()) return;
    const std::string title = box->windowTitle().toStdString();
    for (auto& [wanted, button] : answers) {
        if (wanted != title) continue;
        seen.push_back({title, box->text().toStdString(), box->parentWidget()});
        for (auto& [lookTitle, look] : looks)
            if (lookTitle == title) look();
        QAbstractButton* press = box->button(button);
        if (press != nullptr) press->click();
        return;
    }
}

bool runUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

void runFor(int ms)
{
    QElapsedTimer clock;
    clock.start();
    runUntil([&] { return clock.elapsed() >= ms; }, ms + 1000);
}

void sendKey(QWidget* widget, bool press, int qtKey, bool autoRepeat)
{
    QKeyEvent event(press ? QEvent::KeyPress : QEvent::KeyRelease, qtKey, Qt::NoModifier, QString(), autoRepeat);
    QApplication::sendEvent(widget, &event);
}

void ShellTest::SetUp()
{
    // Tests run one after another in one process too: start each from the program's first state.
    resetProgramState();
    std::remove("hiScore.txt");
    ASSERT_TRUE(startShell());
    ASSERT_TRUE(runUntil([] { return gameWindowWidget()->isActiveWindow(); }, 5000));
}

void ShellTest::TearDown()
{
    if (gameWindowWidget() == nullptr) return;
    // Close as the player would; the loop then ends and everything is released. A test that has
    // closed the window already has seen the end the loop would see: let the loop end at once.
    if (gameWindowWidget()->isVisible())
        postClose(WindowId::game);
    else
        QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    exitCode = runShell();
    EXPECT_EQ(exitCode, 0);
}

void ShellTest::blockTheWell()
{
    for (int r = 0; r < wellRows; ++r) {
        for (int c = 1; c < wellColumns; ++c) {
            const int mr = r - current.row;
            const int mc = c - current.col;
            const bool underPiece = mr >= 0 && mr < 4 && mc >= 0 && mc < 4 && current.cells[mr * 4 + mc];
            playfield.occupied[r * wellColumns + c] = underPiece ? 0 : 1;
            playfield.colour[r * wellColumns + c] = garbageTile;
        }
        playfield.occupied[r * wellColumns] = 0;
    }
}

void ShellTest::endGameWith(unsigned score, unsigned best)
{
    blockTheWell();
    game.score = score;
    game.hiScore = best;
    sendKey(gameWindowWidget(), true, Qt::Key_Shift);
    sendKey(gameWindowWidget(), false, Qt::Key_Shift);
}
