#include <gtest/gtest.h>

#include "fixtures/Fixtures.h"
#include "stream/MpegHeader.h"

namespace qm {
namespace {

using fixtures::Bytes;
using fixtures::MakeRawHeader;

struct DecodeCase {
    const char* name;
    int versionBits, layerBits, bitRateIndex, sampleRateIndex, padding, mode;
    MpegVersion version;
    int layer, sampleRateHz, bitRateKbps, samplesPerFrame, sideInfoBytes, frameBytes;
};

// Frame lengths pin the truncating division and the Layer I slot size; side-information
// sizes pin the mono/stereo and MPEG-1/MPEG-2 choice.
const DecodeCase kDecodeCases[] = {
    {"L3_128k_44k_unpadded", 3, 1, 9, 0, 0, 1, MpegVersion::Mpeg1, 3, 44100, 128, 1152, 32, 417},
    {"L3_128k_44k_padded", 3, 1, 9, 0, 1, 1, MpegVersion::Mpeg1, 3, 44100, 128, 1152, 32, 418},
    {"L3_320k_32k_mono", 3, 1, 14, 2, 0, 3, MpegVersion::Mpeg1, 3, 32000, 320, 1152, 17, 1440},
    {"L1_32k_48k_padded", 3, 3, 1, 1, 1, 0, MpegVersion::Mpeg1, 1, 48000, 32, 384, 32, 36},
    {"L1_448k_32k", 3, 3, 14, 2, 0, 2, MpegVersion::Mpeg1, 1, 32000, 448, 384, 32, 672},
    {"L2_384k_48k", 3, 2, 14, 1, 0, 0, MpegVersion::Mpeg1, 2, 48000, 384, 1152, 32, 1152},
    {"Mpeg2_L3_8k_24k", 2, 1, 1, 1, 0, 0, MpegVersion::Mpeg2, 3, 24000, 8, 576, 17, 24},
    {"Mpeg2_L3_64k_22k_mono", 2, 1, 8, 0, 1, 3, MpegVersion::Mpeg2, 3, 22050, 64, 576, 9, 209},
    {"Mpeg2_L1_256k_16k", 2, 3, 14, 2, 0, 1, MpegVersion::Mpeg2, 1, 16000, 256, 384, 17, 768},
    {"Mpeg25_L3_32k_8k", 0, 1, 4, 2, 0, 3, MpegVersion::Mpeg25, 3, 8000, 32, 576, 9, 288},
    {"Mpeg25_L2_160k_8k_padded_longest", 0, 2, 14, 2, 1, 0, MpegVersion::Mpeg25, 2, 8000, 160, 1152, 17, 2881},
};

class DecodeTest : public testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeTest, DecodesRatesLengthAndSideInformation) {
    const DecodeCase& c = GetParam();
    const Bytes bytes = MakeRawHeader(c.versionBits, c.layerBits, c.bitRateIndex, c.sampleRateIndex, c.padding, c.mode);
    ASSERT_TRUE(IsValidMp3FrameHeader(bytes.data()));
    const Mp3FrameHeader h = DecodeMp3FrameHeader(bytes.data());
    EXPECT_EQ(h.version, c.version);
    EXPECT_EQ(h.layer, c.layer);
    EXPECT_EQ(h.sampleRateHz, c.sampleRateHz);
    EXPECT_EQ(h.bitRateKbps, c.bitRateKbps);
    EXPECT_EQ(h.padding, c.padding);
    EXPECT_EQ(static_cast<int>(h.channelMode), c.mode);
    EXPECT_EQ(h.samplesPerFrame, c.samplesPerFrame);
    EXPECT_EQ(h.sideInfoBytes, c.sideInfoBytes);
    EXPECT_EQ(h.frameBytes, c.frameBytes);
}

INSTANTIATE_TEST_SUITE_P(Headers, DecodeTest, testing::ValuesIn(kDecodeCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct ValidityCase {
    const char* name;
    Bytes bytes;
    bool valid;
};

// Each rejected header differs from an accepted one in exactly the field named.
const ValidityCase kValidityCases[] = {
    {"accepted", MakeRawHeader(3, 1, 9, 0, 0, 1), true},
    {"emphasis_3_accepted", MakeRawHeader(3, 1, 9, 0, 0, 1, 3), true},
    {"free_format", MakeRawHeader(3, 1, 0, 0, 0, 1), false},
    {"bit_rate_index_15", MakeRawHeader(3, 1, 15, 0, 0, 1), false},
    {"sample_rate_index_3", MakeRawHeader(3, 1, 9, 3, 0, 1), false},
    {"version_bits_01", MakeRawHeader(1, 1, 9, 0, 0, 1), false},
    {"layer_bits_00", MakeRawHeader(3, 0, 9, 0, 0, 1), false},
    {"emphasis_2", MakeRawHeader(3, 1, 9, 0, 0, 1, 2), false},
    {"first_byte_not_ff", {0xFE, 0xFB, 0x90, 0x40}, false},
    {"eleventh_sync_bit_clear", {0xFF, 0xDB, 0x90, 0x40}, false},
};

class ValidityTest : public testing::TestWithParam<ValidityCase> {};

TEST_P(ValidityTest, AppliesTheSevenTests) {
    EXPECT_EQ(IsValidMp3FrameHeader(GetParam().bytes.data()), GetParam().valid);
}

INSTANTIATE_TEST_SUITE_P(Headers, ValidityTest, testing::ValuesIn(kValidityCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Boundaries of the standard table: both sides of every tested midpoint, and the clamps.
TEST(SnapBitRateTest, PicksTheNearestStandardRateAndTheLowerAtATie) {
    const std::pair<int, int> cases[] = {
        {-20, 8},   {0, 8},     {8, 8},     {12, 8},    {13, 16},   {124, 128}, {136, 128}, {137, 144},
        {152, 144}, {153, 160}, {176, 160}, {177, 192}, {208, 192}, {209, 224}, {240, 224}, {241, 256},
        {288, 256}, {289, 320}, {320, 320}, {999, 320}, {72, 64},   {73, 80},
    };
    for (const auto& [kbps, expected] : cases) EXPECT_EQ(SnapBitRate(kbps), expected) << kbps;
}

struct TagSizeCase {
    const char* name;
    Bytes header;
    Id3v2Footer footer;
    std::uint64_t expected;
};

const TagSizeCase kTagSizeCases[] = {
    // 0x01 0x7F in the last two bytes: 1 * 128 + 127 = 255, plus the 10-byte header.
    {"synchsafe_size", {'I', 'D', '3', 3, 0, 0, 0, 0, 0x01, 0x7F}, Id3v2Footer::Count, 265},
    {"largest_size", {'I', 'D', '3', 4, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F}, Id3v2Footer::Ignore, 0x0FFFFFFFull + 10},
    // Bytes with the top bit set are not synchsafe; only their low seven bits count.
    {"top_bits_ignored", {'I', 'D', '3', 3, 0, 0, 0x80, 0x80, 0x80, 0x81}, Id3v2Footer::Count, 11},
    {"footer_counted", {'I', 'D', '3', 4, 0, 0x10, 0, 0, 0, 100}, Id3v2Footer::Count, 120},
    {"footer_ignored", {'I', 'D', '3', 4, 0, 0x10, 0, 0, 0, 100}, Id3v2Footer::Ignore, 110},
    {"footer_flag_of_v3_is_not_a_footer", {'I', 'D', '3', 3, 0, 0x10, 0, 0, 0, 100}, Id3v2Footer::Count, 110},
    {"not_a_tag", {'T', 'A', 'G', 3, 0, 0, 0, 0, 0, 100}, Id3v2Footer::Count, 0},
};

class TagSizeTest : public testing::TestWithParam<TagSizeCase> {};

TEST_P(TagSizeTest, ReadsTheSynchsafeSize) {
    EXPECT_EQ(Id3v2TagBytes(GetParam().header.data(), GetParam().footer), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Id3v2, TagSizeTest, testing::ValuesIn(kTagSizeCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The tag sits right after the side information; a frame too short to hold it has none.
TEST(XingTagOfTest, LooksAfterTheSideInformationOnly) {
    Bytes frame(417, 0);
    std::copy_n("Info", 4, frame.begin() + 4 + 32);
    EXPECT_EQ(XingTagOf(frame.data(), frame.size(), 32), "Info");
    EXPECT_EQ(XingTagOf(frame.data(), frame.size(), 17), "");
    std::copy_n("Xing", 4, frame.begin() + 4 + 17);
    EXPECT_EQ(XingTagOf(frame.data(), frame.size(), 17), "Xing");
    EXPECT_EQ(XingTagOf(frame.data(), 4 + 17 + 3, 17), "");
    EXPECT_EQ(XingTagOf(frame.data(), 4 + 17 + 4, 17), "Xing");
}

// Every valid header: the frame length agrees with the test kit's own reckoning of it, and
// the samples per frame too (catches a wrong entry in the decoder's tables).
TEST(DecodeTest, EveryValidHeaderAgreesWithTheKit) {
    int checked = 0;
    for (int byte1 = 0xE0; byte1 <= 0xFF; ++byte1) {
        for (int byte2 = 0; byte2 <= 0xFF; ++byte2) {
            for (const int byte3 : {0x00, 0xC0, 0x44}) {
                const std::uint8_t bytes[4] = {0xFF, static_cast<std::uint8_t>(byte1), static_cast<std::uint8_t>(byte2),
                                               static_cast<std::uint8_t>(byte3)};
                if (!IsValidMp3FrameHeader(bytes)) continue;
                const Mp3FrameHeader header = DecodeMp3FrameHeader(bytes);
                ASSERT_EQ(static_cast<std::uint32_t>(header.frameBytes), fixtures::FrameLengthOf(bytes))
                    << std::hex << byte1 << " " << byte2;
                ASSERT_EQ(header.samplesPerFrame, fixtures::SamplesPerFrameOf(bytes));
                ++checked;
            }
        }
    }
    EXPECT_GT(checked, 3000);
}

}  // namespace
}  // namespace qm
