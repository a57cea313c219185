// bitmap.cpp: reads the art, plain 24-bit BMP files built into the program.
#include <cstdint>

#include <QFile>
#include <QImage>

#include "shell.h"

// Reads an uncompressed 24-bit BMP from the program's resources into a 32-bit RGB image; a null
// image when it is missing or of another kind. Qt's own reader would first look through every
// image plugin installed, which costs more at start-up than the whole of this.
QImage readBitmap(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QByteArray bytes = file.readAll();
    auto number = [&](int at, int size) {
        std::uint32_t value = 0;
        for (int i = size - 1; i >= 0; --i) value = value << 8 | static_cast<std::uint8_t>(bytes[at + i]);
        return value;
    };
    if (bytes.size() < 54 || bytes[0] != 'B' || bytes[1] != 'M') return {};
    const std::uint32_t pixelsAt = number(10, 4);
    const int width = static_cast<int>(number(18, 4));
    const std::int32_t storedHeight = static_cast<std::int32_t>(number(22, 4));
    const bool bottomUp = storedHeight > 0;
    const int height = bottomUp ? storedHeight : -storedHeight;
    if (number(28, 2) != 24 || number(30, 4) != 0 || width <= 0 || height <= 0) return {};
    const qsizetype stride = (static_cast<qsizetype>(width) * 3 + 3) / 4 * 4;
    if (static_cast<qsizetype>(pixelsAt) + stride * height > bytes.size()) return {};
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        const auto* source = reinterpret_cast<const std::uint8_t*>(bytes.constData()) + pixelsAt +
                             stride * (bottomUp ? height - 1 - y : y);
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x, source += 3) row[x] = qRgb(source[2], source[1], source[0]);
    }
    return image;
}
