#include "ui/widgets/SortListCtrl.h"

#include <QHeaderView>
#include <QHelpEvent>
#include <QStringList>
#include <QToolTip>
#include <algorithm>

namespace qm {

namespace {

// The texts of a cell are compared on at most this many characters.
constexpr int kCompareChars = 259;

// The leading floating-point number of text, 0 when there is none; *rest is what follows.
double LeadingNumber(const QString& text, QString* rest = nullptr) {
    const QString trimmed = text.trimmed();
    int end = 0;
    while (end < trimmed.size() && (trimmed[end].isDigit() || trimmed[end] == u'.' ||
                                    (end == 0 && (trimmed[end] == u'-' || trimmed[end] == u'+')))) {
        ++end;
    }
    bool ok = false;
    double value = trimmed.left(end).toDouble(&ok);
    // A number such as "1.2.3" reads as far as it is one.
    while (!ok && end > 0) {
        value = trimmed.left(--end).toDouble(&ok);
    }
    if (rest != nullptr) *rest = trimmed.mid(end);
    return ok ? value : 0.0;
}

// A size text: the number times its unit letter (B and anything unknown count as 1).
double SizeValue(const QString& text) {
    QString rest;
    const double number = LeadingNumber(text, &rest);
    if (rest.startsWith(u' ')) rest.remove(0, 1);
    if (rest.isEmpty()) return number;
    switch (rest[0].toUpper().unicode()) {
        case u'K':
            return number * 1024.0;
        case u'M':
            return number * 1048576.0;
        case u'G':
            return number * 1073741824.0;
        case u'T':
            return number * 1099511627776.0;
        default:
            return number;
    }
}

// Total seconds of "m:ss" or "h:mm:ss".
long long DurationSeconds(const QString& text) {
    long long total = 0;
    for (const QString& part : text.split(u':')) {
        total = total * 60 + part.trimmed().toLongLong();
    }
    return total;
}

template <typename T>
int Sign(T a, T b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

// A row that sorts by the kind of its list's sort column.
class SortRow final : public QTreeWidgetItem {
public:
    explicit SortRow(std::unique_ptr<ListItemRecord> record) : m_record(std::move(record)) {}
    ListItemRecord* Record() const { return m_record.get(); }

    bool operator<(const QTreeWidgetItem& other) const override {
        const auto* list = static_cast<const SortListCtrl*>(treeWidget());
        const int column = list->sortColumn();
        return CompareByKind(list->SortKindOf(column), text(column), other.text(column)) < 0;
    }

private:
    std::unique_ptr<ListItemRecord> m_record;
};

}  // namespace

int CompareByKind(SortKind kind, const QString& fullA, const QString& fullB) {
    const QString a = fullA.left(kCompareChars);
    const QString b = fullB.left(kCompareChars);
    switch (kind) {
        case SortKind::Number:
            return Sign(LeadingNumber(a), LeadingNumber(b));
        case SortKind::Size:
            return Sign(SizeValue(a), SizeValue(b));
        case SortKind::Duration:
            if (!a.contains(u':') || !b.contains(u':')) return 0;
            return Sign(DurationSeconds(a), DurationSeconds(b));
        case SortKind::Text:
            break;
    }
    return QString::localeAwareCompare(a, b);
}

SortListCtrl::SortListCtrl(QWidget* parent) : QTreeWidget(parent) {
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setColumnCount(0);
    header()->setSectionsClickable(true);
    header()->setSortIndicatorShown(false);
    header()->setStretchLastSection(false);
    connect(header(), &QHeaderView::sectionClicked, this, &SortListCtrl::SortByHeaderClick);
    connect(header(), &QHeaderView::sectionResized, this, [this](int column, int, int) { ColumnResized(column); });
}

SortListCtrl::~SortListCtrl() = default;

void SortListCtrl::InsertColumn(int index, const QString& caption, Qt::Alignment alignment, int widthPixels,
                                SortKind kind) {
    const int count = columnCount();
    setColumnCount(count + 1);
    QTreeWidgetItem* head = headerItem();
    // Columns after index move one place to the right.
    for (int c = count; c > index; --c) {
        head->setText(c, head->text(c - 1));
        head->setTextAlignment(c, Qt::Alignment(head->textAlignment(c - 1)));
        setColumnWidth(c, columnWidth(c - 1));
        if (c < kMaxSortColumns) m_kinds[c] = c - 1 < kMaxSortColumns ? m_kinds[c - 1] : SortKind::Text;
    }
    head->setText(index, caption);
    head->setTextAlignment(index, alignment | Qt::AlignVCenter);
    setColumnWidth(index, widthPixels);
    SetSortKind(index, kind);
}

void SortListCtrl::SetSortKind(int column, SortKind kind) {
    if (column >= 0 && column < kMaxSortColumns) m_kinds[column] = kind;
}

SortKind SortListCtrl::SortKindOf(int column) const {
    return column >= 0 && column < kMaxSortColumns ? m_kinds[column] : SortKind::Text;
}

int SortListCtrl::InsertRow(const QString& text, std::unique_ptr<ListItemRecord> record) {
    auto* row = new SortRow(std::move(record));
    row->setText(0, text);
    for (int c = 0; c < columnCount(); ++c) {
        row->setTextAlignment(c, Qt::Alignment(headerItem()->textAlignment(c)));
    }
    addTopLevelItem(row);
    return topLevelItemCount() - 1;
}

void SortListCtrl::SetItemText(int row, int column, const QString& text) {
    if (QTreeWidgetItem* item = topLevelItem(row)) item->setText(column, text);
}

QString SortListCtrl::ItemText(int row, int column) const {
    const QTreeWidgetItem* item = topLevelItem(row);
    return item != nullptr ? item->text(column) : QString();
}

ListItemRecord* SortListCtrl::Record(int row) const {
    const auto* item = static_cast<const SortRow*>(topLevelItem(row));
    return item != nullptr ? item->Record() : nullptr;
}

void SortListCtrl::FollowRow(int row) {
    QTreeWidgetItem* item = topLevelItem(row);
    if (item == nullptr) return;
    const QRect rect = visualItemRect(item);
    if (!rect.isEmpty() && viewport()->rect().contains(rect)) return;
    scrollToItem(item, QAbstractItemView::PositionAtTop);
}

void SortListCtrl::DeleteRow(int row) { delete takeTopLevelItem(row); }

void SortListCtrl::DeleteAllRows() { clear(); }

void SortListCtrl::SortByHeaderClick(int column) {
    m_ascending = column != m_sortColumn ? true : !m_ascending;
    m_sortColumn = column;
    const Qt::SortOrder order = m_ascending ? Qt::AscendingOrder : Qt::DescendingOrder;
    header()->setSortIndicatorShown(true);
    header()->setSortIndicator(column, order);
    sortItems(column, order);
}

void SortListCtrl::SetStretchColumn(int column) {
    m_stretchColumn = column >= 0 && column < columnCount() ? column : -1;
    if (m_stretchColumn < 0) return;
    m_stretchBaseWidth = columnWidth(m_stretchColumn);
    Stretch();
}

int SortListCtrl::BaseWidth(int column) const {
    return column == m_stretchColumn ? m_stretchBaseWidth : columnWidth(column);
}

void SortListCtrl::Stretch() {
    if (m_stretchColumn < 0 || m_stretchColumn >= columnCount()) return;
    int othersPixels = 0;
    for (int c = 0; c < columnCount(); ++c) {
        if (c != m_stretchColumn && !isColumnHidden(c)) othersPixels += columnWidth(c);
    }
    const int wanted = std::max(m_stretchBaseWidth, viewport()->width() - othersPixels);
    if (columnWidth(m_stretchColumn) == wanted) return;
    m_stretching = true;
    setColumnWidth(m_stretchColumn, wanted);
    m_stretching = false;
}

void SortListCtrl::ColumnResized(int column) {
    if (m_stretching || m_stretchColumn < 0) return;
    // Dragged by the user: that width is the one it keeps until the view changes size.
    if (column == m_stretchColumn) {
        m_stretchBaseWidth = columnWidth(column);
        return;
    }
    Stretch();
}

void SortListCtrl::FitColumnToContents(int column) {
    if (column < 0 || column >= columnCount()) return;
    int contentsPixels = header()->sectionSizeHint(column);
    for (int row = 0; row < RowCount(); ++row) {
        contentsPixels = std::max(contentsPixels, sizeHintForIndex(model()->index(row, column)).width());
    }
    int leftPixels = 0;
    for (int c = 0; c < columnCount(); ++c) {
        if (c != column && !isColumnHidden(c) && header()->sectionPosition(c) < header()->sectionPosition(column)) {
            leftPixels += BaseWidth(c);
        }
    }
    const int roomPixels = viewport()->width() - leftPixels;
    const int wanted = std::max(columnWidth(column), std::min(contentsPixels, roomPixels));
    if (wanted != columnWidth(column)) setColumnWidth(column, wanted);
}

QString SortListCtrl::CellToolTip(const QPoint& viewportPos) const {
    const QModelIndex index = indexAt(viewportPos);
    if (!index.isValid()) return QString();
    // The delegate's own measure of the text with its margins, against the room it has.
    if (sizeHintForIndex(index).width() <= visualRect(index).width()) return QString();
    return index.data(Qt::DisplayRole).toString();
}

bool SortListCtrl::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const QString tip = CellToolTip(help->pos());
        if (tip.isEmpty()) {
            QToolTip::hideText();
        } else {
            QToolTip::showText(help->globalPos(), tip, viewport(), visualRect(indexAt(help->pos())));
        }
        return true;
    }
    const bool handled = QTreeWidget::viewportEvent(event);
    // The view's width changes with the window and when the vertical scroll bar comes or goes.
    if (event->type() == QEvent::Resize) Stretch();
    return handled;
}

}  // namespace qm
