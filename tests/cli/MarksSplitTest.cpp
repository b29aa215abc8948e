// quillmere-cli split by marks, run as a process, one case a kind of mark: a cue sheet's tagged
// pieces and its dry run, a file's chapters, the pauses, and the marks that cannot be read.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include <taglib/mpegfile.h>
#include <taglib/tag.h>

#include "fixtures/Fixtures.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
namespace fx = qm::fixtures;
using Strings = std::vector<std::string>;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

// One MPEG-1 Layer III frame at 44.1 kHz, in seconds: how far a cut may lie from its mark.
constexpr double kFrameSeconds = 1152.0 / 44100.0;

fx::RunResult Cli(const Strings& args) { return fx::RunProgram(fx::CliPath(), args); }

void WriteText(const fs::path& path, const std::string& text) {
    fx::WriteFileBytes(path, fx::Bytes(text.begin(), text.end()));
}

Strings Lines(const std::string& text) {
    Strings lines;
    std::stringstream stream(text);
    for (std::string line; std::getline(stream, line);) lines.push_back(line);
    return lines;
}

// folder holds the pieces names and nothing else, and piece k begins within a frame of
// begins[k], after the decoded audio of the pieces before it (back to back they are the source).
void ExpectPiecesBeginAt(const fs::path& folder, const Strings& names, const std::vector<double>& begins) {
    ASSERT_EQ(fx::FileNames(folder), names);
    double at = 0.0;
    for (std::size_t k = 0; k < names.size(); ++k) {
        EXPECT_LE(std::abs(at - begins[k]), kFrameSeconds) << names[k];
        at += fx::DecodedSeconds(folder / names[k]);
    }
}

// A sheet in Windows-1252 whose tracks begin off the tenths of a second: the pieces begin
// within a frame of their INDEX 01, named and tagged from the sheet (its album, performer,
// genre and year standing in for the source's tag, a track's PERFORMER its own), and a dry
// run of the same plan prints the same pieces and writes nothing.
TEST(MarksSplit, CueSheetPiecesBeginAtTheirIndexAndCarryTheSheetsTags) {
    fx::TempDir dir;
    const fs::path song = fx::MakeSong(dir, "album.mp3", 9.0);
    const fs::path out = dir / "out";
    WriteText(dir / "sheet.cue",
              "REM GENRE Jazz\r\nREM DATE 1999\r\nPERFORMER \"Band\"\r\nTITLE \"Album\"\r\nFILE \"other.wav\" WAVE\r\n"
              "  TRACK 01 AUDIO\r\n    TITLE \"Caf\xE9\"\r\n    INDEX 01 00:00:00\r\n"
              "  TRACK 02 AUDIO\r\n    TITLE \"Two\"\r\n    PERFORMER \"Guest\"\r\n    INDEX 01 00:03:40\r\n"
              "  TRACK 03 AUDIO\r\n    TITLE \"Three\"\r\n    INDEX 01 00:06:50\r\n");
    const Strings names{"1 - Caf\xC3\xA9.mp3", "2 - Two.mp3", "3 - Three.mp3"};
    const std::vector<double> indexes{0.0, 3.0 + 40.0 / 75, 6.0 + 50.0 / 75};
    // Title/artist/album/genre/year/track.
    const Strings tags{"Caf\xC3\xA9/Band/Album/Jazz/1999/1", "Two/Guest/Album/Jazz/1999/2",
                       "Three/Band/Album/Jazz/1999/3"};

    Strings args{"split", "--dry-run", "--cue", (dir / "sheet.cue").string(), "-o", out.string(), song.string()};
    const fx::RunResult dry = Cli(args);
    ASSERT_EQ(dry.exitCode, 0) << dry.err;
    EXPECT_TRUE(!fs::exists(out) || fx::FileNames(out).empty()) << "a dry run writes nothing";
    const Strings planned = Lines(dry.out);
    ASSERT_EQ(planned.size(), 4u) << dry.out;
    EXPECT_THAT(planned[0], HasSubstr("3 piece(s)"));

    args.erase(args.begin() + 1);
    const fx::RunResult run = Cli(args);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    ExpectPiecesBeginAt(out, names, indexes);
    for (std::size_t k = 0; k < names.size(); ++k) {
        // The dry run's line: <tab> BEGIN <tab> END <tab> OUTPUT <tab> TITLE.
        EXPECT_LE(std::abs(std::stod(planned[k + 1].substr(1)) - indexes[k]), kFrameSeconds) << planned[k + 1];
        EXPECT_THAT(planned[k + 1], HasSubstr(names[k]));
        TagLib::MPEG::File file((out / names[k]).c_str());
        ASSERT_TRUE(file.isValid() && file.tag() != nullptr);
        const TagLib::Tag& tag = *file.tag();
        EXPECT_EQ(tag.title().to8Bit(true) + "/" + tag.artist().to8Bit(true) + "/" + tag.album().to8Bit(true) + "/" +
                      tag.genre().to8Bit(true) + "/" + std::to_string(tag.year()) + "/" + std::to_string(tag.track()),
                  tags[k]);
    }
}

// A tag of chapters laid out as ffmpeg writes it: info lists them, and the split makes one
// piece a chapter, titled from it and beginning within a frame of it; a label file of the
// same regions does the same.
TEST(MarksSplit, ChaptersMakeOnePieceEach) {
    fx::TempDir dir;
    const fs::path book = dir / "book.mp3";
    const fx::Bytes tag =
        fx::MakeChapterTag({{"chp0", 0, 2500, "Opening"}, {"chp1", 2500, 6040, "Middle"}, {"chp2", 6040, 8000, "End"}},
                           {"chp0", "chp1", "chp2"});
    fx::WriteFileBytes(book, fx::Concat({tag, fx::EncodeMp3(fx::StreamSpec(8.0, fx::Signal::Tone))}));

    const fx::RunResult info = Cli({"info", "--json", book.string()});
    ASSERT_EQ(info.exitCode, 0) << info.err;
    EXPECT_THAT(info.out, HasSubstr(R"("chapters":[{"title":"Opening","begin":0.0,"end":2.5},)"));

    const fx::RunResult run = Cli({"split", "--chapters", "-o", (dir / "out").string(), book.string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    ExpectPiecesBeginAt(dir / "out", {"1 - Opening.mp3", "2 - Middle.mp3", "3 - End.mp3"}, {0.0, 2.5, 6.04});

    // A label file of the same regions cuts the same pieces.
    WriteText(dir / "labels.txt", "0\t2.5\tOpening\n2.5\t6.04\tMiddle\n6.04\t8\tEnd\n");
    const fx::RunResult labels =
        Cli({"split", "--labels", (dir / "labels.txt").string(), "-o", (dir / "labelled").string(), book.string()});
    ASSERT_EQ(labels.exitCode, 0) << labels.err;
    ExpectPiecesBeginAt(dir / "labelled", {"1 - Opening.mp3", "2 - Middle.mp3", "3 - End.mp3"}, {0.0, 2.5, 6.04});
}

// Three tones with pauses of digital silence between them, split at the pauses with the
// pauses left out: three pieces of about a tone each, every one decoding cleanly.
TEST(MarksSplit, SilenceCutsAtThePausesAndTrimsThem) {
    fx::TempDir dir;
    const std::vector<std::int16_t> tone = fx::MakePcm(fx::StreamSpec(3.0, fx::Signal::Tone));
    std::vector<std::int16_t> pcm;
    for (int track = 0; track < 3; ++track) {
        if (track > 0) pcm.resize(pcm.size() + 2 * 66150, 0);  // 1.5 s of stereo silence
        pcm.insert(pcm.end(), tone.begin(), tone.end());
    }
    const fs::path album = dir / "album.mp3";
    fx::WriteFileBytes(album, fx::EncodePcm(fx::StreamSpec(0.0, fx::Signal::Tone), pcm));

    const fx::RunResult run =
        Cli({"split", "--silence", "--trim-silence", "-o", (dir / "out").string(), album.string()});
    ASSERT_EQ(run.exitCode, 0) << run.err << run.out;
    const Strings names{"album-1.mp3", "album-2.mp3", "album-3.mp3"};
    ASSERT_EQ(fx::FileNames(dir / "out"), names) << run.out;
    for (const std::string& name : names) {
        const double seconds = fx::DecodedSeconds(dir / "out" / name);
        EXPECT_GT(seconds, 2.9) << name;
        EXPECT_LT(seconds, 3.5) << name << ": the pauses are left out";
    }
}

// A file whose marks cannot be read fails alone with its line and leaves nothing: a broken
// sheet beside it (naming the line at fault), no sheet beside it, an empty label file; the
// other files of the run are split.
TEST(MarksSplit, UnreadableMarksFailTheirFileOnly) {
    fx::TempDir dir;
    const fs::path broken = fx::MakeSong(dir, "broken.mp3", 3.0);
    const fs::path good = fx::MakeSong(dir, "good.mp3", 3.0);
    const fs::path bare = fx::MakeSong(dir, "bare.mp3", 3.0);
    WriteText(dir / "broken.cue", "TITLE \"x\"\nTRACK AUDIO\n");
    WriteText(dir / "good.cue", "TRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 02 AUDIO\nINDEX 01 00:01:00\n");
    WriteText(dir / "empty.txt", "");
    const std::size_t before = fx::FileNames(dir.Path()).size();

    const fx::RunResult run = Cli({"split", "--cue-beside", broken.string(), good.string(), bare.string()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_THAT(Lines(run.out), ElementsAre(HasSubstr("Failure: Failed to read cue sheet \"" +
                                                      (dir / "broken.cue").string() + "\": line 2: "),
                                            HasSubstr("2 piece(s)"), HasSubstr("Failure: No cue sheet beside")));
    EXPECT_EQ(fx::FileNames(dir.Path()).size(), before + 2) << "only the good file's two pieces";

    const fx::RunResult empty = Cli({"split", "--labels", (dir / "empty.txt").string(), good.string()});
    EXPECT_EQ(empty.exitCode, 1);
    EXPECT_THAT(empty.out,
                HasSubstr("Failure: Failed to read label file \"" + (dir / "empty.txt").string() + "\": no labels."));
    EXPECT_EQ(fx::FileNames(dir.Path()).size(), before + 2);
}

}  // namespace
}  // namespace qm
