// A fresh Xing/Info frame for a stream made of other streams' frames: its header, its bit
// rate, its fields, and the word, delay and padding the builder writes into it.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "fixtures/Fixtures.h"
#include "stream/ByteOrder.h"
#include "stream/XingFrame.h"

namespace qm {
namespace {

using fixtures::Bytes;

// Raw header bit fields: version 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5; layer bits 1 Layer III,
// 2 Layer II; channel mode 0 stereo, 1 joint stereo, 3 mono.
Mp3FrameHeader Format(int versionBits, int layerBits, int bitRateIndex, int sampleRateIndex, int mode) {
    const Bytes header = fixtures::MakeRawHeader(versionBits, layerBits, bitRateIndex, sampleRateIndex, 0, mode);
    return DecodeMp3FrameHeader(header.data());
}

std::string WordOf(const std::vector<std::uint8_t>& frame) {
    const std::size_t at = 4 + static_cast<std::size_t>(DecodeMp3FrameHeader(frame.data()).sideInfoBytes);
    return std::string(frame.begin() + static_cast<std::ptrdiff_t>(at),
                       frame.begin() + static_cast<std::ptrdiff_t>(at + 4));
}

// The frame takes the stream's own bit rate where the fields fit in a frame of it, else the
// lowest rate that holds them (4 header bytes, the side information, 120 bytes of Xing
// fields, 36 of LAME extension); it keeps version, layer, rate and mode, has no CRC, and
// reads back with every field in place. Layer II gets none.
TEST(MakeXingFrame, FitsTheFieldsInAFrameOfTheStreamsFormat) {
    struct Case {
        const char* name;
        Mp3FrameHeader format;
        int expectedKbps;  // 0: no frame
        int expectedBytes;
    };
    const Case cases[] = {
        {"MPEG-1 44.1 kHz joint stereo at 128: its own rate", Format(3, 1, 9, 0, 1), 128, 417},
        {"MPEG-1 32 kHz mono at 32: 144 bytes are too few, 40 kbit/s", Format(3, 1, 1, 2, 3), 40, 180},
        {"MPEG-1 48 kHz stereo at 320: its own rate", Format(3, 1, 14, 1, 0), 320, 960},
        {"MPEG-2 22.05 kHz joint stereo at 32: 56 kbit/s", Format(2, 1, 4, 0, 1), 56, 182},
        {"MPEG-2.5 8 kHz mono at 8: 24 kbit/s", Format(0, 1, 1, 2, 3), 24, 216},
        {"Layer II has no such frame", Format(3, 2, 8, 0, 0), 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<std::uint8_t> frame = MakeXingFrame(c.format, WithLameExtension::Yes);
        if (c.expectedKbps == 0) {
            EXPECT_TRUE(frame.empty());
            continue;
        }
        ASSERT_TRUE(IsValidMp3FrameHeader(frame.data()));
        const Mp3FrameHeader header = DecodeMp3FrameHeader(frame.data());
        EXPECT_EQ(header.bitRateKbps, c.expectedKbps);
        EXPECT_EQ(static_cast<int>(frame.size()), c.expectedBytes);
        EXPECT_EQ(header.frameBytes, c.expectedBytes);
        EXPECT_EQ(header.version, c.format.version);
        EXPECT_EQ(header.layer, 3);
        EXPECT_EQ(header.sampleRateHz, c.format.sampleRateHz);
        EXPECT_EQ(header.channelMode, c.format.channelMode);
        EXPECT_EQ(frame[1] & 0x01, 1) << "no CRC after the header";
        XingLayout layout;
        ASSERT_TRUE(ParseXingLayout(frame, &layout));
        EXPECT_EQ(layout.flags, 0x0Fu);
        EXPECT_EQ(layout.frameCountOffset, 4u + static_cast<std::size_t>(header.sideInfoBytes) + 8u);
        EXPECT_EQ(layout.lameOffset, layout.tocOffset + kXingTocEntries + 4);
        LameExtension lame;
        ASSERT_TRUE(ReadLameExtension(frame, layout, &lame));
        EXPECT_EQ(lame.encoderDelaySamples, 0);
        EXPECT_EQ(lame.paddingSamples, 0);
        EXPECT_EQ(WordOf(frame), "Xing");
        // Without the extension the fields still fit; nothing follows them.
        XingLayout bare;
        ASSERT_TRUE(ParseXingLayout(MakeXingFrame(c.format, WithLameExtension::No), &bare));
        EXPECT_EQ(bare.lameOffset, 0u);
    }
}

// Finish names the frame by the bit rates of the frames added, writes the delay and padding
// asked for (clamped to their 12 bits) with a tag CRC that matches, or no extension at all.
TEST(XingFrameBuilder, NamesByBitRatesAndWritesTheTrimAskedFor) {
    struct Case {
        const char* name;
        std::vector<int> bitRateIndexes;
        int delay, padding;  // asked for; -1: not set
        bool dropExtension;
        std::string word;
        int expectedDelay, expectedPadding;
    };
    const Case cases[] = {
        {"one rate: Info", {9, 9, 9}, 576, 1200, false, "Info", 576, 1200},
        {"two rates: Xing", {9, 11, 9}, 2927, 0, false, "Xing", 2927, 0},
        {"beyond 12 bits and below 0: clamped", {9}, 5000, -3, false, "Info", 4095, 0},
        {"nothing set: the frame's own zeros", {11, 9}, -1, -1, false, "Xing", 0, 0},
        {"extension dropped", {9, 9}, 576, 100, true, "Info", -1, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        XingFrameBuilder builder(MakeXingFrame(Format(3, 1, 9, 0, 1), WithLameExtension::Yes));
        builder.NameByBitRates();
        std::uint64_t audioBytes = 0;
        for (const int index : c.bitRateIndexes) {
            const Bytes frame = fixtures::MakeRawFrame(3, 1, index, 0, 0, 1);
            builder.AddFrame(frame);
            audioBytes += frame.size();
        }
        if (c.delay != -1) builder.SetEncoderDelay(c.delay);
        if (c.padding != -1) builder.SetPadding(c.padding);
        if (c.dropExtension) builder.DropLameExtension();
        const std::vector<std::uint8_t> frame = builder.Finish(builder.FrameBytes() + audioBytes, false, false);
        EXPECT_EQ(WordOf(frame), c.word);
        XingLayout layout;
        ASSERT_TRUE(ParseXingLayout(frame, &layout));
        EXPECT_EQ(ReadBigEndian32(&frame[layout.frameCountOffset]), c.bitRateIndexes.size());
        EXPECT_EQ(ReadBigEndian32(&frame[layout.byteCountOffset]), builder.FrameBytes() + audioBytes);
        LameExtension lame;
        if (c.expectedDelay < 0) {
            EXPECT_FALSE(ReadLameExtension(frame, layout, &lame));
            continue;
        }
        ASSERT_TRUE(ReadLameExtension(frame, layout, &lame));
        EXPECT_EQ(lame.encoderDelaySamples, c.expectedDelay);
        EXPECT_EQ(lame.paddingSamples, c.expectedPadding);
        EXPECT_EQ(lame.tagCrc, ComputeLameTagCrc(frame, layout));
        EXPECT_EQ(lame.musicLengthBytes, builder.FrameBytes() + audioBytes);
    }
}

}  // namespace
}  // namespace qm
