// frameBench.cpp: what composing a frame with a full well costs, against one plain copy of its bytes.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include <QApplication>
#include <QTemporaryDir>

#include "game/game.h"
#include "present/frame.h"
#include "program/program.h"
#include "shell.h"

namespace {

// The fastest of several rounds of `count` runs, in nanoseconds per run: the least disturbed.
template <typename Work>
double fastestNs(int count, Work work) {
    double best = 1e300;
    for (int round = 0; round < 7; ++round) {
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < count; ++i) work();
        const std::chrono::duration<double, std::nano> spent = std::chrono::steady_clock::now() - start;
        best = std::min(best, spent.count() / count);
    }
    return best;
}

}  // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir scratch;
    qputenv(lockDirVariable, scratch.path().toLocal8Bit());
    if (!startShell()) return 1;

    // A full well: every cell settled, in all eight tiles, and numbers in every panel line.
    Game& game = currentGame();
    for (int cell = 0; cell < wellCells; ++cell) {
        game.playfield.occupied[cell] = 1;
        game.playfield.colour[cell] = static_cast<std::uint8_t>(cell % 8);
    }
    game.score = 1234567;
    game.lines = 1234;

    const std::size_t frameBytes = static_cast<std::size_t>(canvasWidth) * canvasHeight * 4;
    std::vector<unsigned char> from(frameBytes, 1), to(frameBytes, 0);
    const double copyNs = fastestNs(400, [&] {
        std::memcpy(to.data(), from.data(), frameBytes);
        asm volatile("" : : "r"(to.data()) : "memory");  // keep the copy
    });
    const double frameNs = fastestNs(400, [&] { composeFrame(game); });

    std::printf("qt frame with a full well / plain 408x524 copy: %.1fx (at most 2x) [%.0f us vs %.0f us]\n",
                frameNs / copyNs, frameNs / 1000, copyNs / 1000);
    return 0;
}
