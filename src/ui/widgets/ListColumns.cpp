#include "ui/widgets/ListColumns.h"

#include <QFontMetrics>
#include <algorithm>
#include <optional>
#include <span>

#include "ui/widgets/Formats.h"
#include "ui/widgets/PathText.h"

namespace qm {

namespace {

using C = ListColumn;
using K = SortKind;

// A column's caption and the way its texts sort, wherever it stands. Every figure column is
// right-aligned, every column of free text left-aligned.
struct ColumnNature {
    const char* caption;
    SortKind kind;
};

ColumnNature NatureOf(ListColumn column) {
    switch (column) {
        case C::File:
            return {"File", K::Text};
        case C::Size:
            return {"Size", K::Size};
        case C::Length:
            return {"Length", K::Duration};
        case C::Output:
            return {"Output", K::Text};
        case C::Track:
            return {"#", K::Number};
        case C::Title:
            return {"Title", K::Text};
        case C::Artist:
            return {"Artist", K::Text};
        case C::Album:
            return {"Album", K::Text};
        case C::Year:
            return {"Year", K::Number};
        case C::Genre:
            return {"Genre", K::Text};
        case C::Comment:
            return {"Comment", K::Text};
        case C::BitRate:
            return {"Bit Rate", K::Number};
        case C::Freq:
            return {"Freq", K::Number};
        case C::Ch:
            break;
    }
    return {"Ch", K::Text};
}

// A column of one list: its designed width and, where this list sorts it otherwise, its kind.
struct ListedColumn {
    ListColumn column;
    int widthPixels;
    std::optional<SortKind> kind = std::nullopt;
};

// The batch splitter's year is text, as the tag holds it.
constexpr ListedColumn kBatchSplitter[] = {
    {C::File, 150},   {C::Size, 65},    {C::Length, 60}, {C::Output, 110},       {C::Track, 40},
    {C::Title, 140},  {C::Artist, 110}, {C::Album, 110}, {C::Year, 50, K::Text}, {C::Genre, 80},
    {C::BitRate, 70}, {C::Freq, 70},    {C::Ch, 60},
};

constexpr ListedColumn kJoiner[] = {
    {C::File, 150},   {C::Size, 70},   {C::Length, 60}, {C::Track, 40}, {C::Title, 150},
    {C::Artist, 110}, {C::Album, 110}, {C::Year, 50},   {C::Genre, 80}, {C::Comment, 100},
    {C::BitRate, 70}, {C::Freq, 70},   {C::Ch, 60},
};

constexpr ListedColumn kBatchJoinerMain[] = {
    {C::File, 120},    {C::Size, 60},    {C::Length, 60}, {C::Output, 120}, {C::Track, 40},
    {C::Title, 110},   {C::Artist, 90},  {C::Album, 90},  {C::Year, 50},    {C::Genre, 80},
    {C::Comment, 100}, {C::BitRate, 70}, {C::Freq, 70},   {C::Ch, 60},
};

constexpr ListedColumn kBatchJoinerJoined[] = {
    {C::File, 120},   {C::Size, 60},   {C::Length, 60}, {C::Track, 40}, {C::Title, 160},
    {C::Artist, 115}, {C::Album, 115}, {C::Year, 50},   {C::Genre, 90}, {C::Comment, 110},
    {C::BitRate, 70}, {C::Freq, 70},   {C::Ch, 60},
};

std::vector<ColumnSpec> SpecsOf(std::span<const ListedColumn> listed) {
    std::vector<ColumnSpec> specs;
    for (const ListedColumn& entry : listed) {
        const ColumnNature nature = NatureOf(entry.column);
        const SortKind kind = entry.kind.value_or(nature.kind);
        specs.push_back(
            {entry.column, nature.caption, kind == K::Text ? Qt::AlignLeft : Qt::AlignRight, entry.widthPixels, kind});
    }
    return specs;
}

}  // namespace

const std::vector<ColumnSpec>& ColumnsOf(ListKind kind) {
    static const std::vector<ColumnSpec> batchSplitter = SpecsOf(kBatchSplitter);
    static const std::vector<ColumnSpec> joiner = SpecsOf(kJoiner);
    static const std::vector<ColumnSpec> batchJoinerMain = SpecsOf(kBatchJoinerMain);
    static const std::vector<ColumnSpec> batchJoinerJoined = SpecsOf(kBatchJoinerJoined);
    switch (kind) {
        case ListKind::BatchSplitter:
            return batchSplitter;
        case ListKind::Joiner:
            return joiner;
        case ListKind::BatchJoinerMain:
            return batchJoinerMain;
        case ListKind::BatchJoinerJoined:
            break;
    }
    return batchJoinerJoined;
}

int ColumnIndex(ListKind kind, ListColumn column) {
    const auto& columns = ColumnsOf(kind);
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (columns[i].column == column) return static_cast<int>(i);
    }
    return -1;
}

namespace {

// The widest text a figure column usually shows; empty for the columns of free text.
QString WidestFigure(ListColumn column) {
    switch (column) {
        case ListColumn::Size:
            return QStringLiteral("999.99 MB");
        case ListColumn::Length:
            return QStringLiteral("99:59:59");
        case ListColumn::BitRate:
            return QStringLiteral("320 kbps VBR");
        case ListColumn::Freq:
            return QStringLiteral("48000 Hz");
        case ListColumn::Ch:
            return QStringLiteral("J-Stereo");
        default:
            return QString();
    }
}

// A column's width: the designed one, but never so narrow that the list's own font clips the
// caption or the figures of a column of numbers (the design was drawn for a smaller font).
int ColumnWidth(const QFontMetrics& metrics, const ColumnSpec& spec) {
    constexpr int kCellMargin = 14;  // padding and the sort arrow's room
    int width = spec.widthPixels;
    width = std::max(width, metrics.horizontalAdvance(QString::fromLatin1(spec.caption)) + kCellMargin);
    const QString figure = WidestFigure(spec.column);
    if (!figure.isEmpty()) width = std::max(width, metrics.horizontalAdvance(figure) + kCellMargin);
    return width;
}

}  // namespace

void SetUpColumns(SortListCtrl* list, ListKind kind) {
    const auto& columns = ColumnsOf(kind);
    const QFontMetrics metrics(list->font());
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const ColumnSpec& spec = columns[i];
        list->InsertColumn(static_cast<int>(i), QString::fromLatin1(spec.caption), spec.alignment,
                           ColumnWidth(metrics, spec), spec.kind);
    }
    // The file name is the widest text of every list: it takes the room a wide window has.
    list->SetStretchColumn(ColumnIndex(kind, ListColumn::File));
}

QString ChannelModeText(std::optional<ChannelMode> channelMode) {
    if (!channelMode) return QString();
    switch (*channelMode) {
        case ChannelMode::Stereo:
            return QStringLiteral("Stereo");
        case ChannelMode::JointStereo:
            return QStringLiteral("J-Stereo");
        case ChannelMode::DualChannel:
            return QStringLiteral("Dual Channel");
        case ChannelMode::Mono:
            return QStringLiteral("Mono");
    }
    return QString();
}

QString BitRateText(const ListItemRecord& record) {
    // The number leads, so that the column sorts by it.
    return record.variableBitRate ? QStringLiteral("%1 kbps VBR").arg(record.bitRateKbps)
                                  : QStringLiteral("%1 kbps").arg(record.bitRateKbps);
}

bool SkipsDuplicates(ListKind kind) { return kind == ListKind::BatchSplitter || kind == ListKind::BatchJoinerMain; }

void FillRowTexts(SortListCtrl* list, ListKind kind, int row, const ListItemRecord& record, std::int64_t sizeBytes) {
    const TagInfo& tags = record.tags;
    auto set = [&](ListColumn column, const QString& text) {
        const int index = ColumnIndex(kind, column);
        if (index >= 0) list->SetItemText(row, index, text);
    };
    set(C::File, QString::fromStdString(record.path.filename().string()));
    set(C::Size, Utf8(FormatSize(sizeBytes)));
    set(C::Length, Utf8(FormatDuration(static_cast<unsigned>(std::max(0, record.durationSeconds)))));
    set(C::Track, tags.track > 0 ? QString::number(tags.track) : QString());
    set(C::Title, Utf8(tags.title));
    set(C::Artist, Utf8(tags.artist));
    set(C::Album, Utf8(tags.album));
    set(C::Year, Utf8(tags.year));
    set(C::Genre, Utf8(tags.genre));
    set(C::Comment, Utf8(tags.comment));
    set(C::BitRate, BitRateText(record));
    set(C::Freq, QStringLiteral("%1 Hz").arg(record.sampleRateHz));
    set(C::Ch, ChannelModeText(record.channelMode));
}

}  // namespace qm
