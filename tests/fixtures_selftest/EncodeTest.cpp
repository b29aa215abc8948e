// The encoder of the kit: files decode cleanly with the asked rate, channels and length, and
// carry an Xing/Info frame exactly when asked.

#include <gtest/gtest.h>

#include <cstring>

#include "fixtures/Fixtures.h"

namespace qm::fixtures {
namespace {

// LAME adds its encoder delay and pads the end to whole frames: at most this many frames more
// than the PCM when the decoder cannot trim them (no Info frame).
constexpr int kMaxExtraFrames = 3;

struct EncodeCase {
    const char* name;
    EncodeSpec spec;
    int samplesPerFrame;
};

EncodeSpec Make(int rateHz, int kbps, Channels channels, bool vbr, XingFrame xing, Signal signal) {
    EncodeSpec spec = fixtures::StreamSpec(1.5, signal, rateHz, kbps, channels);
    spec.vbr = vbr;
    spec.xing = xing;
    return spec;
}

void PrintTo(const EncodeCase& c, std::ostream* os) { *os << c.name; }

const EncodeCase kEncodeCases[] = {
    {"Mpeg1CbrJointInfo", Make(44100, 128, Channels::JointStereo, false, XingFrame::Yes, Signal::Tone), 1152},
    {"Mpeg1CbrStereoBare", Make(48000, 192, Channels::Stereo, false, XingFrame::No, Signal::Noise), 1152},
    {"Mpeg1VbrMonoXing", Make(32000, 0, Channels::Mono, true, XingFrame::Yes, Signal::Sweep), 1152},
    {"Mpeg1VbrBare", Make(44100, 0, Channels::JointStereo, true, XingFrame::No, Signal::Noise), 1152},
    {"Mpeg2CbrMonoInfo", Make(22050, 64, Channels::Mono, false, XingFrame::Yes, Signal::Tone), 576},
    {"Mpeg2CbrStereoBare", Make(16000, 32, Channels::Stereo, false, XingFrame::No, Signal::Sweep), 576},
    {"Mpeg25CbrMonoBare", Make(8000, 16, Channels::Mono, false, XingFrame::No, Signal::Tone), 576},
    {"Mpeg25VbrXing", Make(11025, 0, Channels::JointStereo, true, XingFrame::Yes, Signal::Noise), 576},
    {"SilenceInfo", Make(44100, 128, Channels::JointStereo, false, XingFrame::Yes, Signal::Silence), 1152},
};

class EncodeMp3Test : public testing::TestWithParam<EncodeCase> {};

// The byte image starts with a frame of the asked rate and, walked frame by frame, reaches
// the end of the image without a gap: no tag, no junk.
TEST_P(EncodeMp3Test, ImageIsAnUnbrokenFrameChainWithoutTags) {
    const EncodeCase& c = GetParam();
    const Bytes mp3 = EncodeMp3(c.spec);
    ASSERT_GT(mp3.size(), 4u);
    ASSERT_EQ(mp3[0], 0xFF);
    EXPECT_EQ(SamplesPerFrameOf(mp3.data()), c.samplesPerFrame);
    const auto frames = WalkFrames(mp3, 0);
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.back().offset + frames.back().bytes, mp3.size());
    EXPECT_NE(std::memcmp(mp3.data() + mp3.size() - 128, "TAG", 3), 0);
}

// The Xing/Info tag sits after the side information of the first frame exactly when asked:
// "Info" for CBR, "Xing" for VBR.
TEST_P(EncodeMp3Test, XingFrameOnlyWhenAsked) {
    const EncodeCase& c = GetParam();
    const Bytes mp3 = EncodeMp3(c.spec);
    ASSERT_GT(mp3.size(), 200u);
    const std::size_t at = XingOffsetOf(mp3.data());
    const std::string tag(mp3.begin() + at, mp3.begin() + at + 4);
    if (c.spec.xing == XingFrame::Yes) {
        EXPECT_EQ(tag, c.spec.vbr ? "Xing" : "Info");
        // LAME's final frame replaced the placeholder: its frame count is filled in.
        const std::uint32_t frameCount = mp3[at + 8] << 24 | mp3[at + 9] << 16 | mp3[at + 10] << 8 | mp3[at + 11];
        EXPECT_EQ(frameCount + 1, WalkFrames(mp3, 0).size());
    } else {
        EXPECT_NE(tag, "Info");
        EXPECT_NE(tag, "Xing");
    }
}

// libmpg123 decodes the file without an error, with the asked rate and channel count, and the
// length of the PCM: exact with the Info frame (gapless trimming), else within a few frames.
TEST_P(EncodeMp3Test, DecodesCleanlyToThePcmLength) {
    const EncodeCase& c = GetParam();
    TempDir dir;
    WriteFileBytes(dir / "a.mp3", EncodeMp3(c.spec));
    const Decoded decoded = DecodeWithMpg123(dir / "a.mp3");
    EXPECT_TRUE(decoded.ok);
    EXPECT_EQ(decoded.errors, 0);
    EXPECT_EQ(decoded.rateHz, c.spec.sampleRateHz);
    EXPECT_EQ(decoded.channels, ChannelCount(c.spec));
    const std::int64_t pcmSamples = PcmSampleCount(c.spec);
    if (c.spec.xing == XingFrame::Yes) {
        EXPECT_EQ(decoded.samples, pcmSamples);
    } else {
        EXPECT_GE(decoded.samples, pcmSamples);
        EXPECT_LE(decoded.samples, pcmSamples + kMaxExtraFrames * c.samplesPerFrame);
    }
}

INSTANTIATE_TEST_SUITE_P(Kit, EncodeMp3Test, testing::ValuesIn(kEncodeCases),
                         [](const auto& info) { return std::string(info.param.name); });

// CBR frames all carry the asked bit rate: the lengths alternate only by the padding byte.
TEST(EncodeMp3, CbrFramesHaveTheAskedBitRate) {
    EncodeSpec spec;
    spec.kbps = 160;
    const Bytes mp3 = EncodeMp3(spec);
    for (const FrameSpan& f : WalkFrames(mp3, 0)) {
        // 144 x 160000 / 44100 = 522, plus one padding byte on some frames.
        EXPECT_TRUE(f.bytes == 522 || f.bytes == 523) << "frame at " << f.offset << " has " << f.bytes;
    }
}

// The PCM is deterministic, and a window of it equals the same part of the whole signal.
TEST(MakePcm, WindowsMatchTheWholeSignal) {
    for (Signal signal : {Signal::Tone, Signal::Noise, Signal::Sweep}) {
        EncodeSpec spec;
        spec.signal = signal;
        spec.seconds = 0.5;
        const auto whole = MakePcm(spec);
        ASSERT_EQ(whole.size(), static_cast<std::size_t>(PcmSampleCount(spec) * 2));
        EXPECT_EQ(whole, MakePcm(spec));
        const auto window = MakePcmRange(spec, 1000, 500);
        EXPECT_TRUE(std::equal(window.begin(), window.end(), whole.begin() + 2000));
        const auto peak = *std::max_element(whole.begin(), whole.end());
        EXPECT_GT(peak, 32767 * spec.amplitude * 0.9);
        EXPECT_LE(peak, 32767 * spec.amplitude + 1);
    }
}

// The decoded PCM of a tone keeps its loudness: the encoder got the samples, not zeros.
TEST(EncodeMp3, DecodedToneHasTheAmplitude) {
    EncodeSpec spec;
    spec.channels = Channels::Mono;
    spec.xing = XingFrame::Yes;
    TempDir dir;
    WriteFileBytes(dir / "tone.mp3", EncodeMp3(spec));
    const Decoded decoded = DecodeWithMpg123(dir / "tone.mp3", true);
    ASSERT_EQ(decoded.pcm.size(), static_cast<std::size_t>(decoded.samples));
    const auto peak = *std::max_element(decoded.pcm.begin(), decoded.pcm.end());
    EXPECT_NEAR(peak, 32767 * spec.amplitude, 32767 * 0.05);
}

}  // namespace
}  // namespace qm::fixtures
