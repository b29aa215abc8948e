// The re-encoding engine: constant-bit-rate pieces with the source's or the chosen encoder
// settings, linear fades, and pieces cut on source frame boundaries.

#include <gtest/gtest.h>

#include <cmath>

#include "EngineTestKit.h"
#include "stream/MpegHeader.h"

namespace qm {
namespace {

using namespace enginetest;

struct ParamsCase {
    const char* name;
    fixtures::Channels sourceChannels;
    int sourceRateHz;
    int sourceKbps;
    bool sourceVbr;
    int rateHz, kbps, mode;  // chosen; (0, 0, 4) = as the source
    long expectedRateHz;
    int expectedChannels;
    int expectedKbps;  // 0: not checked exactly (a VBR source's snapped average)
};

class ReencodeParams : public ::testing::TestWithParam<ParamsCase> {};

// Every frame of a piece has the expected rate, mode and bit rate (constant), there is no
// Xing/Info frame, and mpg123 decodes it cleanly to the expected rate and channel count.
TEST_P(ReencodeParams, PiecesAreConstantBitRateWithTheExpectedFormat) {
    const ParamsCase c = GetParam();
    fixtures::TempDir dir;
    fixtures::EncodeSpec spec = NoiseSpec(3.0, fixtures::XingFrame::Yes);
    spec.channels = c.sourceChannels;
    spec.sampleRateHz = c.sourceRateHz;
    spec.kbps = c.sourceKbps;
    spec.vbr = c.sourceVbr;
    const Source src = WriteSource(dir / "s.mp3", spec);
    ReencodeSplitter engine;
    engine.SetEncoderParams(c.rateHz, c.kbps, c.mode);
    ASSERT_TRUE(engine.Open(src.path));
    engine.SetWriteTag(false);
    bool endReached = false;
    ASSERT_TRUE(engine.WritePieceByDuration(dir / "p1.mp3", 10, 1, 2, 1, 0, &endReached)) << engine.LastError();
    ASSERT_TRUE(engine.WritePieceToEnd(dir / "p2.mp3", 2, 2, 2, 0)) << engine.LastError();
    for (const char* name : {"p1.mp3", "p2.mp3"}) {
        const Piece p = ReadPiece(dir / name);
        EXPECT_TRUE(p.xing.empty()) << name;
        ASSERT_GT(p.frames.size(), 10u) << name;
        const int firstKbps = DecodeMp3FrameHeader(p.frames[0].data()).bitRateKbps;
        if (c.expectedKbps != 0) {
            EXPECT_EQ(firstKbps, c.expectedKbps) << name;
        }
        for (const Bytes& f : p.frames) {
            const Mp3FrameHeader h = DecodeMp3FrameHeader(f.data());
            EXPECT_EQ(h.bitRateKbps, firstKbps);
            EXPECT_EQ(h.sampleRateHz, c.expectedRateHz);
            EXPECT_EQ(h.channelMode == 3, c.expectedChannels == 1);
        }
        const fixtures::Decoded d = fixtures::DecodeWithMpg123(dir / name);
        EXPECT_TRUE(d.ok) << name;
        EXPECT_EQ(d.rateHz, c.expectedRateHz) << name;
        EXPECT_EQ(d.channels, c.expectedChannels) << name;
    }
    if (c.kbps != 0 && c.rateHz != 0) {
        EXPECT_EQ(engine.GetBitRate(), c.kbps);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Params, ReencodeParams,
    ::testing::Values(
        ParamsCase{"AsSource128", fixtures::Channels::JointStereo, 44100, 128, false, 0, 0, 4, 44100, 2, 128},
        ParamsCase{"Chosen22kMono64", fixtures::Channels::JointStereo, 44100, 128, false, 22050, 64, 3, 22050, 1, 64},
        ParamsCase{"MonoStaysMono", fixtures::Channels::Mono, 48000, 64, false, 0, 0, 4, 48000, 1, 64},
        ParamsCase{"Mpeg2AsSource", fixtures::Channels::Stereo, 24000, 48, false, 0, 0, 4, 24000, 2, 48},
        ParamsCase{"VbrSourceSnapped", fixtures::Channels::JointStereo, 44100, 0, true, 0, 0, 4, 44100, 2, 0},
        ParamsCase{"PartlyChosenMeansSource", fixtures::Channels::JointStereo, 44100, 128, false, 22050, 0, 1, 44100, 2, 128}),
    [](const auto& info) { return std::string(info.param.name); });

// RMS of a window of one channel of interleaved PCM.
double Rms(const std::vector<std::int16_t>& pcm, int channels, long first, long count) {
    double sum = 0.0;
    for (long i = first; i < first + count; ++i) {
        const double v = pcm[static_cast<std::size_t>(i * channels)];
        sum += v * v;
    }
    return std::sqrt(sum / static_cast<double>(count));
}

// Source samples are delayed in the output by the encoder's and the decoder's delays.
constexpr long kCodecDelaySamples = 576 + 529;
constexpr long kRate = 44100;
constexpr long kWindow = 441;  // 10 ms

struct FadeCase {
    const char* name;
    int pieceTenths;  // 0: the piece is written to the end after skipTenths
    int skipTenths;
    int fadeInTenths, fadeOutTenths;
    double sourceSeconds;
    // Expected gain (0..1) at a time in seconds from the piece's first source sample.
    double (*gain)(double t);
    double expectedSeconds;  // length of the piece's audio (without codec delay and padding)
};

class ReencodeFades : public ::testing::TestWithParam<FadeCase> {};

// The fades are linear in amplitude: the RMS of 10 ms windows follows the expected gain
// curve; it never exceeds the source's level, and the piece is as long as expected.
TEST_P(ReencodeFades, FadesAreLinearRamps) {
    const FadeCase c = GetParam();
    fixtures::TempDir dir;
    fixtures::EncodeSpec spec;
    spec.seconds = c.sourceSeconds;
    spec.signal = fixtures::Signal::Tone;
    spec.toneHz = 1000.0;
    spec.amplitude = 0.5;
    spec.channels = fixtures::Channels::Stereo;
    const Source src = WriteSource(dir / "tone.mp3", spec);
    ReencodeSplitter engine;
    ASSERT_TRUE(engine.Open(src.path));
    engine.SetFadeIn(c.fadeInTenths > 0, c.fadeInTenths);
    engine.SetFadeOut(c.fadeOutTenths > 0, c.fadeOutTenths);
    bool endReached = false;
    if (c.skipTenths > 0) {
        ASSERT_TRUE(engine.SkipDuration(c.skipTenths, &endReached));
    }
    const auto path = dir / "piece.mp3";
    if (c.pieceTenths > 0) {
        ASSERT_TRUE(engine.WritePieceByDuration(path, c.pieceTenths, 1, 1, 1, 0, &endReached));
    } else {
        ASSERT_TRUE(engine.WritePieceToEnd(path, 1, 1, 1, 0));
    }
    const fixtures::Decoded d = fixtures::DecodeWithMpg123(path, true);
    ASSERT_TRUE(d.ok);
    ASSERT_EQ(d.channels, 2);
    // The full level: the RMS of the same tone re-encoded without a fade.
    ReencodeSplitter plain;
    ASSERT_TRUE(plain.Open(src.path));
    ASSERT_TRUE(plain.WritePieceByDuration(dir / "plain.mp3", 20, 1, 1, 1, 0, &endReached));
    const fixtures::Decoded reference = fixtures::DecodeWithMpg123(dir / "plain.mp3", true);
    const double level = Rms(reference.pcm, 2, kRate / 2, kRate);
    const double audioSamples = static_cast<double>(d.samples - kCodecDelaySamples);
    EXPECT_NEAR(audioSamples / kRate, c.expectedSeconds, 2.5 * 1152.0 / kRate);
    // The first two frames of a piece carry the codecs' start-up (the decoder lacks the bit
    // reservoir of the frames before the piece), so the curve is checked after them.
    for (long first = kCodecDelaySamples + 2 * 1152; first + kWindow <= kCodecDelaySamples + static_cast<long>(c.expectedSeconds * kRate) - 1152;
         first += kWindow) {
        const double t = static_cast<double>(first - kCodecDelaySamples + kWindow / 2) / kRate;
        const double left = Rms(d.pcm, 2, first, kWindow) / level;
        EXPECT_NEAR(left, c.gain(t), 0.06) << "at " << t << " s";
        EXPECT_LE(left, 1.06) << "at " << t << " s";
    }
}

// Frames of 1,152 samples: the main part ends on the frame boundary at or after its target.
double FrameCeil(double seconds) { return std::ceil(seconds * kRate / 1152.0) * 1152.0 / kRate; }

INSTANTIATE_TEST_SUITE_P(
    Fades, ReencodeFades,
    ::testing::Values(
        // 4 s piece, 1 s fade-in, 1 s fade-out: the fade-out starts where the main part ends.
        FadeCase{"InAndOut", 40, 0, 10, 10, 8.0,
                 [](double t) {
                     const double outStart = FrameCeil(3.0);
                     if (t < 1.0) return t;
                     if (t < outStart) return 1.0;
                     return std::max(0.0, 1.0 - (t - outStart));
                 },
                 FrameCeil(3.0) + FrameCeil(1.0)},
        // A fade-out longer than the piece is not shortened: the piece is the whole fade.
        FadeCase{"FadeOutLongerThanPiece", 10, 0, 0, 30, 8.0,
                 [](double t) { return std::max(0.0, 1.0 - t / 3.0); }, FrameCeil(3.0)},
        // To the end, with a fade-out longer than what is left: it fades until the source ends,
        // so its gain falls from 1 to 1 - 1.5/5 = 0.7 over the last 1.5 seconds.
        FadeCase{"FadeOutLongerThanTheRest", 0, 15, 0, 50, 3.0,
                 [](double t) { return 1.0 - t / 5.0; }, 3.0 - FrameCeil(1.5)}),
    [](const auto& info) { return std::string(info.param.name); });

// By size at a lower bit rate than the source's, a piece takes more source audio than the
// direct engine would: the limit counts encoded bytes.
TEST(ReencodeSplitter, SizeCountsEncodedBytes) {
    fixtures::TempDir dir;
    const Source src = WriteSource(dir / "s.mp3", NoiseSpec(10.0, fixtures::XingFrame::No));
    constexpr std::uint64_t kSize = 48000;  // three seconds at 128 kbit/s, six at 64
    struct Case {
        EngineKind kind;
        double expectedSeconds;
    };
    for (const Case c : {Case{EngineKind::Direct, 3.0}, Case{EngineKind::Reencode, 6.0}}) {
        auto engine = MakeEngine(c.kind);
        engine->SetEncoderParams(44100, 64, 1);
        ASSERT_TRUE(engine->Open(src.path));
        engine->SetWriteTag(false);
        bool endReached = false;
        ASSERT_TRUE(engine->WritePieceBySize(dir / "p.mp3", kSize, 1, 2, 1, 0, &endReached));
        const Piece p = ReadPiece(dir / "p.mp3");
        EXPECT_GE(p.audioBytes, kSize);
        EXPECT_LT(p.audioBytes, kSize + 2 * 1045);  // a frame or two, plus the flush
        const fixtures::Decoded d = fixtures::DecodeWithMpg123(dir / "p.mp3");
        // The re-encoded piece adds the encoder's delay and the padding of its last frame.
        const double seconds = static_cast<double>(d.samples) / kRate;
        EXPECT_GE(seconds, c.expectedSeconds) << EngineName(c.kind);
        EXPECT_LT(seconds, c.expectedSeconds + 0.2) << EngineName(c.kind);
    }
}

// Consecutive re-encoded pieces by duration: each holds the asked duration (the three frames
// it repeats from the piece before included), and together they cover the source.
TEST(ReencodeSplitter, PiecesByDurationCoverTheSource) {
    fixtures::TempDir dir;
    const Source src = WriteSource(dir / "s.mp3", NoiseSpec(7.0, fixtures::XingFrame::Yes));
    ReencodeSplitter engine;
    ASSERT_TRUE(engine.Open(src.path));
    std::int64_t total = 0;
    bool endReached = false;
    const std::int64_t asked = static_cast<std::int64_t>(std::ceil(3.0 * kRate / 1152.0)) * 1152;
    for (int i = 1; i <= 2; ++i) {
        const auto path = dir / ("p" + std::to_string(i) + ".mp3");
        ASSERT_TRUE(engine.WritePieceByDuration(path, 30, i, 3, i, 0, &endReached));
        EXPECT_FALSE(endReached);
        const fixtures::Decoded d = fixtures::DecodeWithMpg123(path);
        EXPECT_TRUE(d.ok);
        // Plus the encoder's delay and at most two frames of flush and padding.
        EXPECT_GE(d.samples, asked) << i;
        EXPECT_LE(d.samples, asked + kCodecDelaySamples + 2 * 1152) << i;
        total += d.samples;
    }
    ASSERT_TRUE(engine.WritePieceToEnd(dir / "p3.mp3", 3, 3, 3, 0));
    const fixtures::Decoded last = fixtures::DecodeWithMpg123(dir / "p3.mp3");
    EXPECT_TRUE(last.ok);
    total += last.samples;
    const std::int64_t sourceSamples = static_cast<std::int64_t>(src.audio.size()) * 1152;
    EXPECT_GE(total, sourceSamples);
    EXPECT_LE(total, sourceSamples + 6 * 1152 + 3 * (kCodecDelaySamples + 2 * 1152));
}

}  // namespace
}  // namespace qm
