// The re-encoding join: sources of any rate, channel count and format come out as one clean
// constant-bit-rate stream at the target format, as long as the sources together.

#include <gtest/gtest.h>

#include <array>
#include <set>
#include <stdexcept>
#include <thread>

#include "fixtures/ProgressFakes.h"
#include "join/JoinKit.h"
#include "join/JoinList.h"
#include "join/PcmConverter.h"
#include "join/PcmSource.h"
#include "stream/Mp3Encoder.h"
#include "stream/MpegHeader.h"
#include "stream/Tags.h"

namespace qm {
namespace {

namespace fx = qm::fixtures;

// A progress contract nobody watches.
using fixtures::Quiet;
using joinkit::FolderNames;
using joinkit::SoundFormat;

// LAME adds its delay and padding once, at the ends of the whole output.
constexpr double kLengthToleranceSeconds = 0.12;

struct SourceSpec {
    enum Kind { Mp3, Wav, Flac, Ogg } kind;
    int rateHz;
    int channels;
    double seconds;
    int kbps = 128;
};

// Writes the source and returns its path and its playing time.
std::pair<std::filesystem::path, double> MakeSource(const fx::TempDir& dir, const SourceSpec& s, int index) {
    const std::string stem = "src" + std::to_string(index);
    if (s.kind == SourceSpec::Mp3) {
        fx::EncodeSpec spec;
        spec.sampleRateHz = s.rateHz;
        spec.kbps = s.kbps;
        spec.channels = s.channels == 1 ? fx::Channels::Mono : fx::Channels::JointStereo;
        spec.seconds = s.seconds;
        const auto path = joinkit::WriteMp3(dir, stem + ".mp3", spec);
        return {path, joinkit::Mp3Seconds(path)};
    }
    const char* ext = s.kind == SourceSpec::Wav ? ".wav" : s.kind == SourceSpec::Flac ? ".flac" : ".ogg";
    const SoundFormat format = s.kind == SourceSpec::Wav    ? SoundFormat::Wav
                               : s.kind == SourceSpec::Flac ? SoundFormat::Flac
                                                            : SoundFormat::Ogg;
    const auto path = dir / (stem + ext);
    EXPECT_TRUE(joinkit::WriteSoundFile(path, format, s.rateHz, s.channels, s.seconds));
    return {path, s.seconds};
}

Mp3FrameHeader FirstHeader(const fx::Bytes& data, std::size_t offset) {
    return DecodeMp3FrameHeader(data.data() + offset);
}

TEST(JoinReencode, MixedSourcesComeOutAtTheTargetFormat) {
    struct Case {
        const char* name;
        std::vector<SourceSpec> sources;
        EncoderParams params;
        int channels;
    };
    const std::vector<Case> cases = {
        {"mono 22050 and stereo 44100 into stereo 44100",
         {{SourceSpec::Mp3, 22050, 1, 2.0, 64}, {SourceSpec::Mp3, 44100, 2, 2.5}},
         {44100, 128, ChannelMode::Stereo},
         2},
        {"stereo 48000 and 44100 into mono 44100",
         {{SourceSpec::Mp3, 48000, 2, 1.5}, {SourceSpec::Mp3, 44100, 2, 1.0}},
         {44100, 96, ChannelMode::Mono},
         1},
        {"same format, joint stereo",
         {{SourceSpec::Mp3, 44100, 2, 1.0}, {SourceSpec::Mp3, 44100, 2, 1.0}},
         {44100, 128, ChannelMode::JointStereo},
         2},
        {"WAV, FLAC and Ogg sources",
         {{SourceSpec::Wav, 44100, 2, 1.0},
          {SourceSpec::Flac, 48000, 1, 1.0},
          {SourceSpec::Ogg, 22050, 2, 1.5},
          {SourceSpec::Mp3, 32000, 1, 1.0}},
         {48000, 160, ChannelMode::JointStereo},
         2},
        {"six-channel WAV into a 32 kHz mono file",
         {{SourceSpec::Wav, 44100, 6, 1.0}},
         {32000, 64, ChannelMode::Mono},
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fx::TempDir dir;
        JoinList job;
        double totalSeconds = 0;
        for (std::size_t i = 0; i < c.sources.size(); ++i) {
            auto [path, seconds] = MakeSource(dir, c.sources[i], static_cast<int>(i));
            job.AddSource(path);
            totalSeconds += seconds;
        }
        fx::FakeOperation op;
        const auto target = dir / "out.mp3";
        ASSERT_TRUE(job.JoinReencode(target, c.params, op.Get())) << job.LastError();
        const fx::Decoded decoded = fx::DecodeWithMpg123(target);
        EXPECT_TRUE(decoded.ok);
        EXPECT_EQ(decoded.errors, 0);
        EXPECT_EQ(decoded.rateHz, c.params.sampleRateHz);
        EXPECT_EQ(decoded.channels, c.channels);
        EXPECT_NEAR(double(decoded.samples) / c.params.sampleRateHz, totalSeconds, kLengthToleranceSeconds);

        // Constant bit rate, headed by the encoder's Info frame, no tag of LAME's own at either
        // end.
        const fx::Bytes data = fx::ReadFileBytes(target);
        ASSERT_GT(data.size(), 128u);
        const Mp3FrameHeader first = FirstHeader(data, 0);
        EXPECT_EQ(first.bitRateKbps, c.params.bitRateKbps);
        const auto spans = fx::WalkFrames(data, 0);
        ASSERT_GT(spans.size(), 2u);
        const std::string info(data.begin() + 4 + first.sideInfoBytes, data.begin() + 8 + first.sideInfoBytes);
        EXPECT_EQ(info, "Info");
        EXPECT_EQ(spans.back().offset + spans.back().bytes, data.size()) << "nothing after the last frame";
        EXPECT_EQ(FolderNames(dir.Path()).size(), c.sources.size() + 1);
    }
}

// Out-of-range values are brought into range by the encoder's rule; a rate outside MPEG fails
// with the parameters as given and writes nothing.
TEST(JoinReencode, EncoderParameters) {
    struct Case {
        EncoderParams params;
        bool ok;
        int kbps;  // of the output's frames
        ChannelMode mode;
    };
    // Seven is none of the four modes: the encoder encodes it as stereo.
    const ChannelMode notAMode = static_cast<ChannelMode>(7);
    const std::vector<Case> cases = {
        {{44100, 400, ChannelMode::JointStereo}, true, 320, ChannelMode::JointStereo},
        {{44100, 128, ChannelMode::DualChannel}, true, 128, ChannelMode::Stereo},
        {{22050, 4, notAMode}, true, 8, ChannelMode::Stereo},
        {{12345, 128, ChannelMode::JointStereo}, false, 0, ChannelMode::Stereo},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.params.sampleRateHz * 1000 + c.params.bitRateKbps);
        fx::TempDir dir;
        JoinList job;
        fx::EncodeSpec spec;
        spec.seconds = 0.5;
        job.AddSource(joinkit::WriteMp3(dir, "a.mp3", spec));
        const auto target = dir / "out.mp3";
        fx::WriteFileBytes(target, {'o', 'l', 'd'});
        EXPECT_EQ(job.JoinReencode(target, c.params, Quiet()), c.ok);
        const fx::Bytes data = fx::ReadFileBytes(target);
        if (!c.ok) {
            EXPECT_EQ(job.LastError(), "Bad encoding parameter: 12345Hz, 128kbps, 1");
            EXPECT_EQ(data, (fx::Bytes{'o', 'l', 'd'})) << "the existing file survives";
        } else {
            const Mp3FrameHeader first = FirstHeader(data, 0);
            EXPECT_EQ(first.bitRateKbps, c.kbps);
            EXPECT_EQ(first.channelMode, c.mode);
        }
        EXPECT_EQ(FolderNames(dir.Path()), (std::vector<std::string>{"a.mp3", "out.mp3"}));
    }
}

// The tag block comes first and keeps non-Latin text and a track above 255.
TEST(JoinReencode, WritesTheTargetTagFirst) {
    fx::TempDir dir;
    JoinList job;
    fx::EncodeSpec spec;
    spec.seconds = 0.5;
    job.AddSource(joinkit::WriteMp3(dir, "a.mp3", spec));
    job.SetTargetTag("Заголовок", "アーティスト", "Album", "2024", "two\nlines", "Rock", 300);
    ASSERT_FALSE(job.TargetTag().empty());
    const auto target = dir / "out.mp3";
    ASSERT_TRUE(job.JoinReencode(target, {44100, 128, ChannelMode::JointStereo}, Quiet()));
    const fx::Bytes data = fx::ReadFileBytes(target);
    ASSERT_GT(data.size(), job.TargetTag().size());
    EXPECT_TRUE(std::equal(job.TargetTag().begin(), job.TargetTag().end(), data.begin()));
    EXPECT_TRUE(IsValidMp3FrameHeader(data.data() + job.TargetTag().size()));
    TagInfo back;
    ASSERT_TRUE(ReadTags(target, &back));
    EXPECT_EQ(back.title, "Заголовок");
    EXPECT_EQ(back.artist, "アーティスト");
    EXPECT_EQ(back.track, 300);
    EXPECT_TRUE(fx::DecodeWithMpg123(target).ok);
}

// A failure on the decoding thread (the hook throws, as a failed allocation would) fails the
// join with the write message wherever it strikes: in the first read, at the seam to the
// second source, deep in the last one. No file is left and an existing target keeps its bytes.
TEST(JoinReencode, ADecoderFailureFailsTheJoinAndLeavesNoFile) {
    struct Case {
        int source;
        int read;  // 1-based read of that source that fails
    };
    fx::TempDir dir;
    fx::EncodeSpec spec;
    spec.seconds = 1.0;
    const auto a = joinkit::WriteMp3(dir, "a.mp3", spec);
    const auto b = joinkit::WriteMp3(dir, "b.mp3", spec);
    const auto target = dir / "out.mp3";
    for (const Case c : {Case{0, 1}, Case{1, 1}, Case{1, 30}}) {
        for (const bool targetExists : {false, true}) {
            SCOPED_TRACE(c.source * 1000 + c.read * 10 + targetExists);
            if (targetExists) fx::WriteFileBytes(target, {'o', 'l', 'd'});
            JoinList job;
            job.AddSources({a, b});
            int reads = 0;  // touched by the decoding thread only, until the join returns
            job.SetDecodeHook([&](int index) {
                if (index == c.source && ++reads == c.read) throw std::runtime_error("no memory");
            });
            EXPECT_FALSE(job.JoinReencode(target, {44100, 128, ChannelMode::JointStereo}, Quiet()));
            EXPECT_EQ(reads, c.read) << "no read after the failure";
            EXPECT_EQ(job.LastError(), "Failed to write file \"" + target.string() + "\".");
            if (targetExists) {
                EXPECT_EQ(fx::ReadFileBytes(target), (fx::Bytes{'o', 'l', 'd'}));
                EXPECT_EQ(FolderNames(dir.Path()), (std::vector<std::string>{"a.mp3", "b.mp3", "out.mp3"}));
                std::filesystem::remove(target);
            } else {
                EXPECT_EQ(FolderNames(dir.Path()), (std::vector<std::string>{"a.mp3", "b.mp3"}));
            }
        }
    }
}

// Open failures name the source; cancel during the last source removes the target and
// keeps the existing file of that name.
TEST(JoinReencode, FailuresAndCancelLeaveNoTarget) {
    fx::TempDir dir;
    fx::EncodeSpec spec;
    spec.seconds = 1.0;
    const auto a = joinkit::WriteMp3(dir, "a.mp3", spec);
    const auto b = joinkit::WriteMp3(dir, "b.mp3", spec);
    const auto target = dir / "out.mp3";

    JoinList missing;
    missing.AddSources({a, dir / "gone.ogg", b});
    EXPECT_FALSE(missing.JoinReencode(target, {44100, 128, ChannelMode::JointStereo}, Quiet()));
    EXPECT_EQ(missing.LastError(), "Failed to open file \"" + (dir / "gone.ogg").string() + "\".");
    EXPECT_FALSE(std::filesystem::exists(target));

    fx::WriteFileBytes(target, {'o', 'l', 'd'});
    JoinList job;
    job.AddSources({a, b});
    fx::FakeOperation op;
    long pumpsOfFirst = 0;
    op.pump.onPump = [&](long count) {
        // 1 s at 44.1 kHz is 39 blocks: cancel well inside the second source.
        if (count > 60) op.cancel = 1;
        pumpsOfFirst = count;
    };
    EXPECT_FALSE(job.JoinReencode(target, {44100, 128, ChannelMode::JointStereo}, op.Get()));
    EXPECT_EQ(job.LastError(), "");
    EXPECT_EQ(fx::ReadFileBytes(target), (fx::Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(FolderNames(dir.Path()), (std::vector<std::string>{"a.mp3", "b.mp3", "out.mp3"}));
    EXPECT_LE(pumpsOfFirst, 61);
}

// The status text and bar of the re-encoding join follow the decoded position.
TEST(JoinReencode, ProgressFollowsTheDecodedPosition) {
    fx::TempDir dir;
    fx::EncodeSpec spec;
    spec.seconds = 2.0;
    JoinList job;
    job.AddSource(joinkit::WriteMp3(dir, "a.mp3", spec));
    job.AddSource(joinkit::WriteMp3(dir, "b.mp3", spec));
    fx::FakeOperation op;
    ASSERT_TRUE(job.JoinReencode(dir / "x.mp3", {44100, 128, ChannelMode::JointStereo}, op.Get()));
    ASSERT_FALSE(op.status.texts.empty());
    EXPECT_EQ(op.status.texts.front(), "Joining 2 files into x.mp3...0%");
    EXPECT_EQ(op.status.texts.back(), "Joining 2 files into x.mp3...100%");
    EXPECT_GE(op.bar.positions.back(), 298);
    EXPECT_GE(op.status.texts.size(), 90u);
}

// The join as one loop on one thread: every source decoded, converted (always, even when
// the format already matches) and encoded in turn. The join must give exactly these bytes.
fx::Bytes EncodeOnOneThread(const std::vector<std::filesystem::path>& sources, const EncoderParams& params) {
    const int channels = ChannelCountOf(params.channelMode);
    Mp3Encoder encoder;
    EXPECT_EQ(
        encoder.Start({params.sampleRateHz, channels, params.sampleRateHz, params.bitRateKbps, params.channelMode}),
        EncoderStart::Started);
    fx::Bytes encoded;
    auto keep = [&] { encoded.insert(encoded.end(), encoder.Output().begin(), encoder.Output().end()); };
    AudioLayerSource source;
    PcmConverter converter;
    std::array<std::int16_t, PcmSource::kMaxSamplesPerRead> left{};
    std::array<std::int16_t, PcmSource::kMaxSamplesPerRead> right{};
    auto encode = [&](int samples) {
        EXPECT_TRUE(encoder.Encode(static_cast<const std::int16_t*>(converter.LeftOutput()),
                                   static_cast<const std::int16_t*>(converter.RightOutput()), samples));
        keep();
    };
    for (const auto& sourcePath : sources) {
        EXPECT_TRUE(source.Open(sourcePath, 0));
        converter.Reset();
        converter.source = {source.GetOutputChannels(), source.GetSampleRate(), source.GetBitsPerSample()};
        converter.target = {channels, params.sampleRateHz, 16};
        converter.Prepare();
        while (const int samples = source.Read(left.data(), right.data())) {
            encode(converter.Process(left.data(), right.data(), samples));
        }
        encode(converter.Flush());
        source.Close();
    }
    EXPECT_TRUE(encoder.Finish());
    keep();
    // The Info frame goes over the placeholder frame the encoder put first.
    const std::span<const std::uint8_t> info = encoder.InfoFrame();
    EXPECT_GE(encoded.size(), info.size());
    if (encoded.size() >= info.size()) std::copy(info.begin(), info.end(), encoded.begin());
    return encoded;
}

// Progress fakes that also note the thread of every call.
struct ThreadRecordingOperation {
    struct Bar : fx::RecordingBar {
        void SetRange(int low, int high) override {
            threads.insert(std::this_thread::get_id());
            RecordingBar::SetRange(low, high);
        }
        void SetPosition(int position) override {
            threads.insert(std::this_thread::get_id());
            RecordingBar::SetPosition(position);
        }
        std::set<std::thread::id> threads;
    } bar;
    struct Status : fx::RecordingStatus {
        void SetText(const std::string& text) override {
            threads.insert(std::this_thread::get_id());
            RecordingStatus::SetText(text);
        }
        std::set<std::thread::id> threads;
    } status;
    fx::RecordingPump pump;
    std::set<std::thread::id> pumpThreads;
    CancelFlag cancel{0};

    ThreadRecordingOperation() {
        pump.onPump = [this](long) { pumpThreads.insert(std::this_thread::get_id()); };
    }
    LongOperation Get() { return LongOperation{&bar, &status, &pump, &cancel}; }
};

// Decoding runs ahead on its own thread, yet the output is byte for byte that of the join on
// one thread: blocks neither lost, repeated nor reordered, each resampler tail at the end of
// its own source, a source already in the target format passed through unchanged. Every call
// of the progress contract comes from the thread that called the join.
TEST(JoinReencode, TwoThreadsGiveTheBytesOfOneAndKeepProgressOnTheCaller) {
    struct Case {
        const char* name;
        std::vector<SourceSpec> sources;
        EncoderParams params;
    };
    const std::vector<Case> cases = {
        {"mono 22050, stereo WAV 48000, stereo 44100 into joint stereo 44100",
         {{SourceSpec::Mp3, 22050, 1, 1.3, 64},
          {SourceSpec::Wav, 48000, 2, 1.1},
          {SourceSpec::Mp3, 44100, 2, 1.0},
          {SourceSpec::Mp3, 22050, 1, 0.4, 64}},
         {44100, 128, ChannelMode::JointStereo}},
        {"six-channel WAV, stereo 44100 and mono 22050 into mono 22050",
         {{SourceSpec::Wav, 32000, 6, 0.8}, {SourceSpec::Mp3, 44100, 2, 1.2}, {SourceSpec::Mp3, 22050, 1, 1.0, 64}},
         {22050, 64, ChannelMode::Mono}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fx::TempDir dir;
        JoinList job;
        for (std::size_t i = 0; i < c.sources.size(); ++i) job.AddSource(MakeSource(dir, c.sources[i], int(i)).first);
        ThreadRecordingOperation op;
        const auto target = dir / "out.mp3";
        ASSERT_TRUE(job.JoinReencode(target, c.params, op.Get())) << job.LastError();
        EXPECT_TRUE(fx::ReadFileBytes(target) == EncodeOnOneThread(job.Sources(), c.params)) << "bytes differ";

        const std::set<std::thread::id> caller = {std::this_thread::get_id()};
        EXPECT_EQ(op.pumpThreads, caller);
        EXPECT_EQ(op.bar.threads, caller);
        EXPECT_EQ(op.status.threads, caller);
        EXPECT_GE(op.pump.count, 40) << "a pump per block";
    }
}

// A cancel before the first block, with the decoder ahead of the encoder, and in the last
// source ends the join at once: no pump after the one that saw the flag, no message, no file.
TEST(JoinReencode, CancelStopsTheDecoderAnywhere) {
    fx::TempDir dir;
    fx::EncodeSpec spec;
    spec.seconds = 1.0;
    JoinList job;
    for (const char* name : {"a.mp3", "b.mp3", "c.mp3"}) job.AddSource(joinkit::WriteMp3(dir, name, spec));
    // 1 s at 44.1 kHz is 39 blocks, each pumped once, and each source pumps once at its start.
    for (const long cancelPump : {2L, 10L, 110L}) {
        SCOPED_TRACE(cancelPump);
        fx::FakeOperation op;
        op.CancelAtPump(cancelPump);
        EXPECT_FALSE(job.JoinReencode(dir / "out.mp3", {44100, 128, ChannelMode::JointStereo}, op.Get()));
        EXPECT_EQ(job.LastError(), "");
        EXPECT_EQ(op.pump.count, cancelPump);
        EXPECT_EQ(FolderNames(dir.Path()), (std::vector<std::string>{"a.mp3", "b.mp3", "c.mp3"}));
    }
}

}  // namespace
}  // namespace qm
