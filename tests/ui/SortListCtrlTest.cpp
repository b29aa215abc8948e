// Header clicks on the file list: ascending on a new column, reversed on a second click.
#include <gtest/gtest.h>

#include <QApplication>

#include "ui/widgets/ListColumns.h"

namespace qm {
namespace {

QApplication& App() {
    static int argc = 1;
    static char name[] = "test_ui";
    static char* argv[] = {name, nullptr};
    // The tests need no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(argc, argv);
    return app;
}

QStringList Column(const SortListCtrl& list, int column) {
    QStringList texts;
    for (int row = 0; row < list.RowCount(); ++row) texts << list.ItemText(row, column);
    return texts;
}

TEST(SortListCtrlTest, LengthColumnSortsBySecondsAndReversesOnSecondClick) {
    App();
    SortListCtrl list;
    SetUpColumns(&list, ListKind::Joiner);
    const int length = ColumnIndex(ListKind::Joiner, ListColumn::Length);
    const int size = ColumnIndex(ListKind::Joiner, ListColumn::Size);
    const char* rows[][2] = {{"1:00:00", "1.00 GB"}, {"59:59", "999 B"}, {"0:05", "2.50 MB"}, {"3:00", "1.0 KB"}};
    for (const auto& r : rows) {
        const int row = list.InsertRow(QStringLiteral("f"), std::make_unique<ListItemRecord>());
        list.SetItemText(row, length, QString::fromLatin1(r[0]));
        list.SetItemText(row, size, QString::fromLatin1(r[1]));
    }
    list.SortByHeaderClick(length);
    EXPECT_EQ(Column(list, length), (QStringList{"0:05", "3:00", "59:59", "1:00:00"}));
    list.SortByHeaderClick(length);
    EXPECT_EQ(Column(list, length), (QStringList{"1:00:00", "59:59", "3:00", "0:05"}));
    list.SortByHeaderClick(size);
    EXPECT_TRUE(list.Ascending());
    EXPECT_EQ(Column(list, size), (QStringList{"999 B", "1.0 KB", "2.50 MB", "1.00 GB"}));
}

}  // namespace
}  // namespace qm
