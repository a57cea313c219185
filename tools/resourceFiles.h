// resourceFiles.h: draws the game's two bitmaps and synthesises its four sounds, byte for byte.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "present/frame.h"

using Bytes = std::vector<std::uint8_t>;

struct Rgb {
    std::uint8_t red;
    std::uint8_t green;
    std::uint8_t blue;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// Pixels row by row from the top, as the game addresses them; the BMP encoder flips them.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<Rgb> pixels;
};

// The shades of one tile, each channel truncated and held at 255.
struct TileShades {
    Rgb base;
    Rgb light;    // top triangle
    Rgb dark;     // right triangle
    Rgb darkest;  // bottom triangle
    Rgb topLeftSeam;
    Rgb bottomRightSeam;
};

// An image with transparency, for the program's icon.
struct Rgba {
    Rgb colour;
    std::uint8_t alpha;
};
struct IconImage {
    int size = 0;
    std::vector<Rgba> pixels;  // row by row from the top
};

struct ResourceFile {
    std::string name;
    Bytes bytes;
};

// The backdrop is the canvas of present/frame.h, with four more rows below that never show.
constexpr int backdropWidth = canvasWidth;
constexpr int backdropHeight = canvasHeight + 4;
constexpr int tileSize = cellSize;
constexpr int tileCount = 8;
constexpr int soundRate = 44100;

// The base colour of tile k: 0 to 6 are the seven shapes, 7 the garbage rows.
Rgb tileBase(int tile);
TileShades tileShades(int tile);

// Pixel (x, y) of a bevelled tile `size` pixels square (even) in the given shades.
Rgb tilePixel(const TileShades& shades, int size, int x, int y);

Image makeBackdrop();
Image makeTileSheet();

// A complete Windows BMP file: 24 bits per pixel, uncompressed, rows bottom-up.
Bytes encodeBmp(const Image& image);

// Complete RIFF WAVE files, mono PCM at 44100 samples per second.
Bytes makeTurnSound();         // 16-bit, 18081 samples
Bytes makeMoveSound();         // 8-bit, 5014 samples
Bytes makeRowsClearedSound();  // 8-bit, 28416 samples
Bytes makeHardDropSound();     // 8-bit, 8774 samples

// The program's icon, `size` pixels square (a multiple of 8): a T piece about to drop into the
// gap of two nearly full rows, drawn with the game's tiles on a transparent ground.
IconImage makeIcon(int size);
// The icon an installed web page shows: the same cells on an opaque ground the colour of the
// page, small enough in the middle for any shape the system cuts it to (`size` a multiple of 16).
constexpr Rgb maskableGround = {32, 32, 32};
IconImage makeMaskableIcon(int size);
// A PNG file: 8-bit RGBA, compressed.
Bytes encodePng(const IconImage& icon);
// A Windows .ico file with the icon at 16, 32 and 48 pixels (32-bit BMP) and 256 (PNG).
Bytes makeIconFile();
// The code page 932 tables that src/text/cp932.cpp compiles in, as C++ source (tools/cp932Table.cpp).
Bytes makeCp932Table();

// The files of resources/, under the names the shells embed them by.
std::vector<ResourceFile> makeAllResources();

// Writes every file into directory (which must exist); false when a file cannot be written.
bool writeAllResources(const std::string& directory);
