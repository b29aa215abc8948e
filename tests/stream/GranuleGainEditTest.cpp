// Level changes through global_gain: the field found is the field the standard lays out, only
// its bits change, the frame CRC is written anew, and a real stream plays 6 dB lower.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
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

// The CRC a protected frame should store: over header bytes 2 and 3 and the side information.
std::uint16_t ExpectedCrc(const Bytes& frame, int sideInfoBytes) {
    std::vector<std::uint8_t> covered = {frame[2], frame[3]};
    covered.insert(covered.end(), frame.begin() + 6, frame.begin() + 6 + sideInfoBytes);
    return BitwiseFrameCrc(covered);
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
        const bool switched = ((switchedRuns >> run) & 1) != 0;
        WriteBits(side, bit++, 1, switched ? 1 : 0);
        bit += ReadBits(side, bit - 1, 1) == 1 ? 2 + 1 + 5 + 5 + 3 + 3 + 3 : 5 + 5 + 5 + 4 + 3;
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

// Whether the two frames differ in exactly the bits of mask.
void ExpectOnlyMaskedBitsDiffer(const Bytes& before, const Bytes& after, const std::vector<bool>& mask) {
    ASSERT_EQ(before.size(), after.size());
    for (std::size_t bit = 0; bit < before.size() * 8; ++bit) {
        if (mask[bit]) continue;
        ASSERT_EQ(ReadBits(before.data(), static_cast<int>(bit), 1), ReadBits(after.data(), static_cast<int>(bit), 1))
            << "bit " << bit;
    }
}

TEST(Layer3FrameCrc, TheBitwiseReferenceGivesTheCheckValue) {
    EXPECT_EQ(BitwiseFrameCrc({'1', '2', '3', '4', '5', '6', '7', '8', '9'}), 0xAEE7);
}

struct LayoutCase {
    const char* name;
    int versionBits, mode;
    bool crc;
    int switchedRuns;  // runs (granule x channels + channel) given window switching
    int sideInfoBytes;
};

// Every layout, with and without CRC, and window switching in some runs, all runs and none.
const LayoutCase kLayouts[] = {
    {"Mpeg1Mono", 3, 3, false, 0b00, 17},
    {"Mpeg1MonoCrc", 3, 3, true, 0b01, 17},
    {"Mpeg1Stereo", 3, 0, false, 0b0010, 32},
    {"Mpeg1JointStereoCrc", 3, 1, true, 0b1111, 32},
    {"Mpeg1DualChannelCrc", 3, 2, true, 0b0101, 32},
    {"Mpeg2Mono", 2, 3, false, 0b1, 9},
    {"Mpeg2MonoCrc", 2, 3, true, 0b0, 9},
    {"Mpeg2Stereo", 2, 0, false, 0b01, 17},
    {"Mpeg2JointStereoCrc", 2, 1, true, 0b10, 17},
    {"Mpeg25StereoCrc", 0, 0, true, 0b11, 17},
};

class SideInfoLayoutTest : public testing::TestWithParam<LayoutCase> {};

// Steps land on the global_gain of each granule and channel, both channels of a granule alike;
// every other bit stays, and a protected frame carries the CRC of its new side information.
TEST_P(SideInfoLayoutTest, StepsChangeOnlyEachGlobalGain) {
    const LayoutCase& c = GetParam();
    Bytes frame = RandomFrame(c.versionBits, c.mode, c.crc, static_cast<std::uint32_t>(c.sideInfoBytes + c.mode));
    const Mp3FrameHeader header = DecodeMp3FrameHeader(frame.data());
    Layer3SideInfo side;
    ASSERT_TRUE(Layer3SideInfoOf(frame, header, &side));
    EXPECT_EQ(side.bytes, c.sideInfoBytes);
    EXPECT_EQ(side.bytes, header.sideInfoBytes);
    EXPECT_EQ(side.byteOffset, c.crc ? 6 : 4);
    EXPECT_EQ(side.hasCrc, c.crc);

    std::uint8_t* sideInfo = frame.data() + side.byteOffset;
    const std::vector<int> walk = WalkSideInfo(sideInfo, c.versionBits == 3, side.channelCount, c.switchedRuns);
    EXPECT_EQ(walk.back(), side.bytes * 8);
    const std::vector<int> runGains = {100, 140, 180, 220};
    std::vector<bool> mask(frame.size() * 8, false);
    if (c.crc) std::fill(mask.begin() + 32, mask.begin() + 48, true);
    for (std::size_t run = 0; run + 1 < walk.size(); ++run) {
        const int granule = static_cast<int>(run) / side.channelCount;
        EXPECT_EQ(side.GlobalGainBit(granule, static_cast<int>(run) % side.channelCount), walk[run]) << run;
        WriteBits(sideInfo, walk[run], 8, runGains[run]);
        std::fill_n(mask.begin() + side.byteOffset * 8 + walk[run], 8, true);
    }

    const Bytes before = frame;
    const GainChange changes[] = {{-4, false}, {5, false}};
    GainEditCount counts;
    ASSERT_TRUE(ApplyGranuleSteps(frame, header, changes, &counts));
    for (std::size_t run = 0; run + 1 < walk.size(); ++run) {
        const int steps = changes[run / static_cast<std::size_t>(side.channelCount)].steps;
        EXPECT_EQ(ReadBits(sideInfo, walk[run], 8), runGains[run] + steps) << run;
    }
    ExpectOnlyMaskedBitsDiffer(before, frame, mask);
    if (c.crc) {
        EXPECT_EQ((frame[4] << 8) | frame[5], ExpectedCrc(frame, side.bytes));
    }
    EXPECT_EQ(counts.changedFields, static_cast<std::int64_t>(walk.size() - 1));
    EXPECT_EQ(counts.clampedHigh + counts.clampedLow + counts.silenced, 0);
}

INSTANTIATE_TEST_SUITE_P(Layouts, SideInfoLayoutTest, testing::ValuesIn(kLayouts),
                         [](const auto& info) { return std::string(info.param.name); });

struct ClampCase {
    const char* name;
    int gain;
    GainChange change;
    int expected;
    std::int64_t changed, high, low, silenced;  // counted over granule 0's two channels
};

// The field's ends hold the result; a frame whose field did not move keeps its bytes, even a
// CRC that does not match.
const ClampCase kClamps[] = {
    {"RaisedPast255IsHeld", 250, {10, false}, 255, 2, 2, 0, 0},
    {"RaisedTo255Exactly", 251, {4, false}, 255, 2, 0, 0, 0},
    {"LoweredPast0IsHeld", 3, {-5, false}, 0, 2, 0, 2, 0},
    {"LoweredTo0Exactly", 4, {-4, false}, 0, 2, 0, 0, 0},
    {"SilentSetsZero", 200, kSilentGranule, 0, 2, 0, 0, 2},
    {"LargestStepsDoNotOverflow", 100, {std::numeric_limits<int>::max(), false}, 255, 2, 2, 0, 0},
    {"AtTheTopTheFrameStays", 255, {3, false}, 255, 2, 2, 0, 0},
    {"NoStepsTheFrameStays", 100, {0, false}, 100, 0, 0, 0, 0},
};

class GainClampTest : public testing::TestWithParam<ClampCase> {};

TEST_P(GainClampTest, TheFieldsRangeHoldsTheResult) {
    const ClampCase& c = GetParam();
    Bytes frame = RandomFrame(3, 1, true, 5);
    const Mp3FrameHeader header = DecodeMp3FrameHeader(frame.data());
    Layer3SideInfo side;
    ASSERT_TRUE(Layer3SideInfoOf(frame, header, &side));
    std::uint8_t* sideInfo = frame.data() + side.byteOffset;
    for (int granule = 0; granule < 2; ++granule) {
        for (int channel = 0; channel < 2; ++channel)
            WriteBits(sideInfo, side.GlobalGainBit(granule, channel), 8, c.gain);
    }
    frame[4] = frame[5] = 0;  // a CRC that matches nothing
    const Bytes before = frame;
    const GainChange changes[] = {c.change, {}};
    GainEditCount counts;
    ASSERT_TRUE(ApplyGranuleSteps(frame, header, changes, &counts));
    for (int channel = 0; channel < 2; ++channel) {
        EXPECT_EQ(ReadBits(sideInfo, side.GlobalGainBit(0, channel), 8), c.expected);
        EXPECT_EQ(ReadBits(sideInfo, side.GlobalGainBit(1, channel), 8), c.gain);
    }
    if (c.expected == c.gain) {
        EXPECT_EQ(frame, before);
    }
    if (c.expected != c.gain) {
        EXPECT_EQ((frame[4] << 8) | frame[5], ExpectedCrc(frame, side.bytes));
    }
    EXPECT_EQ(counts.changedFields, c.changed);
    EXPECT_EQ(counts.clampedHigh, c.high);
    EXPECT_EQ(counts.clampedLow, c.low);
    EXPECT_EQ(counts.silenced, c.silenced);
}

INSTANTIATE_TEST_SUITE_P(Clamps, GainClampTest, testing::ValuesIn(kClamps),
                         [](const auto& info) { return std::string(info.param.name); });

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
        {"LayerI", fixtures::MakeRawFrame(3, 3, 8, 0, 0, 0), 100, 2},
        {"SideInfoCutShort", layer3, 4 + 32 - 1, 2},
        {"ProtectedSideInfoCutShort", protectedFrame, 4 + 2 + 32 - 1, 2},
        {"MonoMpeg2SideInfoCutShort", fixtures::MakeRawFrame(2, 1, 8, 0, 0, 3), 4 + 9 - 1, 1},
        {"HeaderCutShort", layer3, 3, 2},
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

enum class Fade { In, Out };
struct RampCase {
    const char* name;
    Fade fade;
    std::int64_t granuleStartSample, fadeSamples, pieceSamples;
    GainChange expected;
};

// Granules of 576 samples; a one-second fade at 44.1 kHz in a ten-second piece unless said.
constexpr std::int64_t kSecond = 44100;
constexpr std::int64_t kPiece = 10 * kSecond;
const RampCase kRamps[] = {
    {"InBeforeThePieceIsSilent", Fade::In, -576, kSecond, kPiece, kSilentGranule},
    {"InMiddleBeforeTheStartIsSilent", Fade::In, -288, kSecond, kPiece, kSilentGranule},
    {"InFirstGranuleIsAbout44dBDown", Fade::In, 0, kSecond, kPiece, {-29, false}},
    {"InHalfwayIsAbout6dBDown", Fade::In, kSecond / 2 - 288, kSecond, kPiece, {-4, false}},
    {"InLastGranuleOfTheFade", Fade::In, kSecond - 576, kSecond, kPiece, {0, false}},
    {"InPastTheFade", Fade::In, kSecond, kSecond, kPiece, {0, false}},
    {"InWithoutAFade", Fade::In, 0, 0, kPiece, {0, false}},
    {"InBelowTheFieldsRangeIsSilent", Fade::In, -287, std::numeric_limits<std::int64_t>::max(), kPiece, kSilentGranule},
    {"OutLastGranuleIsAbout44dBDown", Fade::Out, kPiece - 576, kSecond, kPiece, {-29, false}},
    {"OutPastTheLastSampleIsSilent", Fade::Out, kPiece - 288, kSecond, kPiece, kSilentGranule},
    {"OutHalfwayIsAbout6dBDown", Fade::Out, kPiece - kSecond / 2 - 288, kSecond, kPiece, {-4, false}},
    {"OutBeforeTheFade", Fade::Out, kPiece - kSecond - 576, kSecond, kPiece, {0, false}},
    {"OutLongerThanThePieceStartsPartway", Fade::Out, 0, 2 * kSecond, kSecond, {-4, false}},
    {"InLongerThanThePieceEndsPartway", Fade::In, kSecond - 576, 2 * kSecond, kSecond, {-4, false}},
};

class FadeRampTest : public testing::TestWithParam<RampCase> {};

TEST_P(FadeRampTest, GivesTheRampAtTheGranulesMiddle) {
    const RampCase& c = GetParam();
    const GainChange change = c.fade == Fade::In
                                  ? FadeInSteps(c.granuleStartSample, 576, c.fadeSamples)
                                  : FadeOutSteps(c.granuleStartSample, 576, c.fadeSamples, c.pieceSamples);
    EXPECT_EQ(change.silent, c.expected.silent);
    EXPECT_EQ(change.steps, c.expected.steps);
}

INSTANTIATE_TEST_SUITE_P(Ramps, FadeRampTest, testing::ValuesIn(kRamps),
                         [](const auto& info) { return std::string(info.param.name); });

// Steps of 1.505 dB to the nearest, half a step away from zero; absurd gains are held.
TEST(GainSteps, RoundsToTheNearestStep) {
    const std::pair<double, int> cases[] = {{-6.0, -4}, {6.0, 4},     {0.0, 0},         {0.75, 0},
                                            {0.76, 1},  {-0.76, -1},  {1.5, 1},         {-30.0, -20},
                                            {1e9, 664}, {-1e9, -664}, {std::nan(""), 0}};
    for (const auto& [db, steps] : cases) EXPECT_EQ(GainSteps(db), steps) << db;
    EXPECT_EQ(Combined({-4, false}, {2, false}), (GainChange{-2, false}));
    EXPECT_EQ(Combined({-4, false}, kSilentGranule), kSilentGranule);
}

double RmsOf(const std::vector<std::int16_t>& pcm) {
    double sum = 0.0;
    for (const std::int16_t sample : pcm) sum += static_cast<double>(sample) * sample;
    return std::sqrt(sum / static_cast<double>(pcm.size()));
}

// The frames a stream's walk lowered, and how many of them carry a CRC.
struct Lowered {
    int frames = 0;
    int protectedFrames = 0;
};

// Lowers every granule of every Layer III frame from firstFrame on by steps. A protected
// frame's CRC is checked before and after.
Lowered LowerEveryGranule(Bytes& data, std::uint64_t firstFrame, int steps) {
    Lowered lowered;
    for (const fixtures::FrameSpan& span : fixtures::WalkFrames(data, firstFrame)) {
        const std::span<std::uint8_t> frame(data.data() + span.offset, span.bytes);
        const Mp3FrameHeader header = DecodeMp3FrameHeader(frame.data());
        Layer3SideInfo side;
        if (!Layer3SideInfoOf(frame, header, &side)) continue;
        if (side.hasCrc) {
            EXPECT_EQ((frame[4] << 8) | frame[5], Layer3FrameCrc(frame, side)) << span.offset;
            ++lowered.protectedFrames;
        }
        const GainChange changes[] = {{steps, false}, {steps, false}};
        EXPECT_TRUE(ApplyGranuleSteps(frame, header, changes, nullptr));
        const Bytes edited(frame.begin(), frame.end());
        if (side.hasCrc) {
            EXPECT_EQ((frame[4] << 8) | frame[5], ExpectedCrc(edited, side.bytes)) << span.offset;
        }
        ++lowered.frames;
    }
    return lowered;
}

// Decodes both streams and compares their levels: -4 steps halve every value, 6.02 dB.
void ExpectSixDbLower(const Bytes& original, const Bytes& lowered) {
    fixtures::TempDir dir;
    fixtures::WriteFileBytes(dir / "original.mp3", original);
    fixtures::WriteFileBytes(dir / "lowered.mp3", lowered);
    const fixtures::Decoded a = fixtures::DecodeWithMpg123(dir / "original.mp3", true);
    const fixtures::Decoded b = fixtures::DecodeWithMpg123(dir / "lowered.mp3", true);
    ASSERT_TRUE(a.ok && b.ok);
    ASSERT_EQ(a.samples, b.samples);
    EXPECT_NEAR(20.0 * std::log10(RmsOf(a.pcm) / RmsOf(b.pcm)), 6.02, 0.1);
}

struct StreamCase {
    const char* name;
    fixtures::EncodeSpec spec;
};

const StreamCase kStreams[] = {
    {"Mpeg1JointStereoTone", fixtures::StreamSpec(2.0, fixtures::Signal::Tone)},
    {"Mpeg1StereoNoise", fixtures::StreamSpec(2.0, fixtures::Signal::Noise, 44100, 192, fixtures::Channels::Stereo)},
    {"Mpeg2MonoSweep", fixtures::StreamSpec(2.0, fixtures::Signal::Sweep, 22050, 64, fixtures::Channels::Mono)},
    {"Mpeg25JointStereoTone", fixtures::StreamSpec(2.0, fixtures::Signal::Tone, 11025, 32)},
};

class LoweredStreamTest : public testing::TestWithParam<StreamCase> {};

// A LAME stream lowered by 4 steps in every granule plays 6 dB lower, frame for frame.
TEST_P(LoweredStreamTest, PlaysSixDbLower) {
    const Bytes original = fixtures::EncodeMp3(GetParam().spec);
    Bytes lowered = original;
    EXPECT_EQ(LowerEveryGranule(lowered, 0, -4).frames, static_cast<int>(fixtures::WalkFrames(original, 0).size()));
    ExpectSixDbLower(original, lowered);
}

INSTANTIATE_TEST_SUITE_P(Streams, LoweredStreamTest, testing::ValuesIn(kStreams),
                         [](const auto& info) { return std::string(info.param.name); });

// Real streams from other encoders: protected frames store the CRC computed here, and short
// and mixed blocks (window switching) step like long ones.
TEST(LoweredStreamTest, CorpusStreamsWithCrcAndBlockSwitching) {
    const std::filesystem::path corpus = fixtures::CorpusDir();
    if (corpus.empty()) GTEST_SKIP() << "the corpus is not beside the checkout";
    struct File {
        const char* name;
        int frames, protectedFrames;
    };
    const File files[] = {{"iso-conformance/l3-hecommon.bit", 30, 25},
                          {"iso-conformance/l3-si_block.bit", 64, 0},
                          {"minimp3-vectors/noise_meandr.mp3", 418, 418}};
    for (const auto& [name, frames, protectedFrames] : files) {
        SCOPED_TRACE(name);
        const Bytes original = fixtures::ReadFileBytes(corpus / name);
        std::uint64_t first = 0;
        while (first + 4 < original.size() && !IsValidMp3FrameHeader(original.data() + first)) ++first;
        Bytes lowered = original;
        const Lowered walk = LowerEveryGranule(lowered, first, -4);
        EXPECT_EQ(walk.frames, frames);
        EXPECT_EQ(walk.protectedFrames, protectedFrames);
        ExpectSixDbLower(original, lowered);
    }
}

}  // namespace
}  // namespace qm
