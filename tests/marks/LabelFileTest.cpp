// Label files: regions, points and both, the decimal comma, the lines the reader blames, and
// the writer's lines read back.

#include "marks/LabelFile.h"

#include <gtest/gtest.h>

#include <tuple>

#include "fixtures/Fixtures.h"
#include "marks/MarksTestKit.h"

namespace qm {
namespace {

// Good files give their marks sorted by begin (Describe() of them in each row); bad ones the
// line at fault.
TEST(LabelFileTest, ReadsLabels) {
    const std::tuple<const char*, std::string, std::string> cases[] = {
        {"PointsGetALeadingPiece", "2\t2\tA\n5.5\t5.5\tB\n", "/// | 0-next '' | 2000-next 'A' | 5500-next 'B'"},
        {"PointAtZeroAndAStartAlone", "0\t0\tA\n7.5\n", "/// | 0-next 'A' | 7500-next ''"},
        {"RegionBeforeTheFirstPoint", "5\t5\tP\n1\t2\tR\n", "/// | 1000-2000 'R' | 5000-next 'P'"},
        {"PointBeforeTheFirstRegion", "6\t8\tR\n3\t3\tP\n", "/// | 0-next '' | 3000-next 'P' | 6000-8000 'R'"},
        {"CommaCrLfSpectralAndBlankLines", "\r\n1,25\t2,5\tA b\r\n\\\t100.0\t2000.0\r\n  \r\n3\t4\r\n",
         "/// | 1250-2500 'A b' | 3000-4000 ''"},
        {"RoundsOnTheDigits", "1.0005\t1.0015\tx\n2.0004999\t3\ty\n", "/// | 1001-1002 'x' | 2000-3000 'y'"},
        {"EndsBeforeItStarts", "1\t2\tA\n\n3\t2.999\tB\n", "line 3: the label ends before it starts"},
        {"BadStart", "-1\t2\tA\n", "line 1: bad time \"-1\""},
        {"BadEnd", "1\t1.2.3\tA\n", "line 1: bad time \"1.2.3\""},
        {"EmptyTime", "\t2\tA\n", "line 1: bad time \"\""},
        {"OnlySpectralLines", "\\\t1\t2\n\n", "no labels"},
    };
    for (const auto& [name, text, marksOrError] : cases) {
        std::string error;
        const std::optional<MarkList> marks = ParseLabels(text, &error);
        EXPECT_EQ(marks ? testing::Describe(*marks) : error, marksOrError) << name;
    }
}

// A region line a mark: an end kept, the next begin or lastEnd for a mark that runs on; the
// file reads back as those regions, and a failure names the file.
TEST(LabelFileTest, WrittenLabelsReadBack) {
    MarkList list;
    list.marks = {{0, kToNextMark, "Intro", "", 0},
                  {12500, 20000, "Tab\there", "", 0},
                  {30001, kToNextMark, "", "", 0},
                  {45000, kToNextMark, "Last", "", 0}};
    EXPECT_EQ(LabelText(list, 61234),
              "0.000000\t12.500000\tIntro\n12.500000\t20.000000\tTab here\n30.001000\t45.000000\t\n"
              "45.000000\t61.234000\tLast\n");

    fixtures::TempDir dir;
    std::string message;
    ASSERT_TRUE(WriteLabelFile(dir / "labels.txt", list, 61234, &message)) << message;
    const std::optional<MarkList> back = ReadLabelFile(dir / "labels.txt", &message);
    ASSERT_TRUE(back.has_value()) << message;
    EXPECT_EQ(testing::Describe(*back),
              "/// | 0-12500 'Intro' | 12500-20000 'Tab here' | 30001-45000 '' | 45000-61234 'Last'");
    EXPECT_FALSE(ReadLabelFile(dir / "missing.txt", &message).has_value());
    EXPECT_EQ(message, "Failed to read label file \"" + (dir / "missing.txt").string() + "\": no such file.");
}

}  // namespace
}  // namespace qm
