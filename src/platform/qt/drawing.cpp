// drawing.cpp: the four surfaces (back buffer, the game window's own pixels, the art) and every
// drawing call of platform.h on them.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <unordered_map>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QWidget>

#include "platform/platform.h"
#include "present/shellFacts.h"
#include "resourceNames.h"
#include "shell.h"

namespace {

QImage backBufferImage;         // every frame is composed here; the paint handler copies it out
QImage windowImage;             // the game window's own pixels while the row-clear wipe draws on them
QImage backdropImage;           // the background art
QImage tileSheetImage;          // the eight block tiles, one above the other
bool windowImageShown = false;  // the window shows windowImage until the next frame is composed
int windowDrawingDepth = 0;     // inside beginWindowDrawing/endWindowDrawing
bool windowImageDirty = false;  // drawn on since the window last showed it
bool frameComposed = false;     // a frame has been composed since start-up (for the benchmark)
bool firstFrameShown = false;

// Lines of text already rendered, white glyphs on transparent, by their UTF-8 text.
std::unordered_map<std::string, QImage> renderedTexts;
constexpr std::size_t renderedTextLimit = 64;

QImage renderText(const std::string& utf8) {
    const QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    const QFont font = QApplication::font();
    const QFontMetrics metrics(font);
    const QSize size(std::max(1, metrics.horizontalAdvance(text) + 2), std::max(1, metrics.height()));
    QImage glyphs(size, QImage::Format_ARGB32_Premultiplied);
    glyphs.fill(Qt::transparent);
    QPainter painter(&glyphs);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QPoint(0, metrics.ascent()), text);
    return glyphs;
}

QImage& imageOf(Surface surface) {
    switch (surface) {
    case Surface::backBuffer: return backBufferImage;
    case Surface::gameWindow: return windowImage;
    case Surface::backdrop: return backdropImage;
    case Surface::tileSheet: return tileSheetImage;
    }
    return backBufferImage;
}

void noteDrawnOn(Surface surface) {
    if (surface == Surface::gameWindow) windowImageDirty = true;
}

// Copies a rectangle that lies inside both images; all of them are 32-bit RGB, so a copy is one
// memmove per row, with nothing allocated.
void copyPixels(QImage& target, int x, int y, int width, int height, const QImage& source, int fromX, int fromY) {
    const qsizetype sourceStride = source.bytesPerLine();
    const qsizetype targetStride = target.bytesPerLine();
    const uchar* sourceRow = source.constBits() + fromY * sourceStride + fromX * 4;
    uchar* targetRow = target.bits() + y * targetStride + x * 4;
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 4;
    for (int row = 0; row < height; ++row) {
        std::memmove(targetRow, sourceRow, rowBytes);
        sourceRow += sourceStride;
        targetRow += targetStride;
    }
}

// Every frame starts from the whole background. Most of the back buffer is background already:
// only what was drawn since (blocks, pieces, text) differs. So the back buffer remembers those
// rectangles, gets just them back when a frame begins, and then already holds the background.
struct PixelRect {
    int x, y, width, height;
};
constexpr int drawnRectLimit = 256;  // a full well, the pieces and the panel need about 220
PixelRect drawnRects[drawnRectLimit];
int drawnRectCount = 0;
bool backBufferIsBackdrop = false;  // the back buffer holds the background except drawnRects

void noteBackBufferDrawn(int x, int y, int width, int height) {
    if (!backBufferIsBackdrop) return;
    if (drawnRectCount == drawnRectLimit) {
        backBufferIsBackdrop = false;  // too much to keep track of: the next frame copies it all
        return;
    }
    drawnRects[drawnRectCount++] = {x, y, width, height};
}

// The wipe's drawing on the window shows now, each step as it is drawn, not whenever the loop
// next paints.
void showWindowDrawing() {
    if (!windowImageDirty || gameWindowWidget() == nullptr) return;
    windowImageDirty = false;
    gameWindowWidget()->repaint();
}

long long realTimeNs() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

}  // namespace

void makeBackBuffer() {
    backBufferImage = QImage(canvasWidth, canvasHeight, QImage::Format_RGB32);
    backBufferImage.fill(Qt::black);
    windowImage = QImage(canvasWidth, canvasHeight, QImage::Format_RGB32);
}

void loadArt() {
    tileSheetImage = readBitmap(QStringLiteral(":/art/" PILARO_TILES_FILE));
    backdropImage = readBitmap(QStringLiteral(":/art/" PILARO_BACKDROP_FILE));
    backBufferIsBackdrop = false;
}

void releaseArt() {
    tileSheetImage = QImage();
    backdropImage = QImage();
}

void paintGameWindow(QPainter& painter) {
    // On a high-density screen the painter scales by the window's whole factor; without
    // smoothing it samples the nearest pixel.
    painter.drawImage(QRect(0, 0, canvasWidth, canvasHeight), windowImageShown ? windowImage : backBufferImage);
    if (benchTrace && frameComposed && !firstFrameShown) {
        firstFrameShown = true;
        std::fprintf(stderr, "firstFrame %lld\n", realTimeNs());
    }
}


void beginFrame() {
    if (backBufferIsBackdrop) {
        for (int i = 0; i < drawnRectCount; ++i) {
            const PixelRect& r = drawnRects[i];
            copyPixels(backBufferImage, r.x, r.y, r.width, r.height, backdropImage, r.x, r.y);
        }
    } else {
        const int height = std::min(backBufferImage.height(), backdropImage.height());
        const int width = std::min(backBufferImage.width(), backdropImage.width());
        copyPixels(backBufferImage, 0, 0, width, height, backdropImage, 0, 0);
        backBufferIsBackdrop = width == backBufferImage.width() && height == backBufferImage.height();
    }
    drawnRectCount = 0;
}

void copyRect(Surface to, int x, int y, int width, int height, Surface from, int fromX, int fromY) {
    QImage& target = imageOf(to);
    const QImage& source = imageOf(from);
    // Clipped to both images, so a missing picture or a piece partly outside simply draws less.
    const QPoint shift(fromX - x, fromY - y);
    const QRect area = QRect(x, y, width, height) & target.rect() & source.rect().translated(-shift);
    if (area.isEmpty()) return;
    if (to == Surface::backBuffer) {
        // Background over a back buffer that holds nothing else: the pixels are there already.
        const bool backdropInPlace = from == Surface::backdrop && shift.isNull();
        if (backdropInPlace && backBufferIsBackdrop && drawnRectCount == 0) return;
        noteBackBufferDrawn(area.x(), area.y(), area.width(), area.height());
    }
    copyPixels(target, area.x(), area.y(), area.width(), area.height(), source, area.x() + shift.x(),
               area.y() + shift.y());
    noteDrawnOn(to);
}

void fillWhite(Surface to, int x, int y, int width, int height) {
    QImage& target = imageOf(to);
    const QRect area = QRect(x, y, width, height) & target.rect();
    if (area.isEmpty()) return;
    if (to == Surface::backBuffer) noteBackBufferDrawn(area.x(), area.y(), area.width(), area.height());
    for (int row = area.top(); row <= area.bottom(); ++row)
        std::memset(target.scanLine(row) + area.x() * 4, 0xFF, static_cast<std::size_t>(area.width()) * 4);
    noteDrawnOn(to);
}

void drawText(Surface to, int x, int y, const std::string& utf8) {
    QImage& target = imageOf(to);
    if (target.isNull() || utf8.empty()) return;
    // Laying text out is the dearest part of a frame, and the panel shows the same few lines
    // tick after tick: each line is rendered once, white on transparent, and blended from then on.
    auto found = renderedTexts.find(utf8);
    if (found == renderedTexts.end()) {
        if (renderedTexts.size() >= renderedTextLimit) renderedTexts.clear();
        found = renderedTexts.emplace(utf8, renderText(utf8)).first;
    }
    const QImage& glyphs = found->second;
    const int left = std::max(0, x), top = std::max(0, y);
    const int right = std::min(target.width(), x + glyphs.width());
    const int bottom = std::min(target.height(), y + glyphs.height());
    if (right <= left || bottom <= top) return;
    if (to == Surface::backBuffer) noteBackBufferDrawn(left, top, right - left, bottom - top);
    for (int row = top; row < bottom; ++row) {
        const auto* source = reinterpret_cast<const QRgb*>(glyphs.constScanLine(row - y)) + (left - x);
        auto* pixel = reinterpret_cast<QRgb*>(target.scanLine(row)) + left;
        for (int column = left; column < right; ++column, ++source, ++pixel) {
            const unsigned alpha = qAlpha(*source);
            if (alpha == 0) continue;
            // White over the pixel by the glyph's coverage (premultiplied: the source is alpha, alpha, alpha).
            const unsigned keep = 255 - alpha;
            *pixel = qRgb(static_cast<int>(alpha + qRed(*pixel) * keep / 255),
                          static_cast<int>(alpha + qGreen(*pixel) * keep / 255),
                          static_cast<int>(alpha + qBlue(*pixel) * keep / 255));
        }
    }
    noteDrawnOn(to);
}

void beginWindowDrawing() {
    if (windowDrawingDepth++ > 0) return;
    // Direct drawing starts from what the window shows now: the last frame, unless the window
    // still holds earlier direct drawing.
    if (!windowImageShown) std::memcpy(windowImage.bits(), backBufferImage.constBits(), windowImage.sizeInBytes());
    windowImageShown = true;
}

void endWindowDrawing() {
    showWindowDrawing();
    if (windowDrawingDepth > 0) --windowDrawingDepth;
}

void invalidateGameWindow() {
    frameComposed = true;
    windowImageShown = false;
    if (gameWindowWidget() != nullptr) gameWindowWidget()->update();
}
