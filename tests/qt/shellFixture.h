// shellFixture.h: helpers for driving the Linux shell in the tests: events, keys and the modal boxes.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <QMessageBox>
#include <QObject>
#include <QTimer>

#include <gtest/gtest.h>

// One box as the test saw it.
struct SeenBox {
    std::string title;
    std::string text;
    QWidget* owner = nullptr;
};

// Answers every modal box that comes up, by its title: a short timer looks for it, re-armed until
// the test ends, so no fixed sleep is needed. Boxes whose title has no answer get none.
class BoxAnswerer : public QObject {
public:
    BoxAnswerer();
    ~BoxAnswerer() override;
    void answer(const std::string& title, QMessageBox::StandardButton button);
    // Called just before the box with this title is answered (the test looks around then).
    void whenShown(const std::string& title, std::function<void()> look);
    std::vector<SeenBox> seen;
    std::vector<std::string> titles() const;

private:
    void poll();
    QTimer timer;
    std::vector<std::pair<std::string, QMessageBox::StandardButton>> answers;
    std::vector<std::pair<std::string, std::function<void()>>> looks;
};

// Runs the event loop until `done` holds or `timeoutMs` passes; whether it held.
bool runUntil(const std::function<bool()>& done, int timeoutMs = 10000);
// Runs the event loop for about `ms` (to let ticks happen), bounded.
void runFor(int ms);

// A key press or release as the window system would deliver it to `widget`.
void sendKey(QWidget* widget, bool press, int qtKey, bool autoRepeat = false);

// A fresh shell for every test: started in SetUp, closed and its loop run to the end in TearDown.
class ShellTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Makes the well such that the falling piece cannot move and the next one cannot enter: the
    // next settle ends the game. Column 0 stays empty so no row is ever full.
    void blockTheWell();
    // Ends the game now with this score against this best score (hard drop + the next tick).
    void endGameWith(unsigned score, unsigned best);
    int exitCode = -1;
};
