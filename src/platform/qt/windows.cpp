// windows.cpp: the game window and the name window, the program's timer, activation and keys; the
// wipe's delay and the ranking request, whose ends come back through the loop.
#include <cstdio>
#include <ctime>
#include <mutex>

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QTimer>
#include <QWidget>

#include "httpCurl.h"

#include "platform/platform.h"
#include "present/shellFacts.h"
#include "program/program.h"
#include "shell.h"

namespace {

class GameWindow;
class NameWindow;
GameWindow* gameWindow = nullptr;
NameWindow* nameWindow = nullptr;
bool downKeyHeld = false;             // the Down arrow's real state (auto-repeat ignored)
unsigned long long workingTicks = 0;  // ticks that ran the game, for the benchmark's trace

// The timer runs the game; the benchmark reads every hundredth working tick's time.
void timerDue() {
    if (benchTrace && ticksRun()) {
        for (unsigned i = 0; i < ticksPerPeriod; ++i) {
            if (++workingTicks % 100 != 0) continue;
            timespec now{};
            clock_gettime(CLOCK_MONOTONIC, &now);
            std::fprintf(stderr, "ticks %llu %lld\n", workingTicks, now.tv_sec * 1000000000LL + now.tv_nsec);
        }
    }
    onTimer();
}

// The game's name for a key. A key it has no use for is still a key to it: every key down sets the
// key latch, so a second key pressed while it is held plays no sound, as on Windows.
Key gameKey(const QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Shift: return Key::drop;
    case Qt::Key_Escape: return Key::quit;
    case Qt::Key_Left: return Key::left;
    case Qt::Key_Up: return Key::turn;
    case Qt::Key_Right: return Key::right;
    case Qt::Key_Down: return Key::down;
    case Qt::Key_F1: return Key::pause;
    default: return Key::other;
    }
}

bool ourWindowActive();

// The game runs while either window is active. A key let go while another program had the
// keyboard is never seen here: with the activation gone from the whole program, Down counts as up.
void activationChanged() {
    if (QApplication::activeWindow() == nullptr) downKeyHeld = false;
    onActivate(ourWindowActive());
}

// Key-downs, key-ups and ticks are the same for both windows: the game does not ask which one.
void deliverKeyDown(WindowId receiver, QKeyEvent* event) { onKeyDown(receiver, gameKey(event)); }

void deliverKeyUp(QKeyEvent* event) {
    // A held key repeats as presses only; the releases Qt puts between them are not real.
    if (event->isAutoRepeat()) return;
    onKeyUp();
}

// Follows the Down arrow for the whole program, whichever widget or box has the keyboard.
class DownKeyWatcher : public QObject {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
            auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Down && !key->isAutoRepeat()) downKeyHeld = event->type() == QEvent::KeyPress;
        }
        return QObject::eventFilter(watched, event);
    }
};
DownKeyWatcher* downKeyWatcher = nullptr;

// What both windows do alike: tell the game of activation changes. The game window also carries
// the program's timer.
class TickingWindow : public QWidget {
public:
    explicit TickingWindow(Qt::WindowFlags flags, const char* title) : QWidget(nullptr, flags) {
        setWindowTitle(QString::fromUtf8(title));
        setAttribute(Qt::WA_OpaquePaintEvent);  // every pixel is painted: nothing to erase first
        setFocusPolicy(Qt::StrongFocus);
    }
    void startTicking(unsigned periodMs) { QObject::startTimer(static_cast<int>(periodMs), Qt::PreciseTimer); }

protected:
    void timerEvent(QTimerEvent*) override { timerDue(); }
    bool event(QEvent* event) override {
        if (event->type() == QEvent::WindowActivate || event->type() == QEvent::WindowDeactivate) activationChanged();
        return QWidget::event(event);
    }
};

class GameWindow : public TickingWindow {
public:
    GameWindow()
        : TickingWindow(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                            Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint,
                        gameWindowTitle) {
        setFixedSize(canvasWidth, canvasHeight);
        setAttribute(Qt::WA_NoSystemBackground);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        paintGameWindow(painter);
    }
    void keyPressEvent(QKeyEvent* event) override { deliverKeyDown(WindowId::game, event); }
    void keyReleaseEvent(QKeyEvent* event) override { deliverKeyUp(event); }
    void closeEvent(QCloseEvent* event) override {
        event->accept();
        QCoreApplication::exit(0);
    }
};

class NameWindow : public TickingWindow {
public:
    NameWindow() : TickingWindow(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint, nameWindowTitle) {
        setFixedSize(nameWindowWidth, nameWindowHeight);
    }
    void fitOuterSize() {
        const QSize frame = frameGeometry().size() - geometry().size();
        const QSize client(nameWindowWidth - frame.width(), nameWindowHeight - frame.height());
        if (client != size() && client.width() > 0 && client.height() > 0) setFixedSize(client);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::white);
        painter.setPen(Qt::black);
        painter.drawText(rect(), Qt::AlignLeft | Qt::AlignTop, QString::fromUtf8(namePrompt));
    }
    // Keys the field or the button let through are theirs, not the game's.
    bool keysAreOurs() const {
        QWidget* focus = QApplication::focusWidget();
        return focus == nullptr || focus == this;
    }
    void keyPressEvent(QKeyEvent* event) override {
        if (keysAreOurs()) deliverKeyDown(WindowId::name, event);
    }
    void keyReleaseEvent(QKeyEvent* event) override {
        if (keysAreOurs()) deliverKeyUp(event);
    }
    void closeEvent(QCloseEvent* event) override {
        // This window has no close box; a window manager that draws one anyway (some ignore the
        // hint) is not heard. The program's own close (Escape while this window has the keys) is.
        if (event->spontaneous()) {
            event->ignore();
            return;
        }
        event->accept();
        QCoreApplication::exit(0);
    }
    void moveEvent(QMoveEvent* event) override {
        fitOuterSize();
        QWidget::moveEvent(event);
    }
};

// The request's own thread hands its reply to the loop only while the windows exist: a reply that
// comes as the program ends (its window closed during the request) would otherwise reach for the
// application while it is being destroyed.
std::mutex replyGate;
bool takingReplies = false;

bool ourWindowActive() {
    return (gameWindow != nullptr && gameWindow->isActiveWindow()) ||
           (nameWindow != nullptr && nameWindow->isActiveWindow());
}

}  // namespace

void makeWindows() {
    downKeyWatcher = new DownKeyWatcher;
    qApp->installEventFilter(downKeyWatcher);
    gameWindow = new GameWindow;
    gameWindow->show();
    nameWindow = new NameWindow;
    std::lock_guard gate(replyGate);
    takingReplies = true;
}

void releaseWindows() {
    {
        std::lock_guard gate(replyGate);
        takingReplies = false;
    }
    delete nameWindow;
    nameWindow = nullptr;
    delete gameWindow;
    gameWindow = nullptr;
    delete downKeyWatcher;
    downKeyWatcher = nullptr;
}

QWidget* gameWindowWidget() { return gameWindow; }
QWidget* nameWindowWidget() { return nameWindow; }

void fitNameWindowToOuterSize() {
    if (nameWindow != nullptr) nameWindow->fitOuterSize();
}

bool isDownKeyHeld() { return downKeyHeld; }

void startTimer(unsigned periodMs) {
    if (gameWindow != nullptr) gameWindow->startTicking(periodMs);
}

void startDelay(unsigned ms) {
    QTimer::singleShot(static_cast<int>(ms), Qt::PreciseTimer, qApp, [] { onDelayElapsed(); });
}

void startRankingPost(const HttpTarget& target, const std::string& headerLine, const std::string& body,
                      std::size_t replyLimit, unsigned timeLimitMs) {
    // The reply comes back to the game's thread through the loop, which meanwhile goes on
    // painting, moving and ticking both windows.
    startCurlPost(target, headerLine, body, replyLimit, timeLimitMs, [](const std::string& reply) {
        std::lock_guard gate(replyGate);
        if (takingReplies) QMetaObject::invokeMethod(qApp, [reply] { onRankingReply(reply); }, Qt::QueuedConnection);
    });
}

void postClose(WindowId window) {
    QWidget* widget = window == WindowId::name ? static_cast<QWidget*>(nameWindow) : gameWindow;
    if (widget != nullptr) QMetaObject::invokeMethod(widget, "close", Qt::QueuedConnection);
}
