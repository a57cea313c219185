// iconFiles.cpp: the program's icon, drawn with the game's tiles, as PNG files and a Windows .ico.
#include "resourceFiles.h"

#include <array>

namespace {

// The icon is a 4 x 4 grid of cells: a T piece (tile 5) over two rows whose one gap it fills
// when it drops; -1 is a transparent cell.
constexpr int iconCells = 4;
constexpr int iconLayout[iconCells][iconCells] = {
    {5, 5, 5, -1},
    {-1, 5, -1, -1},
    {3, -1, 1, 1},
    {3, 3, 1, 1},
};

void put32BigEndian(Bytes& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void putLittle(Bytes& out, std::uint32_t value, int byteCount) {
    for (int i = 0; i < byteCount; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

std::uint32_t crc32(const std::uint8_t* data, std::size_t length) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = crc & 1 ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return crc ^ 0xFFFFFFFFu;
}

// Writes deflate's bits least significant first; Huffman codes go in most significant first.
struct BitWriter {
    Bytes bytes;
    std::uint32_t pending = 0;
    int pendingCount = 0;
    void bits(std::uint32_t value, int count) {
        pending |= value << pendingCount;
        for (pendingCount += count; pendingCount >= 8; pendingCount -= 8, pending >>= 8)
            bytes.push_back(static_cast<std::uint8_t>(pending));
    }
    void code(std::uint32_t value, int count) {
        std::uint32_t reversed = 0;
        for (int i = 0; i < count; ++i) reversed |= (value >> i & 1) << (count - 1 - i);
        bits(reversed, count);
    }
    void flush() {
        if (pendingCount > 0) bytes.push_back(static_cast<std::uint8_t>(pending));
        pending = 0;
        pendingCount = 0;
    }
};

// A literal or length symbol (0..287) in deflate's fixed Huffman code.
void fixedSymbol(BitWriter& out, int symbol) {
    if (symbol < 144)
        out.code(0x30 + symbol, 8);
    else if (symbol < 256)
        out.code(0x190 + symbol - 144, 9);
    else if (symbol < 280)
        out.code(symbol - 256, 7);
    else
        out.code(0xC0 + symbol - 280, 8);
}

constexpr std::array<int, 29> lengthBase = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                            31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<int, 30> distanceBase = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                              33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                              1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};

// Length codes 265 on (index 8) and distance codes 4 on carry extra bits, one more for each
// further group of four length codes or two distance codes.
int extraBits(int index, int firstWithExtra, int groupSize) {
    return index < firstWithExtra ? 0 : (index - firstWithExtra) / groupSize + 1;
}

// A zlib stream in one fixed-Huffman block. The icon's rows repeat a lot, so matching each
// position against a few recent distances (one pixel, one row back) compresses it well enough,
// and the output depends on nothing but the input.
Bytes zlibCompress(const Bytes& data, std::size_t rowBytes) {
    BitWriter out;
    out.bits(0x78, 8);
    out.bits(0x01, 8);
    out.bits(1, 1);  // the last block
    out.bits(1, 2);  // fixed Huffman codes
    const std::size_t candidates[] = {4, rowBytes, 2 * rowBytes};
    for (std::size_t at = 0; at < data.size();) {
        std::size_t bestLength = 0, bestDistance = 0;
        for (std::size_t distance : candidates) {
            if (distance > at || distance > 32768) continue;
            std::size_t length = 0;
            while (length < 258 && at + length < data.size() && data[at + length] == data[at + length - distance])
                ++length;
            if (length > bestLength) bestLength = length, bestDistance = distance;
        }
        if (bestLength < 3) {
            fixedSymbol(out, data[at++]);
            continue;
        }
        int lengthIndex = 28;
        while (lengthBase[static_cast<std::size_t>(lengthIndex)] > static_cast<int>(bestLength)) --lengthIndex;
        fixedSymbol(out, 257 + lengthIndex);
        // Length 258 has its own symbol with no extra bits.
        if (lengthIndex < 28)
            out.bits(static_cast<std::uint32_t>(bestLength) - lengthBase[static_cast<std::size_t>(lengthIndex)],
                     extraBits(lengthIndex, 8, 4));
        int distanceIndex = 29;
        while (distanceBase[static_cast<std::size_t>(distanceIndex)] > static_cast<int>(bestDistance)) --distanceIndex;
        out.code(static_cast<std::uint32_t>(distanceIndex), 5);
        out.bits(static_cast<std::uint32_t>(bestDistance) - distanceBase[static_cast<std::size_t>(distanceIndex)],
                 extraBits(distanceIndex, 4, 2));
        at += bestLength;
    }
    fixedSymbol(out, 256);
    out.flush();
    std::uint32_t a = 1, b = 0;
    for (std::uint8_t byte : data) a = (a + byte) % 65521, b = (b + a) % 65521;
    put32BigEndian(out.bytes, b << 16 | a);
    return out.bytes;
}

void putChunk(Bytes& png, const char* type, const Bytes& body) {
    put32BigEndian(png, static_cast<std::uint32_t>(body.size()));
    const std::size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), body.begin(), body.end());
    put32BigEndian(png, crc32(png.data() + start, png.size() - start));
}

// The icon as a 32-bit BMP inside an .ico: the header says twice the height (colour rows,
// then the one-bit mask), the rows go bottom-up in blue, green, red, alpha.
Bytes iconBitmap(const IconImage& icon) {
    Bytes out;
    for (std::uint32_t value : {40u, static_cast<std::uint32_t>(icon.size), static_cast<std::uint32_t>(2 * icon.size)})
        putLittle(out, value, 4);
    putLittle(out, 1, 2);   // planes
    putLittle(out, 32, 2);  // bits per pixel
    for (int i = 0; i < 6; ++i) putLittle(out, 0, 4);
    for (int y = icon.size - 1; y >= 0; --y)
        for (int x = 0; x < icon.size; ++x) {
            const Rgba& pixel = icon.pixels[static_cast<std::size_t>(y * icon.size + x)];
            out.insert(out.end(), {pixel.colour.blue, pixel.colour.green, pixel.colour.red, pixel.alpha});
        }
    // The mask: a set bit is transparent; each row padded to four bytes.
    const int maskRowBytes = (icon.size + 31) / 32 * 4;
    for (int y = icon.size - 1; y >= 0; --y) {
        Bytes row(static_cast<std::size_t>(maskRowBytes), 0);
        for (int x = 0; x < icon.size; ++x)
            if (icon.pixels[static_cast<std::size_t>(y * icon.size + x)].alpha == 0)
                row[static_cast<std::size_t>(x / 8)] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

}  // namespace

namespace {

// The icon's cells, `cell` pixels each, drawn over `icon` with their top-left corner at (left, top).
void drawIconCells(IconImage& icon, int cell, int left, int top) {
    for (int y = 0; y < cell * iconCells; ++y)
        for (int x = 0; x < cell * iconCells; ++x)
            if (const int tile = iconLayout[y / cell][x / cell]; tile >= 0)
                icon.pixels[static_cast<std::size_t>((top + y) * icon.size + left + x)] = {
                    tilePixel(tileShades(tile), cell, x % cell, y % cell), 255};
}

}  // namespace

IconImage makeIcon(int size) {
    IconImage icon{size, std::vector<Rgba>(static_cast<std::size_t>(size * size), Rgba{{0, 0, 0}, 0})};
    drawIconCells(icon, size / iconCells, 0, 0);
    return icon;
}

IconImage makeMaskableIcon(int size) {
    IconImage icon{size, std::vector<Rgba>(static_cast<std::size_t>(size * size), Rgba{maskableGround, 255})};
    // Half the side, centred: even the grid's corners stay inside the circle of 40% of the side
    // that every mask keeps.
    drawIconCells(icon, size / (2 * iconCells), size / 4, size / 4);
    return icon;
}

Bytes encodePng(const IconImage& icon) {
    Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes header;
    put32BigEndian(header, static_cast<std::uint32_t>(icon.size));
    put32BigEndian(header, static_cast<std::uint32_t>(icon.size));
    header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits a channel, RGBA, no interlace
    putChunk(png, "IHDR", header);
    // Each row starts with its filter type, 0 (none).
    Bytes raw;
    for (int y = 0; y < icon.size; ++y) {
        raw.push_back(0);
        for (int x = 0; x < icon.size; ++x) {
            const Rgba& pixel = icon.pixels[static_cast<std::size_t>(y * icon.size + x)];
            raw.insert(raw.end(), {pixel.colour.red, pixel.colour.green, pixel.colour.blue, pixel.alpha});
        }
    }
    putChunk(png, "IDAT", zlibCompress(raw, static_cast<std::size_t>(icon.size) * 4 + 1));
    putChunk(png, "IEND", {});
    return png;
}

Bytes makeIconFile() {
    const int sizes[] = {16, 32, 48, 256};
    std::vector<Bytes> images;
    for (int size : sizes) images.push_back(size == 256 ? encodePng(makeIcon(size)) : iconBitmap(makeIcon(size)));
    Bytes ico;
    putLittle(ico, 0, 2);
    putLittle(ico, 1, 2);  // an icon, not a cursor
    putLittle(ico, static_cast<std::uint32_t>(images.size()), 2);
    std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        // Width and height 0 mean 256.
        ico.push_back(static_cast<std::uint8_t>(sizes[i] % 256));
        ico.push_back(static_cast<std::uint8_t>(sizes[i] % 256));
        ico.insert(ico.end(), {0, 0});  // no palette, reserved
        putLittle(ico, 1, 2);           // planes
        putLittle(ico, 32, 2);          // bits per pixel
        putLittle(ico, static_cast<std::uint32_t>(images[i].size()), 4);
        putLittle(ico, offset, 4);
        offset += static_cast<std::uint32_t>(images[i].size());
    }
    for (const Bytes& image : images) ico.insert(ico.end(), image.begin(), image.end());
    return ico;
}
