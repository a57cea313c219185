// minimalQt.cpp: the least a Qt program can do that looks like the game: a window repainting an image
// of the canvas's size at every period of the game's one timer, and a second window that stays
// hidden, as the name window does. The benchmark holds the game's CPU time, start-up and memory against it.
#include <cstdio>
#include <ctime>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QWidget>

#include "present/frame.h"
#include "program/program.h"

namespace {

long long realTimeNs() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

class Window : public QWidget {
public:
    Window() : image(canvasWidth, canvasHeight, QImage::Format_RGB32) {
        image.fill(Qt::darkGray);
        setFixedSize(canvasWidth, canvasHeight);
        setAttribute(Qt::WA_OpaquePaintEvent);
        startTimer(static_cast<int>(tickPeriodMs), Qt::PreciseTimer);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.drawImage(0, 0, image);
        if (!painted) {
            painted = true;
            std::fprintf(stderr, "firstFrame %lld\n", realTimeNs());
        }
    }
    void timerEvent(QTimerEvent*) override { update(); }

private:
    QImage image;
    bool painted = false;
};

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    Window shown;
    shown.show();
    QWidget hidden;
    return QApplication::exec();
}
