// The display formats and the sort kinds of the file lists.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "ui/widgets/Formats.h"
#include "ui/widgets/SortListCtrl.h"

namespace qm {
namespace {

// One hour is the boundary between the two duration forms.
TEST(FormatsTest, DurationAndSizeBoundaries) {
    EXPECT_EQ(FormatDuration(3599), "59:59");
    EXPECT_EQ(FormatDuration(3600), "1:00:00");
    EXPECT_EQ(FormatSize(999), "999 B");
    EXPECT_EQ(FormatSize(1000), "1.0 KB");
    EXPECT_EQ(FormatSize(2621440), "2.50 MB");
    EXPECT_EQ(FormatSize(1073741824), "1.00 GB");
    EXPECT_EQ(FormatSize(-5), "-5 B");
}

// Sizes compare by value with their unit; durations by total seconds.
TEST(SortKindTest, SizesAndDurationsOrderByValue) {
    const char* sizes[] = {"999 B", "1.0 KB", "2.50 MB", "1.00 GB"};
    for (int i = 0; i + 1 < 4; ++i) {
        EXPECT_LT(CompareByKind(SortKind::Size, sizes[i], sizes[i + 1]), 0) << sizes[i];
        EXPECT_GT(CompareByKind(SortKind::Size, sizes[i + 1], sizes[i]), 0) << sizes[i];
    }
    EXPECT_LT(CompareByKind(SortKind::Duration, "59:59", "1:00:00"), 0);
    EXPECT_EQ(CompareByKind(SortKind::Duration, "abc", "1:00:00"), 0);
    EXPECT_LT(CompareByKind(SortKind::Number, "96 kbps", "128 kbps"), 0);
}

}  // namespace
}  // namespace qm
