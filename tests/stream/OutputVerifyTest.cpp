// The check of a finished output: good files of every shape the engines write pass with exact
// counts; each kind of damage fails with its own sentence; the writer's expectation is held to
// its bounds; the background verifier reports the first failure and checks nothing after it.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "fixtures/Fixtures.h"
#include "stream/ByteOrder.h"
#include "stream/FailureMessages.h"
#include "stream/OutputVerify.h"
#include "stream/XingFrame.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using fixtures::Bytes;
using fixtures::EncodeSpec;

constexpr int kSamplesPerFrame = 1152;  // MPEG-1 Layer III

EncodeSpec Spec(fixtures::XingFrame xing, bool vbr = false) {
    EncodeSpec spec;
    spec.seconds = 3.0;
    spec.xing = xing;
    spec.vbr = vbr;
    return spec;
}

// A file of spec with an ID3v2 tag in front, as every piece has.
fs::path WriteSong(const fixtures::TempDir& dir, const std::string& name, const EncodeSpec& spec) {
    fixtures::Id3v2Spec tag;
    tag.title = "Verified";
    tag.paddingBytes = 100;
    const fs::path path = dir / name;
    fixtures::WriteFileBytes(path, fixtures::Concat({fixtures::MakeId3v2Tag(tag), fixtures::EncodeMp3(spec)}));
    return path;
}

// Where the audio frames of a file written by WriteSong lie (the Xing/Info frame included).
std::vector<fixtures::FrameSpan> Frames(const Bytes& file) {
    const std::uint64_t tagBytes =
        10 + ((file[6] & 0x7F) << 21 | (file[7] & 0x7F) << 14 | (file[8] & 0x7F) << 7 | (file[9] & 0x7F));
    return fixtures::WalkFrames(file, tagBytes);
}

// Good files: LAME's own Info and Xing frames (its music CRC and byte counts), none at all,
// and MPEG-2 mono; the samples are LAME's input exactly when its delay and padding are declared.
TEST(VerifyMp3File, PassesGoodFilesWithExactCounts) {
    struct Case {
        const char* name;
        EncodeSpec spec;
        bool gapless;           // the file declares LAME's delay and padding
        bool dropLame = false;  // its Info frame loses the LAME extension, as a joined file's may
    };
    EncodeSpec mono = Spec(fixtures::XingFrame::Yes);
    mono.sampleRateHz = 22050;
    mono.kbps = 64;
    mono.channels = fixtures::Channels::Mono;
    const std::vector<Case> cases{
        {"cbr-info.mp3", Spec(fixtures::XingFrame::Yes), true},
        {"vbr-xing.mp3", Spec(fixtures::XingFrame::Yes, /*vbr=*/true), true},
        {"cbr-bare.mp3", Spec(fixtures::XingFrame::No), false},
        {"mpeg2-mono.mp3", mono, true},
        {"info-without-lame.mp3", Spec(fixtures::XingFrame::Yes), false, true},
    };
    fixtures::TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path path = WriteSong(dir, c.name, c.spec);
        const std::vector<fixtures::FrameSpan> frames = Frames(fixtures::ReadFileBytes(path));
        if (c.dropLame) {
            Bytes bytes = fixtures::ReadFileBytes(path);
            const auto info = bytes.begin() + static_cast<std::ptrdiff_t>(frames[0].offset);
            const std::string lame = "LAME";
            const auto at = std::search(info, info + frames[0].bytes, lame.begin(), lame.end());
            ASSERT_NE(at, info + frames[0].bytes);
            std::fill_n(at, 4, 0);
            fixtures::WriteFileBytes(path, bytes);
        }
        const std::uint64_t audioFrames = frames.size() - (c.gapless || c.dropLame ? 1 : 0);
        const VerifyResult result = VerifyMp3File(path, OutputExpectation::Frames(audioFrames));
        EXPECT_TRUE(result.ok) << result.problem;
        EXPECT_EQ(result.problem, "");
        EXPECT_EQ(result.frames, audioFrames);
        const int samplesPerFrame =
            fixtures::SamplesPerFrameOf(fixtures::ReadFileBytes(path).data() + frames.front().offset);
        // With an Info frame but nothing declared, a gapless decoder still leaves out its own
        // delay of 529 samples at the start.
        const std::uint64_t full = audioFrames * static_cast<std::uint64_t>(samplesPerFrame);
        const std::uint64_t expected = c.gapless    ? static_cast<std::uint64_t>(fixtures::PcmSampleCount(c.spec))
                                       : c.dropLame ? full - 529
                                                    : full;
        EXPECT_EQ(result.samples, expected);
    }
}

// Each kind of damage, done to a good file with LAME's Info frame, fails with its sentence.
TEST(VerifyMp3File, FailsEachKindOfDamage) {
    struct Case {
        const char* name;
        // Damages the file's bytes; frames are the spans of its Info frame and audio frames.
        std::function<void(Bytes&, const std::vector<fixtures::FrameSpan>&)> damage;
        std::string problemStart;
    };
    const std::vector<Case> cases{
        {"a lost sector",
         [](Bytes& file, const std::vector<fixtures::FrameSpan>& frames) {
             std::fill_n(file.begin() + static_cast<std::ptrdiff_t>(frames[frames.size() / 2].offset) - 100, 512, 0);
         },
         "it has "},
        {"a cut-off end", [](Bytes& file, const std::vector<fixtures::FrameSpan>&) { file.resize(file.size() - 50); },
         "it ends with "},
        {"junk after the last frame",
         [](Bytes& file, const std::vector<fixtures::FrameSpan>&) {
             const Bytes junk = fixtures::Junk(300);
             file.insert(file.end(), junk.begin(), junk.end());
         },
         "it ends with 300 bytes that are no whole audio frame"},
        {"a flipped bit inside a frame's audio",
         [](Bytes& file, const std::vector<fixtures::FrameSpan>& frames) {
             file[frames[frames.size() / 2].offset + 200] ^= 0x10;
         },
         "its audio frames do not match the music CRC of its LAME extension"},
        {"a frame of another format (a false sync) between two frames",
         [](Bytes& file, const std::vector<fixtures::FrameSpan>& frames) {
             // MPEG-2.5 Layer I, 32 kbit/s, 11.025 kHz, mono.
             const Bytes other = fixtures::MakeRawFrame(0, 3, 1, 0, 0, 3);
             file.insert(file.begin() + static_cast<std::ptrdiff_t>(frames[frames.size() / 2].offset), other.begin(),
                         other.end());
         },
         "its frame at byte "},
        {"a frame count one too many",
         [](Bytes& file, const std::vector<fixtures::FrameSpan>& frames) {
             XingLayout layout;
             ASSERT_TRUE(ParseXingLayout({file.data() + frames[0].offset, frames[0].bytes}, &layout));
             std::uint8_t* count = file.data() + frames[0].offset + layout.frameCountOffset;
             WriteBigEndian32(count, ReadBigEndian32(count) + 1);
         },
         "its Xing/Info frame claims "},
        {"a byte count one too few",
         [](Bytes& file, const std::vector<fixtures::FrameSpan>& frames) {
             XingLayout layout;
             ASSERT_TRUE(ParseXingLayout({file.data() + frames[0].offset, frames[0].bytes}, &layout));
             std::uint8_t* bytes = file.data() + frames[0].offset + layout.byteCountOffset;
             WriteBigEndian32(bytes, ReadBigEndian32(bytes) - 1);
         },
         "its Xing/Info frame claims "},
    };
    fixtures::TempDir dir;
    const fs::path good = WriteSong(dir, "good.mp3", Spec(fixtures::XingFrame::Yes));
    const Bytes original = fixtures::ReadFileBytes(good);
    const std::vector<fixtures::FrameSpan> frames = Frames(original);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes damaged = original;
        c.damage(damaged, frames);
        const fs::path path = dir / "damaged.mp3";
        fixtures::WriteFileBytes(path, damaged);
        const VerifyResult result = VerifyMp3File(path, OutputExpectation{});
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.problem.rfind(c.problemStart, 0), 0U) << result.problem;
    }
}

// Damage that leaves the frames whole is found by decoding: a header that still syncs but
// says another sample rate changes the stream's format half-way.
TEST(VerifyMp3File, FailsAFormatChangeHalfWay) {
    fixtures::TempDir dir;
    const fs::path path = WriteSong(dir, "bare.mp3", Spec(fixtures::XingFrame::No));
    Bytes file = fixtures::ReadFileBytes(path);
    const std::vector<fixtures::FrameSpan> frames = Frames(file);
    // The sample-rate index is bits 3-2 of the third header byte: 00 = 44.1 kHz, 01 = 48 kHz.
    // A frame at 48 kHz with the same bit rate is a few bytes shorter, so the walk sees a gap
    // or the decoder a changed format; either way the file fails.
    file[frames[frames.size() / 2].offset + 2] |= 0x04;
    fixtures::WriteFileBytes(path, file);
    const VerifyResult result = VerifyMp3File(path, OutputExpectation{});
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.problem.empty());
}

// The writer's expectation: frames exactly; samples within one frame either way (catches an
// off-by-one in either direction of the bound).
TEST(VerifyMp3File, HoldsTheWritersExpectationToItsBounds) {
    fixtures::TempDir dir;
    const EncodeSpec spec = Spec(fixtures::XingFrame::Yes);
    const fs::path path = WriteSong(dir, "song.mp3", spec);
    const VerifyResult measured = VerifyMp3File(path, OutputExpectation{});
    ASSERT_TRUE(measured.ok) << measured.problem;
    const std::uint64_t frames = measured.frames;
    const std::uint64_t samples = measured.samples;
    struct Case {
        OutputExpectation expectation;
        std::string problem;  // empty: passes
    };
    const std::vector<Case> cases{
        {OutputExpectation::Frames(frames), ""},
        {OutputExpectation::Frames(frames + 1),
         "it holds " + std::to_string(frames) + " audio frames, " + std::to_string(frames + 1) + " were written"},
        {OutputExpectation::Frames(frames - 1),
         "it holds " + std::to_string(frames) + " audio frames, " + std::to_string(frames - 1) + " were written"},
        {OutputExpectation::Samples(samples), ""},
        {OutputExpectation::Samples(samples + kSamplesPerFrame), ""},
        {OutputExpectation::Samples(samples - kSamplesPerFrame), ""},
        {OutputExpectation::Samples(samples + kSamplesPerFrame + 1),
         "it decodes to " + std::to_string(samples) + " samples, " + std::to_string(samples + kSamplesPerFrame + 1) +
             " were encoded"},
        {OutputExpectation::Samples(samples - kSamplesPerFrame - 1),
         "it decodes to " + std::to_string(samples) + " samples, " + std::to_string(samples - kSamplesPerFrame - 1) +
             " were encoded"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.problem);
        const VerifyResult result = VerifyMp3File(path, c.expectation);
        EXPECT_EQ(result.ok, c.problem.empty());
        EXPECT_EQ(result.problem, c.problem);
    }
}

// Files that are no MP3 at all fail without a crash.
TEST(VerifyMp3File, FailsFilesWithoutAudio) {
    fixtures::TempDir dir;
    const std::vector<std::pair<std::string, Bytes>> cases{
        {"empty.mp3", {}},
        {"junk.mp3", fixtures::Junk(5000)},
    };
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        fixtures::WriteFileBytes(dir / name, bytes);
        const VerifyResult result = VerifyMp3File(dir / name, OutputExpectation{});
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.problem, "it cannot be read as MPEG audio");
    }
    EXPECT_EQ(VerifyMp3File(dir / "missing.mp3", OutputExpectation{}).problem, "it cannot be read as MPEG audio");
}

// The verifier checks files in order on its thread; the first failure names its target, and
// nothing handed in after the failing file is checked.
TEST(OutputVerifier, ReportsTheFirstFailureAndChecksNothingAfterIt) {
    fixtures::TempDir dir;
    const fs::path good = WriteSong(dir, "good.mp3", Spec(fixtures::XingFrame::Yes));
    const fs::path bad = dir / "bad.mp3";
    Bytes cut = fixtures::ReadFileBytes(good);
    const std::uint32_t lastFrameBytes = Frames(cut).back().bytes;
    cut.resize(cut.size() - 10);
    fixtures::WriteFileBytes(bad, cut);

    OutputVerifier verifier;
    std::atomic<int> checked{0};
    verifier.SetBeforeCheck([&checked](const fs::path&) { ++checked; });
    verifier.Submit(good, dir / "piece-1.mp3", OutputExpectation{});
    verifier.Submit(bad, dir / "piece-2.mp3", OutputExpectation{});
    const std::optional<VerifyFailure> failure = verifier.Wait();
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->target, dir / "piece-2.mp3");
    EXPECT_EQ(failure->message,
              VerificationFailedMessage(dir / "piece-2.mp3", "it ends with " + std::to_string(lastFrameBytes - 10) +
                                                                 " bytes that are no whole audio frame"));
    EXPECT_EQ(failure->message.rfind("Verification failed for file \"" + (dir / "piece-2.mp3").string() + "\": ", 0),
              0U);
    verifier.Submit(good, dir / "piece-3.mp3", OutputExpectation{});
    EXPECT_EQ(verifier.Wait()->target, dir / "piece-2.mp3");
    EXPECT_EQ(checked.load(), 2);
}

// Good files pass, also when handed in faster than they are checked.
TEST(OutputVerifier, PassesGoodFiles) {
    fixtures::TempDir dir;
    const fs::path good = WriteSong(dir, "good.mp3", Spec(fixtures::XingFrame::No));
    OutputVerifier verifier;
    EXPECT_FALSE(verifier.Wait().has_value());  // nothing handed in yet
    for (int i = 0; i < 4; ++i) verifier.Submit(good, dir / ("piece-" + std::to_string(i)), OutputExpectation{});
    EXPECT_FALSE(verifier.Wait().has_value());
    EXPECT_FALSE(verifier.FirstFailure().has_value());
}

}  // namespace
}  // namespace qm

namespace qm {
namespace {

// An abandoned check stops and reports nothing, even about a file that would fail it.
TEST(OutputVerifier, AnAbandonedCheckReportsNothing) {
    fixtures::TempDir dir;
    fixtures::EncodeSpec spec;
    spec.seconds = 20.0;
    const fs::path bad = dir / "bad.mp3";
    fixtures::Bytes cut = fixtures::EncodeMp3(spec);
    cut.resize(cut.size() - 10);
    fixtures::WriteFileBytes(bad, cut);
    OutputVerifier verifier;
    std::atomic<bool> abandoning{false};
    verifier.SetBeforeCheck([&abandoning](const fs::path&) {
        while (!abandoning) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    });
    verifier.Submit(bad, dir / "piece.mp3", OutputExpectation{});
    abandoning = true;
    verifier.Abandon();
    EXPECT_FALSE(verifier.FirstFailure().has_value());
    EXPECT_TRUE(verifier.WaitFor(std::chrono::milliseconds(0)));
}

}  // namespace
}  // namespace qm
