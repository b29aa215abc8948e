// Chapters: the CHAP frames of a file's tag, in the order of its top-level table of contents
// (or by start time without one), as marks.

#include "marks/Chapters.h"
#include "stream/FailureMessages.h"

#include <gtest/gtest.h>

#include <tuple>

#include "fixtures/Fixtures.h"
#include "marks/MarksTestKit.h"

namespace qm {
namespace {

namespace fx = qm::fixtures;
using testing::Describe;

// The table's order wins over start times; a listed id without a chapter is passed over, a
// chapter the table leaves out comes after the listed ones, and an end not after the start
// runs to the next chapter; the chapter that begins last runs to the end of the audio. Each
// case is a two-second song behind a tag of the given ID3v2 version and table.
TEST(ChaptersTest, MarksFollowTheTableOfContents) {
    const std::vector<fx::ChapterSpec> chapters = {{"chp0", 0, 600, "One"},
                                                   {"chp1", 600, 1200, "Tw\xC3\xB6"},
                                                   {"chp2", 1200, 2000, "Three"},
                                                   {"chp3", 300, 0, ""}};
    const std::tuple<int, std::vector<std::string>, std::string> cases[] = {
        {4,
         {"chp2", "gone", "chp0", "chp1"},
         "/// | 1200-next 'Three' | 0-600 'One' | 600-1200 'Tw\xC3\xB6' | 300-next ''"},
        {3, {}, "/// | 0-600 'One' | 300-next '' | 600-1200 'Tw\xC3\xB6' | 1200-next 'Three'"},
    };
    for (const auto& [majorVersion, tableOrder, marks] : cases) {
        SCOPED_TRACE(majorVersion);
        fx::TempDir dir;
        const std::filesystem::path file = dir / "chapters.mp3";
        fx::WriteFileBytes(file, fx::Concat({fx::MakeChapterTag(chapters, tableOrder, majorVersion),
                                             fx::EncodeMp3(fx::StreamSpec(2.0, fx::Signal::Tone))}));
        std::string message;
        const std::optional<MarkList> read = ReadChapterMarks(file, &message);
        ASSERT_TRUE(read.has_value()) << message;
        EXPECT_EQ(Describe(*read), marks);
    }
}

// A file without chapters and a file that is not there fail with their own sentences.
TEST(ChaptersTest, NoChaptersAndNoFile) {
    fx::TempDir dir;
    const std::filesystem::path plain = fx::MakeSong(dir, "plain.mp3", 1.0);
    std::string message;
    EXPECT_FALSE(ReadChapterMarks(plain, &message).has_value());
    EXPECT_EQ(message, QuotedText(plain.string()) + " has no chapters.");
    EXPECT_FALSE(ReadChapterMarks(dir / "missing.mp3", &message).has_value());
    EXPECT_EQ(message, "Failed to open file \"" + (dir / "missing.mp3").string() + "\".");
}

// A tagger's file of 129 point chapters (start = end), all listed by its table: each runs to
// the next.
TEST(ChaptersTest, ReadsARealTableOfManyChildren) {
    const std::filesystem::path file = fx::CorpusDir() / "taglib-data" / "toc_many_children.mp3";
    if (fx::CorpusDir().empty() || !std::filesystem::exists(file)) GTEST_SKIP() << "no corpus";
    std::string message;
    std::optional<MarkList> marks = ReadChapterMarks(file, &message);
    ASSERT_TRUE(marks.has_value()) << message;
    ASSERT_EQ(marks->marks.size(), 129u);
    marks->marks.erase(marks->marks.begin() + 1, marks->marks.end() - 1);  // the first and the last
    EXPECT_EQ(Describe(*marks), "/// | 100-next 'Marker 1' | 12900-next 'Marker 129'");
}

}  // namespace
}  // namespace qm
