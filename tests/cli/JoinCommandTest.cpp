// quillmere-cli join, run as a process: automatic and chosen encodings, tag options, the
// batch form, failures, usage errors and Ctrl-C.

#include <gtest/gtest.h>

#include <chrono>

#include <taglib/mpegfile.h>
#include <taglib/mpegheader.h>
#include <taglib/tag.h>

#include "fixtures/Fixtures.h"
#include "stream/MpegHeader.h"

namespace qm {
namespace {

namespace fx = qm::fixtures;

// What TagLib reads back from a written file: the tag and the first frame's bit rate.
struct ReadBack {
    std::string title, artist, album, year, genre;
    unsigned track = 0;
    int kbps = 0;
};
ReadBack Read(const std::filesystem::path& path) {
    TagLib::MPEG::File file(path.c_str());
    ReadBack back;
    if (const TagLib::Tag* tag = file.tag()) {
        back.title = tag->title().to8Bit(true);
        back.artist = tag->artist().to8Bit(true);
        back.album = tag->album().to8Bit(true);
        back.year = std::to_string(tag->year());
        back.genre = tag->genre().to8Bit(true);
        back.track = tag->track();
    }
    // The bit rate of the last frame: every frame of a constant-bit-rate output has it, while
    // the average over the whole stream counts the Info frame ahead of the audio too.
    if (file.isValid()) back.kbps = TagLib::MPEG::Header(&file, file.lastFrameOffset()).bitrate();
    return back;
}

std::filesystem::path WriteMp3(const fx::TempDir& dir, const std::string& name, double seconds, int rateHz = 44100,
                               int kbps = 128, fx::Channels channels = fx::Channels::JointStereo) {
    fx::EncodeSpec spec;
    spec.seconds = seconds;
    spec.sampleRateHz = rateHz;
    spec.kbps = kbps;
    spec.channels = channels;
    fx::WriteFileBytes(dir / name, fx::EncodeMp3(spec));
    return dir / name;
}

// A directly joined file without a tag, less the Xing/Info frame that heads its stream.
fx::Bytes AfterHeaderFrame(const fx::Bytes& joined) {
    const std::vector<fx::FrameSpan> frames = fx::WalkFrames(joined, 0);
    if (frames.empty()) return {};
    return fx::Bytes(joined.begin() + static_cast<std::ptrdiff_t>(frames.front().bytes), joined.end());
}

std::vector<std::string> Names(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Automatic choice: alike files are copied byte for byte; anything else is re-encoded at the
// highest rate and bit rate; --rate/--bitrate/--channels force those values.
TEST(JoinCommand, ChoosesTheMethodLikeTheJoinerPage) {
    struct Case {
        const char* name;
        std::vector<std::string> options;
        bool mixed;  // a 22050 Hz mono file among the sources
        bool direct;
        long rateHz;
        int channels;
        int kbps;
    };
    const std::vector<Case> cases = {
        {"alike files are copied", {}, false, true, 44100, 2, 128},
        {"mixed files are re-encoded", {}, true, false, 44100, 2, 128},
        {"alike files re-encoded on request", {"--reencode"}, false, false, 44100, 2, 128},
        {"chosen values", {"--rate", "32000", "--bitrate", "96", "--channels", "mono"}, false, false, 32000, 1, 96},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fx::TempDir dir;
        const auto a = WriteMp3(dir, "a.mp3", 1.0);
        const auto b =
            c.mixed ? WriteMp3(dir, "b.mp3", 1.0, 22050, 64, fx::Channels::Mono) : WriteMp3(dir, "b.mp3", 0.5);
        const auto out = dir / "out.mp3";
        std::vector<std::string> args{"join", "-o", out.string(), a.string(), b.string()};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const fx::RunResult run = fx::RunProgram(fx::CliPath(), args);
        ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
        EXPECT_NE(run.out.find(out.string()), std::string::npos);
        const fx::Bytes data = fx::ReadFileBytes(out);
        if (c.direct) {
            EXPECT_TRUE(AfterHeaderFrame(data) == fx::Concat({fx::ReadFileBytes(a), fx::ReadFileBytes(b)}));
            EXPECT_NE(run.out.find("copying"), std::string::npos);
        } else {
            EXPECT_NE(run.out.find("re-encoded at"), std::string::npos) << run.out;
        }
        const fx::Decoded decoded = fx::DecodeWithMpg123(out);
        EXPECT_TRUE(decoded.ok);
        EXPECT_EQ(decoded.rateHz, c.rateHz);
        EXPECT_EQ(decoded.channels, c.channels);
        // TagLib averages over the Xing/Info frame's byte count, which counts that frame too
        // (both joins head their stream with one): some 400 bytes more in 1.5 s.
        EXPECT_NEAR(Read(out).kbps, c.kbps, 2);
        EXPECT_EQ(Names(dir.Path()).size(), 3u) << "no temporary file left";
    }
}

// Tag options make the joined file's tag, non-Latin text and a track above 255 included;
// --json reports the output.
TEST(JoinCommand, TagOptionsAndJson) {
    fx::TempDir dir;
    const auto a = WriteMp3(dir, "a.mp3", 0.5);
    const auto b = WriteMp3(dir, "b.mp3", 0.5);
    const auto out = dir / "tagged.mp3";
    const fx::RunResult run = fx::RunProgram(
        fx::CliPath(), {"join",    "-o",      out.string(), "--title", "Ünïcödé ☃", "--artist", "Artist",
                        "--album", "Album",   "--year",     "2020",    "--genre",   "Jazz",     "--comment",
                        "c",       "--track", "300",        "--json",  a.string(),  b.string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const ReadBack tags = Read(out);
    EXPECT_EQ(tags.title, "Ünïcödé ☃");
    EXPECT_EQ(tags.artist, "Artist");
    EXPECT_EQ(tags.album, "Album");
    EXPECT_EQ(tags.year, "2020");
    EXPECT_EQ(tags.genre, "Jazz");
    EXPECT_EQ(tags.track, 300u);
    EXPECT_EQ(run.out.rfind("{\"command\":\"join\",\"files\":[\n{\"file\":\"" + out.string() + "\",", 0), 0u)
        << run.out;
    EXPECT_NE(run.out.find("\"outputs\":[\"" + out.string() + "\"],\"join\":\"copied\"}"), std::string::npos)
        << run.out;
}

// The batch form: outputs "<main>_joined.mp3" beside each main file or in -o DIR, the main
// file first with --append and last with --prepend.
TEST(JoinCommand, BatchJoinsEveryMainFile) {
    struct Case {
        const char* name;
        const char* joinType;
        bool toFolder;
    };
    for (const Case& c :
         {Case{"append beside the main files", "--append", false}, Case{"prepend into a folder", "--prepend", true}}) {
        SCOPED_TRACE(c.name);
        fx::TempDir dir;
        const auto m1 = WriteMp3(dir, "m1.mp3", 0.8);
        const auto m2 = WriteMp3(dir, "m2.mp3", 0.6);
        const auto w = WriteMp3(dir, "w.mp3", 0.4);
        std::vector<std::string> args{"join", "--batch", c.joinType, "--with", w.string()};
        const auto folder = dir / "outputs";
        if (c.toFolder) args.insert(args.end(), {"-o", folder.string()});
        args.insert(args.end(), {"--", m1.string(), m2.string()});
        const fx::RunResult run = fx::RunProgram(fx::CliPath(), args);
        ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
        for (const auto& main : {m1, m2}) {
            const auto output = (c.toFolder ? folder : dir.Path()) / (main.stem().string() + "_joined.mp3");
            ASSERT_TRUE(std::filesystem::exists(output)) << output;
            const fx::Bytes expected = std::string(c.joinType) == "--append"
                                           ? fx::Concat({fx::ReadFileBytes(main), fx::ReadFileBytes(w)})
                                           : fx::Concat({fx::ReadFileBytes(w), fx::ReadFileBytes(main)});
            EXPECT_TRUE(AfterHeaderFrame(fx::ReadFileBytes(output)) == expected);
            EXPECT_NE(run.out.find(main.string() + ": " + output.filename().string()), std::string::npos) << run.out;
        }
    }
}

// Failures: exit 1, the message naming the file, no output; usage errors: exit 2.
TEST(JoinCommand, FailuresAndUsageErrors) {
    fx::TempDir dir;
    const auto a = WriteMp3(dir, "a.mp3", 0.5);
    const auto out = (dir / "out.mp3").string();
    const auto missing = (dir / "missing.mp3").string();
    struct Case {
        const char* name;
        std::vector<std::string> args;
        int exitCode;
        std::string message;  // in stdout for failures, stderr for usage errors
    };
    const std::vector<Case> cases = {
        {"missing source",
         {"join", "-o", out, a.string(), missing},
         1,
         "Join failure. Failed to open file \"" + missing + "\"."},
        {"missing source with chosen values",
         {"join", "-o", out, "--rate", "44100", "--bitrate", "128", "--channels", "joint", missing, a.string()},
         1,
         "Join failure. Failed to open file \"" + missing + "\"."},
        {"bad encoding parameter",
         {"join", "-o", out, "--rate", "12345", "--bitrate", "128", "--channels", "stereo", a.string(), a.string()},
         1,
         "Join failure. Bad encoding parameter: 12345Hz, 128kbps, 0"},
        {"rate alone", {"join", "-o", out, "--rate", "44100", a.string(), a.string()}, 2, "go together"},
        {"one file", {"join", "-o", out, a.string()}, 2, "at least two files"},
        {"no output", {"join", a.string(), a.string()}, 2, "-o OUT"},
        {"batch without a side", {"join", "--batch", "--with", a.string(), "--", a.string()}, 2, "--prepend"},
        {"re-encoding forced in a batch",
         {"join", "--batch", "--append", "--reencode", "--with", a.string(), "--", a.string()},
         2,
         "--reencode"},
        {"bad channels", {"join", "-o", out, "--channels", "quad", a.string(), a.string()}, 2, "quad"},
        {"bit rate beyond the rate",
         {"join", "-o", out, "--rate", "22050", "--bitrate", "320", "--channels", "mono", a.string(), a.string()},
         2,
         "at 22050 Hz the bit rate is at most 160 kbit/s"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fx::RunResult run = fx::RunProgram(fx::CliPath(), c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.out << run.err;
        const std::string& text = c.exitCode == 2 ? run.err : run.out;
        EXPECT_NE(text.find(c.message), std::string::npos) << text;
        EXPECT_EQ(Names(dir.Path()), (std::vector<std::string>{"a.mp3"}));
    }
}

// Ctrl-C during a long re-encoding join: exit 130, no output and no temporary file, and an
// existing file of the target's name is kept.
TEST(JoinCommand, InterruptLeavesNothingBehind) {
    fx::TempDir dir;
    // Long enough that the signal comes well after the program has started, even in a slow
    // sanitizer build on a busy machine, and well before it is done.
    const auto a = WriteMp3(dir, "a.mp3", 120.0);
    const auto b = WriteMp3(dir, "b.mp3", 120.0, 22050, 64, fx::Channels::Mono);
    const auto out = dir / "out.mp3";
    fx::WriteFileBytes(out, {'o', 'l', 'd'});
    const fx::RunResult run = fx::RunProgramWithInterrupt(
        fx::CliPath(), {"join", "-o", out.string(), a.string(), b.string()}, std::chrono::milliseconds(800));
    EXPECT_EQ(run.exitCode, 130) << run.out << run.err;
    EXPECT_NE(run.out.find("Cancelled"), std::string::npos) << run.out;
    EXPECT_EQ(fx::ReadFileBytes(out), (fx::Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(Names(dir.Path()), (std::vector<std::string>{"a.mp3", "b.mp3", "out.mp3"}));
}

// The success line says what was encoded, read from the output: a bit rate between two of
// MPEG's is encoded at one of them. A batch join's output starts from its main file's tag.
TEST(JoinCommand, ReportsWhatWasEncodedAndKeepsTheMainFilesTag) {
    fx::TempDir dir;
    const auto a = WriteMp3(dir, "a.mp3", 0.5);
    const auto b = WriteMp3(dir, "b.mp3", 0.5, 22050, 64, fx::Channels::Mono);
    const auto out = dir / "out.mp3";
    const fx::RunResult run = fx::RunProgram(fx::CliPath(), {"join", "-o", out.string(), "--rate", "44100", "--bitrate",
                                                             "100", "--channels", "stereo", a.string(), b.string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const int encoded = Read(out).kbps;
    EXPECT_NE(encoded, 100);
    EXPECT_NE(run.out.find("re-encoded at 44100 Hz, " + std::to_string(encoded) + " kbps, stereo"), std::string::npos)
        << run.out;

    fx::Id3v2Spec tag;
    tag.title = "Main title";
    tag.artist = "Main artist";
    const auto main = dir / "main.mp3";
    fx::WriteFileBytes(main, fx::Concat({fx::MakeId3v2Tag(tag), fx::ReadFileBytes(a)}));
    const fx::RunResult batch =
        fx::RunProgram(fx::CliPath(), {"join", "--batch", "--append", "--with", a.string(), "--", main.string()});
    ASSERT_EQ(batch.exitCode, 0) << batch.out << batch.err;
    const ReadBack joined = Read(dir / "main_joined.mp3");
    EXPECT_EQ(joined.title, "Main title");
    EXPECT_EQ(joined.artist, "Main artist");
}

// A file's bytes after its ID3v2 tag.
fx::Bytes AfterTag(const fx::Bytes& bytes) {
    const std::uint64_t tag = bytes.size() >= kId3v2HeaderBytes ? Id3v2TagBytes(bytes.data(), Id3v2Footer::Count) : 0;
    return fx::Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(tag), bytes.end());
}

// Three pieces of one song, retitled (one title in Greek), joined with chapters and a sheet:
// the chapters sit where each piece sounds in the output, and a split at them gives back
// each piece's frames. A batch join counts an existing sheet as an existing output.
TEST(JoinCommand, ChaptersAndCueSheetSplitBackToTheSources) {
    fx::TempDir dir;
    const auto song = fx::MakeSong(dir, "song.mp3", 6.0);
    ASSERT_EQ(
        fx::RunProgram(fx::CliPath(), {"split", "--count", "3", "-o", (dir / "p").string(), song.string()}).exitCode,
        0);
    const char* titles[] = {"Πρώτο", "Second", "Third"};
    std::vector<std::string> args{"join", "--chapters", "--cue", "-o", (dir / "book.mp3").string()};
    std::vector<fx::Bytes> audio;
    for (int k = 0; k < 3; ++k) {
        fx::Id3v2Spec tag;
        tag.title = titles[k];
        tag.utf16 = true;
        const fx::Bytes piece = AfterTag(fx::ReadFileBytes(dir / "p" / ("song-" + std::to_string(k + 1) + ".mp3")));
        const auto source = dir / (std::to_string(k + 1) + ".mp3");
        fx::WriteFileBytes(source, fx::Concat({fx::MakeId3v2Tag(tag), piece}));
        audio.push_back(AfterHeaderFrame(piece));
        args.push_back(source.string());
    }
    const fx::RunResult joined = fx::RunProgram(fx::CliPath(), args);
    ASSERT_EQ(joined.exitCode, 0) << joined.out << joined.err;
    EXPECT_NE(joined.out.find("joined by copying their frames, with 3 chapters, and a cue sheet beside it\n  " +
                              (dir / "book.mp3").string() + "\n  " + (dir / "book.cue").string() + "\n"),
              std::string::npos)
        << joined.out;

    const fx::RunResult split = fx::RunProgram(
        fx::CliPath(), {"split", "--chapters", "-o", (dir / "back").string(), (dir / "book.mp3").string()});
    ASSERT_EQ(split.exitCode, 0) << split.out << split.err;
    for (int k = 0; k < 3; ++k) {
        const auto piece = dir / "back" / (std::to_string(k + 1) + " - " + titles[k] + ".mp3");
        ASSERT_TRUE(std::filesystem::exists(piece)) << split.out;
        EXPECT_TRUE(AfterHeaderFrame(AfterTag(fx::ReadFileBytes(piece))) == audio[k]) << titles[k];
    }

    // The main file's output name is free, its sheet's is not: the two move on together.
    const auto main = WriteMp3(dir, "m.mp3", 0.5);
    fx::WriteFileBytes(dir / "m_joined.cue", {'x'});
    const fx::RunResult batch = fx::RunProgram(fx::CliPath(), {"join", "--batch", "--append", "--cue", "--with",
                                                               (dir / "1.mp3").string(), "--", main.string()});
    ASSERT_EQ(batch.exitCode, 0) << batch.out << batch.err;
    EXPECT_TRUE(std::filesystem::exists(dir / "m_joined_1.mp3")) << batch.out;
    EXPECT_TRUE(std::filesystem::exists(dir / "m_joined_1.cue")) << batch.out;
    EXPECT_EQ(fx::ReadFileBytes(dir / "m_joined.cue"), fx::Bytes{'x'});
}

}  // namespace
}  // namespace qm
