// resourceReading.cpp: file, pixel and sample readers and the envelope measures of the resource tests.
#include "resourceReading.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>

Bytes readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes readResource(const std::string& name)
{
    return readFile(std::string(PILARO_RESOURCES_DIR) + "/" + name);
}

std::uint32_t le16(const Bytes& bytes, std::size_t offset)
{
    return static_cast<std::uint32_t>(bytes.at(offset) | bytes.at(offset + 1) << 8);
}

std::uint32_t le32(const Bytes& bytes, std::size_t offset)
{
    return le16(bytes, offset) | le16(bytes, offset + 2) << 16;
}

std::int32_t le32Signed(const Bytes& bytes, std::size_t offset)
{
    return static_cast<std::int32_t>(le32(bytes, offset));
}

std::string tag(const Bytes& bytes, std::size_t offset)
{
    if (offset + 4 > bytes.size()) return {};
    return std::string(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                       bytes.begin() + static_cast<std::ptrdiff_t>(offset + 4));
}

Rgb bmpPixel(const Bytes& bmp, int x, int y)
{
    const std::uint32_t pixelsAt = le32(bmp, 10);
    const int width = le32Signed(bmp, 18);
    const int height = le32Signed(bmp, 22);
    const std::size_t stride = static_cast<std::size_t>((width * 3 + 3) / 4 * 4);
    const std::size_t offset =
        pixelsAt + static_cast<std::size_t>(height - 1 - y) * stride + static_cast<std::size_t>(x) * 3;
    return {bmp.at(offset + 2), bmp.at(offset + 1), bmp.at(offset)};
}

std::vector<double> waveSamples(const Bytes& wave)
{
    const unsigned bits = le16(wave, 34);
    const std::size_t count = le32(wave, 40) / (bits / 8);
    std::vector<double> samples(count);
    for (std::size_t i = 0; i < count; ++i) {
        if (bits == 8)
            samples[i] = (wave.at(44 + i) - 128) / 128.0;
        else
            samples[i] = static_cast<std::int16_t>(le16(wave, 44 + 2 * i)) / 32768.0;
    }
    return samples;
}

double levelAt(const std::vector<double>& samples, double from, double length)
{
    const auto first = static_cast<std::size_t>(std::lround(from * soundRate));
    const auto end = std::min(samples.size(), static_cast<std::size_t>(std::lround((from + length) * soundRate)));
    if (first >= end) return 0.0;
    double sum = 0.0;
    for (std::size_t i = first; i < end; ++i) sum += samples[i] * samples[i];
    return std::sqrt(sum / static_cast<double>(end - first));
}

double loudestWindowStart(const std::vector<double>& samples, double window)
{
    const double duration = static_cast<double>(samples.size()) / soundRate;
    double best = -1.0;
    double bestStart = 0.0;
    for (double start = 0.0; start + window <= duration; start += window / 2) {
        const double level = levelAt(samples, start, window);
        if (level > best) {
            best = level;
            bestStart = start;
        }
    }
    return bestStart;
}

double periodicity(const std::vector<double>& samples, double from, double to)
{
    const auto first = static_cast<std::size_t>(std::lround(from * soundRate));
    const auto end = std::min(samples.size(), static_cast<std::size_t>(std::lround(to * soundRate)));
    double strongest = 0.0;
    for (std::size_t lag = 40; lag <= 400 && first + lag < end; ++lag) {
        double cross = 0.0, early = 0.0, late = 0.0;
        for (std::size_t i = first; i + lag < end; ++i) {
            cross += samples[i] * samples[i + lag];
            early += samples[i] * samples[i];
            late += samples[i + lag] * samples[i + lag];
        }
        if (early > 0.0 && late > 0.0) strongest = std::max(strongest, cross / std::sqrt(early * late));
    }
    return strongest;
}

std::string describe(Rgb colour)
{
    char text[24];
    std::snprintf(text, sizeof text, "(%d, %d, %d)", colour.red, colour.green, colour.blue);
    return text;
}
