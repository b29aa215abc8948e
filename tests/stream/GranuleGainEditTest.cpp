// Level changes through global_gain: the field found is the field the standard lays out, only
// its bits change, the frame CRC is written anew, and a real stream plays 6 dB lower.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <tuple>
#include <vector>

#include "fixtures/Fixtures.h"
#include "stream/GranuleGainEdit.h"

namespace qm {
namespace {

using fixtures::Bytes;

// The frame CRC one bit at a time, the way the standard describes its shift register.
std::uint16_t BitwiseFrameCrc(const std::vector<std::uint8_t>& bytes) {
    std::uint16_t crc = 0xFFFF;
    for (const std::uint8_t byte : bytes) {
        for (int bit = 7; bit >= 0; --bit) {
            const bool feedback = (((crc >> 15) ^ (byte >> bit)) & 1) != 0;
            crc = static_cast<std::uint16_t>((crc << 1) ^ (feedback ? 0x8005 : 0));
        }
    }
    return crc;
}

TEST(Layer3FrameCrc, TheBitwiseReferenceGivesTheCheckValue) {
    EXPECT_EQ(BitwiseFrameCrc({'1', '2', '3', '4', '5', '6', '7', '8', '9'}), 0xAEE7);
}

// Stores the CRC a protected frame should carry: over header bytes 2 and 3 and the side information.
void StoreExpectedCrc(Bytes& frame, int sideInfoBytes) {
    std::vector<std::uint8_t> covered = {frame[2], frame[3]};
    covered.insert(covered.end(), frame.begin() + 6, frame.begin() + 6 + sideInfoBytes);
    const std::uint16_t crc = BitwiseFrameCrc(covered);
    frame[4] = static_cast<std::uint8_t>(crc >> 8);
    frame[5] = static_cast<std::uint8_t>(crc & 0xFF);
}

// Walks the side information field by field as the standard lists them, setting each run's
// window_switching_flag to its bit in switchedRuns and taking the layout that flag selects.
// Returns each run's global_gain bit and, last, the bit where the walk ended.
std::vector<int> WalkSideInfo(std::uint8_t* side, bool mpeg1, int channels, int switchedRuns) {
    int bit = mpeg1 ? 9 + (channels == 1 ? 5 : 3) + 4 * channels : 8 + channels;
    std::vector<int> walk;
    for (int run = 0; run < (mpeg1 ? 2 : 1) * channels; ++run) {
        walk.push_back(bit + 12 + 9);
        bit += 12 + 9 + 8 + (mpeg1 ? 4 : 9);
        const int switched = (switchedRuns >> run) & 1;
        WriteBits(side, bit, 1, switched);
        bit += 1 + (switched == 1 ? 2 + 1 + 5 + 5 + 3 + 3 + 3 : 5 + 5 + 5 + 4 + 3);
        bit += (mpeg1 ? 1 : 0) + 1 + 1;
    }
    walk.push_back(bit);
    return walk;
}

// A Layer III frame of random bits after its header, protected by a CRC when asked.
Bytes RandomFrame(int versionBits, int mode, bool crc, std::uint32_t seed) {
    Bytes frame = fixtures::MakeRawFrame(versionBits, 1, 8, 0, 0, mode);
    const Bytes noise = fixtures::Noise(frame.size() - 4, seed);
    std::copy(noise.begin(), noise.end(), frame.begin() + 4);
    if (crc) frame[1] &= 0xFE;
    return frame;
}

// Every layout, with and without CRC, and window switching in some runs, all runs and none:
// steps land on the global_gain of each granule and channel, both channels of a granule alike;
// every other bit stays, and a protected frame carries the CRC of its new side information.
TEST(SideInfoLayout, StepsChangeOnlyEachGlobalGain) {
    struct {
        const char* name;
        int versionBits, mode;
        bool crc;
        int switchedRuns;  // runs (granule x channels + channel) given window switching
        int sideInfoBytes;
    } const layouts[] = {
        {"Mpeg1Mono", 3, 3, false, 0b00, 17},      {"Mpeg1MonoCrc", 3, 3, true, 0b01, 17},
        {"Mpeg1Stereo", 3, 0, false, 0b0010, 32},  {"Mpeg1JointStereoCrc", 3, 1, true, 0b1111, 32},
        {"Mpeg2Mono", 2, 3, false, 0b1, 9},        {"Mpeg2MonoCrc", 2, 3, true, 0b0, 9},
        {"Mpeg2Stereo", 2, 0, false, 0b01, 17},    {"Mpeg2JointStereoCrc", 2, 1, true, 0b10, 17},
        {"Mpeg25StereoCrc", 0, 0, true, 0b11, 17},
    };
    for (const auto& c : layouts) {
        SCOPED_TRACE(c.name);
        Bytes frame = RandomFrame(c.versionBits, c.mode, c.crc, static_cast<std::uint32_t>(c.sideInfoBytes + c.mode));
        const Mp3FrameHeader header = DecodeMp3FrameHeader(frame.data());
        Layer3SideInfo side;
        ASSERT_TRUE(Layer3SideInfoOf(frame, header, &side));
        EXPECT_EQ(std::tuple(side.bytes, side.byteOffset, side.hasCrc),
                  std::tuple(c.sideInfoBytes, c.crc ? 6 : 4, c.crc));
        EXPECT_EQ(side.bytes, header.sideInfoBytes);

        const std::vector<int> walk =
            WalkSideInfo(frame.data() + side.byteOffset, c.versionBits == 3, side.channelCount, c.switchedRuns);
        EXPECT_EQ(walk.back(), side.bytes * 8);
        const int runGains[] = {100, 140, 180, 220};
        const GainChange changes[] = {{-4, false}, {5, false}};
        Bytes expected = frame;
        for (int run = 0; run + 1 < static_cast<int>(walk.size()); ++run) {
            EXPECT_EQ(side.GlobalGainBit(run / side.channelCount, run % side.channelCount), walk[run]) << run;
            WriteBits(frame.data() + side.byteOffset, walk[run], 8, runGains[run]);
            WriteBits(expected.data() + side.byteOffset, walk[run], 8,
                      runGains[run] + changes[run / side.channelCount].steps);
        }
        if (c.crc) StoreExpectedCrc(expected, side.bytes);
        GainEditCount counts;
        ASSERT_TRUE(ApplyGranuleSteps(frame, header, changes, &counts));
        EXPECT_EQ(frame, expected);
        EXPECT_EQ(counts.changedFields, static_cast<std::int64_t>(walk.size() - 1));
        EXPECT_EQ(counts.clampedHigh + counts.clampedLow + counts.silenced, 0);
    }
}

// A result past the field's ends is held there and counted, one that lands on an end is not; a
// frame whose fields did not move keeps its bytes, even a CRC that does not match.
TEST(ApplyGranuleSteps, TheFieldsRangeHoldsTheResult) {
    constexpr int kMostSteps = std::numeric_limits<int>::max();
    struct {
        const char* name;
        std::array<int, 4> gains;  // granule 0's two channels, then granule 1's
        GainChange changes[2];     // one a granule
        std::array<int, 4> expected;
        GainEditCount counts;
    } const cases[] = {
        {"HeldPastTheEndsNotOnThem", {251, 250, 3, 5}, {{5, false}, {-5, false}}, {255, 255, 0, 0}, {4, 1, 1, 0}},
        {"SilentOrMostSteps", {200, 90, 100, 0}, {kSilentGranule, {kMostSteps, false}}, {0, 0, 255, 255}, {4, 2, 0, 2}},
        {"AtTheTopOrNoStepsItStays", {255, 255, 100, 100}, {{3, false}, {}}, {255, 255, 100, 100}, {2, 2, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes frame = RandomFrame(3, 1, true, 5);
        const Mp3FrameHeader header = DecodeMp3FrameHeader(frame.data());
        Layer3SideInfo side;
        ASSERT_TRUE(Layer3SideInfoOf(frame, header, &side));
        frame[4] = frame[5] = 0;  // a CRC that matches nothing
        Bytes expected = frame;
        for (int run = 0; run < 4; ++run) {
            WriteBits(frame.data() + 6, side.GlobalGainBit(run / 2, run % 2), 8, c.gains[run]);
            WriteBits(expected.data() + 6, side.GlobalGainBit(run / 2, run % 2), 8, c.expected[run]);
        }
        if (c.expected != c.gains) StoreExpectedCrc(expected, side.bytes);
        GainEditCount counts;
        ASSERT_TRUE(ApplyGranuleSteps(frame, header, c.changes, &counts));
        EXPECT_EQ(frame, expected);
        EXPECT_EQ(std::tuple(counts.changedFields, counts.clampedHigh, counts.clampedLow, counts.silenced),
                  std::tuple(c.counts.changedFields, c.counts.clampedHigh, c.counts.clampedLow, c.counts.silenced));
    }
}

// Another layer, a frame one byte too short for its side information and too few changes:
// false, the frame untouched. With that one byte the frame is taken.
TEST(ApplyGranuleSteps, RefusesAndLeavesTheFrame) {
    const Bytes layer3 = fixtures::MakeRawFrame(3, 1, 8, 0, 0, 0);
    Bytes protectedFrame = layer3;
    protectedFrame[1] &= 0xFE;
    struct {
        const char* name;
        Bytes frame;
        std::size_t keptBytes, changeCount;
    } cases[] = {
        {"LayerII", fixtures::MakeRawFrame(3, 2, 8, 0, 0, 0), 100, 2},
        {"SideInfoCutShort", layer3, 4 + 32 - 1, 2},
        {"ProtectedSideInfoCutShort", protectedFrame, 4 + 2 + 32 - 1, 2},
        {"MonoMpeg2SideInfoCutShort", fixtures::MakeRawFrame(2, 1, 8, 0, 0, 3), 4 + 9 - 1, 1},
        {"OneChangeForTwoGranules", layer3, 100, 1},
    };
    const GainChange silent[] = {kSilentGranule, kSilentGranule};
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes before = c.frame;
        const Mp3FrameHeader header = DecodeMp3FrameHeader(c.frame.data());
        EXPECT_FALSE(ApplyGranuleSteps(std::span(c.frame).first(c.keptBytes), header,
                                       std::span(silent).first(c.changeCount), nullptr));
        EXPECT_EQ(c.frame, before);
    }
    EXPECT_TRUE(ApplyGranuleSteps(std::span(protectedFrame).first(4 + 2 + 32), DecodeMp3FrameHeader(layer3.data()),
                                  silent, nullptr));
}

// Granules of 576 samples; a one-second fade at 44.1 kHz in a ten-second piece unless said. A
// fade-out is the fade-in read back from the piece's end, so each point is taken at one end.
TEST(FadeSteps, GiveTheRampAtTheGranulesMiddle) {
    constexpr std::int64_t kSecond = 44100;
    constexpr std::int64_t kPiece = 10 * kSecond;
    constexpr std::int64_t kEndless = std::numeric_limits<std::int64_t>::max();
    struct {
        const char* name;
        bool out;
        std::int64_t granuleStartSample, fadeSamples, pieceSamples;
        GainChange expected;
    } const cases[] = {
        {"InMiddleBeforeTheStartIsSilent", false, -288, kSecond, kPiece, kSilentGranule},
        {"InHalfwayIsAbout6dBDown", false, kSecond / 2 - 288, kSecond, kPiece, {-4, false}},
        {"InPastTheFade", false, kSecond, kSecond, kPiece, {0, false}},
        {"InWithoutAFadeNothingIsSilent", false, -576, 0, kPiece, {0, false}},
        {"InBelowTheFieldsRangeIsSilent", false, -287, kEndless, kPiece, kSilentGranule},
        {"OutLastGranuleIsAbout44dBDown", true, kPiece - 576, kSecond, kPiece, {-29, false}},
        {"OutPastTheLastSampleIsSilent", true, kPiece - 288, kSecond, kPiece, kSilentGranule},
        {"OutLongerThanThePieceStartsPartway", true, 0, 2 * kSecond, kSecond, {-4, false}},
    };
    for (const auto& c : cases) {
        const GainChange change = c.out ? FadeOutSteps(c.granuleStartSample, 576, c.fadeSamples, c.pieceSamples)
                                        : FadeInSteps(c.granuleStartSample, 576, c.fadeSamples);
        EXPECT_EQ(std::pair(change.steps, change.silent), std::pair(c.expected.steps, c.expected.silent)) << c.name;
    }
}

// Steps of 1.505 dB to the nearest, half a step away from zero; absurd gains are held.
TEST(GainSteps, RoundsToTheNearestStep) {
    const std::pair<double, int> cases[] = {{-6.0, -4},   {0.75, 0},  {0.76, 1},    {-0.76, -1},
                                            {-30.0, -20}, {1e9, 664}, {-1e9, -664}, {std::nan(""), 0}};
    for (const auto& [db, steps] : cases) EXPECT_EQ(GainSteps(db), steps) << db;
    EXPECT_EQ(Combined({-4, false}, {2, false}), (GainChange{-2, false}));
    EXPECT_EQ(Combined({-4, false}, kSilentGranule), kSilentGranule);
}

double RmsOf(const fixtures::Decoded& decoded) {
    double sum = 0.0;
    for (const std::int16_t sample : decoded.pcm) sum += static_cast<double>(sample) * sample;
    return std::sqrt(sum / static_cast<double>(decoded.pcm.size()));
}

// LAME streams of MPEG-1 stereo, MPEG-2 and MPEG-2.5 lowered by 4 steps in every granule play
// 6.02 dB lower (every value halved), frame for frame.
TEST(LoweredStream, PlaysSixDbLower) {
    using fixtures::Channels, fixtures::Signal;
    const std::pair<const char*, fixtures::EncodeSpec> streams[] = {
        {"Mpeg1StereoNoise", fixtures::StreamSpec(2.0, Signal::Noise, 44100, 192, Channels::Stereo)},
        {"Mpeg2MonoSweep", fixtures::StreamSpec(2.0, Signal::Sweep, 22050, 64, Channels::Mono)},
        {"Mpeg25JointStereoTone", fixtures::StreamSpec(2.0, Signal::Tone, 11025, 32)},
    };
    for (const auto& [name, encoding] : streams) {
        SCOPED_TRACE(name);
        const Bytes original = fixtures::EncodeMp3(encoding);
        Bytes lowered = original;
        for (const fixtures::FrameSpan& span : fixtures::WalkFrames(original, 0)) {
            const std::span<std::uint8_t> frame(lowered.data() + span.offset, span.bytes);
            const GainChange changes[] = {{-4, false}, {-4, false}};
            ASSERT_TRUE(ApplyGranuleSteps(frame, DecodeMp3FrameHeader(frame.data()), changes, nullptr)) << span.offset;
        }
        fixtures::TempDir dir;
        fixtures::WriteFileBytes(dir / "original.mp3", original);
        fixtures::WriteFileBytes(dir / "lowered.mp3", lowered);
        const fixtures::Decoded a = fixtures::DecodeWithMpg123(dir / "original.mp3", true);
        const fixtures::Decoded b = fixtures::DecodeWithMpg123(dir / "lowered.mp3", true);
        ASSERT_TRUE(a.ok && b.ok);
        ASSERT_EQ(a.samples, b.samples);
        EXPECT_NEAR(20.0 * std::log10(RmsOf(a) / RmsOf(b)), 6.02, 0.1);
    }
}

}  // namespace
}  // namespace qm
