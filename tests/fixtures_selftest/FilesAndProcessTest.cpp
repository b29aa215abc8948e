// Files, junk, temporary folders, the mpg123 check of damaged files, the process runner and
// the qm-make-fixture tool.

#include <gtest/gtest.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>

#include <algorithm>
#include <fstream>
#include <set>

#include "fixtures/Fixtures.h"

namespace qm::fixtures {
namespace {

// Junk never holds 0xFF (so never a frame sync), is the same for a seed and differs between seeds.
TEST(Junk, NoSyncByteAndDeterministic) {
    const Bytes a = Junk(100000, 7);
    ASSERT_EQ(a.size(), 100000u);
    EXPECT_EQ(std::count(a.begin(), a.end(), 0xFF), 0);
    EXPECT_EQ(a, Junk(100000, 7));
    EXPECT_NE(a, Junk(100000, 8));
    // Not a constant or a short cycle: most byte values appear.
    EXPECT_GT(std::set<std::uint8_t>(a.begin(), a.end()).size(), 250u);
}

// Files written are read back byte for byte; Concat keeps the order.
TEST(Files, RoundTripAndConcat) {
    TempDir dir;
    const Bytes data = Concat({Bytes{1, 2}, Bytes{}, Bytes{0xFF, 0}, Junk(3)});
    ASSERT_EQ(data.size(), 7u);
    EXPECT_EQ(data[2], 0xFF);
    WriteFileBytes(dir / "x.bin", data);
    EXPECT_EQ(ReadFileBytes(dir / "x.bin"), data);
    EXPECT_TRUE(ReadFileBytes(dir / "missing.bin").empty());
}

// A temporary folder is new, and disappears with everything inside it.
TEST(TempDir, RemovedWithContents) {
    std::filesystem::path kept;
    {
        TempDir a;
        TempDir b;
        EXPECT_NE(a.Path(), b.Path());
        EXPECT_TRUE(std::filesystem::is_directory(a.Path()));
        std::filesystem::create_directories(a / "sub" / "deeper");
        WriteFileBytes(a.Path() / "sub" / "deeper" / "f.mp3", Junk(10));
        kept = a.Path();
    }
    EXPECT_FALSE(std::filesystem::exists(kept));
}

// The listing is sorted and holds folders and dot files too, but nothing below a subfolder.
TEST(FileNames, SortedEntriesOfOneFolder) {
    TempDir dir;
    EXPECT_TRUE(FileNames(dir.Path()).empty());
    for (const char* name : {"b.mp3", ".hidden", "a.mp3"}) WriteFileBytes(dir / name, Junk(1));
    std::filesystem::create_directories(dir / "sub");
    WriteFileBytes(dir / "sub" / "inner.mp3", Junk(1));
    EXPECT_EQ(FileNames(dir.Path()), (std::vector<std::string>{".hidden", "a.mp3", "b.mp3", "sub"}));
}

// The test vectors of RFC 4648, each padding length, and bytes above 0x7F.
TEST(DecodeBase64, RfcVectors) {
    const struct {
        const char* text;
        std::string bytes;
    } cases[] = {
        {"", ""},
        {"Zg==", "f"},
        {"Zm8=", "fo"},
        {"Zm9v", "foo"},
        {"Zm9vYg==", "foob"},
        {"Zm9vYmE=", "fooba"},
        {"Zm9vYmFy", "foobar"},
        {"/+8A", std::string("\xff\xef\x00", 3)},
    };
    for (const auto& c : cases) EXPECT_EQ(DecodeBase64(c.text), c.bytes) << c.text;
}

// The corpus, when present, is the folder with the index of the real files.
TEST(CorpusDir, PointsAtTheIndexedCorpus) {
    const auto dir = CorpusDir();
    if (dir.empty()) GTEST_SKIP() << "no corpus beside the checkout";
    EXPECT_TRUE(std::filesystem::exists(dir / "INDEX.md"));
}

// Damage the decoder has to resynchronise over counts as errors; clean files count none.
TEST(DecodeWithMpg123, CountsResyncsOverDamage) {
    EncodeSpec spec;
    spec.seconds = 1.0;
    const Bytes mp3 = EncodeMp3(spec);
    const auto frames = WalkFrames(mp3, 0);
    ASSERT_GT(frames.size(), 20u);
    const auto cutAt = [&](std::size_t frame) { return static_cast<std::ptrdiff_t>(frames[frame].offset); };
    const Bytes head(mp3.begin(), mp3.begin() + cutAt(10));
    const Bytes tail(mp3.begin() + cutAt(10), mp3.end());

    struct Case {
        const char* name;
        Bytes image;
        int minErrors, maxErrors;
    };
    const Case cases[] = {
        {"clean", mp3, 0, 0},
        {"leading junk", Concat({Junk(300), mp3}), 0, 0},
        {"junk between frames", Concat({head, Junk(700), tail}), 1, 3},
        {"junk in two places", Concat({head, Junk(700), tail, Junk(200), tail}), 2, 6},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFileBytes(dir / "d.mp3", c.image);
        const Decoded decoded = DecodeWithMpg123(dir / "d.mp3");
        EXPECT_EQ(decoded.rateHz, 44100);
        EXPECT_EQ(decoded.channels, 2);
        EXPECT_GE(decoded.errors, c.minErrors);
        EXPECT_LE(decoded.errors, c.maxErrors);
        EXPECT_GE(decoded.samples, PcmSampleCount(spec));
    }
    EXPECT_FALSE(DecodeWithMpg123(dir / "none.mp3").ok);
}

struct RunCase {
    const char* name;
    std::string script;
    int exitCode;
    std::size_t outBytes, errBytes;
};

// Exit codes, signals and both output streams, including outputs far larger than a pipe's
// buffer on both streams at once (a runner that reads one stream at a time deadlocks).
TEST(RunProgram, ExitCodesSignalsAndOutputs) {
    const RunCase cases[] = {
        {"plain", "printf out; printf err >&2; exit 3", 3, 3, 3},
        {"success", "exit 0", 0, 0, 0},
        {"killed", "kill -TERM $$", 128 + 15, 0, 0},
        {"both streams large",
         "i=0; while [ $i -lt 2000 ]; do printf '%0100d' 0; printf '%0100d' 1 >&2; i=$((i+1)); done", 0, 200000,
         200000},
    };
    for (const RunCase& c : cases) {
        SCOPED_TRACE(c.name);
        const RunResult r = RunProgram("/bin/sh", {"-c", c.script});
        EXPECT_EQ(r.exitCode, c.exitCode);
        EXPECT_EQ(r.out.size(), c.outBytes);
        EXPECT_EQ(r.err.size(), c.errBytes);
    }
    EXPECT_EQ(RunProgram("/bin/sh", {"-c", "printf out; printf err >&2"}).err, "err");
    EXPECT_EQ(RunProgram("/nonexistent/program", {}).exitCode, 127);
}

// SIGINT arrives after the delay: a program with a handler reports it, one without dies of it.
TEST(RunProgram, InterruptAfterDelay) {
    const auto started = std::chrono::steady_clock::now();
    const RunResult handled =
        RunProgramWithInterrupt("/bin/sh", {"-c", "trap 'echo caught; exit 7' INT; while :; do sleep 0.02; done"},
                                std::chrono::milliseconds(200));
    EXPECT_EQ(handled.exitCode, 7);
    EXPECT_EQ(handled.out, "caught\n");
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(200));

    const RunResult killed = RunProgramWithInterrupt("/bin/sh", {"-c", "exec sleep 5"}, std::chrono::milliseconds(50));
    EXPECT_EQ(killed.exitCode, 128 + 2);

    // A program that ends before the delay is not disturbed.
    const RunResult quick = RunProgramWithInterrupt("/bin/sh", {"-c", "exit 4"}, std::chrono::milliseconds(2000));
    EXPECT_EQ(quick.exitCode, 4);
}

#ifdef QM_MAKE_FIXTURE_PATH
// The demo file: tag first, then an Info frame, then 60 s of 44.1 kHz stereo that decodes
// cleanly to exactly 60 s.
TEST(MakeFixtureTool, DemoFile) {
    TempDir dir;
    const auto path = dir / "demo.mp3";
    const RunResult r = RunProgram(QM_MAKE_FIXTURE_PATH, {"demo", path.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const Decoded decoded = DecodeWithMpg123(path);
    EXPECT_TRUE(decoded.ok);
    EXPECT_EQ(decoded.errors, 0);
    EXPECT_EQ(decoded.rateHz, 44100);
    EXPECT_EQ(decoded.channels, 2);
    EXPECT_EQ(decoded.samples, 60 * 44100);

    TagLib::MPEG::File file(path.c_str());
    ASSERT_TRUE(file.hasID3v2Tag());
    EXPECT_EQ(file.ID3v2Tag()->header()->majorVersion(), 3u);
    EXPECT_EQ(file.ID3v2Tag()->title().to8Bit(), "Quillmere demo");
    EXPECT_EQ(file.ID3v2Tag()->artist().to8Bit(), "Quillmere");
    EXPECT_EQ(file.ID3v2Tag()->album().to8Bit(), "Demo");
    EXPECT_EQ(file.ID3v2Tag()->year(), 2026u);
    EXPECT_EQ(file.ID3v2Tag()->track(), 1u);
    const Bytes bytes = ReadFileBytes(path);
    const auto audio = static_cast<std::size_t>(file.firstFrameOffset());
    EXPECT_EQ(std::string(bytes.begin() + audio + 36, bytes.begin() + audio + 40), "Info");
    const auto frames = WalkFrames(bytes, audio);
    EXPECT_EQ(frames.back().offset + frames.back().bytes, bytes.size());
    EXPECT_EQ(file.audioProperties()->bitrate(), 128);
}

// A long file at a chosen bit rate; bad arguments leave no file.
TEST(MakeFixtureTool, LongFileAndBadArguments) {
    TempDir dir;
    const auto path = dir / "long.mp3";
    ASSERT_EQ(RunProgram(QM_MAKE_FIXTURE_PATH, {"long", path.string(), "3", "192"}).exitCode, 0);
    const Bytes bytes = ReadFileBytes(path);
    ASSERT_GT(bytes.size(), 4u);
    // 192 kbit/s at 44.1 kHz: 626 or 627 bytes a frame.
    const auto frames = WalkFrames(bytes, 0);
    EXPECT_EQ(frames.back().offset + frames.back().bytes, bytes.size());
    EXPECT_TRUE(frames[5].bytes == 626 || frames[5].bytes == 627);
    EXPECT_EQ(DecodeWithMpg123(path).samples, 3 * 44100);

    const std::vector<std::vector<std::string>> bad = {{},
                                                       {"demo"},
                                                       {"long", (dir / "b.mp3").string()},
                                                       {"long", (dir / "b.mp3").string(), "x"},
                                                       {"long", (dir / "b.mp3").string(), "3", "0"},
                                                       {"other", (dir / "b.mp3").string()}};
    for (const auto& args : bad) {
        EXPECT_EQ(RunProgram(QM_MAKE_FIXTURE_PATH, args).exitCode, 2);
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "b.mp3"));
    // An output that cannot be written is a failure.
    EXPECT_EQ(RunProgram(QM_MAKE_FIXTURE_PATH, {"long", (dir / "no" / "c.mp3").string(), "1"}).exitCode, 1);
}
#endif

}  // namespace
}  // namespace qm::fixtures
