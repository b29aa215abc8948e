// quillmere-cli split, run as a process on generated MP3 files: exit codes, the per-file
// lines and JSON, the modes, the general sequence number, overlaps, and Ctrl-C.

#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <sstream>

#include <taglib/mpegfile.h>
#include <taglib/tag.h>

#include "fixtures/Fixtures.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using fixtures::DecodedSeconds;
using fixtures::MakeSong;
using fixtures::RunResult;

constexpr int kRateHz = 44100;

RunResult Split(const std::vector<std::string>& args) {
    std::vector<std::string> all{"split"};
    all.insert(all.end(), args.begin(), args.end());
    return fixtures::RunProgram(fixtures::CliPath(), all);
}

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    std::stringstream stream(line);
    std::string field;
    while (std::getline(stream, field, '\t')) fields.push_back(field);
    return fields;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream stream(text);
    std::string line;
    while (std::getline(stream, line)) lines.push_back(line);
    return lines;
}

std::set<std::string> NamesIn(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& item : fs::directory_iterator(folder)) names.insert(item.path().filename().string());
    return names;
}

// Command lines the parser must refuse with exit code 2, before any file is touched.
TEST(SplitCommand, UsageErrorsExitWithTwo) {
    fixtures::TempDir dir;
    const std::string song = MakeSong(dir, "song.mp3", 1.0).string();
    const std::vector<std::vector<std::string>> cases{
        {song},                                    // no mode
        {"--count", "2", "--time", "0:30", song},  // two modes
        {"--count", "2"},                          // no file
        {"--time", "1:5", song},                   // seconds need two digits
        {"--time", "abc", song},
        {"--time", "1:75", song},
        {"--time", "12.55", song},  // one decimal at most
        {"--size", "10TB", song},
        {"--size", "MB", song},
        {"--range", "1,2,3", song},
        {"--points", "5,3", song},  // not increasing
        {"--points", "0", song},
        {"--skip", "1", "--count", "2", song},      // --skip needs --points
        {"--points", "2,4", "--skip", "4", song},   // only pieces 1 to 3
        {"--count", "2", "--rate", "44100", song},  // encoder values need --reencode
        {"--count", "2", "--reencode", "--channels", "quad", song},
        {"--count", "2", "--first", "0", song},
        {"--count", "2", "--fade-in", "x", song},
        {"--count", "0", song},  // no count, duration or size of 0
        {"--count", "-1", song},
        {"--time", "0", song},
        {"--size", "0", song},
        {"--size", "0KB", song},
        // A bit rate the sample rate cannot carry.
        {"--count", "2", "--reencode", "--rate", "8000", "--bitrate", "320", "--channels", "mono", song},
        {"--count", "2", "--reencode", "--rate", "44100", "--bitrate", "24", "--channels", "mono", song},
    };
    for (const auto& args : cases) {
        const RunResult result = Split(args);
        std::string joined;
        for (const auto& arg : args) joined += arg + " ";
        EXPECT_EQ(result.exitCode, 2) << joined << "\n" << result.err;
        EXPECT_EQ(NamesIn(dir.Path()), (std::set<std::string>{"song.mp3"})) << joined;
    }
}

// By count 3: one line with the outcome and the three paths; the pieces decode cleanly and
// share the audio.
TEST(SplitCommand, CountWritesPiecesAndReportsThem) {
    fixtures::TempDir dir;
    const fs::path song = MakeSong(dir, "song.mp3", 6.0);
    const RunResult result = Split({"--count", "3", song.string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const auto lines = Lines(result.out);
    ASSERT_EQ(lines.size(), 1u);
    const auto fields = Fields(lines[0]);
    ASSERT_EQ(fields.size(), 5u);
    EXPECT_EQ(fields[0], song.string());
    EXPECT_EQ(fields[1], "3 piece(s)");
    for (int p = 1; p <= 3; ++p) {
        const fs::path piece = dir / ("song-" + std::to_string(p) + ".mp3");
        EXPECT_EQ(fields[static_cast<std::size_t>(p + 1)], piece.string());
        EXPECT_NEAR(DecodedSeconds(piece), 2.0, 0.15) << piece;
    }
}

// Files that fail do not stop the run; the exit code says that some failed.
TEST(SplitCommand, FailedFileGivesExitOneAndTheRunGoesOn) {
    fixtures::TempDir dir;
    const fs::path bad = dir / "bad.mp3";
    fixtures::WriteFileBytes(bad, fixtures::Junk(5000));
    const fs::path song = MakeSong(dir, "song.mp3", 3.0);
    const RunResult result = Split({"--count", "2", bad.string(), song.string()});
    EXPECT_EQ(result.exitCode, 1);
    const auto lines = Lines(result.out);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(Fields(lines[0]),
              (std::vector<std::string>{bad.string(), "Failure: Failed to load file \"" + bad.string() + "\"."}));
    EXPECT_EQ(Fields(lines[1])[1], "2 piece(s)");
}

// Each mode's planner: outcome texts, counts and messages.
TEST(SplitCommand, ModesAndTheirOutcomes) {
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        std::string outcome;
        std::set<std::string> pieces;
    };
    const std::vector<Case> cases{
        {{"--time", "0:02"}, 0, "3 piece(s)", {"p1.mp3", "p2.mp3", "p3.mp3"}},
        {{"--time", "2.5"}, 0, "3 piece(s)", {"p1.mp3", "p2.mp3", "p3.mp3"}},
        {{"--time", "0:03"}, 0, "2 piece(s)", {"p1.mp3", "p2.mp3"}},
        {{"--time", "0:10"}, 0, "1 piece(s)", {"p1.mp3"}},
        {{"--count", "5", "--first", "2"}, 0, "2 piece(s)", {"p1.mp3", "p2.mp3"}},
        {{"--count", "1"}, 1, "Failure: The file count should be greater than or equal to 2.", {}},
        {{"--count", "100"}, 1, "Failure: The file count is too big.", {}},
        {{"--size", "40KB"}, 0, "3 piece(s)", {"p1.mp3", "p2.mp3", "p3.mp3"}},
        {{"--size", "1GB"}, 0, "1 piece(s)", {"p1.mp3"}},
        {{"--range", "1.0,2.0"}, 0, "1 piece(s)", {"p1.mp3"}},
        {{"--range", "0:07"}, 1, "Failure: The beginning point exceeds length of the MP3.", {}},
        {{"--points", "1.5,3.5", "--skip", "2"}, 0, "2 piece(s)", {"p1.mp3", "p3.mp3"}},
        {{"--points", "1,2,3,4", "--first", "2"}, 0, "2 piece(s)", {"p1.mp3", "p2.mp3"}},
        {{"--points", "1,2", "--skip", "1,3"}, 0, "1 piece(s)", {"p2.mp3"}},
        {{"--points", "1", "--skip", "1,2"},
         1,
         "Failure: At least two pieces required. And, at least one piece checked for splitting.",
         {}},
    };
    for (const Case& c : cases) {
        fixtures::TempDir dir;
        const fs::path song = MakeSong(dir, "song.mp3", 6.0);
        const fs::path out = dir / "out";
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"-o", out.string(), "--name", "p%P%.mp3", song.string()});
        const RunResult result = Split(args);
        EXPECT_EQ(result.exitCode, c.exitCode) << c.args[0] << " " << c.args[1] << "\n" << result.err;
        const auto lines = Lines(result.out);
        ASSERT_EQ(lines.size(), 1u) << result.out;
        EXPECT_EQ(Fields(lines[0])[1], c.outcome) << c.args[0] << " " << c.args[1];
        EXPECT_EQ(fs::exists(out) ? NamesIn(out) : std::set<std::string>{}, c.pieces) << c.args[0] << " " << c.args[1];
    }
}

// A range with a length writes that much audio; without one, everything from the begin point.
TEST(SplitCommand, RangeLengths) {
    struct Case {
        std::string range;
        double seconds;
    };
    for (const Case& c : {Case{"1.0,2.0", 2.0}, Case{"4", 2.0}, Case{"4.0,0", 2.0}, Case{"0:01.5,0:03", 3.0}}) {
        fixtures::TempDir dir;
        const fs::path song = MakeSong(dir, "song.mp3", 6.0);
        const RunResult result = Split({"--range", c.range, "--name", "cut.mp3", song.string()});
        ASSERT_EQ(result.exitCode, 0) << result.err;
        EXPECT_NEAR(DecodedSeconds(dir / "cut.mp3"), c.seconds, 0.15) << c.range;
    }
}

// %S% runs across all the files of one run.
TEST(SplitCommand, SequenceNumberRunsAcrossFiles) {
    fixtures::TempDir dir;
    const fs::path a = MakeSong(dir, "a.mp3", 3.0);
    const fs::path b = MakeSong(dir, "b.mp3", 3.0);
    const fs::path out = dir / "out";
    const RunResult result = Split({"--count", "2", "-o", out.string(), "--name", "%S%.mp3", a.string(), b.string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(NamesIn(out), (std::set<std::string>{"1.mp3", "2.mp3", "3.mp3", "4.mp3"}));
    EXPECT_EQ(Fields(Lines(result.out)[1])[2], (out / "3.mp3").string());
}

// Overlaps lengthen the pieces by the asked amounts: the tail adds to the first piece, the
// lead-in to the second. A second piece without lead-in marks the three frames it repeats
// from the first as encoder delay (less the decoder's 529 samples), so that they are not
// heard twice; with a lead-in they are heard, after it.
TEST(SplitCommand, OverlapsLengthenPieces) {
    fixtures::TempDir dir;
    const fs::path song = MakeSong(dir, "song.mp3", 6.0);
    ASSERT_EQ(Split({"--count", "2", "--name", "plain%P%.mp3", song.string()}).exitCode, 0);
    const RunResult result =
        Split({"--count", "2", "--name", "over%P%.mp3", "--lead-in", "1.0", "--tail", "0.5", song.string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    // One MPEG-1 frame is 1152 samples (26 ms); pieces end on frame boundaries.
    constexpr double kFrameSeconds = 1152.0 / kRateHz;
    EXPECT_NEAR(DecodedSeconds(dir / "over1.mp3") - DecodedSeconds(dir / "plain1.mp3"), 0.5, 2 * kFrameSeconds);
    const double repeatedSeconds = (3 * 1152.0 - 529.0) / kRateHz;
    EXPECT_NEAR(DecodedSeconds(dir / "over2.mp3") - DecodedSeconds(dir / "plain2.mp3"), 1.0 + repeatedSeconds,
                2 * kFrameSeconds);
}

// --json reports the same outcome, status and paths.
TEST(SplitCommand, JsonReport) {
    fixtures::TempDir dir;
    const fs::path song = MakeSong(dir, "song.mp3", 3.0);
    const fs::path missing = dir / "missing.mp3";
    const RunResult result = Split({"--count", "2", "--json", song.string(), missing.string()});
    EXPECT_EQ(result.exitCode, 1);
    auto quoted = [](std::string text) {
        std::string out;
        for (const char c : text) out += c == '"' ? std::string("\\\"") : std::string(1, c);
        return "\"" + out + "\"";
    };
    const std::string expected =
        "{\"command\":\"split\",\"files\":[\n"
        "{\"file\":" +
        quoted(song.string()) +
        ",\"status\":\"done\",\"outcome\":\"2 piece(s)\","
        "\"outputs\":[" +
        quoted((dir / "song-1.mp3").string()) + "," + quoted((dir / "song-2.mp3").string()) +
        "]},\n"
        "{\"file\":" +
        quoted(missing.string()) +
        ",\"status\":\"failed\",\"outcome\":" + quoted("Failure: Failed to load file \"" + missing.string() + "\".") +
        ",\"outputs\":[]}\n"
        "],\"cancelled\":false}\n";
    EXPECT_EQ(result.out, expected);
}

// Ctrl-C during a long re-encoding split: exit 130 soon after, and nothing of that file's
// pieces left on disk; the file before it keeps its pieces.
TEST(SplitCommand, InterruptCancelsAndDeletesTheFilesPieces) {
    fixtures::TempDir dir;
    const fs::path first = MakeSong(dir, "first.mp3", 2.0);
    const fs::path longSong = MakeSong(dir, "long.mp3", 240.0);
    const fs::path out = dir / "out";
    const auto started = std::chrono::steady_clock::now();
    const RunResult result = fixtures::RunProgramWithInterrupt(
        fixtures::CliPath(),
        {"split", "--count", "4", "--reencode", "-o", out.string(), first.string(), longSong.string()},
        std::chrono::milliseconds(1500));
    const auto elapsed = std::chrono::steady_clock::now() - started;
    ASSERT_EQ(result.exitCode, 130) << result.err;
    EXPECT_LT(elapsed, std::chrono::milliseconds(1500 + 1000));
    EXPECT_EQ(NamesIn(out), (std::set<std::string>{"first-1.mp3", "first-2.mp3", "first-3.mp3", "first-4.mp3"}));
    const auto lines = Lines(result.out);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(Fields(lines[1]), (std::vector<std::string>{longSong.string(), "Cancelled"}));
}

// Names of everything in folder, hidden temporary files included, or nothing when it is absent.
std::set<std::string> EverythingIn(const fs::path& folder) {
    std::error_code error;
    if (!fs::exists(folder, error)) return {};
    return NamesIn(folder);
}

// SIGTERM and SIGHUP stop a run as Ctrl-C does; a reader of stdout that has gone (SIGPIPE
// at the first line) stops the run after the file it reports. Nothing half-written stays.
TEST(SplitCommand, StopSignalsCancelAndLeaveNoTemporaryFile) {
    fixtures::TempDir dir;
    const fs::path first = MakeSong(dir, "first.mp3", 2.0);
    const fs::path longSong = MakeSong(dir, "long.mp3", 240.0);
    const struct {
        int signal;
        int exitCode;
    } cases[] = {{SIGTERM, 143}, {SIGHUP, 129}};
    for (const auto& c : cases) {
        const fs::path out = dir / ("out" + std::to_string(c.signal));
        const RunResult result = fixtures::RunProgramWithInterrupt(
            fixtures::CliPath(), {"split", "--count", "4", "--reencode", "-o", out.string(), longSong.string()},
            std::chrono::milliseconds(800), c.signal);
        EXPECT_EQ(result.exitCode, c.exitCode) << c.signal << result.err;
        EXPECT_EQ(EverythingIn(out), std::set<std::string>{}) << c.signal;
    }
    const fs::path out = dir / "piped";
    const RunResult piped = fixtures::RunProgramWithClosedStdout(
        fixtures::CliPath(),
        {"split", "--count", "2", "--reencode", "-o", out.string(), first.string(), longSong.string()});
    EXPECT_EQ(piped.exitCode, 128 + SIGPIPE) << piped.err;
    EXPECT_EQ(EverythingIn(out), (std::set<std::string>{"first-1.mp3", "first-2.mp3"}));
}

// A tab or line feed in a path is escaped in the tab-separated line, so each path stays one
// field of one line; the piece's name has spaces for them.
TEST(SplitCommand, ControlCharactersInPathsAreEscapedInTheLine) {
    fixtures::TempDir dir;
    const fs::path song = MakeSong(dir, "a\tb\nc.mp3", 1.0);
    const fs::path out = dir / "out";
    const RunResult result = Split({"--count", "2", "-o", out.string(), song.string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const auto lines = Lines(result.out);
    ASSERT_EQ(lines.size(), 1u) << result.out;
    const std::string escapedFolder = (dir.Path() / "").string();
    EXPECT_EQ(Fields(lines[0]),
              (std::vector<std::string>{escapedFolder + "a\\tb\\nc.mp3", "2 piece(s)", (out / "a b c-1.mp3").string(),
                                        (out / "a b c-2.mp3").string()}));
}

// A leading tag is not cut into pieces, so it does not count toward the total of a split by
// size: every piece's "%P%/%T%" title names the number of pieces written.
TEST(SplitCommand, SizeSplitTotalCountsTheAudioOnly) {
    fixtures::TempDir dir;
    fixtures::Id3v2Spec tag;
    tag.title = "Song";
    tag.paddingBytes = 100000;
    fixtures::EncodeSpec spec;
    spec.seconds = 2.0;
    const fs::path song = dir / "tagged.mp3";
    fixtures::WriteFileBytes(song, fixtures::Concat({fixtures::MakeId3v2Tag(tag), fixtures::EncodeMp3(spec)}));
    const fs::path out = dir / "out";
    const RunResult result = Split({"--size", "10KB", "--title", "%P%/%T%", "-o", out.string(), song.string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::set<std::string> names = NamesIn(out);
    ASSERT_EQ(names.size(), 4u);  // 32 KB of audio
    for (const std::string& name : names) {
        TagLib::MPEG::File piece((out / name).c_str());
        ASSERT_NE(piece.tag(), nullptr) << name;
        EXPECT_EQ(piece.tag()->title().to8Bit(true).substr(1), "/4") << name;
    }
}

}  // namespace
}  // namespace qm
