// Chapters: the CHAP frames of a file's tag, in the order of its top-level table of contents
// (or by start time without one), as marks.

#include "marks/Chapters.h"
#include "stream/FailureMessages.h"

#include <gtest/gtest.h>

#include "fixtures/Fixtures.h"
#include "marks/MarksTestKit.h"
#include "stream/Tags.h"

namespace qm {
namespace {

using fixtures::Bytes;
using fixtures::ChapterSpec;
using fixtures::TempDir;
using testing::Describe;

// A two-second song behind a chapter tag.
std::filesystem::path SongWithChapters(const TempDir& dir, const Bytes& tag) {
    const std::filesystem::path song = fixtures::MakeSong(dir, "plain.mp3", 2.0);
    const std::filesystem::path tagged = dir / "chapters.mp3";
    fixtures::WriteFileBytes(tagged, fixtures::Concat({tag, fixtures::ReadFileBytes(song)}));
    return tagged;
}

struct ChapterCase {
    const char* name;
    int majorVersion;
    std::vector<std::string> tableOrder;
    std::string marks;  // Describe() of the result
};

// The table's order wins over start times; a listed id without a chapter is passed over, a
// chapter the table leaves out comes after the listed ones, and an end not after the start
// runs to the next chapter; the chapter that begins last runs to the end of the audio.
TEST(ChaptersTest, MarksFollowTheTableOfContents) {
    const std::vector<ChapterSpec> chapters = {{"chp0", 0, 600, "One"},
                                               {"chp1", 600, 1200, "Tw\xC3\xB6"},
                                               {"chp2", 1200, 2000, "Three"},
                                               {"chp3", 300, 0, ""}};
    const ChapterCase cases[] = {
        {"TableOrderV4",
         4,
         {"chp2", "gone", "chp0", "chp1"},
         "/// | 1200-next 'Three' | 0-600 'One' | 600-1200 'Tw\xC3\xB6' | 300-next ''"},
        {"StartOrderWithoutTableV3",
         3,
         {},
         "/// | 0-600 'One' | 300-next '' | 600-1200 'Tw\xC3\xB6' | 1200-next 'Three'"},
    };
    for (const ChapterCase& chapterCase : cases) {
        SCOPED_TRACE(chapterCase.name);
        TempDir dir;
        const std::filesystem::path file =
            SongWithChapters(dir, fixtures::MakeChapterTag(chapters, chapterCase.tableOrder, chapterCase.majorVersion));
        std::string message;
        const std::optional<MarkList> marks = ReadChapterMarks(file, &message);
        ASSERT_TRUE(marks.has_value()) << message;
        EXPECT_EQ(Describe(*marks), chapterCase.marks);

        std::vector<Chapter> read;
        ASSERT_TRUE(ReadChapters(file, &read));
        ASSERT_EQ(read.size(), 4u);
        EXPECT_EQ(read.back().id, chapterCase.tableOrder.empty() ? "chp2" : "chp3");
    }
}

// A file without chapters and a file that is not there fail with their own sentences.
TEST(ChaptersTest, NoChaptersAndNoFile) {
    TempDir dir;
    const std::filesystem::path plain = fixtures::MakeSong(dir, "plain.mp3", 1.0);
    std::string message;
    EXPECT_FALSE(ReadChapterMarks(plain, &message).has_value());
    EXPECT_EQ(message, QuotedText(plain.string()) + " has no chapters.");
    EXPECT_FALSE(ReadChapterMarks(dir / "missing.mp3", &message).has_value());
    EXPECT_EQ(message, "Failed to open file \"" + (dir / "missing.mp3").string() + "\".");
}

// A tagger's file of 129 point chapters (start = end), all listed by its table: each runs to
// the next.
TEST(ChaptersTest, ReadsARealTableOfManyChildren) {
    const std::filesystem::path file = fixtures::CorpusDir() / "taglib-data" / "toc_many_children.mp3";
    if (fixtures::CorpusDir().empty() || !std::filesystem::exists(file)) GTEST_SKIP() << "no corpus";
    std::string message;
    const std::optional<MarkList> marks = ReadChapterMarks(file, &message);
    ASSERT_TRUE(marks.has_value()) << message;
    ASSERT_EQ(marks->marks.size(), 129u);
    MarkList ends;
    ends.marks = {marks->marks.front(), marks->marks.back()};
    EXPECT_EQ(Describe(ends), "/// | 100-next 'Marker 1' | 12900-next 'Marker 129'");
}

}  // namespace
}  // namespace qm
