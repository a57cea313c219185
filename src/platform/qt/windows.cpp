// windows.cpp: the game window and the name window, their tick timers, activation and keys; the
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

#include "game/game.h"
#include "game/input.h"
#include "platform/platform.h"
#include "present/shellFacts.h"
#include "shell.h"

namespace {

class GameWindow;
class NameWindow;
GameWindow* gameWindow = nullptr;
NameWindow* nameWindow = nullptr;
bool downKeyHeld = false;             // the Down arrow's real state (auto-repeat ignored)
unsigned long long workingTicks = 0;  // ticks that ran the game, for the benchmark's trace

// Both windows' timers tick the game; the benchmark reads every hundredth working tick's time.
void tick() {
    if (benchTrace && gameRunning() && ++workingTicks % 100 == 0) {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        std::fprintf(stderr, "ticks %llu %lld\n", workingTicks, now.tv_sec * 1000000000LL + now.tv_nsec);
    }
    onTimerTick();
}

// The codes the game knows keys by (the desktop's virtual-key numbers). A key without one still
// reaches the game, as this code, which means nothing to it: every key down sets the key latch,
// so a second key pressed while it is held plays no sound, as on Windows.
constexpr int keyWithoutCode = 0;

int virtualKey(const QKeyEvent* event) {
    const int key = event->key();
    switch (key) {
    case Qt::Key_Backspace: return 8;
    case Qt::Key_Tab: return 9;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 13;
    case Qt::Key_Shift: return keyShift;
    case Qt::Key_Control: return 17;
    case Qt::Key_Alt: return 18;
    case Qt::Key_Escape: return keyEscape;
    case Qt::Key_Space: return 32;
    case Qt::Key_Left: return keyLeft;
    case Qt::Key_Up: return keyUp;
    case Qt::Key_Right: return keyRight;
    case Qt::Key_Down: return keyDown;
    default: break;
    }
    if (key >= Qt::Key_A && key <= Qt::Key_Z) return 'A' + (key - Qt::Key_A);
    if (key >= Qt::Key_0 && key <= Qt::Key_9) return '0' + (key - Qt::Key_0);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12) return keyF1 + (key - Qt::Key_F1);
    return keyWithoutCode;
}

bool ourWindowActive();

// The game runs while either window is active. A key let go while another program had the
// keyboard is never seen here: with the activation gone from the whole program, Down counts as up.
void activationChanged() {
    if (QApplication::activeWindow() == nullptr) downKeyHeld = false;
    onActivate(ourWindowActive());
}

// Key-downs, key-ups and ticks are the same for both windows: the game does not ask which one.
void deliverKeyDown(WindowId receiver, QKeyEvent* event) { onKeyDown(receiver, virtualKey(event)); }

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

// What both windows do alike: tick the game, and tell it of activation changes.
class TickingWindow : public QWidget {
public:
    explicit TickingWindow(Qt::WindowFlags flags, const char* title) : QWidget(nullptr, flags) {
        setWindowTitle(QString::fromUtf8(title));
        setAttribute(Qt::WA_OpaquePaintEvent);  // every pixel is painted: nothing to erase first
        setFocusPolicy(Qt::StrongFocus);
    }
    // Each window's timer ticks the game, the hidden name window's too: two ticks per period is
    // the game's pace.
    void startTicking() { startTimer(static_cast<int>(tickPeriodMs), Qt::PreciseTimer); }

protected:
    void timerEvent(QTimerEvent*) override { tick(); }
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
    // Started together, the two timers come due in the same pass of the loop: two ticks, then one
    // paint of their frame, rather than a paint after each.
    gameWindow->startTicking();
    nameWindow->startTicking();
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

void startDelay(unsigned ms) {
    QTimer::singleShot(static_cast<int>(ms), Qt::PreciseTimer, qApp, [] { onDelayElapsed(); });
}

void startRankingPost(const HttpTarget& target, const std::string& headerLine, const std::string& body,
                      std::size_t replyLimit) {
    // The reply comes back to the game's thread through the loop, which meanwhile goes on
    // painting, moving and ticking both windows.
    startCurlPost(target, headerLine, body, replyLimit, [](const std::string& reply) {
        std::lock_guard gate(replyGate);
        if (takingReplies) QMetaObject::invokeMethod(qApp, [reply] { onRankingReply(reply); }, Qt::QueuedConnection);
    });
}

void postClose(WindowId window) {
    QWidget* widget = window == WindowId::name ? static_cast<QWidget*>(nameWindow) : gameWindow;
    if (widget != nullptr) QMetaObject::invokeMethod(widget, "close", Qt::QueuedConnection);
}
