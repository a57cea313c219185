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

// Every frame is composed here, and the paint handler copies it out. Drawing straight on the game
// window (the row-clear wipe) goes here too, noted like any other: it shows at once and stays until
// the next frame covers it, with no second canvas to hold.
QImage backBufferImage;
QImage backdropImage;           // the background art
QImage tileSheetImage;          // the eight block tiles, one above the other
int windowDrawingDepth = 0;     // inside beginWindowDrawing/endWindowDrawing
bool windowImageDirty = false;  // drawn on straight since the window last showed it
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
    case Surface::gameWindow: return backBufferImage;
    case Surface::backdrop: return backdropImage;
    case Surface::tileSheet: return tileSheetImage;
    }
    return backBufferImage;
}

// The surfaces whose pixels the window shows: the frame's, and the window's own, which are the same.
bool showsOnWindow(Surface surface) { return surface == Surface::backBuffer || surface == Surface::gameWindow; }

void noteDrawnOn(Surface surface) {
    if (surface == Surface::gameWindow) windowImageDirty = true;
}

// Copies a rectangle that lies inside both images; all of them are 32-bit RGB, so a copy is one
// move of bytes per row, with nothing allocated.
void copyPixels(QImage& target, int x, int y, int width, int height, const QImage& source, int fromX, int fromY) {
    const qsizetype sourceStride = source.bytesPerLine();
    const qsizetype targetStride = target.bytesPerLine();
    const uchar* sourceRow = source.constBits() + fromY * sourceStride + fromX * 4;
    uchar* targetRow = target.bits() + y * targetStride + x * 4;
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 4;
    if (width == cellSize && &target != &source) {
        // A tile, the bulk of every frame: a row of known length is copied inline, not by a call.
        for (int row = 0; row < height; ++row) {
            std::memcpy(targetRow, sourceRow, cellSize * 4);
            sourceRow += sourceStride;
            targetRow += targetStride;
        }
        return;
    }
    for (int row = 0; row < height; ++row) {
        std::memmove(targetRow, sourceRow, rowBytes);
        sourceRow += sourceStride;
        targetRow += targetStride;
    }
}

// Every frame starts from the whole background, and most of the back buffer is background already:
// only what was drawn since (blocks, pieces, text) differs. The back buffer is therefore tracked as
// a grid of cell-sized squares, each holding the background, this frame's drawing, or the last
// frame's (stale). A stale square gets its background back only when this frame does not cover it
// whole: a well full of blocks is drawn over the old blocks, not over a background restored first.
enum class Square : std::uint8_t { background, drawn, stale };
constexpr int squareColumns = (canvasWidth + cellSize - 1) / cellSize;
constexpr int squareRows = (canvasHeight + cellSize - 1) / cellSize;
Square squares[squareRows][squareColumns];
bool squaresKnown = false;  // false until the whole background is in: the squares mean nothing yet

QRect squareRect(int row, int column) {
    return QRect(column * cellSize, row * cellSize, cellSize, cellSize) & backBufferImage.rect();
}

void restoreSquare(int row, int column) {
    const QRect r = squareRect(row, column);
    copyPixels(backBufferImage, r.x(), r.y(), r.width(), r.height(), backdropImage, r.x(), r.y());
    squares[row][column] = Square::background;
}

// Visits every square that `area` (inside the back buffer) touches.
template <typename Visit>
void forSquaresOf(const QRect& area, Visit visit) {
    for (int row = area.top() / cellSize; row <= area.bottom() / cellSize; ++row)
        for (int column = area.left() / cellSize; column <= area.right() / cellSize; ++column) visit(row, column);
}

// Before drawing on `area` of the back buffer: a stale square under it gets its background back,
// unless an opaque drawing covers it whole.
void prepareBackBuffer(const QRect& area, bool opaque) {
    if (!squaresKnown) return;
    forSquaresOf(area, [&](int row, int column) {
        if (squares[row][column] != Square::stale) return;
        if (opaque && area.contains(squareRect(row, column))) return;
        restoreSquare(row, column);
    });
}

void noteBackBufferDrawn(const QRect& area) {
    if (!squaresKnown) return;
    forSquaresOf(area, [](int row, int column) { squares[row][column] = Square::drawn; });
}

// The frame is complete: whatever of the last one it did not draw over becomes background.
void settleBackBuffer() {
    if (!squaresKnown) return;
    for (int row = 0; row < squareRows; ++row)
        for (int column = 0; column < squareColumns; ++column)
            if (squares[row][column] == Square::stale) restoreSquare(row, column);
}

// The whole background, in place: every square not yet background is only waiting to be restored.
// False when the background cannot cover the back buffer (missing art): then it is copied as it is.
bool markAllStale() {
    if (!squaresKnown) return false;
    for (auto& row : squares)
        for (Square& square : row)
            if (square == Square::drawn) square = Square::stale;
    return true;
}

void startTrackingSquares() {
    squaresKnown = backdropImage.width() >= canvasWidth && backdropImage.height() >= canvasHeight &&
                   backBufferImage.size() == QSize(canvasWidth, canvasHeight);
    for (auto& row : squares)
        for (Square& square : row) square = Square::background;
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
}

void loadArt() {
    tileSheetImage = readBitmap(QStringLiteral(":/art/" PILARO_TILES_FILE));
    backdropImage = readBitmap(QStringLiteral(":/art/" PILARO_BACKDROP_FILE));
    squaresKnown = false;
}

void releaseArt() {
    tileSheetImage = QImage();
    backdropImage = QImage();
}

void paintGameWindow(QPainter& painter) {
    settleBackBuffer();
    // On a high-density screen the painter scales by the window's whole factor; without
    // smoothing it samples the nearest pixel.
    painter.drawImage(QRect(0, 0, canvasWidth, canvasHeight), backBufferImage);
    if (benchTrace && frameComposed && !firstFrameShown) {
        firstFrameShown = true;
        std::fprintf(stderr, "firstFrame %lld\n", realTimeNs());
    }
}


void beginFrame() {
    // What the last frame drew stays until this frame either draws over it or is complete.
    markAllStale();
}

void copyRect(Surface to, int x, int y, int width, int height, Surface from, int fromX, int fromY) {
    QImage& target = imageOf(to);
    const QImage& source = imageOf(from);
    // Clipped to both images, so a missing picture or a piece partly outside simply draws less.
    const QPoint shift(fromX - x, fromY - y);
    const QRect area = QRect(x, y, width, height) & target.rect() & source.rect().translated(-shift);
    if (area.isEmpty()) return;
    if (from == Surface::backBuffer || from == Surface::gameWindow) settleBackBuffer();
    // A frame's whole background in place: the squares not yet background are restored as the frame
    // goes (or are drawn over), so nothing is copied now.
    const bool frameBackground = to == Surface::backBuffer && from == Surface::backdrop && shift.isNull() &&
                                 area == target.rect();
    if (frameBackground && markAllStale()) return;
    const bool tracked = showsOnWindow(to);
    if (tracked) prepareBackBuffer(area, true);
    copyPixels(target, area.x(), area.y(), area.width(), area.height(), source, area.x() + shift.x(),
               area.y() + shift.y());
    if (frameBackground) {
        startTrackingSquares();  // the whole back buffer is background now
    } else if (tracked) {
        noteBackBufferDrawn(area);
    }
    noteDrawnOn(to);
}

void fillWhite(Surface to, int x, int y, int width, int height) {
    QImage& target = imageOf(to);
    const QRect area = QRect(x, y, width, height) & target.rect();
    if (area.isEmpty()) return;
    if (showsOnWindow(to)) prepareBackBuffer(area, true);
    for (int row = area.top(); row <= area.bottom(); ++row)
        std::memset(target.scanLine(row) + area.x() * 4, 0xFF, static_cast<std::size_t>(area.width()) * 4);
    if (showsOnWindow(to)) noteBackBufferDrawn(area);
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
    const QRect area(left, top, right - left, bottom - top);
    if (showsOnWindow(to)) prepareBackBuffer(area, false);
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
    if (showsOnWindow(to)) noteBackBufferDrawn(area);
    noteDrawnOn(to);
}

void beginWindowDrawing() {
    // Direct drawing goes over what the window shows now: the last frame, complete.
    if (windowDrawingDepth++ == 0) settleBackBuffer();
}

void endWindowDrawing() {
    showWindowDrawing();
    if (windowDrawingDepth > 0) --windowDrawingDepth;
}

void invalidateGameWindow() {
    settleBackBuffer();
    frameComposed = true;
    if (gameWindowWidget() != nullptr) gameWindowWidget()->update();
}
