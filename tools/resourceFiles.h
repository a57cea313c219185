// resourceFiles.h: draws the game's two bitmaps and synthesises its four sounds, byte for byte.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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
    Rgb light;          // top triangle
    Rgb dark;           // right triangle
    Rgb darkest;        // bottom triangle
    Rgb topLeftSeam;
    Rgb bottomRightSeam;
};

struct ResourceFile {
    std::string name;
    Bytes bytes;
};

constexpr int backdropWidth = 408;
constexpr int backdropHeight = 528;
constexpr int tileSize = 24;
constexpr int tileCount = 8;
constexpr int soundRate = 44100;

// The base colour of tile k: 0 to 6 are the seven shapes, 7 the garbage rows.
Rgb tileBase(int tile);
TileShades tileShades(int tile);

Image makeBackdrop();
Image makeTileSheet();

// A complete Windows BMP file: 24 bits per pixel, uncompressed, rows bottom-up.
Bytes encodeBmp(const Image& image);

// Complete RIFF WAVE files, mono PCM at 44100 samples per second.
Bytes makeTurnSound();        // 16-bit, 18081 samples
Bytes makeMoveSound();        // 8-bit, 5014 samples
Bytes makeRowsClearedSound(); // 8-bit, 28416 samples
Bytes makeHardDropSound();    // 8-bit, 8774 samples

// The code page 932 tables that src/text/cp932.cpp compiles in, as C++ source (tools/cp932Table.cpp).
Bytes makeCp932Table();

// The files of resources/, under the names the shells embed them by.
std::vector<ResourceFile> makeAllResources();

// Writes every file into directory (which must exist); false when a file cannot be written.
bool writeAllResources(const std::string& directory);
