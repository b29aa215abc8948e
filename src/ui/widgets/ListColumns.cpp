#include "ui/widgets/ListColumns.h"

#include <QFontMetrics>
#include <algorithm>

#include "ui/widgets/Formats.h"
#include "ui/widgets/PathText.h"

namespace qm {

namespace {

constexpr Qt::Alignment kLeft = Qt::AlignLeft;
constexpr Qt::Alignment kRight = Qt::AlignRight;
using C = ListColumn;
using K = SortKind;

const std::vector<ColumnSpec> kBatchSplitter = {
    {C::File, "File", kLeft, 150, K::Text},
    {C::Size, "Size", kRight, 65, K::Size},
    {C::Length, "Length", kRight, 60, K::Duration},
    {C::Output, "Output", kLeft, 110, K::Text},
    {C::Track, "#", kRight, 40, K::Number},
    {C::Title, "Title", kLeft, 140, K::Text},
    {C::Artist, "Artist", kLeft, 110, K::Text},
    {C::Album, "Album", kLeft, 110, K::Text},
    {C::Year, "Year", kLeft, 50, K::Text},
    {C::Genre, "Genre", kLeft, 80, K::Text},
    {C::BitRate, "Bit Rate", kRight, 70, K::Number},
    {C::Freq, "Freq", kRight, 70, K::Number},
    {C::Ch, "Ch", kLeft, 60, K::Text},
};

const std::vector<ColumnSpec> kJoiner = {
    {C::File, "File", kLeft, 150, K::Text},
    {C::Size, "Size", kRight, 70, K::Size},
    {C::Length, "Length", kRight, 60, K::Duration},
    {C::Track, "#", kRight, 40, K::Number},
    {C::Title, "Title", kLeft, 150, K::Text},
    {C::Artist, "Artist", kLeft, 110, K::Text},
    {C::Album, "Album", kLeft, 110, K::Text},
    {C::Year, "Year", kRight, 50, K::Number},
    {C::Genre, "Genre", kLeft, 80, K::Text},
    {C::Comment, "Comment", kLeft, 100, K::Text},
    {C::BitRate, "Bit Rate", kRight, 70, K::Number},
    {C::Freq, "Freq", kRight, 70, K::Number},
    {C::Ch, "Ch", kLeft, 60, K::Text},
};

const std::vector<ColumnSpec> kBatchJoinerMain = {
    {C::File, "File", kLeft, 120, K::Text},         {C::Size, "Size", kRight, 60, K::Size},
    {C::Length, "Length", kRight, 60, K::Duration}, {C::Output, "Output", kLeft, 120, K::Text},
    {C::Track, "#", kRight, 40, K::Number},         {C::Title, "Title", kLeft, 110, K::Text},
    {C::Artist, "Artist", kLeft, 90, K::Text},      {C::Album, "Album", kLeft, 90, K::Text},
    {C::Year, "Year", kRight, 50, K::Number},       {C::Genre, "Genre", kLeft, 80, K::Text},
    {C::Comment, "Comment", kLeft, 100, K::Text},   {C::BitRate, "Bit Rate", kRight, 70, K::Number},
    {C::Freq, "Freq", kRight, 70, K::Number},       {C::Ch, "Ch", kLeft, 60, K::Text},
};

const std::vector<ColumnSpec> kBatchJoinerJoined = {
    {C::File, "File", kLeft, 120, K::Text},
    {C::Size, "Size", kRight, 60, K::Size},
    {C::Length, "Length", kRight, 60, K::Duration},
    {C::Track, "#", kRight, 40, K::Number},
    {C::Title, "Title", kLeft, 160, K::Text},
    {C::Artist, "Artist", kLeft, 115, K::Text},
    {C::Album, "Album", kLeft, 115, K::Text},
    {C::Year, "Year", kRight, 50, K::Number},
    {C::Genre, "Genre", kLeft, 90, K::Text},
    {C::Comment, "Comment", kLeft, 110, K::Text},
    {C::BitRate, "Bit Rate", kRight, 70, K::Number},
    {C::Freq, "Freq", kRight, 70, K::Number},
    {C::Ch, "Ch", kLeft, 60, K::Text},
};

}  // namespace

const std::vector<ColumnSpec>& ColumnsOf(ListKind kind) {
    switch (kind) {
        case ListKind::BatchSplitter:
            return kBatchSplitter;
        case ListKind::Joiner:
            return kJoiner;
        case ListKind::BatchJoinerMain:
            return kBatchJoinerMain;
        case ListKind::BatchJoinerJoined:
            break;
    }
    return kBatchJoinerJoined;
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
