#pragma once

// The analysis of a file on its way into one of the file lists, as the figures of its row.

#include <filesystem>

#include "batch/RowFigures.h"
#include "ui/widgets/ListColumns.h"
#include "ui/widgets/ListItemRecord.h"

namespace qm {

// Fills record's duration, sample rate, bit rate, channel mode, Xing/Info and VBR flags with
// AnalyseRowFile's figures for the list kind (the batch splitter's reading or the joiners').
// False for a file that holds no MPEG audio or cannot be analysed.
[[nodiscard]] bool AnalyseListFile(ListKind kind, const std::filesystem::path& path, ListItemRecord* record);

}  // namespace qm
