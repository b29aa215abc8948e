// The re-encoding engine: constant-bit-rate pieces with the source's or the chosen encoder
// settings, linear fades, and pieces cut on source frame boundaries.

#include <gtest/gtest.h>

#include <lame/lame.h>

#include <cmath>
#include <map>

#include "EngineTestKit.h"
#include "stream/Crc16.h"
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
    int rateHz, kbps;  // chosen; (0, 0, std::nullopt) = as the source
    std::optional<ChannelMode> mode;
    long expectedRateHz;
    int expectedChannels;
    int expectedKbps;         // 0: not checked exactly (a VBR source's snapped average)
    int tagPaddingBytes = 0;  // an ID3v2 tag with this much padding before the audio
};

class ReencodeParams : public ::testing::TestWithParam<ParamsCase> {};

// A re-encoded piece is headed by the encoder's Info frame: "Info" (one bit rate), the
// piece's frame and byte counts, and a LAME extension with the encoder's delay (576 samples),
// a padding that ends the last frame, and CRCs that hold.
void ExpectInfoFrameDescribesPiece(const Piece& p) {
    constexpr int kLameEncoderDelaySamples = 576;
    XingLayout layout;
    ASSERT_TRUE(ParseXingLayout(p.xing, &layout));
    // The word and the flags come just before the frame count.
    const auto word = p.xing.begin() + static_cast<long>(layout.frameCountOffset) - 8;
    EXPECT_EQ(std::string(word, word + 4), "Info");
    EXPECT_EQ(ReadBigEndian32(&p.xing[layout.frameCountOffset]), p.frames.size());
    EXPECT_EQ(ReadBigEndian32(&p.xing[layout.byteCountOffset]), p.data.size() - p.tagBytes);
    LameExtension lame;
    ASSERT_TRUE(ReadLameExtension(p.xing, layout, &lame));
    EXPECT_EQ(lame.encoderDelaySamples, kLameEncoderDelaySamples);
    EXPECT_LT(lame.paddingSamples, 1152 + 529 + 1152);
    EXPECT_EQ(lame.musicLengthBytes, p.data.size() - p.tagBytes);
    EXPECT_EQ(lame.tagCrc, ComputeLameTagCrc(p.xing, layout));
    std::uint16_t crc = 0;
    for (const Bytes& f : p.frames) crc = Crc16Update(crc, f);
    EXPECT_EQ(lame.musicCrc, crc);
}

// Every frame of a piece has the expected rate, mode and bit rate (constant), an Info frame
// describes the piece, and mpg123 decodes it cleanly to the expected rate and channel count.
TEST_P(ReencodeParams, PiecesAreConstantBitRateWithTheExpectedFormat) {
    const ParamsCase c = GetParam();
    fixtures::TempDir dir;
    fixtures::EncodeSpec spec = NoiseSpec(3.0, fixtures::XingFrame::Yes);
    spec.channels = c.sourceChannels;
    spec.sampleRateHz = c.sourceRateHz;
    spec.kbps = c.sourceKbps;
    spec.vbr = c.sourceVbr;
    fixtures::Id3v2Spec tag;
    tag.title = "Tagged";
    tag.paddingBytes = c.tagPaddingBytes;
    const Source src = WriteSource(dir / "s.mp3", spec, c.tagPaddingBytes > 0 ? &tag : nullptr);
    ReencodeSplitter engine;
    engine.SetEncoderParams(c.rateHz, c.kbps, c.mode);
    ASSERT_TRUE(engine.Open(src.path));
    engine.SetWriteTag(false);
    bool endReached = false;
    ASSERT_TRUE(engine.WritePieceByDuration(dir / "p1.mp3", 10, {1, 2, 1, 0}, &endReached)) << engine.LastError();
    ASSERT_TRUE(engine.WritePieceToEnd(dir / "p2.mp3", {2, 2, 2, 0})) << engine.LastError();
    // The first piece holds the source frames that make up a second, the second the rest.
    const Piece source = ReadPiece(src.path);
    const long samplesPerFrame = DecodeMp3FrameHeader(source.frames[0].data()).samplesPerFrame;
    const long firstFrames = (c.sourceRateHz + samplesPerFrame - 1) / samplesPerFrame;
    const std::map<std::string, long> sourceFrames = {
        {"p1.mp3", firstFrames}, {"p2.mp3", static_cast<long>(source.frames.size()) - firstFrames}};
    for (const char* name : {"p1.mp3", "p2.mp3"}) {
        const Piece p = ReadPiece(dir / name);
        ASSERT_GT(p.frames.size(), 10u) << name;
        // LAME leaves the Info frame out where a frame of the piece's bit rate cannot hold it
        // (header, side information, 156 bytes of Xing header and LAME extension): MPEG-2 at
        // 48 kbit/s, 8 kbit/s. The piece is then plain audio frames, as before.
        constexpr std::size_t kInfoBytes = 4 + 156;
        const Mp3FrameHeader first = DecodeMp3FrameHeader(p.frames[0].data());
        if (p.frames[0].size() >= kInfoBytes + static_cast<std::size_t>(first.sideInfoBytes)) {
            ExpectInfoFrameDescribesPiece(p);
        } else {
            EXPECT_TRUE(p.xing.empty()) << name;
        }
        const int firstKbps = DecodeMp3FrameHeader(p.frames[0].data()).bitRateKbps;
        if (c.expectedKbps != 0) {
            EXPECT_EQ(firstKbps, c.expectedKbps) << name;
        }
        for (const Bytes& f : p.frames) {
            const Mp3FrameHeader h = DecodeMp3FrameHeader(f.data());
            EXPECT_EQ(h.bitRateKbps, firstKbps);
            EXPECT_EQ(h.sampleRateHz, c.expectedRateHz);
            EXPECT_EQ(h.channelMode == ChannelMode::Mono, c.expectedChannels == 1);
        }
        const fixtures::Decoded d = fixtures::DecodeWithMpg123(dir / name);
        EXPECT_TRUE(d.ok) << name;
        EXPECT_EQ(d.rateHz, c.expectedRateHz) << name;
        EXPECT_EQ(d.channels, c.expectedChannels) << name;
        // Not resampled, and with the codec's delay and padding declared in the Info frame,
        // a piece decodes to exactly the samples of its source frames.
        if (c.expectedRateHz == c.sourceRateHz && !p.xing.empty()) {
            EXPECT_EQ(d.samples, sourceFrames.at(name) * samplesPerFrame) << name;
        }
    }
    if (c.expectedKbps != 0) {
        EXPECT_EQ(engine.GetBitRate(), c.expectedKbps);
    }
}

INSTANTIATE_TEST_SUITE_P(Params, ReencodeParams,
                         ::testing::Values(ParamsCase{"AsSource128", fixtures::Channels::JointStereo, 44100, 128, false,
                                                      0, 0, std::nullopt, 44100, 2, 128},
                                           ParamsCase{"Chosen22kMono64", fixtures::Channels::JointStereo, 44100, 128,
                                                      false, 22050, 64, ChannelMode::Mono, 22050, 1, 64},
                                           ParamsCase{"MonoStaysMono", fixtures::Channels::Mono, 48000, 64, false, 0, 0,
                                                      std::nullopt, 48000, 1, 64},
                                           ParamsCase{"Mpeg2AsSource", fixtures::Channels::Stereo, 24000, 48, false, 0,
                                                      0, std::nullopt, 24000, 2, 48},
                                           // Frames of 36 and 26 bytes, which the decoder takes several of
                                           // before it returns the first one's audio.
                                           ParamsCase{"Mpeg2At16kSmallFrames", fixtures::Channels::Stereo, 16000, 8,
                                                      false, 16000, 64, ChannelMode::JointStereo, 16000, 2, 64},
                                           ParamsCase{"Mpeg2At22kSmallFrames", fixtures::Channels::Stereo, 22050, 8,
                                                      false, 22050, 64, ChannelMode::JointStereo, 22050, 2, 64},
                                           ParamsCase{"VbrSourceSnapped", fixtures::Channels::JointStereo, 44100, 0,
                                                      true, 0, 0, std::nullopt, 44100, 2, 0},
                                           ParamsCase{"PartlyChosenMeansSource", fixtures::Channels::JointStereo, 44100,
                                                      128, false, 22050, 0, ChannelMode::JointStereo, 44100, 2, 128},
                                           // The encoder's rule brings a chosen bit rate into 8..320 kbit/s.
                                           ParamsCase{"ChosenAbove320Is320", fixtures::Channels::JointStereo, 44100,
                                                      128, false, 44100, 400, ChannelMode::JointStereo, 44100, 2, 320},
                                           ParamsCase{"ChosenBelow8Is8", fixtures::Channels::JointStereo, 44100, 128,
                                                      false, 22050, 4, ChannelMode::Mono, 22050, 1, 8},
                                           // The source's bit rate is that of its audio: a large tag does not raise it.
                                           ParamsCase{"TaggedSourceAsSource", fixtures::Channels::JointStereo, 44100,
                                                      128, false, 0, 0, std::nullopt, 44100, 2, 128, 300000}),
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
    int tagPaddingBytes;  // padding of an ID3v2 tag before the audio; 0: no tag
    double sourceSeconds;
    int skipTenths;
    int pieceTenths;  // 0: the piece is written to the end
    int fadeInTenths, fadeOutTenths;
    double expectedSeconds;  // the piece's audio; < 0: everything after the skip
};

class ReencodeFades : public ::testing::TestWithParam<FadeCase> {};

// Frames of 1,152 samples: a piece ends on the frame boundary at or after its length.
double FrameCeil(double seconds) { return std::ceil(seconds * kRate / 1152.0) * 1152.0 / kRate; }

// The fades are linear in amplitude and lie inside the piece: the fade-in rises from silence
// at its first sample, the fade-out reaches silence at its last, wherever the piece ends (at
// its length, or where the source's audio ends, tags or not), and a fade longer than the piece
// is cut off at its edge instead of moving it. The RMS of 10 ms windows follows that curve,
// never exceeds the source's level, and the piece is as long as asked.
TEST_P(ReencodeFades, FadesAreLinearRampsInsideThePiece) {
    const FadeCase c = GetParam();
    fixtures::TempDir dir;
    fixtures::EncodeSpec spec;
    spec.seconds = c.sourceSeconds;
    spec.signal = fixtures::Signal::Tone;
    spec.toneHz = 1000.0;
    spec.amplitude = 0.5;
    spec.channels = fixtures::Channels::Stereo;
    fixtures::Id3v2Spec tag;
    tag.title = "Tagged";
    tag.paddingBytes = c.tagPaddingBytes;
    const Source src = WriteSource(dir / "tone.mp3", spec, c.tagPaddingBytes > 0 ? &tag : nullptr);
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
        ASSERT_TRUE(engine.WritePieceByDuration(path, c.pieceTenths, {1, 1, 1, 0}, &endReached));
    } else {
        ASSERT_TRUE(engine.WritePieceToEnd(path, {1, 1, 1, 0}));
    }
    const fixtures::Decoded d = fixtures::DecodeWithMpg123(path, true);
    ASSERT_TRUE(d.ok);
    ASSERT_EQ(d.channels, 2);
    // The full level: the RMS of the same tone re-encoded without a fade.
    ReencodeSplitter plain;
    ASSERT_TRUE(plain.Open(src.path));
    ASSERT_TRUE(plain.WritePieceByDuration(dir / "plain.mp3", 20, {1, 1, 1, 0}, &endReached));
    const fixtures::Decoded reference = fixtures::DecodeWithMpg123(dir / "plain.mp3", true);
    const double level = Rms(reference.pcm, 2, kRate / 2, kRate);

    const double sourceSeconds = static_cast<double>(src.audio.size()) * 1152.0 / kRate;
    const double length = c.expectedSeconds >= 0 ? c.expectedSeconds : sourceSeconds - FrameCeil(c.skipTenths / 10.0);
    // The Info frame's delay and padding are left out: the piece decodes to its length.
    const double audioSeconds = static_cast<double>(d.samples) / kRate;
    EXPECT_GE(audioSeconds, length);
    EXPECT_LT(audioSeconds, length + 1152.0 / kRate);
    const double fadeIn = c.fadeInTenths / 10.0;
    const double fadeOut = c.fadeOutTenths / 10.0;
    auto gain = [&](double t) {
        const double in = fadeIn > 0 ? std::min(1.0, t / fadeIn) : 1.0;
        const double out = fadeOut > 0 ? std::min(1.0, (length - t) / fadeOut) : 1.0;
        return in * out;
    };
    // The first two frames of the source are the encoder's start-up, and a decoder's last
    // frame its ramp-down; the curve is checked between them.
    for (long first = 2 * 1152; first + kWindow <= static_cast<long>(length * kRate) - 1152; first += kWindow) {
        const double t = static_cast<double>(first + kWindow / 2) / kRate;
        const double left = Rms(d.pcm, 2, first, kWindow) / level;
        EXPECT_NEAR(left, gain(t), 0.06) << "at " << t << " s";
        EXPECT_LE(left, 1.06) << "at " << t << " s";
    }
}

INSTANTIATE_TEST_SUITE_P(Fades, ReencodeFades,
                         ::testing::Values(
                             // 4 s piece, 1 s fade-in, 1 s fade-out.
                             FadeCase{"InAndOut", 0, 8.0, 0, 40, 10, 10, FrameCeil(4.0)},
                             // Fades longer than the piece: only their first or last second is in it.
                             FadeCase{"FadeInLongerThanPiece", 0, 8.0, 0, 10, 20, 0, FrameCeil(1.0)},
                             FadeCase{"FadeOutLongerThanPiece", 0, 8.0, 0, 10, 0, 30, FrameCeil(1.0)},
                             // To the end, with a fade-out longer than what is left: it ends in silence with the
                             // source, so only its last part is in the piece.
                             FadeCase{"FadeOutLongerThanTheRest", 0, 3.0, 15, 0, 0, 50, -1},
                             // A piece by duration that runs into the end of the source fades out there.
                             FadeCase{"DurationPastTheEnd", 0, 3.0, 10, 200, 0, 10, -1},
                             // A large tag before the audio does not shorten the last piece or move its fade.
                             FadeCase{"TaggedSourceToEnd", 300000, 3.0, 10, 0, 0, 10, -1}),
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
        engine->SetEncoderParams(44100, 64, ChannelMode::JointStereo);
        ASSERT_TRUE(engine->Open(src.path));
        engine->SetWriteTag(false);
        bool endReached = false;
        ASSERT_TRUE(engine->WritePieceBySize(dir / "p.mp3", kSize, {1, 2, 1, 0}, &endReached));
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

// Relative RMS difference between count samples (interleaved stereo) of a and b.
double RelativeDifference(const std::vector<std::int16_t>& a, long aFirst, const std::vector<std::int16_t>& b,
                          long bFirst, long count) {
    double diff = 0.0;
    double level = 0.0;
    for (long i = 0; i < 2 * count; ++i) {
        const double x = a[static_cast<std::size_t>(2 * aFirst + i)];
        const double y = b[static_cast<std::size_t>(2 * bFirst + i)];
        diff += (x - y) * (x - y);
        level += y * y;
    }
    return std::sqrt(diff / std::max(1.0, level));
}

// One step of a run over the same source: a skip or a piece, by duration, by size or to the end.
struct RunStep {
    enum Kind { Skip, Duration, Size, ToEnd } kind;
    std::uint64_t value;  // tenths or bytes
};

// Re-encoded pieces hold exactly the audio of their frames, wherever they start: the first
// frame of a piece after a skip or after another piece, and the source's last frame, are
// there in full. Each piece decodes to as many samples as the same source samples encoded on
// their own (less the codec's delay and padding, which its Info frame has the decoder leave
// out), and its first and last frames match the source.
TEST(ReencodeSplitter, PiecesHoldExactlyTheirFrames) {
    fixtures::TempDir dir;
    fixtures::EncodeSpec spec;
    spec.seconds = 6.0;
    spec.signal = fixtures::Signal::Sweep;
    const Source src = WriteSource(dir / "s.mp3", spec);
    const fixtures::Decoded source = fixtures::DecodeWithMpg123(src.path, true);
    ASSERT_TRUE(source.ok);
    const long totalFrames = static_cast<long>(src.audio.size());
    ASSERT_EQ(source.samples, totalFrames * 1152);
    // 128 kbit/s: 16,000 bytes a second.
    auto framesFor = [](std::uint64_t samples) { return static_cast<long>((samples + 1151) / 1152); };
    const std::vector<RunStep> steps = {{RunStep::Skip, 5},
                                        {RunStep::Duration, 15},
                                        {RunStep::Size, 24000},
                                        {RunStep::Duration, 10},
                                        {RunStep::ToEnd, 0}};
    ReencodeSplitter engine;
    ASSERT_TRUE(engine.Open(src.path));
    engine.SetWriteTag(false);
    long frame = 0;
    // Lengths add up from the start, or from the end of the last piece by size: a skip or a
    // piece by duration ends on the first frame boundary at or after their sum.
    long planBase = 0;
    std::uint64_t plannedTenths = 0;
    auto durationFrames = [&](std::uint64_t tenths) {
        plannedTenths += tenths;
        return planBase + framesFor(plannedTenths * kRate / 10) - frame;
    };
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const RunStep step = steps[i];
        long frames = 0;
        bool endReached = false;
        const auto path = dir / ("p" + std::to_string(i) + ".mp3");
        switch (step.kind) {
            case RunStep::Skip:
                ASSERT_TRUE(engine.SkipDuration(static_cast<int>(step.value), &endReached));
                frame += durationFrames(step.value);
                continue;
            case RunStep::Duration:
                ASSERT_TRUE(engine.WritePieceByDuration(path, static_cast<int>(step.value), {1, 1, 1, 0}, &endReached));
                frames = durationFrames(step.value);
                break;
            case RunStep::Size:
                ASSERT_TRUE(engine.WritePieceBySize(path, step.value, {1, 1, 1, 0}, &endReached));
                frames = framesFor((step.value * kRate + 15999) / 16000);
                planBase = frame + frames;
                plannedTenths = 0;
                break;
            case RunStep::ToEnd:
                ASSERT_TRUE(engine.WritePieceToEnd(path, {1, 1, 1, 0}));
                frames = totalFrames - frame;
                break;
        }
        ASSERT_FALSE(endReached) << i;
        const fixtures::Decoded piece = fixtures::DecodeWithMpg123(path, true);
        ASSERT_TRUE(piece.ok) << i;
        // The same source samples encoded on their own.
        const long first = frame * 1152;
        const long count = frames * 1152;
        const std::vector<std::int16_t> range(source.pcm.begin() + 2 * first, source.pcm.begin() + 2 * (first + count));
        const auto reference = dir / "reference.mp3";
        fixtures::WriteFileBytes(reference, fixtures::EncodePcm(spec, range));
        const fixtures::Decoded alone = fixtures::DecodeWithMpg123(reference, true);
        // The piece's Info frame has the decoder leave out the codec's delay and padding, which
        // the reference (no Info frame) keeps: the piece decodes to exactly its frames' samples.
        ASSERT_EQ(piece.samples, count) << "step " << i;
        ASSERT_EQ(alone.samples, count + kCodecDelaySamples + (1152 - kCodecDelaySamples % 1152)) << "step " << i;
        // Both encodes were fed the same samples, so they decode alike at the first frame and
        // at the last (a sweep: a piece that starts or ends a frame off differs by about 1).
        for (const long at : {0L, count - 1152}) {
            EXPECT_LT(RelativeDifference(piece.pcm, at, alone.pcm, kCodecDelaySamples + at, 1152), 0.05)
                << "step " << i << " at " << at;
        }
        frame += frames;
    }
    EXPECT_EQ(frame, totalFrames);
}

// A failed encode leaves a hole in the audio: the piece fails with the encoder's message and
// no file is left, whether the first call fails or a later one, by duration or to the end.
TEST(ReencodeSplitter, FailedEncodeFailsThePiece) {
    struct Case {
        bool toEnd;
        int failingCall;  // 1-based encoder call that fails
    };
    fixtures::TempDir dir;
    const Source src = WriteSource(dir / "s.mp3", NoiseSpec(2.0, fixtures::XingFrame::No));
    for (const Case c : {Case{false, 1}, Case{false, 20}, Case{true, 1}, Case{true, 40}}) {
        ReencodeSplitter engine;
        ASSERT_TRUE(engine.Open(src.path));
        int calls = 0;
        engine.SetEncodeFunction([&](lame_global_struct* lame, const std::int16_t* left, const std::int16_t* right,
                                     int samples, std::uint8_t* mp3, int mp3Bytes) {
            if (++calls == c.failingCall) return -1;
            return lame_encode_buffer(lame, left, right, samples, mp3, mp3Bytes);
        });
        const auto path = dir / "p.mp3";
        bool endReached = false;
        const bool written = c.toEnd ? engine.WritePieceToEnd(path, {1, 1, 1, 0})
                                     : engine.WritePieceByDuration(path, 15, {1, 2, 1, 0}, &endReached);
        EXPECT_FALSE(written) << c.failingCall;
        EXPECT_EQ(calls, c.failingCall) << "the piece stops at the failure";
        EXPECT_EQ(engine.LastError(), "Failed to encode file \"" + path.string() + "\".");
        EXPECT_TRUE(OtherFiles(dir.Path(), {src.path}).empty());
    }
}

// A chosen rate that is none of the MPEG rates is refused by the encoder's rule rather than
// quietly encoded at a neighbouring rate: the piece fails and leaves no file.
TEST(ReencodeSplitter, ARateOutsideMpegFailsThePiece) {
    fixtures::TempDir dir;
    const Source src = WriteSource(dir / "s.mp3", NoiseSpec(1.0, fixtures::XingFrame::No));
    for (const int rateHz : {12345, 44101, 96000}) {
        ReencodeSplitter engine;
        engine.SetEncoderParams(rateHz, 128, ChannelMode::JointStereo);
        ASSERT_TRUE(engine.Open(src.path));
        const auto path = dir / "p.mp3";
        EXPECT_FALSE(engine.WritePieceToEnd(path, {1, 1, 1, 0})) << rateHz;
        EXPECT_EQ(engine.LastError(), "Failed to initialize the MP3 encoder for file \"" + path.string() + "\".");
        EXPECT_TRUE(OtherFiles(dir.Path(), {src.path}).empty());
    }
}

}  // namespace
}  // namespace qm
