// shellFixture.h: helpers for driving the Linux shell in the tests: events, keys and the modal boxes.
#pragma once

#include <cstdio>
#include <functional>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

#include "game/game.h"
#include "platform/platform.h"
#include "shell.h"

struct SeenBox {
    std::string title;
    std::string text;
    QWidget* owner = nullptr;
};

// Answers every modal box that comes up, by its title: a short timer looks for the active modal
// box until the test ends, so no fixed sleep is needed. Boxes with an unknown title get no answer.
class BoxAnswerer {
public:
    BoxAnswerer(std::initializer_list<std::pair<const std::string, QMessageBox::StandardButton>> buttons)
        : answers(buttons)
    {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr || !box->isVisible()) return;
            const auto answer = answers.find(box->windowTitle().toStdString());
            if (answer == answers.end()) return;
            seen.push_back({answer->first, box->text().toStdString(), box->parentWidget()});
            if (whenShown) whenShown(seen.back());
            if (QAbstractButton* press = box->button(answer->second)) press->click();
        });
        timer.start(20);
    }
    std::vector<std::string> titles() const
    {
        std::vector<std::string> result;
        for (const SeenBox& box : seen) result.push_back(box.title);
        return result;
    }
    std::map<std::string, QMessageBox::StandardButton> answers;
    std::function<void(const SeenBox&)> whenShown;  // just before a box is answered
    std::vector<SeenBox> seen;

private:
    QTimer timer;
};

// Runs the event loop until `done` holds or `timeoutMs` passes; whether it held.
inline bool runUntil(const std::function<bool()>& done, int timeoutMs = 10000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

// A key press or release as the window system would deliver it to `widget`.
inline void sendKey(QWidget* widget, bool press, int qtKey, bool autoRepeat = false)
{
    QKeyEvent event(press ? QEvent::KeyPress : QEvent::KeyRelease, qtKey, Qt::NoModifier, QString(), autoRepeat);
    QApplication::sendEvent(widget, &event);
}

inline void tapKey(QWidget* widget, int qtKey)
{
    sendKey(widget, true, qtKey);
    sendKey(widget, false, qtKey);
}

// A fresh shell for every test: started in SetUp, closed and its loop run to the end in TearDown.
class ShellTest : public testing::Test {
protected:
    void SetUp() override
    {
        // Tests run one after another in one process too: start each from the program's first state.
        resetProgramState();
        std::remove("hiScore.txt");
        ASSERT_TRUE(startShell());
        ASSERT_TRUE(runUntil([] { return gameWindowWidget()->isActiveWindow(); }, 5000));
    }
    void TearDown() override
    {
        if (gameWindowWidget() == nullptr) return;
        // Close as the player would; a test that closed the window already lets the loop end at once.
        if (gameWindowWidget()->isVisible())
            postClose(WindowId::game);
        else
            QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
        EXPECT_EQ(runShell(), 0);
    }
    // Fills the well but for column 0 (so no row is ever full) and the falling piece, then
    // hard-drops with this score against this best score: the next piece cannot enter.
    void endGameWith(unsigned score, unsigned best)
    {
        for (int r = 0; r < wellRows; ++r) {
            for (int c = 0; c < wellColumns; ++c) {
                const int mr = r - current.row;
                const int mc = c - current.col;
                const bool underPiece = mr >= 0 && mr < 4 && mc >= 0 && mc < 4 && current.cells[mr * 4 + mc];
                playfield.occupied[r * wellColumns + c] = c != 0 && !underPiece;
                playfield.colour[r * wellColumns + c] = garbageTile;
            }
        }
        game.score = score;
        game.hiScore = best;
        tapKey(gameWindowWidget(), Qt::Key_Shift);
    }
};
