// resourceReading.h: reads the committed resource files back for the tests: bytes, pixels, samples.
#pragma once

#include "resourceFiles.h"

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

// The whole committed file resources/<name>; empty when it cannot be read.
Bytes readResource(const std::string& name);
Bytes readFile(const std::string& path);

std::uint32_t le16(const Bytes& bytes, std::size_t offset);
std::uint32_t le32(const Bytes& bytes, std::size_t offset);
std::int32_t le32Signed(const Bytes& bytes, std::size_t offset);
std::string tag(const Bytes& bytes, std::size_t offset);

// A pixel of a 24-bit bottom-up BMP, addressed from the top-left as the game addresses it.
Rgb bmpPixel(const Bytes& bmp, int x, int y);

// The samples of a mono PCM WAVE file scaled to -1..1 (8-bit ones centred on 128).
std::vector<double> waveSamples(const Bytes& wave);

// Root-mean-square level of the samples in [from, from + length) seconds.
double levelAt(const std::vector<double>& samples, double from, double length);

// The start, in seconds, of the loudest window of the given length (windows step by half a
// window).
double loudestWindowStart(const std::vector<double>& samples, double window);

// The strongest normalised autocorrelation over lags of 40 to 400 samples (about 110 Hz to
// 1.1 kHz repetition) within [from, to) seconds: near 1 for a steady tone, low for noise.
double periodicity(const std::vector<double>& samples, double from, double to);

std::string describe(Rgb colour);

// Lets GoogleTest print a colour as (red, green, blue) in its failure messages.
inline void PrintTo(const Rgb& colour, std::ostream* out)
{
    *out << describe(colour);
}
