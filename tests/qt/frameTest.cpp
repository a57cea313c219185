// frameTest.cpp: frames drawn over the last one and over the wipe's drawing, as the shell draws them,
// against the same frames drawn over a whole background.
#include <random>
#include <string>
#include <vector>

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "present/frame.h"
#include "shell.h"
#include "testSeed.h"

namespace {

QImage shownFrame() {
    QImage image(canvasWidth, canvasHeight, QImage::Format_RGB32);
    QPainter painter(&image);
    paintGameWindow(painter);
    return image;
}

// Fault guarded against: a frame gives back only the background that it does not draw over; a
// square of the last frame that it neither restores nor covers whole would keep stale pixels.
TEST(Frames, DrawnOverTheLastOneTheyMatchFramesDrawnAfresh) {
    const unsigned seed = testSeed();
    std::mt19937 random(seed);
    const auto number = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    makeBackBuffer();
    loadArt();
    for (int frame = 0; frame < 300; ++frame) {
        // Mostly tiles on the cell grid, as a game draws them; then tiles off it, some partly
        // outside the canvas, white fills and text.
        struct Drawing {
            int kind, x, y, width, height, tile;
        };
        std::vector<Drawing> drawings(number(0, 40));
        for (Drawing& d : drawings)
            d = {number(0, 9), number(-30, canvasWidth), number(-30, canvasHeight), number(1, 60), number(1, 60),
                 number(0, 7)};
        const auto compose = [&] {
            beginFrame();
            copyRect(Surface::backBuffer, 0, 0, canvasWidth, canvasHeight, Surface::backdrop, 0, 0);
            for (const Drawing& d : drawings) {
                const int tileY = cellSize * d.tile;
                if (d.kind < 6) {
                    copyRect(Surface::backBuffer, d.x / cellSize * cellSize, d.y / cellSize * cellSize, cellSize,
                             cellSize, Surface::tileSheet, 0, tileY);
                } else if (d.kind == 6) {
                    copyRect(Surface::backBuffer, d.x, d.y, d.width, d.height, Surface::tileSheet, 0, tileY);
                } else if (d.kind == 7) {
                    fillWhite(Surface::backBuffer, d.x, d.y, d.width, d.height);
                } else {
                    drawText(Surface::backBuffer, d.x, d.y, std::to_string(d.width * d.height));
                }
            }
            invalidateGameWindow();
            return shownFrame();
        };
        // The wipe's white squares, drawn straight on the window over the last frame.
        beginWindowDrawing();
        for (int i = number(0, 3); i > 0; --i) fillWhite(Surface::gameWindow, number(0, 400), number(0, 500), 24, 24);
        endWindowDrawing();
        const QImage overTheLast = compose();
        loadArt();  // forgets what the back buffer holds: the same frame again, over a whole background
        ASSERT_TRUE(overTheLast == compose()) << "frame " << frame << " of seed " << seed;
    }
    releaseArt();
}

}  // namespace
