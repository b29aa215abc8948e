// File-name and title templates: padding, tag fields, cleaning, samples and the fixed texts.

#include <gtest/gtest.h>

#include <climits>
#include <sstream>

#include "output/Templates.h"

namespace qm {
namespace {

TagInfo SourceTag(const char* title, const char* artist) {
    TagInfo tag;
    tag.title = std::string(title);
    tag.artist = std::string(artist);
    return tag;
}

// A tag reader that hands out a fixed tag and counts how often it is asked.
struct FakeReader {
    TagInfo tag;
    bool hasTag = true;
    int calls = 0;
    std::filesystem::path lastPath;

    TagReader Reader() {
        return [this](const std::filesystem::path& path, TagInfo* out) {
            ++calls;
            lastPath = path;
            *out = hasTag ? tag : TagInfo{};
            return hasTag;
        };
    }
};

TagInfo Tag(const std::string& title, const std::string& artist, int track) {
    TagInfo tag;
    tag.title = title;
    tag.artist = artist;
    tag.album = "Alb";
    tag.year = "1999";
    tag.genre = "Rock";
    tag.track = track;
    return tag;
}

TEST(DigitCountTest, CountsUnsignedDecimalCharacters) {
    const std::pair<int, int> cases[] = {{0, 1},   {9, 1},        {10, 2}, {99, 2},
                                         {100, 3}, {INT_MAX, 10}, {-1, 10}};  // -1 is 4294967295
    for (const auto& [n, digits] : cases) EXPECT_EQ(DigitCount(n), digits) << n;
}

TEST(PadNumberTest, PadsWithZerosButNeverCuts) {
    struct Case {
        int n, width;
        const char* text;
    };
    const Case cases[] = {{1, 3, "001"},     {102, 3, "102"}, {12, 1, "12"},          {5, 0, "5"},
                          {1234, 2, "1234"}, {-3, 4, "-003"}, {7, 12, "000000000007"}};
    for (const Case& c : cases) EXPECT_EQ(PadNumber(c.n, c.width), c.text) << c.n << "/" << c.width;
}

// Every file-name edge case with a tagged source; the reader is asked at most once per call.
TEST(ExpandFileNameTemplateTest, ExpandsTagsPadsAndCleans) {
    struct Case {
        const char* nameTemplate;
        const char* fileTitle;
        TagInfo tag;
        bool hasTag;
        int piece, total, sequence, width;
        const char* expected;
        int readerCalls;
    };
    const TagInfo plain = Tag("Song", "Band", 7);
    const Case cases[] = {
        {"%F%-%P%-%T%.mp3", "song", plain, true, 1, 102, 1, 3, "song-001-102.mp3", 0},
        {"%F%-%P%-%T%.mp3", "song", plain, true, 102, 102, 102, 3, "song-102-102.mp3", 0},
        {"%F%-%P%-%T%.mp3", "song", plain, true, 1, 102, 1, 4, "song-0001-0102.mp3", 0},
        {"%F%[%P% of %T%].mp3", "song", plain, true, 1, 12, 1, 2, "song[01 of 12].mp3", 0},
        // A batch-wide sequence number outgrows the width and is not cut.
        {"%S%.mp3", "song", plain, true, 2, 3, 11, 1, "11.mp3", 0},
        {"%I%-%P%.mp3", "s", Tag("AC/DC: Live?", "", 0), true, 1, 2, 1, 1, "AC DC  Live -1.mp3", 1},
        // Forbidden characters in the template's own text are replaced too.
        {"%P%/%T%.mp3", "s", plain, true, 1, 9, 1, 1, "1 9.mp3", 0},
        {"a\\b/c:d*e?f\"g<h>i|j", "s", plain, true, 1, 9, 1, 1, "a b c d e f g h i j", 0},
        // Control characters from a tag are unsafe as well; "." and ".." are no names.
        {"%I%-%P%.mp3", "s", Tag("Line\nTab\t\x7f", "", 0), true, 1, 2, 1, 1, "Line Tab  -1.mp3", 1},
        {"%F%", "..", plain, true, 1, 9, 1, 1, "__", 0},
        {"%f%.mp3", "s", plain, true, 1, 9, 1, 1, "%f%.mp3", 0},
        {"%X%.mp3", "s", plain, true, 1, 9, 1, 1, "%X%.mp3", 0},
        {"%A%-%I%-%N%-%P%.mp3", "s", {}, false, 1, 9, 1, 1, "---1.mp3", 1},
        {"%N%|%L%|%Y%|%G%", "s", plain, true, 1, 9, 1, 3, "7 Alb 1999 Rock", 1},
        {"%N%x", "s", Tag("t", "a", 0), true, 1, 9, 1, 1, "x", 1},
        {"%F%-%P%", "song", plain, true, 1, 9, 1, 1, "song-1", 0},
        {"%P%%P%%T%", "s", plain, true, 3, 9, 1, 2, "030309", 0},
        // Text brought in by an earlier step meets the later steps.
        {"%F%.mp3", "x%P%", plain, true, 4, 9, 1, 1, "x4.mp3", 0},
        {"%I%.mp3", "s", Tag("t%A%", "Art", 0), true, 1, 9, 1, 1, "tArt.mp3", 1},
        {"%I%%A%%I%", "s", plain, true, 1, 9, 1, 1, "SongBandSong", 1},
    };
    for (const Case& c : cases) {
        FakeReader fake;
        fake.tag = c.tag;
        fake.hasTag = c.hasTag;
        const std::string name =
            ExpandFileNameTemplate(c.nameTemplate, c.fileTitle, std::filesystem::path("/m/s.mp3"),
                                   PieceNumbers{c.piece, c.total, c.sequence, c.width}, fake.Reader());
        EXPECT_EQ(name, c.expected) << c.nameTemplate;
        EXPECT_EQ(fake.calls, c.readerCalls) << c.nameTemplate;
        if (c.readerCalls > 0) {
            EXPECT_EQ(fake.lastPath, "/m/s.mp3");
        }
    }
}

TEST(ExpandFileNameTemplateTest, UsesSampleValuesWithoutSource) {
    FakeReader fake;
    fake.tag = Tag("Wrong", "Wrong", 1);
    EXPECT_EQ(ExpandFileNameTemplate("%A%-%I%-%N%-%L%-%Y%-%G%-%P%.mp3", "f", std::nullopt, PieceNumbers{2, 9, 2, 1},
                                     fake.Reader()),
              "Artist-Title-9-Album-Year-Genre-2.mp3");
    EXPECT_EQ(fake.calls, 0);
}

TEST(ExpandTitleTemplateTest, ExpandsInItsOwnOrder) {
    struct Case {
        const char* titleTemplate;
        const char* sourceTitle;
        const char* fileTitle;
        int piece, total, width;
        const char* expected;
        // What the piece's mark says of it (%C%, %R%).
        const char* ownTitle = "";
        const char* performer = "";
    };
    const Case cases[] = {
        {"%I% - %P%/%T%", "Title", "f", 1, 9, 0, "Title - 1/9"},
        // A mark's title and performer, else the file title and the source's artist ("A").
        {"%P% %C% by %R%", "T", "f", 2, 9, 0, "2 Song%P% by Band", "Song%P%", "Band"},
        {"%C% by %R%", "T", "f", 2, 9, 0, "f by A"},
        {"%I% - %P%/%T%", "Title", "f", 1, 9, 2, "Title - 01/09"},
        {"%P%/%T%", "T", "f", 5, 102, -1, "005/102"},
        // No cleaning in titles, and the file-name-only tags stay as typed.
        {"%A%:%L%:%Y%:%G%:%N%? %F%", "T", "f", 1, 9, 0, "%A%:%L%:%Y%:%G%:%N%? f"},
        // A source title is inserted first and meets the numbers; a file title comes last.
        {"%I% %F%", "t%P%", "f%P%", 3, 9, 0, "t3 f%P%"},
        {"%S%", "T", "f", 1, 9, 0, "1"},
        {"", "T", "f", 1, 9, 0, ""},
    };
    for (const Case& c : cases) {
        PieceNumbers numbers{c.piece, c.total, c.piece, c.width};
        numbers.mark = {c.ownTitle, c.performer};
        EXPECT_EQ(ExpandTitleTemplate(c.titleTemplate, SourceTag(c.sourceTitle, "A"), c.fileTitle, numbers), c.expected)
            << c.titleTemplate;
    }
}

TEST(TemplateSamplesTest, ShowsPiecesOneAndTwoOfNine) {
    EXPECT_EQ(FileNameSamples("%F%-%P%.mp3", 0), "Samples: filename-1.mp3, filename-2.mp3...");
    EXPECT_EQ(FileNameSamples("%A%-%P%-%T%.mp3", 3), "Samples: Artist-001-009.mp3, Artist-002-009.mp3...");
    EXPECT_EQ(FileNameSamples("", 0), "");
    EXPECT_EQ(TitleSamples("%I% - %P%/%T%", 0), "Title - 1/9, Title - 2/9...");
    EXPECT_EQ(TitleSamples("%F% %P%", 2), "filename 01, filename 02...");
    EXPECT_EQ(TitleSamples("", 0), "");
}

// Each predefined template uses only known tags: with sample values nothing is left over.
TEST(PredefinedTemplatesTest, ExpandCompletely) {
    for (const char* name : PredefinedFileNameTemplates()) {
        const std::string expanded = ExpandFileNameTemplate(name, "f", std::nullopt, PieceNumbers{1, 9, 1, 1}, {});
        EXPECT_EQ(expanded.find('%'), std::string::npos) << name;
        EXPECT_TRUE(expanded.ends_with(".mp3")) << name;
    }
    for (const char* title : PredefinedTitleTemplates()) {
        EXPECT_EQ(ExpandTitleTemplate(title, SourceTag("T", ""), "f", PieceNumbers{1, 9, 1, 0}).find('%'),
                  std::string::npos)
            << title;
    }
    EXPECT_STREQ(PredefinedFileNameTemplates()[1], "%F%-%P%.mp3");
    EXPECT_STREQ(PredefinedFileNameTemplates()[20], "%A%-%I%-%N%-%P%.mp3");
    EXPECT_STREQ(PredefinedTitleTemplates()[15], "%I% - %P%/%T%");
    EXPECT_STREQ(PredefinedTitleTemplates()[23], "%F% [%P%/%T%]");
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TEST(TagHelpTest, FileNameHelpLinesAndEnding) {
    const std::string& help = FileNameTagHelp();
    const auto lines = Lines(help);
    ASSERT_EQ(lines.size(), 27u);
    EXPECT_EQ(lines[15], "Samples:");
    EXPECT_EQ(lines[0], "You can use the following tags in file name.");
    EXPECT_EQ(lines[1], "");
    EXPECT_EQ(lines[11], "%N%: track number in ID3 tag");
    EXPECT_EQ(lines[12], "%C%: title of the piece (cue sheet track, chapter or label)");
    EXPECT_EQ(lines[16], " %F%.mp3:\t\tfilename.mp3");
    EXPECT_EQ(lines[22], " %F%-%P%-%T%.mp3:\tfilename-001-102.mp3, filename-002-102.mp3");
    EXPECT_TRUE(help.ends_with(" %A%-%I%-%N%-%P%.mp3:\tArtist-Title-5-1.mp3, Artist-Title-5-2.mp3"));
}

// The title help's examples are what the expansion really gives for pieces 1 and 2 of 9.
TEST(TagHelpTest, TitleHelpExamplesMatchTheExpansion) {
    const std::string& help = TitleTagHelp();
    EXPECT_TRUE(
        help.starts_with("You can use the following tags in ID3 title.\n\n"
                         "%I%: title of original MP3 file\n"));
    EXPECT_TRUE(help.ends_with("[2/9]Title\n"));
    const auto lines = Lines(help);
    ASSERT_EQ(lines.size(), 21u);
    EXPECT_EQ(lines[10], "Samples:");
    for (std::size_t i = 11; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        ASSERT_EQ(line[0], ' ');
        const std::size_t colon = line.find(":\t");
        ASSERT_NE(colon, std::string::npos) << line;
        const std::string titleTemplate = line.substr(1, colon - 1);
        const std::string example = line.substr(line.find_first_not_of('\t', colon + 1));
        EXPECT_EQ(example + "...", TitleSamples(titleTemplate, 0)) << line;
    }
}

}  // namespace
}  // namespace qm
