#include "ui/widgets/RowAnalysis.h"

namespace qm {

bool AnalyseListFile(ListKind kind, const std::filesystem::path& path, ListItemRecord* record) {
    const std::optional<RowFigures> figures =
        AnalyseRowFile(path, kind == ListKind::BatchSplitter ? RowReader::BatchSplitter : RowReader::Joiner);
    if (!figures) return false;
    record->durationSeconds = figures->durationSeconds;
    record->sampleRateHz = figures->sampleRateHz;
    record->bitRateKbps = figures->bitRateKbps;
    record->channelMode = figures->channelMode;
    record->hasInfoFrame = figures->hasInfoFrame;
    record->variableBitRate = figures->variableBitRate;
    return true;
}

}  // namespace qm
