// resourcesTest.cpp: the committed bitmaps and sounds: their file forms, their looks and sounds at
// sample points, and that the generator still makes them byte for byte.
#include "resourceFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

// Lets GoogleTest print a colour as (red, green, blue) in its failure messages.
void PrintTo(const Rgb& colour, std::ostream* out)
{
    *out << '(' << +colour.red << ", " << +colour.green << ", " << +colour.blue << ')';
}

namespace {

// The whole committed file resources/<name>; empty when it cannot be read.
Bytes readResource(const std::string& name)
{
    std::ifstream in(std::string(PILARO_RESOURCES_DIR) + "/" + name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::uint32_t le16(const Bytes& bytes, std::size_t offset)
{
    return static_cast<std::uint32_t>(bytes.at(offset) | bytes.at(offset + 1) << 8);
}

std::uint32_t le32(const Bytes& bytes, std::size_t offset)
{
    return le16(bytes, offset) | le16(bytes, offset + 2) << 16;
}

// A pixel of a 24-bit bottom-up BMP, addressed from the top-left as the game addresses it.
Rgb bmpPixel(const Bytes& bmp, int x, int y)
{
    const auto width = static_cast<int>(le32(bmp, 18)), height = static_cast<int>(le32(bmp, 22));
    const auto offset = le32(bmp, 10) + static_cast<std::size_t>((height - 1 - y) * ((width * 3 + 3) / 4 * 4) + x * 3);
    return {bmp.at(offset + 2), bmp.at(offset + 1), bmp.at(offset)};
}

// The samples of a mono PCM WAVE file scaled to -1..1 (8-bit ones centred on 128).
std::vector<double> waveSamples(const Bytes& wave)
{
    const std::uint32_t bytesPerSample = le16(wave, 34) / 8;
    std::vector<double> samples(le32(wave, 40) / bytesPerSample);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = bytesPerSample == 1 ? (wave.at(44 + i) - 128) / 128.0
                                         : static_cast<std::int16_t>(le16(wave, 44 + 2 * i)) / 32768.0;
    return samples;
}

// Root-mean-square level of the samples in [from, from + length) seconds.
double levelAt(const std::vector<double>& samples, double from, double length)
{
    const auto first = static_cast<std::size_t>(std::lround(from * soundRate));
    const auto end = std::min(samples.size(), static_cast<std::size_t>(std::lround((from + length) * soundRate)));
    double sum = 0.0;
    for (std::size_t i = first; i < end; ++i) sum += samples[i] * samples[i];
    return first < end ? std::sqrt(sum / static_cast<double>(end - first)) : 0.0;
}

struct Point {
    const char* what;
    int x, y;
    Rgb colour;
};

// The Win32 shell embeds these as bitmap resources and the Qt shell loads them with QImage:
// both want a plain 24-bit BI_RGB bottom-up BMP with a BITMAPINFOHEADER.
TEST(BitmapTest, BothArePlainBottomUp24BitBmps)
{
    const struct { const char* name; std::uint32_t width, height; } forms[] = {
        {"backdrop.bmp", 408, 528}, {"tiles.bmp", 24, 192}};
    for (const auto& form : forms) {
        SCOPED_TRACE(form.name);
        const Bytes bmp = readResource(form.name);
        ASSERT_EQ(bmp.size(), 54 + (form.width * 3 + 3) / 4 * 4 * form.height) << "missing, cut short or badly padded";
        EXPECT_EQ(std::string(bmp.begin(), bmp.begin() + 2), "BM");
        EXPECT_EQ(le32(bmp, 2), bmp.size()) << "file size field";
        EXPECT_EQ(le32(bmp, 10), 54u) << "pixels right after the two headers";
        EXPECT_EQ(le32(bmp, 14), 40u) << "BITMAPINFOHEADER";
        EXPECT_EQ(le32(bmp, 18), form.width);
        EXPECT_EQ(le32(bmp, 22), form.height) << "positive height: rows stored bottom-up";
        EXPECT_EQ(le16(bmp, 26), 1u) << "planes";
        EXPECT_EQ(le16(bmp, 28), 24u) << "bits per pixel";
        EXPECT_EQ(le32(bmp, 30), 0u) << "BI_RGB, uncompressed";
    }
}

constexpr Rgb black{0, 0, 0}, fill{215, 215, 215}, grid{219, 219, 219}, white{255, 255, 255};

// Points chosen, in each of the three boxes, where a misplaced line, a 24-pixel grid instead of
// a 16-pixel one, a missing or extra edge or an off-by-one box would show.
TEST(BitmapTest, BackdropBoxesAreFilledGriddedAndEdgedAndAllElseIsBlack)
{
    const Bytes bmp = readResource("backdrop.bmp");
    ASSERT_EQ(bmp.size(), 54u + 408u * 3u * 528u);
    const struct { const char* name; int l, t, r, b; } boxes[] = {
        {"well", 24, 24, 263, 503}, {"next box", 288, 24, 383, 119}, {"after-next box", 288, 144, 383, 239}};
    for (const auto& [name, l, t, r, b] : boxes) {
        const Point points[] = {
            {"top-left corner, on both lines", l, t, grid},   {"vertical line 16 px in", l + 16, t + 5, grid},
            {"horizontal line 16 px down", l + 5, t + 16, grid}, {"last vertical line", r - 15, t + 5, grid},
            {"last horizontal line", l + 5, b - 15, grid},      {"fill left of the white column", r - 1, t + 5, fill},
            // The grid is 16 px, not the cells' 24; and the bottom row has no line of its own.
            {"no line 24 px in", l + 24, t + 5, fill},          {"no line 24 px down", l + 5, t + 24, fill},
            {"bottom row", l + 5, b, fill},                     {"white column, top", r, t, white},
            {"white column over a grid row", r, t + 16, white}, {"white column, bottom", r, b, white},
            {"left of the box", l - 1, t + 5, black},           {"above the box", l + 5, t - 1, black},
            {"right of the box", r + 1, t + 5, black},          {"below the box", l + 5, b + 1, black},
        };
        for (const Point& point : points)
            EXPECT_EQ(bmpPixel(bmp, point.x, point.y), point.colour)
                << name << ", " << point.what << " at (" << point.x << ", " << point.y << ")";
    }
    const Point elsewhere[] = {{"top-left corner", 0, 0, black}, {"score panel", 300, 300, black},
                               {"hidden rows below the canvas", 100, 524, black}, {"bottom-right", 407, 527, black}};
    for (const Point& point : elsewhere) EXPECT_EQ(bmpPixel(bmp, point.x, point.y), point.colour) << point.what;
}

// Each tile's shades exactly as the game's art table gives them, sampled in each triangle near its
// edge and near the centre, where a diagonal drawn the wrong way would show.
TEST(BitmapTest, EachTilesTrianglesHaveTheirShades)
{
    const struct { const char* colourName; Rgb base, light, dark, darkest; } tileTable[tileCount] = {
        {"red", {255, 130, 130}, {255, 162, 162}, {191, 97, 97}, {127, 65, 65}},
        {"yellow", {247, 255, 130}, {255, 255, 162}, {185, 191, 97}, {123, 127, 65}},
        {"yellowGreen", {175, 255, 130}, {218, 255, 162}, {131, 191, 97}, {87, 127, 65}},
        {"cyan", {130, 255, 212}, {162, 255, 255}, {97, 191, 159}, {65, 127, 106}},
        {"blue", {130, 148, 255}, {162, 185, 255}, {97, 111, 191}, {65, 74, 127}},
        {"magenta", {250, 130, 255}, {255, 162, 255}, {187, 97, 191}, {125, 65, 127}},
        {"orange", {255, 186, 130}, {255, 232, 162}, {191, 139, 97}, {127, 93, 65}},
        {"grey", {184, 184, 184}, {230, 230, 230}, {138, 138, 138}, {92, 92, 92}},
    };
    const Bytes bmp = readResource("tiles.bmp");
    ASSERT_EQ(bmp.size(), 54u + 24u * 3u * 192u);
    for (int tile = 0; tile < tileCount; ++tile) {
        const auto& row = tileTable[tile];
        const Point samples[] = {
            {"top", 12, 1, row.light},   {"top", 12, 9, row.light},   {"left", 1, 12, row.base},
            {"left", 9, 11, row.base},   {"right", 22, 12, row.dark}, {"right", 14, 12, row.dark},
            {"bottom", 12, 22, row.darkest}, {"bottom", 11, 14, row.darkest},
        };
        for (const Point& sample : samples)
            EXPECT_EQ(bmpPixel(bmp, sample.x, 24 * tile + sample.y), sample.colour)
                << row.colourName << " tile, " << sample.what << " triangle, (" << sample.x << ", " << sample.y << ")";
    }
}

// The Win32 shell hands each file whole to the sound player, so it must be exactly the
// canonical 44-byte header (RIFF, a 16-byte fmt chunk, data) and then the samples.
TEST(SoundTest, EachIsACanonicalMonoPcmWaveClearOfClipping)
{
    const struct { const char* name; std::uint32_t bitsPerSample, sampleCount; } forms[] = {
        {"turn.wav", 16, 18081}, {"move.wav", 8, 5014}, {"rowsCleared.wav", 8, 28416}, {"hardDrop.wav", 8, 8774}};
    for (const auto& form : forms) {
        SCOPED_TRACE(form.name);
        const Bytes wave = readResource(form.name);
        const std::uint32_t bytesPerSample = form.bitsPerSample / 8;
        ASSERT_EQ(wave.size(), 44 + form.sampleCount * bytesPerSample);
        const auto tag = [&](int at) { return std::string(wave.begin() + at, wave.begin() + at + 4); };
        EXPECT_EQ(tag(0) + tag(8) + tag(12) + tag(36), "RIFFWAVEfmt data");
        EXPECT_EQ(le32(wave, 4), wave.size() - 8) << "RIFF chunk size";
        EXPECT_EQ(le32(wave, 16), 16u) << "fmt chunk size";
        EXPECT_EQ(le16(wave, 20), 1u) << "PCM";
        EXPECT_EQ(le16(wave, 22), 1u) << "mono";
        EXPECT_EQ(le32(wave, 24), 44100u) << "sample rate";
        EXPECT_EQ(le32(wave, 28), 44100 * bytesPerSample) << "byte rate";
        EXPECT_EQ(le16(wave, 32), bytesPerSample) << "block align";
        EXPECT_EQ(le16(wave, 34), form.bitsPerSample);
        EXPECT_EQ(le32(wave, 40), form.sampleCount * bytesPerSample) << "data size";
        // Gentle on the ear: nowhere near full scale, and silence at the very end, so no click.
        const std::vector<double> samples = waveSamples(wave);
        double largest = 0.0;
        for (double x : samples) largest = std::max(largest, std::abs(x));
        EXPECT_LT(largest, 0.95);
        EXPECT_EQ(samples.back(), 0.0);
    }
}

// Turn: a ping, loudest within the first 40 ms, gone by about 0.25 s, silent from 0.3 s to the end.
TEST(SoundTest, TurnIsAPingThatDiesAwayEarly)
{
    const std::vector<double> samples = waveSamples(readResource("turn.wav"));
    const auto louder = [](double a, double b) { return std::abs(a) < std::abs(b); };
    const auto peak = std::max_element(samples.begin(), samples.end(), louder);
    EXPECT_LT(peak - samples.begin(), 0.04 * soundRate) << "loudest in the first 40 ms";
    EXPECT_LT(levelAt(samples, 0.25, 0.01), 0.02 * levelAt(samples, 0.0, 0.04)) << "dies away by about 0.25 s";
    EXPECT_LE(levelAt(samples, 0.3, 1.0), 1.0 / 32768) << "silent from 0.3 s";
}

// Move: a short tick, loudest at once, fading over its whole length.
TEST(SoundTest, MoveIsATickLoudestAtOnceThenFading)
{
    const std::vector<double> samples = waveSamples(readResource("move.wav"));
    const double start = levelAt(samples, 0.0, 0.005);
    EXPECT_GT(start, levelAt(samples, 0.005, 0.005)) << "loudest at once";
    for (double t = 0.01; t + 0.01 <= 0.11; t += 0.01)
        EXPECT_LT(levelAt(samples, t, 0.01), levelAt(samples, t - 0.01, 0.01) * 1.1) << "still fading at " << t << " s";
    EXPECT_GT(levelAt(samples, 0.05, 0.01), 0.05 * start) << "fades over its length, not at once";
    EXPECT_LT(levelAt(samples, 0.10, 0.0137), 0.05 * start) << "faded out at the end";
}

// Rows cleared (about 0.4 s) and hard drop (about 0.1 s): a loud burst held steady, then falling
// away to silence.
TEST(SoundTest, RowsClearedAndHardDropHoldSteadyThenFall)
{
    const struct { const char* name; double holdUntil, window, fallingAt, fadedAt; } bursts[] = {
        {"rowsCleared.wav", 0.4, 0.02, 0.55, 0.62}, {"hardDrop.wav", 0.1, 0.01, 0.15, 0.185}};
    for (const auto& burst : bursts) {
        SCOPED_TRACE(burst.name);
        const std::vector<double> samples = waveSamples(readResource(burst.name));
        // A fade that begins early leaves the last quarter of the hold quieter than the first.
        const double quarter = burst.holdUntil / 4, early = levelAt(samples, burst.window, quarter);
        EXPECT_GT(early, 0.1) << "loud";
        EXPECT_GT(levelAt(samples, burst.holdUntil - quarter, quarter), 0.8 * early) << "held steady";
        EXPECT_LT(levelAt(samples, burst.fallingAt, burst.window), 0.6 * early) << "falling after the hold";
        EXPECT_LT(levelAt(samples, burst.fadedAt, 0.01), 0.1 * early) << "faded out at the end";
    }
}

// Fails when someone edits the generator without rerunning `regenerate-resources`, or edits a
// committed file by hand.
TEST(ReproduceTest, CommittedFilesAreExactlyWhatTheGeneratorMakes)
{
    std::set<std::string> names;
    for (const ResourceFile& file : makeAllResources()) {
        names.insert(file.name);
        const Bytes committed = readResource(file.name);
        EXPECT_TRUE(committed == file.bytes) << file.name << " differs from the generator's output (committed "
                                             << committed.size() << " bytes, generated " << file.bytes.size()
                                             << "); run the regenerate-resources target";
    }
    EXPECT_EQ(names, (std::set<std::string>{"backdrop.bmp", "tiles.bmp", "turn.wav", "move.wav", "rowsCleared.wav",
                                             "hardDrop.wav", "cp932.inc", "pilaro-48.png", "pilaro-64.png",
                                             "pilaro-128.png", "pilaro-256.png", "pilaro.ico"}));
}

} // namespace
