// quillmere-cli split by marks, run as a process: a cue sheet's tracks, a file's chapters,
// a dry run, and the files whose marks cannot be read.

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <sstream>

#include <taglib/mpegfile.h>
#include <taglib/tag.h>

#include "fixtures/Fixtures.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
namespace fx = qm::fixtures;

// One MPEG-1 Layer III frame at 44.1 kHz, in seconds: how far a cut may lie from its mark.
constexpr double kFrameSeconds = 1152.0 / 44100.0;

fx::RunResult Cli(const std::vector<std::string>& args) { return fx::RunProgram(fx::CliPath(), args); }

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream stream(text);
    for (std::string line; std::getline(stream, line);) lines.push_back(line);
    return lines;
}

std::set<std::string> NamesIn(const fs::path& folder) {
    std::set<std::string> names;
    if (!fs::exists(folder)) return names;
    for (const auto& item : fs::directory_iterator(folder)) names.insert(item.path().filename().string());
    return names;
}

// Where each piece begins, from the decoded lengths of the pieces before it: the pieces
// played back to back are the source, so piece k begins after the audio of pieces 1..k-1.
std::vector<double> DecodedBegins(const std::vector<fs::path>& pieces) {
    std::vector<double> begins;
    double at = 0.0;
    for (const fs::path& piece : pieces) {
        begins.push_back(at);
        at += fx::DecodedSeconds(piece);
    }
    return begins;
}

// A four-track sheet in Windows-1252 (accented titles), the third track with a pregap, the
// INDEX 01 times off the tenths of a second.
std::string WindowsSheet() {
    return "REM GENRE Jazz\r\nREM DATE 1999\r\nPERFORMER \"Band\"\r\nTITLE \"Album\"\r\nFILE \"other.wav\" WAVE\r\n"
           "  TRACK 01 AUDIO\r\n    TITLE \"Caf\xE9\"\r\n    INDEX 01 00:00:00\r\n"
           "  TRACK 02 AUDIO\r\n    TITLE \"\xDC"
           "ber\"\r\n    PERFORMER \"Guest\"\r\n    INDEX 01 00:03:40\r\n"
           "  TRACK 03 AUDIO\r\n    TITLE Three\r\n    INDEX 00 00:06:00\r\n    INDEX 01 00:06:50\r\n"
           "  TRACK 04 AUDIO\r\n    TITLE \"Four\"\r\n    INDEX 01 00:09:10\r\n";
}

// The sheet's pieces begin within a frame of their INDEX 01 times, are named and tagged from
// the sheet (its album, performer, genre and year standing in for the source's tag), and a
// dry run of the same plan prints the same pieces and writes nothing.
TEST(MarksSplit, CueSheetPiecesBeginAtTheirIndexAndCarryTheSheetsTags) {
    fx::TempDir dir;
    const fs::path song = fx::MakeSong(dir, "album.mp3", 12.0);
    const fs::path sheet = dir / "sheet.cue";
    const std::string sheetText = WindowsSheet();
    fx::WriteFileBytes(sheet, fx::Bytes(sheetText.begin(), sheetText.end()));
    const double indexes[] = {0.0, 3.0 + 40.0 / 75, 6.0 + 50.0 / 75, 9.0 + 10.0 / 75};
    const char* names[] = {"1 - Caf\xC3\xA9.mp3",
                           "2 - \xC3\x9C"
                           "ber.mp3",
                           "3 - Three.mp3", "4 - Four.mp3"};

    const fx::RunResult dry =
        Cli({"split", "--cue", sheet.string(), "--dry-run", "-o", (dir / "out").string(), song.string()});
    ASSERT_EQ(dry.exitCode, 0) << dry.err;
    EXPECT_TRUE(NamesIn(dir / "out").empty()) << "a dry run writes nothing";
    const std::vector<std::string> planned = Lines(dry.out);
    ASSERT_EQ(planned.size(), 5u) << dry.out;
    EXPECT_NE(planned[0].find("4 piece(s)"), std::string::npos) << planned[0];

    const fx::RunResult run = Cli({"split", "--cue", sheet.string(), "-o", (dir / "out").string(), song.string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::vector<fs::path> pieces;
    for (const char* name : names) pieces.push_back(dir / "out" / name);
    ASSERT_EQ(NamesIn(dir / "out"), std::set<std::string>(std::begin(names), std::end(names))) << run.out;
    const std::vector<double> begins = DecodedBegins(pieces);
    const char* titles[] = {"Caf\xC3\xA9",
                            "\xC3\x9C"
                            "ber",
                            "Three", "Four"};
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        SCOPED_TRACE(names[i]);
        EXPECT_LE(std::abs(begins[i] - indexes[i]), kFrameSeconds);
        // The dry run's line: <tab> BEGIN <tab> END <tab> OUTPUT <tab> TITLE.
        EXPECT_LE(std::abs(std::stod(planned[i + 1].substr(1)) - indexes[i]), kFrameSeconds) << planned[i + 1];
        EXPECT_NE(planned[i + 1].find(names[i]), std::string::npos) << planned[i + 1];
        TagLib::MPEG::File file(pieces[i].c_str());
        ASSERT_TRUE(file.isValid() && file.tag() != nullptr);
        EXPECT_EQ(file.tag()->title().to8Bit(true), titles[i]);
        EXPECT_EQ(file.tag()->artist().to8Bit(true), i == 1 ? "Guest" : "Band");
        EXPECT_EQ(file.tag()->album().to8Bit(true), "Album");
        EXPECT_EQ(file.tag()->genre().to8Bit(true), "Jazz");
        EXPECT_EQ(file.tag()->year(), 1999u);
        EXPECT_EQ(file.tag()->track(), i + 1);
    }
}

// One piece a chapter of a tag laid out as ffmpeg writes it, titled from the chapters and
// beginning within a frame of each; info lists the chapters.
TEST(MarksSplit, ChaptersMakeOnePieceEach) {
    fx::TempDir dir;
    fx::Bytes bytes =
        fx::MakeChapterTag({{"chp0", 0, 2500, "Opening"}, {"chp1", 2500, 6040, "Middle"}, {"chp2", 6040, 8000, "End"}},
                           {"chp0", "chp1", "chp2"});
    const fx::Bytes audio = fx::EncodeMp3(fx::StreamSpec(8.0, fx::Signal::Tone));
    bytes.insert(bytes.end(), audio.begin(), audio.end());
    const fs::path book = dir / "book.mp3";
    fx::WriteFileBytes(book, bytes);

    const fx::RunResult info = Cli({"info", "--json", book.string()});
    ASSERT_EQ(info.exitCode, 0) << info.err;
    EXPECT_NE(info.out.find(R"("chapters":[{"title":"Opening","begin":0.0,"end":2.5},)"), std::string::npos)
        << info.out;

    const fx::RunResult run = Cli({"split", "--chapters", "-o", (dir / "out").string(), book.string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::vector<fs::path> pieces{dir / "out" / "1 - Opening.mp3", dir / "out" / "2 - Middle.mp3",
                                       dir / "out" / "3 - End.mp3"};
    ASSERT_EQ(NamesIn(dir / "out").size(), 3u) << run.out;
    const std::vector<double> begins = DecodedBegins(pieces);
    const double starts[] = {0.0, 2.5, 6.04};
    for (std::size_t i = 0; i < 3; ++i) EXPECT_LE(std::abs(begins[i] - starts[i]), kFrameSeconds) << i;
}

// Three tones with pauses of digital silence between them, split at the pauses with the
// pauses left out: three pieces of about a tone each, every one decoding cleanly.
TEST(MarksSplit, SilenceCutsAtThePausesAndTrimsThem) {
    fx::TempDir dir;
    std::vector<std::int16_t> pcm;
    for (int track = 0; track < 3; ++track) {
        fx::EncodeSpec tone = fx::StreamSpec(3.0, fx::Signal::Tone);
        tone.toneHz = 330.0 + 110.0 * track;
        const std::vector<std::int16_t> part = fx::MakePcm(tone);
        pcm.insert(pcm.end(), part.begin(), part.end());
        if (track < 2) pcm.insert(pcm.end(), static_cast<std::size_t>(1.5 * 44100) * 2, 0);
    }
    const fs::path album = dir / "album.mp3";
    fx::WriteFileBytes(album, fx::EncodePcm(fx::StreamSpec(0.0, fx::Signal::Tone), pcm));

    const fx::RunResult run =
        Cli({"split", "--silence", "--trim-silence", "-o", (dir / "out").string(), album.string()});
    ASSERT_EQ(run.exitCode, 0) << run.err << run.out;
    const std::set<std::string> names = NamesIn(dir / "out");
    ASSERT_EQ(names, (std::set<std::string>{"album-1.mp3", "album-2.mp3", "album-3.mp3"})) << run.out;
    for (const std::string& name : names) {
        const double seconds = fx::DecodedSeconds(dir / "out" / name);
        EXPECT_GT(seconds, 2.9) << name;
        EXPECT_LT(seconds, 3.5) << name << ": the pauses are left out";
    }
}

// A file whose marks cannot be read fails alone with its line and leaves nothing; the other
// files of the run are split.
TEST(MarksSplit, UnreadableMarksFailTheirFileOnly) {
    fx::TempDir dir;
    const fs::path broken = fx::MakeSong(dir, "broken.mp3", 3.0);
    const fs::path good = fx::MakeSong(dir, "good.mp3", 3.0);
    const fs::path bare = fx::MakeSong(dir, "bare.mp3", 3.0);
    const std::string brokenSheet = "TITLE \"x\"\nTRACK AUDIO\n";
    const std::string goodSheet = "TRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 02 AUDIO\nINDEX 01 00:01:00\n";
    fx::WriteFileBytes(dir / "broken.cue", fx::Bytes(brokenSheet.begin(), brokenSheet.end()));
    fx::WriteFileBytes(dir / "good.cue", fx::Bytes(goodSheet.begin(), goodSheet.end()));
    fx::WriteFileBytes(dir / "empty.txt", {});
    const std::set<std::string> before = NamesIn(dir.Path());

    const fx::RunResult run = Cli({"split", "--cue-beside", broken.string(), good.string(), bare.string()});
    EXPECT_EQ(run.exitCode, 1);
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 3u) << run.out;
    EXPECT_NE(lines[0].find("Failure: Failed to read cue sheet \"" + (dir / "broken.cue").string() + "\": line 2: "),
              std::string::npos)
        << lines[0];
    EXPECT_NE(lines[1].find("2 piece(s)"), std::string::npos) << lines[1];
    EXPECT_NE(lines[2].find("Failure: No cue sheet beside"), std::string::npos) << lines[2];
    std::set<std::string> after = NamesIn(dir.Path());
    EXPECT_EQ(after.size(), before.size() + 2) << "only the good file's two pieces";

    const fx::RunResult empty = Cli({"split", "--labels", (dir / "empty.txt").string(), good.string()});
    EXPECT_EQ(empty.exitCode, 1);
    EXPECT_NE(empty.out.find("Failure: Failed to read label file \"" + (dir / "empty.txt").string() + "\": no labels."),
              std::string::npos)
        << empty.out;
    EXPECT_EQ(NamesIn(dir.Path()).size(), after.size());
}

}  // namespace
}  // namespace qm
