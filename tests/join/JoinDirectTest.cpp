// The direct join: the target tag followed by exactly the sources' frames, the progress
// protocol, and every failure leaving no target (and an existing target untouched).

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "fixtures/ProgressFakes.h"
#include "join/JoinKit.h"
#include "join/JoinList.h"
#include "stream/Tags.h"
#include "stream/XingFrame.h"

namespace qm {
namespace {

namespace fx = qm::fixtures;

// A progress contract nobody watches.
using fixtures::Quiet;
using joinkit::FolderNames;
using joinkit::FramesOf;

// "<prefix><number>.mp3", put together by appending: GCC 12's optimiser takes a chain of
// string + string for overlapping copies and warns (-Wrestrict) where there are none.
std::string NumberedName(const char* prefix, std::size_t number) {
    return std::string(prefix).append(std::to_string(number)).append(".mp3");
}

fx::EncodeSpec Spec(double seconds, fx::Signal signal = fx::Signal::Tone) {
    fx::EncodeSpec spec;
    spec.seconds = seconds;
    spec.signal = signal;
    return spec;
}

// Output = tag (when any field is set) + one Xing/Info frame + the frames of each source in
// order, whatever the sources carry around their frames.
TEST(JoinDirect, CopiesExactlyTheFramesAfterTheTag) {
    struct Source {
        fx::EncodeSpec spec;
        fx::Bytes before, after;
        std::size_t skipFrames;  // an Info frame is not audio and is not copied
    };
    struct Case {
        const char* name;
        TagInfo tag;
        std::vector<Source> sources;
    };
    fx::EncodeSpec withInfo = Spec(1.0);
    withInfo.xing = fx::XingFrame::Yes;
    fx::Id3v2Spec oldTag;
    oldTag.title = "Old";
    oldTag.artist = "Someone";
    oldTag.paddingBytes = 300;
    const fx::Bytes id3v2 = fx::MakeId3v2Tag(oldTag);
    TagInfo unicodeTag;
    unicodeTag.track = 300;
    unicodeTag.title = "Ünïcode ☃ title";
    unicodeTag.artist = "Band";
    TagInfo titleOnly;
    titleOnly.title = "T";
    const fx::Bytes id3v1 = fx::MakeId3v1Tag("Old", "Someone", "", "1999", "", 3, 12);
    const std::vector<Case> cases = {
        {"plain files, no tag", {}, {{Spec(1.0), {}, {}, 0}, {Spec(0.5, fx::Signal::Noise), {}, {}, 0}}},
        {"tags around the sources stay behind",
         unicodeTag,
         {{Spec(1.0), id3v2, id3v1, 0}, {Spec(1.2, fx::Signal::Noise), {}, id3v1, 0}, {Spec(0.3), id3v2, {}, 0}}},
        {"an Info frame is left out", titleOnly, {{withInfo, {}, {}, 1}, {Spec(0.7), {}, {}, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fx::TempDir dir;
        JoinList job;
        fx::Bytes expected;
        for (std::size_t i = 0; i < c.sources.size(); ++i) {
            const Source& s = c.sources[i];
            const fx::Bytes image = fx::EncodeMp3(s.spec);
            const auto path = dir / NumberedName("s", i);
            fx::WriteFileBytes(path, fx::Concat({s.before, image, s.after}));
            job.AddSource(path);
            const fx::Bytes frames = FramesOf(image, s.skipFrames);
            expected.insert(expected.end(), frames.begin(), frames.end());
        }
        job.SetTargetTag(c.tag.title, c.tag.artist, c.tag.album, c.tag.year, c.tag.comment, c.tag.genre, c.tag.track);
        const fx::Bytes tag = BuildId3v2Tag(c.tag);
        EXPECT_EQ(job.TargetTag(), tag);

        fx::FakeOperation op;
        ASSERT_TRUE(job.JoinDirect(dir / "out.mp3", op.Get())) << job.LastError();
        const joinkit::JoinedParts written = joinkit::SplitJoined(fx::ReadFileBytes(dir / "out.mp3"), tag.size());
        EXPECT_TRUE(written.tag == tag);
        EXPECT_FALSE(written.header.empty()) << "a Xing/Info frame heads the stream";
        ASSERT_EQ(written.audio.size(), expected.size());
        EXPECT_TRUE(written.audio == expected);
        if (!c.tag.title.empty()) {
            TagInfo back;
            ASSERT_TRUE(ReadTags(dir / "out.mp3", &back));
            EXPECT_EQ(back.title, c.tag.title);
            EXPECT_EQ(back.track, c.tag.track) << "the track number is not cut to 8 bits";
        }
        EXPECT_TRUE(fx::DecodeWithMpg123(dir / "out.mp3").ok);
    }
}

// Status text and bar follow the sources evenly and never go back; the pump runs after
// every frame.
TEST(JoinDirect, ReportsGrowingProgress) {
    fx::TempDir dir;
    JoinList job;
    for (int i = 0; i < 3; ++i)
        job.AddSource(joinkit::WriteMp3(dir, NumberedName("p", static_cast<std::size_t>(i)), Spec(2.0)));
    fx::FakeOperation op;
    ASSERT_TRUE(job.JoinDirect(dir / "joined.mp3", op.Get()));

    EXPECT_EQ(op.bar.rangeLow, 0);
    EXPECT_EQ(op.bar.rangeHigh, 300);
    ASSERT_GE(op.status.texts.size(), 90u);
    EXPECT_EQ(op.status.texts.front(), "Joining 3 files into joined.mp3...0%");
    for (std::size_t i = 1; i < op.status.texts.size(); ++i) {
        const std::string& t = op.status.texts[i];
        const int percent = std::stoi(t.substr(t.rfind("...") + 3));
        const int before = std::stoi(op.status.texts[i - 1].substr(op.status.texts[i - 1].rfind("...") + 3));
        EXPECT_GT(percent, before);
        EXPECT_LE(percent, 100);
    }
    EXPECT_GE(std::stoi(op.status.texts.back().substr(op.status.texts.back().rfind("...") + 3)), 98);
    ASSERT_FALSE(op.bar.positions.empty());
    EXPECT_EQ(op.bar.positions.front(), 0);
    for (std::size_t i = 1; i < op.bar.positions.size(); ++i) EXPECT_GT(op.bar.positions[i], op.bar.positions[i - 1]);
    EXPECT_GE(op.bar.positions.back(), 295);
    EXPECT_LE(op.bar.positions.back(), 300);
    // 2 s at 44.1 kHz are 77 frames per source.
    EXPECT_GE(op.pump.count, 3 * 77);
}

// Each failure names its cause, leaves no target and no temporary file, keeps an existing
// target, and stops before later sources.
TEST(JoinDirect, FailuresLeaveNoTarget) {
    struct Case {
        const char* name;
        std::vector<std::string> sources;  // "good", "empty", "missing", "noframes"
        std::string target;                // relative to the folder
        bool targetExists;
        std::string error;  // with SRC = the failing source's path, TGT = the target
    };
    const std::vector<Case> cases = {
        {"empty source", {"good", "empty"}, "out.mp3", false, "Failed to open file \"SRC\"."},
        {"second of three missing", {"good", "missing", "good"}, "out.mp3", true, "Failed to open file \"SRC\"."},
        {"no frames in the source", {"noframes", "good"}, "out.mp3", true, "Failed to open file \"SRC\"."},
        {"target folder missing", {"good", "good"}, "nowhere/out.mp3", false, "Failed to create file \"TGT\"."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fx::TempDir dir;
        JoinList job;
        std::string failing;
        for (std::size_t i = 0; i < c.sources.size(); ++i) {
            const auto path = dir / (c.sources[i] + std::to_string(i) + ".mp3");
            if (c.sources[i] == "good") fx::WriteFileBytes(path, fx::EncodeMp3(Spec(0.5)));
            if (c.sources[i] == "empty") fx::WriteFileBytes(path, {});
            if (c.sources[i] == "noframes") fx::WriteFileBytes(path, fx::Junk(20000));
            if (c.sources[i] != "good" && failing.empty()) failing = path.string();
            job.AddSource(path);
        }
        const auto target = dir / c.target;
        const fx::Bytes old{'o', 'l', 'd'};
        if (c.targetExists) fx::WriteFileBytes(target, old);
        const auto namesBefore = FolderNames(dir.Path());

        fx::FakeOperation op;
        EXPECT_FALSE(job.JoinDirect(target, op.Get()));
        std::string error = c.error;
        if (auto at = error.find("SRC"); at != std::string::npos) error.replace(at, 3, failing);
        if (auto at = error.find("TGT"); at != std::string::npos) error.replace(at, 3, target.string());
        EXPECT_EQ(job.LastError(), error);
        EXPECT_EQ(FolderNames(dir.Path()), namesBefore) << "no stray file";
        if (c.targetExists) {
            EXPECT_EQ(fx::ReadFileBytes(target), old);
        }
    }
}

// Cancel during the first source: no target, no temporary file, the last error untouched.
TEST(JoinDirect, CancelRemovesTheTargetAndKeepsTheLastError) {
    fx::TempDir dir;
    JoinList job;
    job.AddSource(dir / "absent.mp3");
    ASSERT_FALSE(job.JoinDirect(dir / "first.mp3", Quiet()));
    const std::string earlier = job.LastError();

    job.Clear();
    job.AddSource(joinkit::WriteMp3(dir, "a.mp3", Spec(2.0)));
    job.AddSource(joinkit::WriteMp3(dir, "b.mp3", Spec(2.0)));
    fx::FakeOperation op;
    op.CancelAtPump(10);
    EXPECT_FALSE(job.JoinDirect(dir / "out.mp3", op.Get()));
    EXPECT_EQ(job.LastError(), earlier);
    EXPECT_EQ(FolderNames(dir.Path()), (std::vector<std::string>{"a.mp3", "b.mp3"}));
    EXPECT_LT(op.pump.count, 40) << "stops after the frame in progress";
}

// The target may be one of its own sources: it is read whole before it is replaced.
TEST(JoinDirect, TargetThatIsASource) {
    fx::TempDir dir;
    const fx::Bytes a = fx::EncodeMp3(Spec(1.0));
    const fx::Bytes b = fx::EncodeMp3(Spec(0.8, fx::Signal::Noise));
    fx::WriteFileBytes(dir / "a.mp3", a);
    fx::WriteFileBytes(dir / "b.mp3", b);
    JoinList job;
    job.AddSources({dir / "a.mp3", dir / "b.mp3"});
    ASSERT_TRUE(job.JoinDirect(dir / "a.mp3", Quiet())) << job.LastError();
    EXPECT_TRUE(joinkit::SplitJoined(fx::ReadFileBytes(dir / "a.mp3"), 0).audio ==
                fx::Concat({FramesOf(a), FramesOf(b)}));
    EXPECT_EQ(FolderNames(dir.Path()), (std::vector<std::string>{"a.mp3", "b.mp3"}));
}

// A write that fails (here: the file-size limit) fails the join instead of reporting a
// short file as success.
TEST(JoinDirect, FailedWriteIsReported) {
    fx::TempDir dir;
    JoinList job;
    job.AddSource(joinkit::WriteMp3(dir, "a.mp3", Spec(20.0)));
    job.AddSource(joinkit::WriteMp3(dir, "b.mp3", Spec(20.0)));
    bool ok = true;
    {
        const fx::FileSizeLimit limit(200000);
        ok = job.JoinDirect(dir / "out.mp3", Quiet());
    }
    EXPECT_FALSE(ok);
    EXPECT_EQ(job.LastError(), "Failed to write file \"" + (dir / "out.mp3").string() + "\".");
    EXPECT_EQ(FolderNames(dir.Path()), (std::vector<std::string>{"a.mp3", "b.mp3"}));
}

// A source that another program cuts short, rewrites or extends while its frames are copied
// fails the join with that source's name, whether the kernel copy of its frames then runs
// short or the frames read are no longer the file's; an existing target is kept and no
// temporary file stays. Untouched sources join as before.
TEST(JoinDirect, SourceChangedWhileCopiedFails) {
    namespace fs = std::filesystem;
    struct Case {
        const char* name;
        std::size_t changedSource;  // index of the source that changes
        long atPump;                // a pump during that source's frames: 5 s are 192 frames
        std::function<void(const fs::path&)> change;
    };
    const auto cutToHalf = [](const fs::path& p) { fs::resize_file(p, fs::file_size(p) / 2); };
    const auto cutToTheStart = [](const fs::path& p) { fs::resize_file(p, 2000); };
    const auto extend = [](const fs::path& p) { fs::resize_file(p, fs::file_size(p) + 4096); };
    const auto rewrite = [](const fs::path& p) {
        const fx::Bytes same = fx::ReadFileBytes(p);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        fx::WriteFileBytes(p, same);
    };
    const std::vector<Case> cases = {
        {"first cut to half", 0, 20, cutToHalf},       {"first cut to its start", 0, 20, cutToTheStart},
        {"second cut to half", 1, 220, cutToHalf},     {"first extended", 0, 100, extend},
        {"first rewritten in place", 0, 100, rewrite}, {"untouched", 0, 0, nullptr},
    };
    const fx::Bytes a = fx::EncodeMp3(Spec(5.0));
    const fx::Bytes b = fx::EncodeMp3(Spec(5.0, fx::Signal::Noise));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fx::TempDir dir;
        const std::vector<fs::path> sources = {dir / "a.mp3", dir / "b.mp3"};
        fx::WriteFileBytes(sources[0], a);
        fx::WriteFileBytes(sources[1], b);
        const fs::path target = dir / "out.mp3";
        const fx::Bytes old{'o', 'l', 'd'};
        fx::WriteFileBytes(target, old);
        JoinList job;
        job.AddSources(sources);
        fx::FakeOperation op;
        op.pump.onPump = [&](long count) {
            if (c.change && count == c.atPump) c.change(sources[c.changedSource]);
        };
        const bool joined = job.JoinDirect(target, op.Get());
        EXPECT_EQ(FolderNames(dir.Path()), (std::vector<std::string>{"a.mp3", "b.mp3", "out.mp3"}));
        if (!c.change) {
            EXPECT_TRUE(joined) << job.LastError();
            EXPECT_NEAR(joinkit::Mp3Seconds(target), 10.0, 0.1);
            continue;
        }
        EXPECT_FALSE(joined);
        EXPECT_EQ(job.LastError(), SourceChangedMessage(sources[c.changedSource]));
        EXPECT_EQ(fx::ReadFileBytes(target), old);
    }
}

// A file whose ID3v2 tag claims two bytes of its Xing frame, so that libmpg123 finds nothing
// to decode from the file's start: its five frames after the Xing frame are joined, copied
// and re-encoded alike.
TEST(JoinDirect, SourceWhoseTagRunsIntoItsFirstFrame) {
    const std::filesystem::path corpus = fx::CorpusDir();
    if (corpus.empty()) GTEST_SKIP() << "the corpus is not beside the checkout";
    const std::filesystem::path source = corpus / "tinytag-samples/empty_frame.mp3";
    const fx::Bytes image = fx::ReadFileBytes(source);
    ASSERT_EQ(image.size(), 2005u);
    const fx::Bytes frames(image.begin() + 1485, image.end());

    fx::TempDir dir;
    JoinList job;
    job.AddSources({source, source});
    ASSERT_TRUE(job.JoinDirect(dir / "copied.mp3", Quiet())) << job.LastError();
    EXPECT_TRUE(joinkit::SplitJoined(fx::ReadFileBytes(dir / "copied.mp3"), 0).audio == fx::Concat({frames, frames}));
    // Once a Xing frame gives the stream's length, libmpg123 leaves out its decoder delay.
    EXPECT_EQ(fx::DecodeWithMpg123(dir / "copied.mp3").samples, 10 * 1152 - kDecoderDelaySamples);

    ASSERT_TRUE(job.JoinReencode(dir / "encoded.mp3", {44100, 32, ChannelMode::Mono}, Quiet())) << job.LastError();
    EXPECT_NEAR(joinkit::Mp3Seconds(dir / "encoded.mp3"), 10 * 1152 / 44100.0, 1152 / 44100.0);
    EXPECT_EQ(FolderNames(dir.Path()), (std::vector<std::string>{"copied.mp3", "encoded.mp3"}));
}

}  // namespace
}  // namespace qm
