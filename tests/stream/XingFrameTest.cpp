// The Xing/Info frame rebuild: layout, LAME extension CRCs, counts and seek table.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "fixtures/Fixtures.h"
#include "stream/XingFrame.h"
#include "stream/XingTestKit.h"

namespace qm {
namespace {

using fixtures::Bytes;
using xingtest::ExactToc;

// A CBR stream with LAME's Info frame and LAME extension.
struct LameStream {
    Bytes data;
    std::vector<fixtures::FrameSpan> frames;  // frames[0] is the Info frame
};

LameStream MakeLameStream(fixtures::Channels channels, int sampleRateHz, int kbps, bool vbr) {
    fixtures::EncodeSpec spec;
    spec.channels = channels;
    spec.sampleRateHz = sampleRateHz;
    spec.kbps = kbps;
    spec.vbr = vbr;
    spec.seconds = 3.0;
    spec.xing = fixtures::XingFrame::Yes;
    spec.signal = fixtures::Signal::Noise;
    LameStream stream;
    stream.data = fixtures::EncodeMp3(spec);
    stream.frames = fixtures::WalkFrames(stream.data, 0);
    return stream;
}

std::span<const std::uint8_t> FrameOf(const LameStream& s, std::size_t i) {
    return {s.data.data() + s.frames[i].offset, s.frames[i].bytes};
}

struct EncoderCase {
    const char* name;
    fixtures::Channels channels;
    int sampleRateHz;
    int kbps;
    bool vbr;
};

class LameFrames : public ::testing::TestWithParam<EncoderCase> {};

// Our CRC and field positions agree with what LAME itself wrote, for MPEG-1 and MPEG-2,
// stereo and mono (the side information, and so every offset, differs).
TEST_P(LameFrames, SourceExtensionMatchesOurReading) {
    const EncoderCase c = GetParam();
    const LameStream s = MakeLameStream(c.channels, c.sampleRateHz, c.kbps, c.vbr);
    ASSERT_GT(s.frames.size(), 10u);
    const auto info = FrameOf(s, 0);
    XingLayout layout;
    ASSERT_TRUE(ParseXingLayout(info, &layout));
    ASSERT_NE(layout.lameOffset, 0u);
    EXPECT_EQ(std::memcmp(info.data() + layout.lameOffset, "LAME", 4), 0);
    LameExtension lame;
    ASSERT_TRUE(ReadLameExtension(info, layout, &lame));
    EXPECT_EQ(ComputeLameTagCrc(info, layout), lame.tagCrc);
    std::uint16_t musicCrc = 0;
    for (std::size_t i = 1; i < s.frames.size(); ++i) musicCrc = Crc16Update(musicCrc, FrameOf(s, i));
    EXPECT_EQ(musicCrc, lame.musicCrc);
    EXPECT_EQ(lame.musicLengthBytes, s.data.size());
    EXPECT_GT(lame.encoderDelaySamples, 0);
    EXPECT_EQ(ReadBigEndian32(info.data() + layout.frameCountOffset), s.frames.size() - 1);
}

INSTANTIATE_TEST_SUITE_P(Encoders, LameFrames,
                         ::testing::Values(EncoderCase{"Mpeg1Stereo", fixtures::Channels::Stereo, 44100, 128, false},
                                           EncoderCase{"Mpeg1Mono", fixtures::Channels::Mono, 48000, 64, false},
                                           EncoderCase{"Mpeg2Joint", fixtures::Channels::JointStereo, 22050, 64, false},
                                           EncoderCase{"Mpeg1Vbr", fixtures::Channels::JointStereo, 44100, 0, true}),
                         [](const auto& info) { return std::string(info.param.name); });

struct SliceCase {
    const char* name;
    std::size_t firstFrame;  // index into the source's audio frames (1 = first after Info)
    std::size_t frameCount;  // 0 = to the end
    bool keepDelay;
    bool keepPadding;
};

class RebuiltSlice : public ::testing::TestWithParam<SliceCase> {};

// A frame rebuilt for a slice of the audio describes that slice: counts, a seek table from
// its own frames, valid CRCs, music length, and delay/padding only where asked.
TEST_P(RebuiltSlice, DescribesTheSlice) {
    const SliceCase c = GetParam();
    const LameStream s = MakeLameStream(fixtures::Channels::JointStereo, 44100, 0, true);
    const auto source = FrameOf(s, 0);
    LameExtension sourceLame;
    XingLayout layout;
    ASSERT_TRUE(ParseXingLayout(source, &layout));
    ASSERT_TRUE(ReadLameExtension(source, layout, &sourceLame));

    XingFrameBuilder builder(source);
    ASSERT_TRUE(builder.IsValid());
    const std::size_t last = c.frameCount == 0 ? s.frames.size() : c.firstFrame + c.frameCount;
    std::vector<std::uint32_t> sizes;
    std::uint16_t crc = 0;
    for (std::size_t i = c.firstFrame; i < last; ++i) {
        builder.AddFrame(FrameOf(s, i));
        sizes.push_back(s.frames[i].bytes);
        crc = Crc16Update(crc, FrameOf(s, i));
    }
    std::uint64_t stream = source.size();
    for (auto b : sizes) stream += b;
    const Bytes rebuilt = builder.Finish(stream, c.keepDelay, c.keepPadding);
    ASSERT_EQ(rebuilt.size(), source.size());

    EXPECT_EQ(ReadBigEndian32(&rebuilt[layout.frameCountOffset]), sizes.size());
    EXPECT_EQ(ReadBigEndian32(&rebuilt[layout.byteCountOffset]), stream);
    const std::vector<int> expected = ExactToc(sizes);
    for (std::size_t i = 0; i < kXingTocEntries; ++i) {
        EXPECT_EQ(rebuilt[layout.tocOffset + i], expected[i]) << "entry " << i;
    }
    LameExtension lame;
    ASSERT_TRUE(ReadLameExtension(rebuilt, layout, &lame));
    EXPECT_EQ(lame.musicCrc, crc);
    EXPECT_EQ(lame.tagCrc, ComputeLameTagCrc(rebuilt, layout));
    EXPECT_EQ(lame.musicLengthBytes, stream);
    EXPECT_EQ(lame.encoderDelaySamples, c.keepDelay ? sourceLame.encoderDelaySamples : 0);
    EXPECT_EQ(lame.paddingSamples, c.keepPadding ? sourceLame.paddingSamples : 0);
    // Everything outside the rebuilt fields is the source's.
    EXPECT_TRUE(
        std::equal(source.begin(), source.begin() + static_cast<long>(layout.frameCountOffset), rebuilt.begin()));
    EXPECT_EQ(std::memcmp(&rebuilt[layout.lameOffset], &source[layout.lameOffset], 21), 0);
}

INSTANTIATE_TEST_SUITE_P(Slices, RebuiltSlice,
                         ::testing::Values(SliceCase{"FirstPiece", 1, 40, true, false},
                                           SliceCase{"MiddlePiece", 30, 50, false, false},
                                           SliceCase{"LastPiece", 60, 0, false, true},
                                           SliceCase{"WholeStream", 1, 0, true, true},
                                           SliceCase{"OneFrame", 5, 1, false, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// A long stream thins out its sampled positions; the table stays within one step of the
// exact one and never decreases, and memory does not grow with the frame count.
TEST(XingFrameBuilder, LongStreamTocStaysCloseToExact) {
    const LameStream s = MakeLameStream(fixtures::Channels::JointStereo, 44100, 0, true);
    XingLayout layout;
    ASSERT_TRUE(ParseXingLayout(FrameOf(s, 0), &layout));
    XingFrameBuilder builder(FrameOf(s, 0));
    std::vector<std::uint32_t> sizes;
    // 25,000 frames of VBR sizes: the audio frames repeated, with a louder stretch in the middle.
    for (int round = 0; sizes.size() < 25000; ++round) {
        for (std::size_t i = 1; i < s.frames.size() && sizes.size() < 25000; ++i) {
            Bytes frame(FrameOf(s, i).begin(), FrameOf(s, i).end());
            if (round % 7 == 3) frame.resize(frame.size() * 3);  // a stretch of larger frames
            builder.AddFrame(frame);
            sizes.push_back(static_cast<std::uint32_t>(frame.size()));
        }
    }
    const Bytes rebuilt = builder.Finish(1, false, false);
    const std::vector<int> expected = ExactToc(sizes);
    EXPECT_EQ(rebuilt[layout.tocOffset], 0);
    for (std::size_t i = 1; i < kXingTocEntries; ++i) {
        EXPECT_LE(std::abs(rebuilt[layout.tocOffset + i] - expected[i]), 1) << "entry " << i;
        EXPECT_GE(rebuilt[layout.tocOffset + i], rebuilt[layout.tocOffset + i - 1]) << "entry " << i;
    }
    EXPECT_EQ(builder.FrameCount(), 25000u);
}

// A synthetic Xing frame: MPEG-1 Layer III 128 kbit/s 44.1 kHz stereo (side information 32).
Bytes SyntheticXing(std::uint32_t flags, const char* tag = "Xing") {
    Bytes frame = fixtures::MakeRawFrame(3, 1, 9, 0, 0, 0);
    std::memcpy(&frame[36], tag, 4);
    frame[40] = static_cast<std::uint8_t>(flags >> 24);
    frame[41] = static_cast<std::uint8_t>(flags >> 16);
    frame[42] = static_cast<std::uint8_t>(flags >> 8);
    frame[43] = static_cast<std::uint8_t>(flags);
    return frame;
}

struct LayoutCase {
    std::uint32_t flags;
    std::size_t frameCountOffset, byteCountOffset, tocOffset;
};

// Each optional field moves the ones after it; absent fields are reported absent.
TEST(ParseXingLayout, FieldsFollowTheFlags) {
    const LayoutCase cases[] = {
        {0x1, 44, 0, 0}, {0x2, 0, 44, 0}, {0x3, 44, 48, 0}, {0x4, 0, 0, 44}, {0x6, 0, 44, 48}, {0xF, 44, 48, 52},
    };
    for (const LayoutCase& c : cases) {
        XingLayout layout;
        ASSERT_TRUE(ParseXingLayout(SyntheticXing(c.flags), &layout)) << c.flags;
        EXPECT_EQ(layout.frameCountOffset, c.frameCountOffset) << c.flags;
        EXPECT_EQ(layout.byteCountOffset, c.byteCountOffset) << c.flags;
        EXPECT_EQ(layout.tocOffset, c.tocOffset) << c.flags;
        EXPECT_EQ(layout.lameOffset, 0u) << "zero bytes are no version string";
    }
}

// Frames without the tag, or too short for the fields their flags announce, are refused;
// a builder over such a frame changes nothing.
TEST(ParseXingLayout, RefusesWhatIsNoXingFrame) {
    XingLayout layout;
    EXPECT_FALSE(ParseXingLayout(SyntheticXing(0xF, "Abcd"), &layout));
    Bytes shortFrame = SyntheticXing(0xF);
    shortFrame.resize(100);  // the table of contents would run past the end
    EXPECT_FALSE(ParseXingLayout(shortFrame, &layout));
    const Bytes noise = fixtures::Junk(400);
    EXPECT_FALSE(ParseXingLayout(noise, &layout));
    XingFrameBuilder builder(shortFrame);
    EXPECT_FALSE(builder.IsValid());
    EXPECT_EQ(builder.Finish(5000, false, false), shortFrame);
}

}  // namespace
}  // namespace qm
