// resourceFiles.cpp: the game's art and sounds, drawn and synthesised from fixed rules and seeds.
#include "resourceFiles.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <numbers>

#include "game/game.h"
#include "present/sound.h"
#include "resourceNames.h"

namespace {

constexpr Rgb black{0, 0, 0};
constexpr Rgb boxFill{215, 215, 215};
constexpr Rgb gridLine{219, 219, 219};
constexpr Rgb white{255, 255, 255};
constexpr int gridStep = 16;

// Inclusive pixel extents of the three boxes of the background, where present/frame.h draws: the
// well, the next piece's box and the after-next piece's box (four cells square).
struct Box {
    int left;
    int top;
    int right;
    int bottom;
};
constexpr int wellWidth = cellSize * wellColumns, wellHeight = cellSize * wellRows, previewSide = 4 * cellSize;
constexpr Box boxes[] = {{wellLeft, wellTop, wellLeft + wellWidth - 1, wellTop + wellHeight - 1},
                         {previewLeft, nextTop, previewLeft + previewSide - 1, nextTop + previewSide - 1},
                         {previewLeft, afterNextTop, previewLeft + previewSide - 1, afterNextTop + previewSide - 1}};

constexpr Rgb tileBases[tileCount] = {
    {255, 130, 130},  // red
    {247, 255, 130},  // yellow
    {175, 255, 130},  // yellow-green
    {130, 255, 212},  // cyan
    {130, 148, 255},  // blue
    {250, 130, 255},  // magenta
    {255, 186, 130},  // orange
    {184, 184, 184},  // grey, for garbage rows
};

// base * numerator / denominator per channel; integer division truncates exactly as wanted,
// where floating point could land a hair under a whole number.
Rgb scaled(Rgb base, int numerator, int denominator) {
    auto channel = [&](std::uint8_t value) {
        return static_cast<std::uint8_t>(std::min(255, value * numerator / denominator));
    };
    return {channel(base.red), channel(base.green), channel(base.blue)};
}

void put16(Bytes& out, unsigned value) {
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

void put32(Bytes& out, std::uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

void putTag(Bytes& out, const char* tag) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(tag[i]));
}

// ---- sound synthesis ----

constexpr double twoPi = 2.0 * std::numbers::pi;

// xorshift32: a noise source of our own, so the sounds come out the same on every machine and
// library, which rand() would not promise.
struct NoiseSource {
    std::uint32_t state;
};

double nextNoise(NoiseSource& noise) {
    std::uint32_t x = noise.state;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    noise.state = x;
    return static_cast<double>(x >> 8) / 8388608.0 - 1.0;
}

// Chamberlin state-variable filter: one step gives low-pass and band-pass outputs together, and
// its cutoff may change from sample to sample without clicks.
struct Filter {
    double low = 0.0;
    double band = 0.0;
};

void filterStep(Filter& filter, double input, double cutoffHz, double damping) {
    const double k = 2.0 * std::sin(std::numbers::pi * cutoffHz / soundRate);
    filter.low += k * filter.band;
    const double high = input - filter.low - damping * filter.band;
    filter.band += k * high;
}

// 0 to 1 over [from, to] along a half cosine, so fades start and end without a corner.
double smoothRise(double t, double from, double to) {
    if (t <= from) return 0.0;
    if (t >= to) return 1.0;
    return 0.5 - 0.5 * std::cos(std::numbers::pi * (t - from) / (to - from));
}

// Scales the wave so that its largest excursion is peak (below full scale: no clipping).
void normalise(std::vector<double>& wave, double peak) {
    double largest = 0.0;
    for (double x : wave) largest = std::max(largest, std::abs(x));
    if (largest == 0.0) return;
    for (double& x : wave) x *= peak / largest;
}

Bytes waveHeader(int bitsPerSample, std::uint32_t sampleCount) {
    const std::uint32_t bytesPerSample = static_cast<std::uint32_t>(bitsPerSample / 8);
    const std::uint32_t dataBytes = sampleCount * bytesPerSample;
    Bytes out;
    putTag(out, "RIFF");
    put32(out, 36 + dataBytes);
    putTag(out, "WAVE");
    putTag(out, "fmt ");
    put32(out, 16);
    put16(out, 1);  // PCM
    put16(out, 1);  // mono
    put32(out, soundRate);
    put32(out, soundRate * bytesPerSample);
    put16(out, bytesPerSample);
    put16(out, static_cast<unsigned>(bitsPerSample));
    putTag(out, "data");
    put32(out, dataBytes);
    return out;
}

Bytes encodeWave16(const std::vector<double>& wave) {
    Bytes out = waveHeader(16, static_cast<std::uint32_t>(wave.size()));
    for (double x : wave) {
        const long value = std::clamp(std::lround(x * 32767.0), -32767L, 32767L);
        put16(out, static_cast<unsigned>(value) & 0xFFFF);
    }
    return out;
}

// 8-bit PCM is unsigned with silence at 128.
Bytes encodeWave8(const std::vector<double>& wave) {
    Bytes out = waveHeader(8, static_cast<std::uint32_t>(wave.size()));
    for (double x : wave) out.push_back(static_cast<std::uint8_t>(std::clamp(128L + std::lround(x * 127.0), 1L, 255L)));
    return out;
}

}  // namespace

Rgb tileBase(int tile) { return tileBases[tile]; }

TileShades tileShades(int tile) {
    const Rgb base = tileBases[tile];
    return {base, scaled(base, 5, 4), scaled(base, 3, 4), scaled(base, 1, 2), scaled(base, 9, 8), scaled(base, 5, 8)};
}

Image makeBackdrop() {
    Image image{backdropWidth, backdropHeight,
                std::vector<Rgb>(static_cast<size_t>(backdropWidth * backdropHeight), black)};
    for (const Box& box : boxes) {
        for (int y = box.top; y <= box.bottom; ++y) {
            for (int x = box.left; x <= box.right; ++x) {
                const bool onGrid = (x - box.left) % gridStep == 0 || (y - box.top) % gridStep == 0;
                Rgb colour = onGrid ? gridLine : boxFill;
                // The white edge is drawn over the grid; the bottom edge gets no line.
                if (x == box.right) colour = white;
                image.pixels[static_cast<size_t>(y * backdropWidth + x)] = colour;
            }
        }
    }
    return image;
}

Rgb tilePixel(const TileShades& shades, int size, int x, int y) {
    const int last = size - 1;
    const int half = size / 2;
    // The diagonals x == y and x + y == last never share a pixel (the size is even), so every
    // seam pixel belongs to exactly one of the four half-diagonals.
    if (x == y) return x < half ? shades.topLeftSeam : shades.bottomRightSeam;
    if (x + y == last) return y < half ? shades.base : shades.dark;  // top/right, left/bottom
    if (y < x) return x + y < last ? shades.light : shades.dark;
    return x + y < last ? shades.base : shades.darkest;
}

Image makeTileSheet() {
    Image image{tileSize, tileSize * tileCount,
                std::vector<Rgb>(static_cast<size_t>(tileSize * tileSize * tileCount), black)};
    for (int tile = 0; tile < tileCount; ++tile) {
        const TileShades shades = tileShades(tile);
        for (int y = 0; y < tileSize; ++y)
            for (int x = 0; x < tileSize; ++x)
                image.pixels[static_cast<size_t>((tile * tileSize + y) * tileSize + x)] =
                    tilePixel(shades, tileSize, x, y);
    }
    return image;
}

Bytes encodeBmp(const Image& image) {
    const std::uint32_t rowBytes = static_cast<std::uint32_t>((image.width * 3 + 3) / 4 * 4);
    const std::uint32_t pixelBytes = rowBytes * static_cast<std::uint32_t>(image.height);
    const std::uint32_t headerBytes = 14 + 40;
    Bytes out;
    out.reserve(headerBytes + pixelBytes);
    // BITMAPFILEHEADER
    out.push_back('B');
    out.push_back('M');
    put32(out, headerBytes + pixelBytes);
    put32(out, 0);
    put32(out, headerBytes);
    // BITMAPINFOHEADER: positive height means bottom-up rows; 0 compression is BI_RGB.
    put32(out, 40);
    put32(out, static_cast<std::uint32_t>(image.width));
    put32(out, static_cast<std::uint32_t>(image.height));
    put16(out, 1);
    put16(out, 24);
    put32(out, 0);
    put32(out, pixelBytes);
    put32(out, 2835);  // 72 dots per inch, in dots per metre
    put32(out, 2835);
    put32(out, 0);
    put32(out, 0);
    for (int y = image.height - 1; y >= 0; --y) {
        for (int x = 0; x < image.width; ++x) {
            const Rgb& pixel = image.pixels[static_cast<size_t>(y * image.width + x)];
            out.push_back(pixel.blue);
            out.push_back(pixel.green);
            out.push_back(pixel.red);
        }
        for (std::uint32_t pad = static_cast<std::uint32_t>(image.width * 3); pad < rowBytes; ++pad) out.push_back(0);
    }
    return out;
}

// A bell-like ping on G6: a few harmonics, the higher ones dying first, a fast attack, gone by
// a quarter of a second; the rest of the file is silence.
Bytes makeTurnSound() {
    constexpr int sampleCount = 18081;
    constexpr double fundamental = 1568.0;
    std::vector<double> wave(sampleCount);
    for (int i = 0; i < sampleCount; ++i) {
        const double t = static_cast<double>(i) / soundRate;
        const double envelope = smoothRise(t, 0.0, 0.004) * std::exp(-t / 0.045) * (1.0 - smoothRise(t, 0.19, 0.245));
        const double tone = std::sin(twoPi * fundamental * t) +
                            0.35 * std::exp(-t / 0.03) * std::sin(twoPi * 2.0 * fundamental * t) +
                            0.15 * std::exp(-t / 0.015) * std::sin(twoPi * 3.0 * fundamental * t);
        wave[static_cast<size_t>(i)] = envelope * tone;
    }
    normalise(wave, 0.6);
    return encodeWave16(wave);
}

// A soft tick: band-passed noise, at full strength at once and dying away over the whole file.
Bytes makeMoveSound() {
    constexpr int sampleCount = 5014;
    NoiseSource noise{0x2468ACE1u};
    Filter filter;
    std::vector<double> wave(sampleCount);
    for (int i = 0; i < sampleCount; ++i) {
        const double t = static_cast<double>(i) / soundRate;
        const double remaining = 1.0 - static_cast<double>(i) / (sampleCount - 1);
        const double envelope = smoothRise(t, 0.0, 0.0005) * remaining * remaining * remaining;
        filterStep(filter, nextNoise(noise), 2800.0, 1.1);
        wave[static_cast<size_t>(i)] = envelope * filter.band;
    }
    normalise(wave, 0.55);
    return encodeWave8(wave);
}

// A rising whoosh: noise through a band-pass whose centre climbs from 600 Hz to 4 kHz, level
// for 0.4 s, then fading out to silence at the end.
Bytes makeRowsClearedSound() {
    constexpr int sampleCount = 28416;
    const double length = static_cast<double>(sampleCount - 1) / soundRate;
    NoiseSource noise{0x13579BDFu};
    Filter filter;
    std::vector<double> wave(sampleCount);
    for (int i = 0; i < sampleCount; ++i) {
        const double t = static_cast<double>(i) / soundRate;
        const double centre = 600.0 * std::pow(4000.0 / 600.0, t / length);
        // A band of constant Q lets through more noise the higher it sits; even that out so
        // the level stays flat while the pitch climbs.
        const double evenOut = std::sqrt(1000.0 / centre);
        const double envelope = smoothRise(t, 0.0, 0.015) * (1.0 - smoothRise(t, 0.40, length));
        filterStep(filter, nextNoise(noise), centre, 0.9);
        wave[static_cast<size_t>(i)] = envelope * evenOut * filter.band;
    }
    normalise(wave, 0.7);
    return encodeWave8(wave);
}

// A heavy thud: low-passed noise with a little bright grit on top, level for 0.1 s, then falling
// away to silence at the end.
Bytes makeHardDropSound() {
    constexpr int sampleCount = 8774;
    constexpr double holdUntil = 0.1;
    const double length = static_cast<double>(sampleCount - 1) / soundRate;
    NoiseSource noise{0x0BADF00Du};
    Filter body;
    Filter grit;
    std::vector<double> wave(sampleCount);
    for (int i = 0; i < sampleCount; ++i) {
        const double t = static_cast<double>(i) / soundRate;
        const double fall = t <= holdUntil ? 1.0 : 1.0 - (t - holdUntil) / (length - holdUntil);
        const double envelope = smoothRise(t, 0.0, 0.002) * fall * fall;
        const double input = nextNoise(noise);
        filterStep(body, input, 700.0, 1.0);
        filterStep(grit, input, 2500.0, 1.4);
        wave[static_cast<size_t>(i)] = envelope * (body.low + 0.3 * grit.band);
    }
    normalise(wave, 0.85);
    return encodeWave8(wave);
}

std::vector<ResourceFile> makeAllResources() {
    const char* const soundFiles[] = {PILARO_SOUND_FILES};
    static_assert(std::size(soundFiles) == soundCount);
    return {
        {PILARO_BACKDROP_FILE, encodeBmp(makeBackdrop())},
        {PILARO_TILES_FILE, encodeBmp(makeTileSheet())},
        {soundFiles[soundTurn], makeTurnSound()},
        {soundFiles[soundMove], makeMoveSound()},
        {soundFiles[soundRowsCleared], makeRowsClearedSound()},
        {soundFiles[soundHardDrop], makeHardDropSound()},
        {"pilaro-48.png", encodePng(makeIcon(48))},
        {"pilaro-64.png", encodePng(makeIcon(64))},
        {"pilaro-128.png", encodePng(makeIcon(128))},
        {"pilaro-256.png", encodePng(makeIcon(256))},
        {"pilaro.ico", makeIconFile()},
        {"pilaro-maskable-192.png", encodePng(makeMaskableIcon(192))},
        {"pilaro-maskable-512.png", encodePng(makeMaskableIcon(512))},
        {"cp932.inc", makeCp932Table()},
    };
}

bool writeAllResources(const std::string& directory) {
    for (const ResourceFile& file : makeAllResources()) {
        const std::string path = directory + "/" + file.name;
        std::FILE* out = std::fopen(path.c_str(), "wb");
        if (!out) return false;
        const size_t written = std::fwrite(file.bytes.data(), 1, file.bytes.size(), out);
        const bool closed = std::fclose(out) == 0;
        if (written != file.bytes.size() || !closed) return false;
    }
    return true;
}
