// A join's volume change: copied Layer III frames change in their granules' global_gain alone,
// re-encoded joins in their samples, and Layer I and II joins are re-encoded to change at all.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "fixtures/ProgressFakes.h"
#include "join/JoinKit.h"
#include "join/JoinList.h"
#include "join/RunJoin.h"
#include "split/DirectSplitter.h"
#include "stream/GranuleGainEdit.h"
#include "stream/OutputVerify.h"

namespace qm {
namespace {

namespace fx = qm::fixtures;
using fixtures::Quiet;

// The audio frames of a directly joined file (its tag and Xing/Info frame left out).
std::vector<fx::Bytes> AudioFramesOf(const std::filesystem::path& path) {
    const fx::Bytes audio = joinkit::SplitJoined(fx::ReadFileBytes(path), 0).audio;
    std::vector<fx::Bytes> frames;
    for (const fx::FrameSpan& span : fx::WalkFrames(audio, 0)) {
        const auto begin = audio.begin() + static_cast<std::ptrdiff_t>(span.offset);
        frames.emplace_back(begin, begin + span.bytes);
    }
    return frames;
}

// What one frame's granules hold: each global_gain field, and the frame with those fields
// cleared (everything the gain must leave alone).
struct GainFields {
    std::vector<int> gains;
    fx::Bytes rest;
};
GainFields GainFieldsOf(const fx::Bytes& frame) {
    GainFields fields{{}, frame};
    const Mp3FrameHeader header = DecodeMp3FrameHeader(frame.data());
    Layer3SideInfo side;
    EXPECT_TRUE(Layer3SideInfoOf(frame, header, &side));
    std::uint8_t* sideInfo = fields.rest.data() + side.byteOffset;
    constexpr int kGainBits = 8;
    for (int g = 0; g < side.granuleCount; ++g) {
        for (int c = 0; c < side.channelCount; ++c) {
            fields.gains.push_back(ReadBits(sideInfo, side.GlobalGainBit(g, c), kGainBits));
            WriteBits(sideInfo, side.GlobalGainBit(g, c), kGainBits, 0);
        }
    }
    return fields;
}

// Checks that every frame of changed is the frame of plain with each global_gain moved by
// steps (held within 0..255), and nothing else; returns the counts that should give.
GainEditCount ExpectSteppedFrames(const std::vector<fx::Bytes>& plain, const std::vector<fx::Bytes>& changed,
                                  int steps) {
    GainEditCount expected;
    EXPECT_EQ(changed.size(), plain.size());
    for (std::size_t i = 0; i < std::min(plain.size(), changed.size()); ++i) {
        const GainFields before = GainFieldsOf(plain[i]);
        const GainFields after = GainFieldsOf(changed[i]);
        EXPECT_EQ(after.rest, before.rest) << "frame " << i << " differs outside its global_gain fields";
        if (after.gains.size() != before.gains.size()) continue;
        for (std::size_t f = 0; f < before.gains.size(); ++f) {
            const int wanted = before.gains[f] + steps;
            EXPECT_EQ(after.gains[f], std::clamp(wanted, 0, 255)) << "frame " << i << ", field " << f;
            expected.changedFields += steps != 0;
            expected.clampedHigh += wanted > 255;
            expected.clampedLow += wanted < 0;
        }
    }
    return expected;
}

void ExpectCounts(const GainEditCount& counts, const GainEditCount& expected) {
    EXPECT_EQ(counts.changedFields, expected.changedFields);
    EXPECT_EQ(counts.clampedHigh, expected.clampedHigh);
    EXPECT_EQ(counts.clampedLow, expected.clampedLow);
    EXPECT_EQ(counts.silenced, 0);
}

struct DirectGainCase {
    const char* name;
    fx::EncodeSpec spec;
    int tenthsDb;
    int steps;      // the whole steps nearest to the gain
    bool someHeld;  // some granules are held at the top of the field's range
};

class DirectJoinGain : public ::testing::TestWithParam<DirectGainCase> {};

// Two files joined with a gain and without: the same frames of the same sizes but for each
// granule's global_gain, moved by the nearest whole steps and held at the field's ends; the
// counts say what was held; the Xing/Info frame's music CRC is over the frames as written
// (the output passes its check), and the applied gain is the steps' decibels.
TEST_P(DirectJoinGain, ChangesOnlyEachGranulesGlobalGain) {
    const DirectGainCase c = GetParam();
    fx::TempDir dir;
    fx::EncodeSpec second = c.spec;
    second.toneHz = 660.0;
    const std::vector<std::filesystem::path> sources = {joinkit::WriteMp3(dir, "a.mp3", c.spec),
                                                        joinkit::WriteMp3(dir, "b.mp3", second)};
    JoinList plainJob;
    plainJob.AddSources(sources);
    ASSERT_TRUE(plainJob.JoinDirect(dir / "plain.mp3", Quiet())) << plainJob.LastError();
    JoinList job;
    job.AddSources(sources);
    job.SetGain(c.tenthsDb);
    ASSERT_TRUE(job.JoinDirect(dir / "gain.mp3", Quiet())) << job.LastError();

    EXPECT_EQ(std::filesystem::file_size(dir / "gain.mp3"), std::filesystem::file_size(dir / "plain.mp3"));
    const std::vector<fx::Bytes> plain = AudioFramesOf(dir / "plain.mp3");
    const GainEditCount expected = ExpectSteppedFrames(plain, AudioFramesOf(dir / "gain.mp3"), c.steps);
    ExpectCounts(job.GainCounts(), expected);
    EXPECT_EQ(expected.clampedHigh > 0, c.someHeld);
    EXPECT_DOUBLE_EQ(job.AppliedGainDb(), c.steps * kGainStepDb);
    const VerifyResult check = VerifyMp3File(dir / "gain.mp3", OutputExpectation::Frames(plain.size()));
    EXPECT_TRUE(check.ok) << check.problem;
}

fx::EncodeSpec GainSpec(int rateHz, int kbps, fx::Channels channels) {
    return fx::StreamSpec(1.5, fx::Signal::Tone, rateHz, kbps, channels);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, DirectJoinGain,
    ::testing::Values(
        DirectGainCase{"Mpeg1JointStereoDown6Db", GainSpec(44100, 128, fx::Channels::JointStereo), -60, -4, false},
        DirectGainCase{"Mpeg2MonoUp2p5Db", GainSpec(22050, 64, fx::Channels::Mono), 25, 2, false},
        DirectGainCase{"Mpeg25StereoDown100Db", GainSpec(8000, 32, fx::Channels::Stereo), -1000, -66, false},
        DirectGainCase{"UpHundredDbHeldAtTheTop", GainSpec(44100, 128, fx::Channels::Stereo), 1000, 66, true},
        DirectGainCase{"BelowHalfAStepChangesNothing", GainSpec(44100, 128, fx::Channels::Stereo), 7, 0, false}),
    [](const auto& info) { return std::string(info.param.name); });

// Pieces of a direct split joined back with a gain: the frames each piece repeats from the
// one before are recognised as read, before their gain changes, so the joined stream is the
// source's frames once each, every one stepped alike.
TEST(JoinGain, RepeatedFramesOfPiecesAreLeftOutAsWithoutAGain) {
    fx::TempDir dir;
    fx::EncodeSpec spec = fx::StreamSpec(6.0, fx::Signal::Sweep);
    spec.xing = fx::XingFrame::Yes;
    const fx::Bytes image = fx::EncodeMp3(spec);
    const auto source = dir / "source.mp3";
    fx::WriteFileBytes(source, image);
    DirectSplitter engine;
    ASSERT_TRUE(engine.Open(source));
    const std::vector<std::filesystem::path> pieces = {dir / "p1.mp3", dir / "p2.mp3", dir / "p3.mp3"};
    for (int i = 1; i <= 3; ++i) {
        bool endReached = false;
        const std::filesystem::path& piece = pieces[static_cast<std::size_t>(i - 1)];
        ASSERT_TRUE(i < 3 ? engine.WritePieceByDuration(piece, 20, {i, 3, i, 0}, &endReached)
                          : engine.WritePieceToEnd(piece, {i, 3, i, 0}))
            << engine.LastError();
    }
    engine.Close();

    JoinList job;
    job.AddSources(pieces);
    job.SetGain(-60);
    ASSERT_TRUE(job.JoinDirect(dir / "joined.mp3", Quiet())) << job.LastError();
    const fx::Bytes sourceFrames = joinkit::FramesOf(image, 1);
    std::vector<fx::Bytes> plain;
    for (const fx::FrameSpan& span : fx::WalkFrames(sourceFrames, 0)) {
        const auto begin = sourceFrames.begin() + static_cast<std::ptrdiff_t>(span.offset);
        plain.emplace_back(begin, begin + span.bytes);
    }
    ExpectSteppedFrames(plain, AudioFramesOf(dir / "joined.mp3"), -4);
}

// The root mean square of a decoded file's samples, all channels together.
double DecodedRms(const std::filesystem::path& path) {
    const fx::Decoded decoded = fx::DecodeWithMpg123(path, /*keepPcm=*/true);
    EXPECT_TRUE(decoded.ok) << path;
    double sum = 0;
    for (const std::int16_t sample : decoded.pcm) sum += double(sample) * double(sample);
    return decoded.pcm.empty() ? 0.0 : std::sqrt(sum / double(decoded.pcm.size()));
}

// A re-encoded join scales the samples: 6 dB down is 6 dB down in the decoded output, and a
// gain far past full scale clips the tone to a wave near full scale instead of wrapping it
// around into noise. Nothing is counted as granules changed.
TEST(JoinGain, ReencodedJoinScalesTheSamples) {
    fx::TempDir dir;
    const fx::EncodeSpec spec = fx::StreamSpec(1.5, fx::Signal::Tone);
    const std::vector<std::filesystem::path> sources = {joinkit::WriteMp3(dir, "a.mp3", spec),
                                                        joinkit::WriteMp3(dir, "b.mp3", spec)};
    const EncoderParams params{44100, 128, ChannelMode::JointStereo};
    const auto joinWith = [&](int tenthsDb, const std::string& name) {
        JoinList job;
        job.AddSources(sources);
        job.SetGain(tenthsDb);
        EXPECT_TRUE(job.JoinReencode(dir / name, params, Quiet())) << job.LastError();
        EXPECT_DOUBLE_EQ(job.AppliedGainDb(), tenthsDb / 10.0);
        EXPECT_EQ(job.GainCounts().changedFields, 0);
        return DecodedRms(dir / name);
    };
    const double plain = joinWith(0, "plain.mp3");
    EXPECT_NEAR(20.0 * std::log10(joinWith(-60, "down.mp3") / plain), -6.0, 0.1);
    EXPECT_GT(joinWith(1000, "clipped.mp3"), 0.85 * 32767.0);
}

// Layer II frames have no global gain: with a volume change the join that would copy them
// re-encodes (and then changes the level); without one it still copies them.
TEST(JoinGain, LayerIIFilesWithAGainAreReencoded) {
    fx::TempDir dir;
    fx::Bytes frames;
    // MPEG-1 Layer II, 128 kbit/s, 44.1 kHz, stereo: frames of silence.
    for (int i = 0; i < 60; ++i) frames = fx::Concat({frames, fx::MakeRawFrame(3, 2, 8, 0, 0, 0)});
    const std::vector<std::filesystem::path> sources = {dir / "a.mp2", dir / "b.mp2"};
    for (const auto& source : sources) fx::WriteFileBytes(source, frames);
    for (const int tenthsDb : {0, -60}) {
        JoinList job;
        job.AddSources(sources);
        JoinerOptions options;
        options.VolumeChangeTenthsDb = tenthsDb;
        JoinChoice chosen;
        const RunResult result = RunJoin(job, dir / "joined.mp3", options, ForceReencode::No, Quiet(), &chosen);
        ASSERT_TRUE(result.IsDone()) << result.message;
        EXPECT_EQ(chosen.method, tenthsDb == 0 ? JoinMethod::Direct : JoinMethod::Reencode) << tenthsDb;
        EXPECT_DOUBLE_EQ(job.AppliedGainDb(), tenthsDb / 10.0);
    }
}

}  // namespace
}  // namespace qm
