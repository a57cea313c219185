// minimalQt.cpp: the least a Qt program can do that looks like the game: two timers of the game's
// period, each repainting an image of the canvas's size. The benchmark holds the game's CPU time, start-up and memory against it.
#include <cstdio>
#include <ctime>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QWidget>

#include "present/shellFacts.h"

namespace {

long long clockNs(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

class Window : public QWidget {
public:
    explicit Window(bool ticking) : image(canvasWidth, canvasHeight, QImage::Format_RGB32) {
        image.fill(Qt::darkGray);
        setFixedSize(canvasWidth, canvasHeight);
        setAttribute(Qt::WA_OpaquePaintEvent);
        if (ticking) startTimer(static_cast<int>(tickPeriodMs), Qt::PreciseTimer);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.drawImage(0, 0, image);
        if (!painted) {
            painted = true;
            std::fprintf(stderr, "firstFrame %lld\n", clockNs(CLOCK_REALTIME));
        }
    }
    void timerEvent(QTimerEvent*) override {
        ++ticks;
        update();
        if (ticks % 100 == 0) std::fprintf(stderr, "ticks %d %lld\n", ticks, clockNs(CLOCK_MONOTONIC));
    }

private:
    QImage image;
    bool painted = false;
    static int ticks;
};
int Window::ticks = 0;

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    Window shown(true);
    shown.show();
    // The game's second window is hidden but ticks too; so does this one.
    Window hidden(true);
    return QApplication::exec();
}
