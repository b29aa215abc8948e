// The PCM converter: channel and width conversion at one rate, and resampling with the flush
// that gives back the samples the resampler holds at the end of a source.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "join/PcmConverter.h"

namespace qm {
namespace {

using Samples = std::vector<std::int16_t>;

void Configure(PcmConverter& converter, int fromChannels, int fromHz, int fromBits, int toChannels, int toHz,
               int toBits) {
    converter.Reset();
    converter.source = {fromChannels, fromHz, fromBits};
    converter.target = {toChannels, toHz, toBits};
    converter.Prepare();
}

Samples Tone(int samples, int rateHz, double hz, double amplitude = 0.5) {
    Samples tone(static_cast<std::size_t>(samples));
    for (int i = 0; i < samples; ++i) {
        tone[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(
            std::lround(amplitude * 32767.0 * std::sin(2.0 * std::numbers::pi * hz * i / rateHz)));
    }
    return tone;
}

// Feeds whole blocks of 1152 samples, flushes, and collects both output channels.
struct Converted {
    Samples left, right;
    std::vector<int> blockCounts;
};
Converted RunBlocks(PcmConverter& converter, const Samples& left, const Samples& right) {
    constexpr int kBlock = 1152;
    Converted result;
    auto collect = [&](int count) {
        const auto* l = static_cast<const std::int16_t*>(converter.LeftOutput());
        result.left.insert(result.left.end(), l, l + count);
        if (converter.target.channels == 2) {
            const auto* r = static_cast<const std::int16_t*>(converter.RightOutput());
            result.right.insert(result.right.end(), r, r + count);
        }
    };
    for (std::size_t at = 0; at < left.size(); at += kBlock) {
        const int n = static_cast<int>(std::min<std::size_t>(kBlock, left.size() - at));
        const int count = converter.Process(left.data() + at, right.empty() ? nullptr : right.data() + at, n);
        result.blockCounts.push_back(count);
        collect(count);
    }
    collect(converter.Flush());
    return result;
}

double Rms(const Samples& samples, std::size_t from, std::size_t to) {
    double sum = 0;
    for (std::size_t i = from; i < to; ++i) sum += double(samples[i]) * samples[i];
    return std::sqrt(sum / double(to - from));
}

// At one rate: stereo to mono is the floor of the mean, mono to stereo repeats the left
// channel, and the width conversions map 8-bit unsigned and 16-bit signed onto each other.
TEST(PcmConverter, SameRateConversionsGiveExactSamples) {
    struct Case {
        const char* name;
        int fromChannels, fromBits, toChannels, toBits;
        std::vector<int> left, right;        // input, in the source width
        std::vector<int> outLeft, outRight;  // expected, in the target width
    };
    const std::vector<Case> cases = {
        {"stereo to mono floors the mean",
         2,
         16,
         1,
         16,
         {-3, 3, 32767, -32768},
         {0, 0, 32767, -32768},
         {-2, 1, 32767, -32768},
         {}},
        {"mono to stereo repeats left", 1, 16, 2, 16, {5, -7, 1000}, {}, {5, -7, 1000}, {5, -7, 1000}},
        {"8 to 16 bits", 1, 8, 1, 16, {0, 128, 255, 129}, {}, {-32768, 0, 32512, 256}, {}},
        {"16 to 8 bits", 1, 16, 1, 8, {-32768, 0, 32767, 255, -1}, {}, {0, 128, 255, 128, 127}, {}},
        {"8-bit stereo to mono on the byte values", 2, 8, 1, 8, {255, 0, 3}, {254, 1, 0}, {254, 0, 1}, {}},
        {"8-bit stereo to 16-bit mono", 2, 8, 1, 16, {128, 0}, {130, 0}, {256, -32768}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PcmConverter converter;
        Configure(converter, c.fromChannels, 44100, c.fromBits, c.toChannels, 44100, c.toBits);
        std::vector<std::uint8_t> left8, right8;
        Samples left16, right16;
        for (int v : c.left) left8.push_back(std::uint8_t(v)), left16.push_back(std::int16_t(v));
        for (int v : c.right) right8.push_back(std::uint8_t(v)), right16.push_back(std::int16_t(v));
        const void* l = c.fromBits == 8 ? static_cast<const void*>(left8.data()) : left16.data();
        const void* r = c.fromBits == 8 ? static_cast<const void*>(right8.data()) : right16.data();
        const int count = converter.Process(l, c.right.empty() ? nullptr : r, static_cast<int>(c.left.size()));
        ASSERT_EQ(count, static_cast<int>(c.outLeft.size()));
        EXPECT_EQ(converter.Flush(), 0);
        auto read = [&](const void* data, int i) {
            return c.toBits == 8 ? int(static_cast<const std::uint8_t*>(data)[i])
                                 : int(static_cast<const std::int16_t*>(data)[i]);
        };
        for (int i = 0; i < count; ++i) {
            EXPECT_EQ(read(converter.LeftOutput(), i), c.outLeft[std::size_t(i)]) << "left " << i;
            if (!c.outRight.empty()) {
                EXPECT_EQ(read(converter.RightOutput(), i), c.outRight[std::size_t(i)]) << "right " << i;
            }
        }
    }
}

// Resampling keeps the length (input × factor once flushed, to within a few samples), the
// level of a tone, and the channel layout the target asks for.
TEST(PcmConverter, ResamplingKeepsLengthLevelAndLayout) {
    struct Case {
        const char* name;
        int fromChannels, fromHz, toChannels, toHz;
        double factor;
    };
    const std::vector<Case> cases = {
        {"22050 mono to 44100 stereo", 1, 22050, 2, 44100, 2.0},
        {"48000 stereo to 44100 mono", 2, 48000, 1, 44100, 0.91875},
        {"44100 stereo to 32000 stereo", 2, 44100, 2, 32000, 32000.0 / 44100.0},
        {"8000 mono to 48000 mono", 1, 8000, 1, 48000, 6.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int inputSamples = c.fromHz * 2 + 77;  // two seconds and a partial block
        const Samples left = Tone(inputSamples, c.fromHz, 440.0);
        const Samples right = c.fromChannels == 2 ? Tone(inputSamples, c.fromHz, 440.0) : Samples{};
        PcmConverter converter;
        Configure(converter, c.fromChannels, c.fromHz, 16, c.toChannels, c.toHz, 16);
        EXPECT_DOUBLE_EQ(converter.Factor(), c.factor);
        const Converted out = RunBlocks(converter, left, right);

        const double expected = inputSamples * c.factor;
        EXPECT_NEAR(double(out.left.size()), expected, c.factor + 1.0);
        // A full block gives about factor × 1152 samples (the resampler's delay aside).
        EXPECT_NEAR(out.blockCounts.at(3), 1152 * c.factor, 1152 * c.factor * 0.05);
        if (c.toChannels == 2) {
            ASSERT_EQ(out.right.size(), out.left.size());
            if (c.fromChannels == 1) {
                EXPECT_EQ(out.right, out.left);
            }
        } else {
            EXPECT_TRUE(out.right.empty());
        }
        // A 0.5 full-scale sine has an RMS of 0.5 / sqrt(2) of full scale.
        const std::size_t middle = out.left.size() / 2;
        EXPECT_NEAR(Rms(out.left, middle - 4000, middle + 4000), 0.5 * 32767 / std::sqrt(2.0), 300.0);
    }
}

// Without the flush the last samples of every source are lost at the seam; with it the
// converted tail ends where the input ends (the tone's last quarter is still there).
TEST(PcmConverter, FlushReturnsTheHeldBackTail) {
    PcmConverter converter;
    Configure(converter, 1, 22050, 16, 1, 44100, 16);
    const Samples left = Tone(1152, 22050, 440.0);
    const int firstBlock = converter.Process(left.data(), nullptr, 1152);
    const int tail = converter.Flush();
    EXPECT_GT(tail, 0);
    EXPECT_NEAR(firstBlock + tail, 2304, 2);
    EXPECT_EQ(converter.Flush(), 0) << "a second flush has nothing left";
}

// A source that ends before the resampler gave anything (an empty or very short source)
// flushes to nothing, also when the one source channel is repeated into two: the output
// buffers may never have been allocated then.
TEST(PcmConverter, FlushWithNothingHeldBackGivesNothing) {
    for (const int toChannels : {1, 2}) {
        PcmConverter converter;
        Configure(converter, 1, 22050, 16, toChannels, 44100, 16);
        EXPECT_EQ(converter.Flush(), 0) << toChannels;
        EXPECT_EQ(converter.Process(nullptr, nullptr, 0), 0) << toChannels;
        EXPECT_EQ(converter.Flush(), 0) << toChannels;
    }
}

// A fresh Reset and Prepare per source: the second source does not start with the first's
// held-back samples.
TEST(PcmConverter, ResetStartsFreshResamplerState) {
    PcmConverter converter;
    Configure(converter, 1, 22050, 16, 1, 44100, 16);
    const Samples loud = Tone(1152, 22050, 440.0, 0.9);
    converter.Process(loud.data(), nullptr, 1152);  // not flushed: state left behind
    converter.Reset();
    converter.source = {1, 22050, 16};
    converter.target = {1, 44100, 16};
    converter.Prepare();
    const Samples silence(1152, 0);
    const int count = converter.Process(silence.data(), nullptr, 1152);
    const auto* out = static_cast<const std::int16_t*>(converter.LeftOutput());
    for (int i = 0; i < count; ++i) ASSERT_EQ(out[i], 0) << "sample " << i;
}

}  // namespace
}  // namespace qm
