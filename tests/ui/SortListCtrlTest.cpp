// Header clicks on the file list: ascending on a new column, reversed on a second click.
#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QHeaderView>

#include "ui/UiTestSupport.h"
#include "ui/widgets/ListColumns.h"

namespace qm {
namespace {

using test::App;

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

// The designed widths were drawn for a smaller font: in the list's own font a size, a length
// and a bit rate still fit their columns on every list.
TEST(SortListCtrlTest, FigureColumnsFitTheirWidestTexts) {
    test::App();
    for (ListKind kind :
         {ListKind::BatchSplitter, ListKind::Joiner, ListKind::BatchJoinerMain, ListKind::BatchJoinerJoined}) {
        SortListCtrl list;
        SetUpColumns(&list, kind);
        const QFontMetrics metrics(list.font());
        const std::pair<ListColumn, const char*> widest[] = {
            {ListColumn::Size, "999.99 MB"}, {ListColumn::Length, "99:59:59"}, {ListColumn::BitRate, "320 kbps"}};
        for (const auto& [column, text] : widest) {
            EXPECT_GT(list.columnWidth(ColumnIndex(kind, column)), metrics.horizontalAdvance(QString::fromLatin1(text)))
                << static_cast<int>(kind) << " " << text;
        }
    }
}

// The batch splitter's Title and Artist sort as words, not as numbers (each of which is 0).
TEST(SortListCtrlTest, TitleAndArtistSortAsText) {
    App();
    for (ListColumn tagColumn : {ListColumn::Title, ListColumn::Artist}) {
        SortListCtrl list;
        SetUpColumns(&list, ListKind::BatchSplitter);
        const int column = ColumnIndex(ListKind::BatchSplitter, tagColumn);
        for (const char* text : {"Zulu", "Alpha", "Mike"}) {
            list.SetItemText(list.InsertRow(QStringLiteral("f"), std::make_unique<ListItemRecord>()), column, text);
        }
        list.SortByHeaderClick(column);
        EXPECT_EQ(Column(list, column), (QStringList{"Alpha", "Mike", "Zulu"})) << column;
    }
}

// The file name takes the room a wide window leaves, and keeps its own width in a narrow one.
TEST(SortListCtrlTest, FileColumnTakesTheSpareWidth) {
    App();
    SortListCtrl list;
    SetUpColumns(&list, ListKind::Joiner);
    const int file = ColumnIndex(ListKind::Joiner, ListColumn::File);
    const int designed = list.columnWidth(file);
    list.resize(1920, 300);
    list.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(list.header()->length(), list.viewport()->width());
    list.resize(400, 300);
    QCoreApplication::processEvents();
    EXPECT_EQ(list.columnWidth(file), designed);
}

// A cell whose text is cut off gives it whole as its tooltip; a column fitted to a text wider
// than the view ends at the view's right edge.
TEST(SortListCtrlTest, ShortenedCellsGiveTheirWholeText) {
    App();
    SortListCtrl list;
    SetUpColumns(&list, ListKind::BatchSplitter);
    const int output = ColumnIndex(ListKind::BatchSplitter, ListColumn::Output);
    list.resize(1000, 300);
    list.show();
    const QString longText(400, u'x');
    list.SetItemText(list.InsertRow(QStringLiteral("a.mp3"), std::make_unique<ListItemRecord>()), output, longText);
    EXPECT_EQ(list.CellToolTip(list.visualRect(list.model()->index(0, output)).center()), longText);
    list.FitColumnToContents(output);
    EXPECT_EQ(list.header()->sectionPosition(output) + list.columnWidth(output), list.viewport()->width());
}

}  // namespace
}  // namespace qm
