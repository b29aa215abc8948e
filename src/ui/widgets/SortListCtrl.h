#pragma once

// The report list of the file pages: one row per file, columns with their own way of
// sorting, a header click sorting by that column (a second click reverses the order).

#include <QTreeWidget>
#include <memory>

#include "ui/widgets/ListItemRecord.h"

namespace qm {

// How a column's texts compare when the list is sorted by it.
enum class SortKind {
    Text,      // the whole text, locale-aware and case-sensitive
    Number,    // a floating-point number at the start of the text
    Size,      // a number, an optional space and a unit letter K, M, G or T (powers of 1024)
    Duration,  // m:ss or h:mm:ss by total seconds; a text without ':' equals anything
};

// Negative, zero or positive as a sorts before, with or after b under kind.
int CompareByKind(SortKind kind, const QString& a, const QString& b);

class SortListCtrl : public QTreeWidget {
    Q_OBJECT
public:
    static constexpr int kMaxSortColumns = 100;  // columns beyond this keep the text kind

    explicit SortListCtrl(QWidget* parent = nullptr);
    ~SortListCtrl() override;

    // Adds a column at index with its caption, alignment, width in pixels and sort kind.
    void InsertColumn(int index, const QString& caption, Qt::Alignment alignment, int widthPixels,
                      SortKind kind = SortKind::Text);
    void SetSortKind(int column, SortKind kind);
    SortKind SortKindOf(int column) const;

    // Appends a row with the first column's text and takes the record; returns the row index.
    int InsertRow(const QString& text, std::unique_ptr<ListItemRecord> record);
    void SetItemText(int row, int column, const QString& text);
    QString ItemText(int row, int column) const;
    ListItemRecord* Record(int row) const;
    void DeleteRow(int row);
    void DeleteAllRows();
    // Brings row into view as a run works down the list: nothing while it is in view, else the
    // list scrolls once to show it at the top, so that a fast run scrolls a page at a time
    // rather than repainting the whole list for every row.
    void FollowRow(int row);
    int RowCount() const { return topLevelItemCount(); }

    // Sorts as a click on the column's header does: ascending for a new column, the other
    // direction when it already is the sort column.
    void SortByHeaderClick(int column);
    int SortColumn() const { return m_sortColumn; }
    bool Ascending() const { return m_ascending; }

    // Lets column take the width that the other columns leave in the view, so that a wide
    // window shows no empty header; it never gets narrower than its width now (or the width
    // the user drags it to). -1: no column stretches.
    void SetStretchColumn(int column);
    int StretchColumn() const { return m_stretchColumn; }
    // Widens column to its widest text (caption included), but not past the right edge of the
    // view when the list is scrolled to its left end; it never gets narrower.
    void FitColumnToContents(int column);
    // The whole text of the cell at a point of the viewport when the cell shows it shortened;
    // empty over a cell whose text fits, and outside the rows. Shown as the cell's tooltip.
    QString CellToolTip(const QPoint& viewportPos) const;

protected:
    bool viewportEvent(QEvent* event) override;

private:
    void Stretch();
    void ColumnResized(int column);
    // The width the stretch column keeps when the view has no room to spare.
    int BaseWidth(int column) const;

    int m_stretchColumn = -1;
    int m_stretchBaseWidth = 0;
    bool m_stretching = false;

    SortKind m_kinds[kMaxSortColumns] = {};
    int m_sortColumn = -1;
    bool m_ascending = true;
};

}  // namespace qm
