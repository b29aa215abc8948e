#pragma once

// The column sets of the four file lists and the texts of a new row.

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

#include "stream/ChannelMode.h"
#include "ui/widgets/SortListCtrl.h"

namespace qm {

// Which of the program's four file lists.
enum class ListKind { BatchSplitter, Joiner, BatchJoinerMain, BatchJoinerJoined };

// The columns a row fills, whichever list holds it.
enum class ListColumn {
    File,
    Size,
    Length,
    Output,
    Track,
    Title,
    Artist,
    Album,
    Year,
    Genre,
    Comment,
    BitRate,
    Freq,
    Ch
};

struct ColumnSpec {
    ListColumn column;
    const char* caption;
    Qt::Alignment alignment;
    int widthPixels;
    SortKind kind;
};

// The list's columns in their order.
const std::vector<ColumnSpec>& ColumnsOf(ListKind kind);
// Index of a column in the list, -1 when the list has none.
int ColumnIndex(ListKind kind, ListColumn column);
// Creates the list's columns.
void SetUpColumns(SortListCtrl* list, ListKind kind);
// Fills the texts of a new row from its record and the file's size.
void FillRowTexts(SortListCtrl* list, ListKind kind, int row, const ListItemRecord& record, std::int64_t sizeBytes);
// "Stereo", "J-Stereo", "Dual Channel" or "Mono"; empty for an unknown mode.
QString ChannelModeText(std::optional<ChannelMode> channelMode);
// "%d kbps", or "%d kbps VBR" for a file of variable bit rate (whose figure is its average).
QString BitRateText(const ListItemRecord& record);
// Whether a list skips a file that it already holds.
bool SkipsDuplicates(ListKind kind);

}  // namespace qm
