// soundTest.cpp: the committed sound effects: their WAVE form and, measured on their envelopes,
// their characters.
#include "resourceReading.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

struct SoundForm {
    const char* name;
    unsigned bitsPerSample;
    std::uint32_t sampleCount;
};

void PrintTo(const SoundForm& form, std::ostream* out)
{
    *out << form.name;
}

const SoundForm soundForms[] = {
    {"turn.wav", 16, 18081},
    {"move.wav", 8, 5014},
    {"rowsCleared.wav", 8, 28416},
    {"hardDrop.wav", 8, 8774},
};

class SoundFormTest : public testing::TestWithParam<SoundForm> {};

// The Win32 shell hands each file whole to the sound player, so it must be exactly the
// canonical 44-byte header (RIFF, a 16-byte fmt chunk, data) and then the samples.
TEST_P(SoundFormTest, IsACanonicalMonoPcmWave)
{
    const SoundForm form = GetParam();
    const Bytes wave = readResource(form.name);
    const std::uint32_t bytesPerSample = form.bitsPerSample / 8;
    ASSERT_EQ(wave.size(), 44u + form.sampleCount * bytesPerSample) << form.name;
    EXPECT_EQ(tag(wave, 0), "RIFF");
    EXPECT_EQ(le32(wave, 4), wave.size() - 8) << "RIFF chunk size";
    EXPECT_EQ(tag(wave, 8), "WAVE");
    EXPECT_EQ(tag(wave, 12), "fmt ");
    EXPECT_EQ(le32(wave, 16), 16u) << "fmt chunk size";
    EXPECT_EQ(le16(wave, 20), 1u) << "PCM";
    EXPECT_EQ(le16(wave, 22), 1u) << "mono";
    EXPECT_EQ(le32(wave, 24), 44100u) << "sample rate";
    EXPECT_EQ(le32(wave, 28), 44100u * bytesPerSample) << "byte rate";
    EXPECT_EQ(le16(wave, 32), bytesPerSample) << "block align";
    EXPECT_EQ(le16(wave, 34), form.bitsPerSample);
    EXPECT_EQ(tag(wave, 36), "data");
    EXPECT_EQ(le32(wave, 40), form.sampleCount * bytesPerSample) << "data size";
}

// Gentle on the ear: no sample at or near full scale, no offset, and the last sample is
// silence (0, or 128 for 8-bit), so the end gives no click.
TEST_P(SoundFormTest, StaysClearOfClippingAndEndsInSilence)
{
    const SoundForm form = GetParam();
    const Bytes wave = readResource(form.name);
    ASSERT_EQ(wave.size(), 44u + form.sampleCount * form.bitsPerSample / 8) << form.name;
    const std::vector<double> samples = waveSamples(wave);
    double largest = 0.0;
    for (double x : samples) largest = std::max(largest, std::abs(x));
    EXPECT_LT(largest, 0.95);
    EXPECT_GT(largest, 0.3) << "audible at all";
    const double mean = std::accumulate(samples.begin(), samples.end(), 0.0) / static_cast<double>(samples.size());
    EXPECT_LT(std::abs(mean), 0.02) << "DC offset";
    if (form.bitsPerSample == 8)
        EXPECT_EQ(wave.back(), 128u) << "8-bit silence is 128";
    else
        EXPECT_EQ(samples.back(), 0.0);
}

INSTANTIATE_TEST_SUITE_P(Committed, SoundFormTest, testing::ValuesIn(soundForms),
                         [](const testing::TestParamInfo<SoundForm>& info) {
                             const std::string name = info.param.name;
                             return name.substr(0, name.find('.'));
                         });

std::vector<double> committedSamples(const char* name)
{
    return waveSamples(readResource(name));
}

// Turn: a bright tone, loudest within the first 40 ms, gone by about 0.25 s, silent to the end.
TEST(SoundCharacterTest, TurnIsABrightPingThatDiesAwayEarly)
{
    const std::vector<double> samples = committedSamples("turn.wav");
    ASSERT_EQ(samples.size(), 18081u);
    const double window = 0.005;
    EXPECT_LT(loudestWindowStart(samples, window), 0.040 - window);
    const double peak = levelAt(samples, loudestWindowStart(samples, window), window);
    EXPECT_LT(levelAt(samples, 0.25, 0.01), 0.02 * peak) << "dies away by about 0.25 s";
    double after = 0.0;
    for (std::size_t i = static_cast<std::size_t>(0.3 * soundRate); i < samples.size(); ++i)
        after = std::max(after, std::abs(samples[i]));
    EXPECT_LE(after, 1.0 / 32768) << "silent from 0.3 s to the end";

    EXPECT_GT(periodicity(samples, 0.0, 0.05), 0.9) << "a tone, not noise";
    int crossings = 0;
    const auto end = static_cast<std::size_t>(0.05 * soundRate);
    for (std::size_t i = 1; i < end; ++i) crossings += (samples[i - 1] < 0) != (samples[i] < 0);
    EXPECT_GT(crossings / 2 / 0.05, 1000.0) << "bright: the tone sits above 1 kHz";
}

// Move: a short noise-like tick, loudest at once, fading over its whole length.
TEST(SoundCharacterTest, MoveIsANoiseTickLoudestAtOnce)
{
    const std::vector<double> samples = committedSamples("move.wav");
    ASSERT_EQ(samples.size(), 5014u);
    EXPECT_LT(loudestWindowStart(samples, 0.005), 0.005);
    const double start = levelAt(samples, 0.0, 0.01);
    double previous = start;
    for (double t = 0.01; t + 0.01 <= 0.11; t += 0.01) {
        const double level = levelAt(samples, t, 0.01);
        EXPECT_LT(level, previous * 1.1) << "still fading at " << t << " s";
        previous = level;
    }
    EXPECT_GT(levelAt(samples, 0.05, 0.01), 0.05 * start) << "fades over its length, not at once";
    EXPECT_LT(levelAt(samples, 0.10, 0.0137), 0.05 * start) << "faded out at the end";
    EXPECT_LT(periodicity(samples, 0.0, 0.06), 0.5) << "noise-like";
}

// Rows cleared: a noise-like burst, loud for about 0.4 s, then fading out.
TEST(SoundCharacterTest, RowsClearedIsALongNoiseBurstThenAFade)
{
    const std::vector<double> samples = committedSamples("rowsCleared.wav");
    ASSERT_EQ(samples.size(), 28416u);
    std::vector<double> held;
    for (double t = 0.02; t + 0.02 <= 0.39; t += 0.02) held.push_back(levelAt(samples, t, 0.02));
    const double mean = std::accumulate(held.begin(), held.end(), 0.0) / static_cast<double>(held.size());
    EXPECT_GT(mean, 0.1) << "loud";
    for (std::size_t i = 0; i < held.size(); ++i)
        EXPECT_NEAR(held[i], mean, 0.3 * mean) << "steady until about 0.4 s, window " << i;
    // A fade that begins early drags the whole stretch down evenly; compare its end with its start.
    EXPECT_GT(levelAt(samples, 0.34, 0.04), 0.8 * levelAt(samples, 0.02, 0.1)) << "still loud at 0.38 s";
    EXPECT_LT(levelAt(samples, 0.55, 0.02), 0.6 * mean) << "fading after 0.4 s";
    EXPECT_LT(levelAt(samples, 0.62, 0.02), 0.1 * mean) << "faded out at the end";
    EXPECT_LT(periodicity(samples, 0.05, 0.15), 0.5) << "noise-like";
}

// Hard drop: a loud noise-like burst, steady for about 0.1 s, then falling away.
TEST(SoundCharacterTest, HardDropIsALoudSteadyBurstThenFalls)
{
    const std::vector<double> samples = committedSamples("hardDrop.wav");
    ASSERT_EQ(samples.size(), 8774u);
    std::vector<double> held;
    for (double t = 0.005; t + 0.01 <= 0.1; t += 0.01) held.push_back(levelAt(samples, t, 0.01));
    const double mean = std::accumulate(held.begin(), held.end(), 0.0) / static_cast<double>(held.size());
    EXPECT_GT(mean, 0.15) << "loud";
    for (std::size_t i = 0; i < held.size(); ++i)
        EXPECT_NEAR(held[i], mean, 0.3 * mean) << "steady for about 0.1 s, window " << i;
    EXPECT_GT(levelAt(samples, 0.07, 0.03), 0.8 * levelAt(samples, 0.005, 0.03)) << "still loud at 0.1 s";
    EXPECT_LT(levelAt(samples, 0.15, 0.01), 0.6 * mean) << "falling away after 0.1 s";
    EXPECT_LT(levelAt(samples, 0.185, 0.01), 0.1 * mean) << "faded out at the end";
    EXPECT_LT(periodicity(samples, 0.0, 0.1), 0.5) << "noise-like";
}

// The measures themselves, on made-up waves, so a broken measure cannot pass a broken sound.
TEST(SoundMeasureTest, TellsToneFromNoiseAndFindsTheLoudestWindow)
{
    std::vector<double> tone(4410), noise(4410);
    std::uint32_t state = 12345;
    for (std::size_t i = 0; i < tone.size(); ++i) {
        tone[i] = (i < 2205 ? 0.1 : 0.5) * std::sin(2.0 * 3.14159265358979 * 700.0 * static_cast<double>(i) / soundRate);
        state = state * 1664525u + 1013904223u;
        noise[i] = static_cast<double>(state >> 8) / 8388608.0 - 1.0;
    }
    EXPECT_GT(periodicity(tone, 0.0, 0.1), 0.95);
    EXPECT_LT(periodicity(noise, 0.0, 0.1), 0.2);
    EXPECT_GE(loudestWindowStart(tone, 0.01), 0.05);
    EXPECT_NEAR(levelAt(tone, 0.06, 0.02), 0.5 / std::sqrt(2.0), 0.01);
}

} // namespace
