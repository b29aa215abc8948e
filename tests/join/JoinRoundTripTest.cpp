// Direct splits joined back, and joins of frames at different bit rates: the joined stream
// is the source's own frames under one Xing/Info frame that every decoder reads alike.

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "fixtures/ProgressFakes.h"
#include "join/ChooseJoin.h"
#include "join/JoinKit.h"
#include "join/JoinList.h"
#include "split/DirectSplitter.h"
#include "stream/ByteOrder.h"
#include "stream/XingFrame.h"

namespace qm {
namespace {

namespace fx = qm::fixtures;
using fixtures::Quiet;

constexpr int kFrameSamples = 1152;  // MPEG-1 Layer III
constexpr double kRateHz = 44100.0;

// The program of that name on the PATH, or empty.
std::filesystem::path FindTool(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::istringstream folders(path != nullptr ? path : "");
    for (std::string folder; std::getline(folders, folder, ':');) {
        const std::filesystem::path candidate = std::filesystem::path(folder) / name;
        if (!folder.empty() && std::filesystem::exists(candidate)) return candidate;
    }
    return {};
}

// Seconds of audio three outside tools find in a file; negative where the tool is absent.
struct ToolLengths {
    double mpg123 = -1.0;   // samples the command-line decoder writes (gapless)
    double ffprobe = -1.0;  // the container's duration
    double mp3val = -1.0;   // MPEG frames the validator counts, excluding the Xing/Info frame
    bool mp3valClean = true;
};
ToolLengths MeasureWithTools(const std::filesystem::path& file) {
    ToolLengths lengths;
    if (!FindTool("mpg123").empty()) {
        const fx::RunResult run = fx::RunProgram("/bin/sh", {"-c", "mpg123 -q -s '" + file.string() + "' | wc -c"});
        lengths.mpg123 = std::stod(run.out) / 4.0 / kRateHz;  // 16-bit stereo
    }
    if (const auto ffprobe = FindTool("ffprobe"); !ffprobe.empty()) {
        const fx::RunResult run = fx::RunProgram(
            ffprobe, {"-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", file.string()});
        lengths.ffprobe = std::stod(run.out);
    }
    if (const auto mp3val = FindTool("mp3val"); !mp3val.empty()) {
        const fx::RunResult run = fx::RunProgram(mp3val, {file.string()});
        const std::size_t at = run.out.find(" MPEG frames");
        const std::size_t from = run.out.rfind(' ', at - 1) + 1;
        lengths.mp3val = std::stod(run.out.substr(from, at - from)) * kFrameSamples / kRateHz;
        // A file whose frames or Xing/Info frame the validator finds wrong gets a warning;
        // only the missing ID3v1/APE tag is allowed.
        std::istringstream lines(run.out);
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind("WARNING", 0) == 0 && line.find("No supported tags") == std::string::npos) {
                lengths.mp3valClean = false;
            }
        }
    }
    return lengths;
}

// The Xing/Info frame that heads a joined file, its word and LAME extension.
struct HeaderFacts {
    std::string word;
    std::uint32_t frames = 0;
    std::uint32_t bytes = 0;
    LameExtension lame;
    bool hasLame = false;
};
HeaderFacts ReadHeader(const fx::Bytes& frame) {
    HeaderFacts facts;
    XingLayout layout;
    if (!ParseXingLayout(frame, &layout)) return facts;
    const std::size_t wordAt = fx::XingOffsetOf(frame.data());
    facts.word.assign(frame.begin() + static_cast<std::ptrdiff_t>(wordAt),
                      frame.begin() + static_cast<std::ptrdiff_t>(wordAt + 4));
    facts.frames = ReadBigEndian32(&frame[layout.frameCountOffset]);
    facts.bytes = ReadBigEndian32(&frame[layout.byteCountOffset]);
    facts.hasLame = ReadLameExtension(frame, layout, &facts.lame);
    return facts;
}

JoinChoice AutomaticChoice(const std::vector<std::filesystem::path>& files) {
    std::vector<JoinFileFacts> facts(files.size());
    for (std::size_t i = 0; i < files.size(); ++i) EXPECT_TRUE(AnalyseJoinFile(files[i], &facts[i]));
    return ChooseJoin(facts.front(), std::span(facts).subspan(1), JoinerOptions{}, JoinStart::Nothing);
}

struct RoundTripCase {
    const char* name;
    bool vbr;
    // Whether the pieces decode to the source's very samples: the three frames a piece
    // repeats hold the bit reservoir of its first own frame only where frames are larger than
    // a third of the reservoir's 511 bytes; the quiet parts of a VBR sweep are not.
    bool samplesAlike;
};

class JoinRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

// A tagged file cut into five pieces and joined back: the pieces play back to back without
// a repeat (a gapless decoder gives exactly the source's sample count), the automatic choice
// copies their frames, the joined frames are the source's byte for byte, and its Xing/Info
// frame gives the source's delay and padding, so decoders and validators agree with the
// source's length.
TEST_P(JoinRoundTrip, FivePiecesOfATaggedFileJoinBackToTheSource) {
    const RoundTripCase c = GetParam();
    fx::TempDir dir;
    fx::EncodeSpec spec;
    spec.vbr = c.vbr;
    spec.xing = fx::XingFrame::Yes;
    spec.seconds = 12.0;
    spec.signal = fx::Signal::Sweep;
    fx::Id3v2Spec tag;
    tag.title = "Round trip";
    tag.paddingBytes = 500;
    const fx::Bytes image = fx::EncodeMp3(spec);
    const auto source = dir / "source.mp3";
    fx::WriteFileBytes(
        source, fx::Concat({fx::MakeId3v2Tag(tag), image, fx::MakeId3v1Tag("Round trip", "", "", "", "", 1, 0)}));

    DirectSplitter engine;
    ASSERT_TRUE(engine.Open(source));
    std::vector<std::filesystem::path> pieces;
    for (int i = 1; i <= 5; ++i) {
        pieces.push_back(dir / ("piece" + std::to_string(i) + ".mp3"));
        bool endReached = false;
        const bool ok = i < 5 ? engine.WritePieceByDuration(pieces.back(), 25, {i, 5, i, 0}, &endReached)
                              : engine.WritePieceToEnd(pieces.back(), {i, 5, i, 0});
        ASSERT_TRUE(ok) << engine.LastError();
        ASSERT_FALSE(endReached);
    }
    engine.Close();

    const fx::Decoded whole = fx::DecodeWithMpg123(source, /*keepPcm=*/true);
    ASSERT_TRUE(whole.ok);
    fx::Decoded backToBack;
    for (const auto& piece : pieces) {
        const fx::Decoded decoded = fx::DecodeWithMpg123(piece, /*keepPcm=*/true);
        backToBack.samples += decoded.samples;
        backToBack.pcm.insert(backToBack.pcm.end(), decoded.pcm.begin(), decoded.pcm.end());
    }
    EXPECT_EQ(backToBack.samples, whole.samples) << "no frame heard twice at a cut";
    if (c.samplesAlike) {
        EXPECT_TRUE(backToBack.pcm == whole.pcm) << "the pieces play on sample for sample";
    }

    ASSERT_EQ(AutomaticChoice(pieces).method, JoinMethod::Direct);
    JoinList job;
    job.AddSources(pieces);
    const auto joined = dir / "joined.mp3";
    ASSERT_TRUE(job.JoinDirect(joined, Quiet())) << job.LastError();

    const joinkit::JoinedParts parts = joinkit::SplitJoined(fx::ReadFileBytes(joined), 0);
    const fx::Bytes sourceFrames = joinkit::FramesOf(image, 1);
    EXPECT_TRUE(parts.audio == sourceFrames) << "the source's frames, none repeated";
    const HeaderFacts header = ReadHeader(parts.header);
    const fx::Bytes sourceInfo(image.begin(), image.begin() + fx::WalkFrames(image, 0).front().bytes);
    const HeaderFacts sourceHeader = ReadHeader(sourceInfo);
    EXPECT_EQ(header.word, c.vbr ? "Xing" : "Info");
    EXPECT_EQ(header.frames, sourceHeader.frames);
    EXPECT_EQ(header.bytes, parts.header.size() + parts.audio.size());
    ASSERT_TRUE(header.hasLame && sourceHeader.hasLame);
    EXPECT_EQ(header.lame.encoderDelaySamples, sourceHeader.lame.encoderDelaySamples);
    EXPECT_EQ(header.lame.paddingSamples, sourceHeader.lame.paddingSamples);
    EXPECT_EQ(fx::DecodeWithMpg123(joined).samples, whole.samples);

    const double frameSeconds = kFrameSamples / kRateHz;
    const ToolLengths ofSource = MeasureWithTools(source);
    const ToolLengths ofJoined = MeasureWithTools(joined);
    if (ofJoined.mpg123 < 0 && ofJoined.ffprobe < 0 && ofJoined.mp3val < 0) {
        GTEST_SKIP() << "mpg123, ffprobe and mp3val are not installed";
    }
    // Each tool reads the joined file as it reads the source (the tools differ among
    // themselves in whether they take delay and padding off).
    EXPECT_NEAR(ofJoined.mpg123, ofSource.mpg123, frameSeconds);
    EXPECT_NEAR(ofJoined.ffprobe, ofSource.ffprobe, frameSeconds);
    EXPECT_NEAR(ofJoined.mp3val, ofSource.mp3val, frameSeconds);
    EXPECT_TRUE(ofJoined.mp3valClean);
    if (ofJoined.mpg123 >= 0) {
        EXPECT_NEAR(ofJoined.mpg123, double(whole.samples) / kRateHz, frameSeconds);
    }
}

INSTANTIATE_TEST_SUITE_P(Sources, JoinRoundTrip,
                         ::testing::Values(RoundTripCase{"Vbr", true, false}, RoundTripCase{"Cbr128", false, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// 30 s at 192 kbit/s and 30 s at 128 kbit/s of one format are copied under a "Xing" frame
// whose seek table places 50% of the time where it lies in the bytes: ffmpeg seeking there
// (through the table, and by its own means) lands within a second of the true time; a seek
// that took the bytes as evenly spread over the time would land about 6 s early.
TEST(JoinDirectFormats, DifferentBitRatesJoinDirectlyAndSeekByTheTable) {
    fx::TempDir dir;
    fx::EncodeSpec fast;
    fast.seconds = 30.0;
    fast.kbps = 192;
    fx::EncodeSpec slow = fast;
    slow.kbps = 128;
    slow.signal = fx::Signal::Noise;
    const std::vector<std::filesystem::path> files{joinkit::WriteMp3(dir, "fast.mp3", fast),
                                                   joinkit::WriteMp3(dir, "slow.mp3", slow)};
    ASSERT_EQ(AutomaticChoice(files).method, JoinMethod::Direct);
    JoinList job;
    job.AddSources(files);
    const auto joined = dir / "joined.mp3";
    ASSERT_TRUE(job.JoinDirect(joined, Quiet())) << job.LastError();
    const fx::Bytes bytes = fx::ReadFileBytes(joined);
    const joinkit::JoinedParts parts = joinkit::SplitJoined(bytes, 0);
    const HeaderFacts header = ReadHeader(parts.header);
    EXPECT_EQ(header.word, "Xing") << "two bit rates make a variable-bit-rate stream";
    EXPECT_FALSE(header.hasLame) << "neither source carries one";
    const std::vector<fx::FrameSpan> frames = fx::WalkFrames(bytes, parts.header.size());
    EXPECT_EQ(header.frames, frames.size());
    EXPECT_TRUE(fx::DecodeWithMpg123(joined).ok);

    const auto ffprobe = FindTool("ffprobe");
    if (ffprobe.empty()) GTEST_SKIP() << "ffprobe is not installed";
    const double halfSeconds = double(frames.size()) * kFrameSamples / kRateHz / 2.0;
    for (const char* useToc : {"1", "0"}) {
        SCOPED_TRACE(std::string("usetoc ") + useToc);
        // The first packet after a seek to half the length, and where it lies in the file.
        const fx::RunResult run = fx::RunProgram(
            ffprobe, {"-v", "error", "-usetoc", useToc, "-read_intervals", std::to_string(halfSeconds) + "%+#1",
                      "-show_entries", "packet=pos", "-of", "csv=p=0", joined.string()});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const std::uint64_t pos = std::stoull(run.out);
        std::size_t before = 0;
        while (before < frames.size() && frames[before].offset < pos) ++before;
        const double landedSeconds = double(before) * kFrameSamples / kRateHz;
        EXPECT_NEAR(landedSeconds, halfSeconds, 1.0) << "landed at byte " << pos;
    }
}

// Layer III with Layer II, and 44.1 kHz with 48 kHz, cannot share a stream: the automatic
// choice re-encodes them, and a direct join asked for anyway fails and writes nothing.
TEST(JoinDirectFormats, FramesThatCannotShareAStreamAreNotCopied) {
    fx::TempDir dir;
    fx::EncodeSpec at44;
    at44.seconds = 1.0;
    at44.channels = fx::Channels::Stereo;
    fx::EncodeSpec at48 = at44;
    at48.sampleRateHz = 48000;
    fx::Bytes layer2;  // 44.1 kHz stereo Layer II at 128 kbit/s, silent
    for (int i = 0; i < 40; ++i) {
        const fx::Bytes frame = fx::MakeRawFrame(3, 2, 8, 0, 0, 0);
        layer2.insert(layer2.end(), frame.begin(), frame.end());
    }
    fx::WriteFileBytes(dir / "two.mp2", layer2);
    const auto three = joinkit::WriteMp3(dir, "three.mp3", at44);
    const auto other = joinkit::WriteMp3(dir, "other.mp3", at48);
    struct Case {
        const char* name;
        std::vector<std::filesystem::path> files;
    };
    for (const Case& c :
         {Case{"Layer III then Layer II", {three, dir / "two.mp2"}}, Case{"44.1 kHz then 48 kHz", {three, other}}}) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(AutomaticChoice(c.files).method, JoinMethod::Reencode);
        JoinList job;
        job.AddSources(c.files);
        EXPECT_FALSE(job.JoinDirect(dir / "out.mp3", Quiet()));
        EXPECT_EQ(job.LastError(), "Failed to join file \"" + c.files[1].string() +
                                       "\" by copying frames: its MPEG version, layer, sample rate or channels "
                                       "differ from the first file's.");
        EXPECT_FALSE(std::filesystem::exists(dir / "out.mp3"));
    }
}

}  // namespace
}  // namespace qm
