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

// The tag texts sort as words on every list (read as numbers, every title would be 0 and a
// click would leave the rows as they were).
TEST(SortListCtrlTest, TagTextColumnsSortAsText) {
    App();
    for (ListKind kind :
         {ListKind::BatchSplitter, ListKind::Joiner, ListKind::BatchJoinerMain, ListKind::BatchJoinerJoined}) {
        for (ListColumn tagColumn : {ListColumn::Title, ListColumn::Artist, ListColumn::Album, ListColumn::Genre}) {
            SortListCtrl list;
            SetUpColumns(&list, kind);
            const int column = ColumnIndex(kind, tagColumn);
            for (const char* text : {"Zulu", "Alpha", "Mike"}) {
                const int row = list.InsertRow(QStringLiteral("f"), std::make_unique<ListItemRecord>());
                list.SetItemText(row, column, QString::fromLatin1(text));
            }
            list.SortByHeaderClick(column);
            EXPECT_EQ(Column(list, column), (QStringList{"Alpha", "Mike", "Zulu"}))
                << static_cast<int>(kind) << " column " << column;
        }
    }
}

int TotalWidth(const SortListCtrl& list) {
    int pixels = 0;
    for (int c = 0; c < list.columnCount(); ++c) pixels += list.columnWidth(c);
    return pixels;
}

// In a wide window the file name takes the room the other columns leave, so the header ends
// at the view's edge; in a narrow one it keeps its own width, and a column the user widens
// takes its room from the file name first.
TEST(SortListCtrlTest, FileColumnTakesTheSpareWidth) {
    App();
    for (ListKind kind :
         {ListKind::BatchSplitter, ListKind::Joiner, ListKind::BatchJoinerMain, ListKind::BatchJoinerJoined}) {
        SortListCtrl list;
        SetUpColumns(&list, kind);
        const int file = ColumnIndex(kind, ListColumn::File);
        const int title = ColumnIndex(kind, ListColumn::Title);
        const int designed = list.columnWidth(file);
        list.resize(1920, 300);
        list.show();
        QCoreApplication::processEvents();
        EXPECT_EQ(TotalWidth(list), list.viewport()->width()) << static_cast<int>(kind);
        EXPECT_GT(list.columnWidth(file), designed);

        const int fileBefore = list.columnWidth(file);
        list.setColumnWidth(title, list.columnWidth(title) + 100);
        EXPECT_EQ(list.columnWidth(file), fileBefore - 100);

        list.resize(400, 300);
        QCoreApplication::processEvents();
        EXPECT_EQ(list.columnWidth(file), designed) << static_cast<int>(kind);
    }
}

// A cell whose text is cut off gives its whole text as a tooltip, a cell that shows all of it
// none; fitting the column to its texts makes the cut-off one whole, but the column never
// reaches past the view's right edge.
TEST(SortListCtrlTest, ShortenedCellsGiveTheirWholeText) {
    App();
    const ListKind kind = ListKind::BatchSplitter;
    SortListCtrl list;
    SetUpColumns(&list, kind);
    const int output = ColumnIndex(kind, ListColumn::Output);
    const int size = ColumnIndex(kind, ListColumn::Size);
    list.resize(1000, 300);
    list.show();
    QCoreApplication::processEvents();
    const QString failure = QStringLiteral("Failure: Failed to load file \"/home/user/Music/a long name.mp3\".");
    const int row = list.InsertRow(QStringLiteral("a long name.mp3"), std::make_unique<ListItemRecord>());
    list.SetItemText(row, output, failure);
    list.SetItemText(row, size, QStringLiteral("1.0 KB"));
    const auto cellCentre = [&](int column) { return list.visualRect(list.model()->index(row, column)).center(); };

    EXPECT_EQ(list.CellToolTip(cellCentre(output)), failure);
    EXPECT_EQ(list.CellToolTip(cellCentre(size)), QString());
    EXPECT_EQ(list.CellToolTip(QPoint(5, list.viewport()->height() - 2)), QString());  // below the rows

    const int before = list.columnWidth(output);
    list.FitColumnToContents(output);
    EXPECT_GT(list.columnWidth(output), before);
    EXPECT_EQ(list.CellToolTip(cellCentre(output)), QString());

    list.SetItemText(row, output, QString(400, u'x'));
    list.FitColumnToContents(output);
    EXPECT_EQ(list.header()->sectionPosition(output) + list.columnWidth(output), list.viewport()->width());
    EXPECT_EQ(list.CellToolTip(cellCentre(output)), QString(400, u'x'));
}

}  // namespace
}  // namespace qm
