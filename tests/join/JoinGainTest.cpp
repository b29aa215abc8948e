// A join's volume change: copied Layer III frames change in their granules' global_gain alone,
// re-encoded joins in their samples, and Layer I and II joins are re-encoded to change at all.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <tuple>

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

// A block of frames with each granule's global_gain moved by steps; fields counts the fields.
fx::Bytes Stepped(fx::Bytes frames, int steps, std::int64_t* fields) {
    for (const fx::FrameSpan& span : fx::WalkFrames(frames, 0)) {
        const std::span<std::uint8_t> frame(frames.data() + span.offset, span.bytes);
        Layer3SideInfo side;
        EXPECT_TRUE(Layer3SideInfoOf(frame, DecodeMp3FrameHeader(frame.data()), &side)) << span.offset;
        for (int run = 0; run < side.granuleCount * side.channelCount; ++run, ++*fields) {
            const int bit = side.byteOffset * 8 + side.GlobalGainBit(run / side.channelCount, run % side.channelCount);
            WriteBits(frame.data(), bit, 8, ReadBits(frame.data(), bit, 8) + steps);
        }
    }
    return frames;
}

// Pieces of a direct split joined back directly with -6 dB: the frames each piece repeats from
// the one before are recognised as read, before their gain changes, so the joined stream is the
// source's frames once each, every granule 4 steps lower and nothing else changed; the counts
// say so, the applied gain is the steps' decibels, and the Info frame's music CRC is over the
// frames as written (the output passes its check).
TEST(JoinGain, PiecesJoinedDirectlyStepEachGranuleAndLeaveOutTheirRepeats) {
    fx::TempDir dir;
    fx::EncodeSpec spec = fx::StreamSpec(6.0, fx::Signal::Sweep);
    spec.xing = fx::XingFrame::Yes;
    const fx::Bytes image = fx::EncodeMp3(spec);
    fx::WriteFileBytes(dir / "source.mp3", image);
    DirectSplitter engine;
    ASSERT_TRUE(engine.Open(dir / "source.mp3"));
    const std::vector<std::filesystem::path> pieces = {dir / "p1.mp3", dir / "p2.mp3", dir / "p3.mp3"};
    bool endReached = false;
    ASSERT_TRUE(engine.WritePieceByDuration(pieces[0], 20, {1, 3, 1, 0}, &endReached)) << engine.LastError();
    ASSERT_TRUE(engine.WritePieceByDuration(pieces[1], 20, {2, 3, 2, 0}, &endReached)) << engine.LastError();
    ASSERT_TRUE(engine.WritePieceToEnd(pieces[2], {3, 3, 3, 0})) << engine.LastError();
    engine.Close();

    JoinList job;
    job.AddSources(pieces);
    job.SetGain(-60);
    ASSERT_TRUE(job.JoinDirect(dir / "joined.mp3", Quiet())) << job.LastError();
    const fx::Bytes plain = joinkit::FramesOf(image, 1);  // the Info frame left out
    std::int64_t fields = 0;
    EXPECT_TRUE(joinkit::SplitJoined(fx::ReadFileBytes(dir / "joined.mp3"), 0).audio == Stepped(plain, -4, &fields))
        << "the joined frames are not the source's once each with every global_gain 4 steps lower";
    const GainEditCount& counts = job.GainCounts();
    EXPECT_EQ(std::tuple(counts.changedFields, counts.clampedHigh, counts.clampedLow, counts.silenced),
              std::tuple(fields, std::int64_t{0}, std::int64_t{0}, std::int64_t{0}));
    EXPECT_DOUBLE_EQ(job.AppliedGainDb(), -4 * kGainStepDb);
    const VerifyResult check =
        VerifyMp3File(dir / "joined.mp3", OutputExpectation::Frames(fx::WalkFrames(plain, 0).size()));
    EXPECT_TRUE(check.ok) << check.problem;
}

// A re-encoded join scales the samples: 6 dB down is 6 dB down in the decoded output, and a
// gain far past full scale clips the tone to a wave near full scale instead of wrapping it
// around into noise. Nothing is counted as granules changed.
TEST(JoinGain, ReencodedJoinScalesTheSamples) {
    fx::TempDir dir;
    const fx::EncodeSpec spec = fx::StreamSpec(1.5, fx::Signal::Tone);
    const std::vector<std::filesystem::path> sources = {joinkit::WriteMp3(dir, "a.mp3", spec),
                                                        joinkit::WriteMp3(dir, "b.mp3", spec)};
    const auto joinWith = [&](int tenthsDb, const std::string& name) {
        JoinList job;
        job.AddSources(sources);
        job.SetGain(tenthsDb);
        EXPECT_TRUE(job.JoinReencode(dir / name, {44100, 128, ChannelMode::JointStereo}, Quiet())) << job.LastError();
        EXPECT_DOUBLE_EQ(job.AppliedGainDb(), tenthsDb / 10.0);
        EXPECT_EQ(job.GainCounts().changedFields, 0);
        const fx::Decoded decoded = fx::DecodeWithMpg123(dir / name, /*keepPcm=*/true);
        EXPECT_TRUE(decoded.ok && !decoded.pcm.empty()) << name;
        double sum = 0;
        for (const std::int16_t sample : decoded.pcm) sum += double(sample) * double(sample);
        return std::sqrt(sum / double(std::max<std::size_t>(decoded.pcm.size(), 1)));
    };
    const double plain = joinWith(0, "plain.mp3");
    EXPECT_NEAR(20.0 * std::log10(joinWith(-60, "down.mp3") / plain), -6.0, 0.1);
    EXPECT_GT(joinWith(1000, "clipped.mp3"), 0.85 * 32767.0);
}

// Layer II frames have no global gain: with a volume change the join that would copy them
// re-encodes (and then changes the level); without one it still copies them.
TEST(JoinGain, LayerIIFilesWithAGainAreReencoded) {
    fx::TempDir dir;
    // MPEG-1 Layer II, 128 kbit/s, 44.1 kHz, stereo: frames of silence.
    const fx::Bytes frames = fx::Concat(std::vector<fx::Bytes>(60, fx::MakeRawFrame(3, 2, 8, 0, 0, 0)));
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
