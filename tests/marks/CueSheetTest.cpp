// Cue sheets: what the reader makes of good sheets and the line it blames in broken ones, the
// file-level failures, and the writer's sheets read back.

#include "marks/CueSheet.h"

#include <gtest/gtest.h>

#include "fixtures/Fixtures.h"
#include "marks/MarksTestKit.h"

namespace qm {
namespace {

using fixtures::TempDir;
using testing::Describe;

// A sheet and Describe() of its marks, or its error. Each good sheet pins reading rules:
// quoting, line ends, encodings, a pregap (it stays with the track before) and a first track
// that begins late (its piece begins at 0), whose PERFORMER a track gets, which REM lines
// count, and the rounding of CD frames to milliseconds. Each broken sheet fails with its own
// text, naming the line at fault.
TEST(CueSheetTest, ReadsSheetsAndBlamesTheLineOfABrokenOne) {
    const std::string head = "FILE \"a.mp3\" MP3\nTRACK 01 AUDIO\n";
    const std::pair<std::string, std::string> sheets[] = {
        {"REM GENRE Rock\nREM DATE \"1999\"\nREM COMMENT \"ignored\"\nCATALOG 0000000000000\n"
         "PERFORMER \"The Band\"\nTITLE  Album Name  \nFILE \"album.wav\" WAVE\n"
         "  TRACK 01 AUDIO\n    TITLE \"First \"Song\n    INDEX 01 00:00:00\n"
         "  TRACK 02 AUDIO\n    FLAGS DCP\n    TITLE Second\n    PERFORMER \"Guest\"\n    ISRC X\n"
         "    INDEX 01 02:03:01\n",
         "Album Name/The Band/Rock/1999 | 0-next 'First ' by 'The Band' #1 | 123013-next 'Second' by 'Guest' #2"},
        {"\xEF\xBB\xBFTITLE \"Caf\xC3\xA9\"\r\nFILE \"a.mp3\" MP3\r\nTRACK 07 AUDIO\r\nINDEX 01 00:00:00\r\n",
         "Caf\xC3\xA9/// | 0-next '' #7"},
        {"TITLE \"Caf\xE9 \x93Zo\xEB\x94 \x80\"\n" + head + "PERFORMER \"Bj\xF6rk\x85\"\nINDEX 01 00:00:00\n",
         "Caf\xC3\xA9 \xE2\x80\x9CZo\xC3\xAB\xE2\x80\x9D \xE2\x82\xAC/// | 0-next '' by 'Bj\xC3\xB6rk\xE2\x80\xA6' #1"},
        {head + "INDEX 00 00:00:00\nINDEX 01 00:01:01\nTRACK 02 AUDIO\nPREGAP 00:02:00\nINDEX 00 00:10:00\n"
                "INDEX 01 00:12:74\nINDEX 02 00:20:00\n",
         "/// | 0-next '' #1 | 12987-next '' #2"},
        {"file a.mp3 mp3\ntrack 1 audio\ntitle x\nindex 01 00:00:00\ntrack 2\nindex 01 123:00:02\n",
         "/// | 0-next 'x' #1 | 7380027-next '' #2"},
        {"FILE \"a.mp3\" MP3\nTRACK\n", "line 2: TRACK without a number"},
        {"TRACK 1x AUDIO\n", "line 1: bad TRACK number \"1x\""},
        {head + "INDEX 01 00:6x:00\n", "line 3: bad INDEX time \"00:6x:00\""},
        {head + "INDEX 01 00:60:00\n", "line 3: bad INDEX time \"00:60:00\""},
        {head + "INDEX 01 00:00:75\n", "line 3: bad INDEX time \"00:00:75\""},
        {head + "INDEX 01 00:00\n", "line 3: bad INDEX time \"00:00\""},
        {head + "INDEX one 00:00:00\n", "line 3: bad INDEX number \"one\""},
        {head + "TITLE \"Open\n", "line 3: unterminated quote"},
        {"FILE \"a.mp3 MP3\n", "line 1: unterminated quote"},
        {head + "INDEX 01 00:00:00\nTRACK 02 MODE1/2352\n", "line 4: track 02 is not AUDIO"},
        {head + "TITLE x\nTRACK 02 AUDIO\nINDEX 01 00:01:00\n", "line 2: track 01 has no INDEX 01"},
        {head + "INDEX 01 00:00:00\r\nTRACK 02 AUDIO\r\nINDEX 00 00:01:00\r\n", "line 4: track 02 has no INDEX 01"},
        {head + "INDEX 01 00:05:00\nTRACK 02 AUDIO\nINDEX 01 00:04:74\n",
         "line 5: INDEX 01 before the previous track's"},
        {head + "INDEX 01 00:05:00\nTRACK 02 AUDIO\nINDEX 01 00:05:00\n", "line 5: INDEX 01 at the previous track's"},
        {head + "INDEX 01 00:05:00\nINDEX 01 00:06:00\n", "line 4: track 01 has a second INDEX 01"},
        {"INDEX 01 00:00:00\n", "line 1: INDEX before the first TRACK"},
        {head + "INDEX 01 00:00:00\nFILE \"b.mp3\" MP3\n", "line 4: more than one FILE"},
        {"REM GENRE Pop\nTITLE \"Only the album\"\nFILE \"a.mp3\" MP3\n", "no tracks"},
    };
    for (const auto& [sheet, marksOrError] : sheets) {
        std::string error;
        const std::optional<MarkList> marks = ParseCueSheet(sheet, &error);
        EXPECT_EQ(marks ? Describe(*marks) : error, marksOrError) << sheet;
    }
}

// A file is read whole and refused with the whole sentence the user sees; a file of exactly the
// largest size is read.
TEST(CueSheetTest, ReadingAFileFailsWithTheWholeSentence) {
    TempDir dir;
    const auto write = [&dir](const std::string& name, const std::string& text) {
        fixtures::WriteFileBytes(dir / name, fixtures::Bytes(text.begin(), text.end()));
        return dir / name;
    };
    const std::pair<std::filesystem::path, std::string> cases[] = {
        {dir / "missing.cue", ": no such file."},
        {dir.Path(), ": cannot be read."},
        {write("big.cue", std::string((1 << 20) + 1, ' ')), ": too large."},
        {write("broken.cue", "TRACK\n"), ": line 1: TRACK without a number."},
    };
    std::string message;
    for (const auto& [path, ending] : cases) {
        EXPECT_FALSE(ReadCueSheet(path, &message).has_value());
        EXPECT_EQ(message, "Failed to read cue sheet \"" + path.string() + "\"" + ending);
    }
    const std::optional<MarkList> atTheLimit = ReadCueSheet(
        write("limit.cue", "TRACK 01 AUDIO\nINDEX 01 00:00:00\n" + std::string((1 << 20) - 33, '\n')), &message);
    ASSERT_TRUE(atTheLimit.has_value()) << message;
    EXPECT_EQ(atTheLimit->marks.size(), 1u);
}

// The writer's sheet has the layout players expect, and reads back as the marks it was
// given, with each begin on the nearest CD frame (13.33 ms apart).
TEST(CueSheetTest, WrittenSheetsReadBack) {
    MarkList list;
    list.album = "Live \xC3\xA0 Paris";
    list.performer = "The \"Band\"";
    list.genre = "Rock & Roll";
    list.year = "2001";
    list.marks = {{0, kToNextMark, "Intro", "", 1},
                  {61006, kToNextMark, "Say \"hi\"", "Guest", 2},
                  {3600000 + 7, kToNextMark, "\"Quoted\" start", "", 0}};
    EXPECT_EQ(CueSheetText(list, "live.mp3"),
              "REM GENRE \"Rock & Roll\"\nREM DATE \"2001\"\nPERFORMER The \"Band\"\nTITLE \"Live \xC3\xA0 Paris\"\n"
              "FILE \"live.mp3\" MP3\n"
              "  TRACK 01 AUDIO\n    TITLE \"Intro\"\n    INDEX 01 00:00:00\n"
              "  TRACK 02 AUDIO\n    TITLE Say \"hi\"\n    PERFORMER \"Guest\"\n    INDEX 01 01:01:00\n"
              "  TRACK 03 AUDIO\n    TITLE \"'Quoted' start\"\n    INDEX 01 60:00:01\n");

    TempDir dir;
    std::string message;
    ASSERT_TRUE(WriteCueSheet(dir / "live.cue", list, "live.mp3", &message)) << message;
    const std::optional<MarkList> back = ReadCueSheet(dir / "live.cue", &message);
    ASSERT_TRUE(back.has_value()) << message;
    EXPECT_EQ(Describe(*back),
              "Live \xC3\xA0 Paris/The \"Band\"/Rock & Roll/2001 | 0-next 'Intro' by 'The \"Band\"' #1"
              " | 61000-next 'Say \"hi\"' by 'Guest' #2 | 3600013-next ''Quoted' start' by 'The \"Band\"' #3");
    EXPECT_EQ(fixtures::FileNames(dir.Path()), std::vector<std::string>{"live.cue"});

    EXPECT_FALSE(WriteCueSheet(dir / "no" / "such.cue", list, "live.mp3", &message));
    EXPECT_EQ(message, "Failed to create file \"" + (dir / "no" / "such.cue").string() + "\".");
    EXPECT_EQ(CueSheetBeside("/music/live.set.mp3"), std::filesystem::path("/music/live.set.cue"));
}

}  // namespace
}  // namespace qm
