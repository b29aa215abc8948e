// Raw headers, frame lengths and the frame walk of the kit.

#include <gtest/gtest.h>

#include "fixtures/Fixtures.h"

namespace qm::fixtures {
namespace {

constexpr int kMpeg25 = 0, kMpeg2 = 2, kMpeg1 = 3;
constexpr int kLayer3 = 1, kLayer2 = 2, kLayer1 = 3;

struct FrameCase {
    int version, layer, bitRateIndex, sampleRateIndex, padding;
    std::uint32_t bytes;
    int samples;
};

// Lengths by (coefficient x bit rate / rate + padding) x slot, worked by hand.
const FrameCase kFrameCases[] = {
    {kMpeg1, kLayer3, 9, 0, 0, 417, 1152},    // 128 kbit/s, 44.1 kHz
    {kMpeg1, kLayer3, 9, 0, 1, 418, 1152},    // the same, padded
    {kMpeg1, kLayer3, 14, 2, 1, 1441, 1152},  // 320 kbit/s, 32 kHz, padded: the longest Layer III
    {kMpeg1, kLayer3, 1, 1, 0, 96, 1152},     // 32 kbit/s, 48 kHz
    {kMpeg1, kLayer2, 14, 1, 0, 1152, 1152},  // 384 kbit/s, 48 kHz
    {kMpeg1, kLayer2, 14, 2, 1, 1729, 1152},  // 384 kbit/s, 32 kHz, padded
    {kMpeg1, kLayer1, 1, 1, 1, 36, 384},      // (12 x 32000 / 48000 + 1) x 4
    {kMpeg1, kLayer1, 14, 2, 0, 672, 384},    // 448 kbit/s, 32 kHz
    {kMpeg1, kLayer1, 12, 0, 1, 420, 384},    // 384 kbit/s, 44.1 kHz: (104 + 1) x 4
    {kMpeg2, kLayer3, 1, 1, 0, 24, 576},      // 8 kbit/s, 24 kHz
    {kMpeg2, kLayer3, 14, 2, 0, 720, 576},    // 160 kbit/s, 16 kHz
    {kMpeg2, kLayer2, 14, 2, 0, 1440, 1152},  // MPEG-2 Layer II keeps coefficient 144
    {kMpeg2, kLayer1, 14, 0, 0, 556, 384},    // 256 kbit/s, 22.05 kHz: 139 x 4
    {kMpeg25, kLayer3, 1, 2, 0, 72, 576},     // 8 kbit/s, 8 kHz
    {kMpeg25, kLayer3, 14, 2, 1, 1441, 576},  // 160 kbit/s, 8 kHz, padded
    {kMpeg25, kLayer3, 9, 0, 0, 522, 576},    // 80 kbit/s, 11.025 kHz: 522.4 truncated
    {kMpeg25, kLayer2, 8, 1, 0, 768, 1152},   // 64 kbit/s, 12 kHz
};

// Each header gives the hand-worked length, and MakeRawFrame is that long.
TEST(RawFrames, LengthsAndSamplesByTable) {
    for (const FrameCase& c : kFrameCases) {
        SCOPED_TRACE(testing::Message() << "version " << c.version << " layer " << c.layer << " bit rate "
                                        << c.bitRateIndex << " rate " << c.sampleRateIndex << " pad " << c.padding);
        const Bytes frame = MakeRawFrame(c.version, c.layer, c.bitRateIndex, c.sampleRateIndex, c.padding, 0);
        EXPECT_EQ(FrameLengthOf(frame.data()), c.bytes);
        EXPECT_EQ(frame.size(), c.bytes);
        EXPECT_EQ(SamplesPerFrameOf(frame.data()), c.samples);
    }
}

// The bit fields land where the header layout puts them.
TEST(RawFrames, HeaderBits) {
    EXPECT_EQ(MakeRawHeader(kMpeg1, kLayer3, 9, 0, 0, 1), (Bytes{0xFF, 0xFB, 0x90, 0x40}));
    EXPECT_EQ(MakeRawHeader(kMpeg25, kLayer1, 15, 3, 1, 3, 2), (Bytes{0xFF, 0xE7, 0xFE, 0xC2}));
    EXPECT_EQ(MakeRawHeader(kMpeg2, kLayer2, 1, 1, 0, 2, 1), (Bytes{0xFF, 0xF5, 0x14, 0x81}));
}

// Headers a frame reader must refuse have no length and give a bare 4-byte "frame".
TEST(RawFrames, InvalidHeadersHaveNoLength) {
    const Bytes invalid[] = {
        MakeRawHeader(kMpeg1, kLayer3, 0, 0, 0, 0),   // free format
        MakeRawHeader(kMpeg1, kLayer3, 15, 0, 0, 0),  // bad bit rate
        MakeRawHeader(kMpeg1, kLayer3, 9, 3, 0, 0),   // reserved sample rate
        MakeRawHeader(1, kLayer3, 9, 0, 0, 0),        // reserved version
        MakeRawHeader(kMpeg1, 0, 9, 0, 0, 0),         // reserved layer
        Bytes{0xFE, 0xFB, 0x90, 0x40},                // broken sync
    };
    for (const Bytes& h : invalid) {
        EXPECT_EQ(FrameLengthOf(h.data()), 0u);
        EXPECT_EQ(SamplesPerFrameOf(h.data()), 0);
    }
    EXPECT_EQ(MakeRawFrame(kMpeg1, kLayer3, 0, 0, 0, 0).size(), 4u);
}

// The Xing/Info tag follows the side information: 32/17 bytes for MPEG-1, 17/9 for MPEG-2/2.5.
TEST(RawFrames, XingOffsets) {
    EXPECT_EQ(XingOffsetOf(MakeRawHeader(kMpeg1, kLayer3, 9, 0, 0, 1).data()), 36u);
    EXPECT_EQ(XingOffsetOf(MakeRawHeader(kMpeg1, kLayer3, 9, 0, 0, 3).data()), 21u);
    EXPECT_EQ(XingOffsetOf(MakeRawHeader(kMpeg2, kLayer3, 9, 0, 0, 0).data()), 21u);
    EXPECT_EQ(XingOffsetOf(MakeRawHeader(kMpeg25, kLayer3, 9, 0, 0, 3).data()), 13u);
}

// The walk follows frames of mixed lengths and stops at junk, at a cut frame and at the end.
TEST(WalkFrames, StopsAtJunkTruncationAndEnd) {
    const Bytes a = MakeRawFrame(kMpeg1, kLayer3, 9, 0, 0, 0);  // 417
    const Bytes b = MakeRawFrame(kMpeg1, kLayer3, 9, 0, 1, 0);  // 418
    const Bytes c = MakeRawFrame(kMpeg1, kLayer1, 1, 1, 1, 0);  // 36
    const Bytes junk = Junk(100);
    Bytes cut = b;
    cut.resize(b.size() - 1);

    struct Case {
        const char* name;
        Bytes image;
        std::uint64_t start;
        std::vector<FrameSpan> expected;
    };
    const Case cases[] = {
        {"three frames", Concat({a, b, c}), 0, {{0, 417}, {417, 418}, {835, 36}}},
        {"junk between", Concat({a, b, junk, c}), 0, {{0, 417}, {417, 418}}},
        {"leading junk skipped by start", Concat({junk, a, c}), 100, {{100, 417}, {517, 36}}},
        {"cut last frame", Concat({a, c, cut}), 0, {{0, 417}, {417, 36}}},
        {"header alone at the end", Concat({a, Bytes(b.begin(), b.begin() + 4)}), 0, {{0, 417}}},
        {"start past the end", a, 500, {}},
        {"empty", {}, 0, {}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        const auto frames = WalkFrames(k.image, k.start);
        ASSERT_EQ(frames.size(), k.expected.size());
        for (std::size_t i = 0; i < frames.size(); ++i) {
            EXPECT_EQ(frames[i].offset, k.expected[i].offset);
            EXPECT_EQ(frames[i].bytes, k.expected[i].bytes);
        }
    }
}

}  // namespace
}  // namespace qm::fixtures
