#include "split/PagePlanners.h"

#include <algorithm>

#include "split/PlanRun.h"

namespace qm::page_plans {

namespace fs = std::filesystem;
using namespace planning;

namespace {

// Pieces 1 .. count-1 with the mode's writer, then the last piece to the end of the source.
// The pieces are numbered 1..count, %S% included.
PlanResult WritePagePieces(PlanRun& run, int count, const PieceWriter& write) {
    PieceStep step = PieceStep::Written;
    fs::path path;
    for (int i = 1; i <= count - 1 && step == PieceStep::Written; ++i) {
        step = run.WritePiece(PieceNumbers{i, count, i, run.TitleDigits()}, write, &path, nullptr);
    }
    const PieceNumbers last{count, count, count, run.TitleDigits()};
    return run.EndWithLastPiece(step, path, &last, nullptr, &path);
}

// The numbers of row k (1-based) of rows, with its title, performer and track number.
PieceNumbers RowNumbers(const std::vector<PieceRow>& rows, int k, const int* sequence, int titleDigits) {
    const int count = static_cast<int>(rows.size());
    const PieceRow& row = rows[static_cast<std::size_t>(k - 1)];
    const bool titled = std::any_of(rows.begin(), rows.end(), [](const PieceRow& r) { return !r.title.empty(); });
    PieceNumbers numbers{k, count, sequence != nullptr ? *sequence : k, titleDigits};
    numbers.mark = {row.title, row.performer, row.track, titled};
    return numbers;
}

// Rows 1 .. count-1: checked rows are written, unchecked rows are read past. The step the
// rows ended in, with the path of the last row written.
PieceStep WriteLeadingRows(PlanRun& run, std::vector<PieceRow>& rows, int* sequence, fs::path* path) {
    const int count = static_cast<int>(rows.size());
    for (int k = 1; k <= count - 1; ++k) {
        PieceRow& row = rows[static_cast<std::size_t>(k - 1)];
        const int lengthTenths = row.endTenths - row.startTenths;
        SplitEngine& engine = run.Engine();
        PieceStep step = PieceStep::Written;
        if (row.checked) {
            const PieceNumbers numbers = RowNumbers(rows, k, sequence, run.TitleDigits());
            // A row loaded from a mark ends exactly where the mark does.
            const PieceWriter write =
                row.HasExactEnd() ? PieceWriter([&engine, end = row.exactEnd](const fs::path& target,
                                                                              const PieceNumbers& n, bool* endReached) {
                    return engine.WritePieceUntil(target, end, n, endReached);
                })
                                  : ByDurationWriter(engine, lengthTenths);
            step = run.WritePiece(numbers, write, path, sequence);
            if (step == PieceStep::Written || step == PieceStep::SourceEnded) row.outputPath = *path;
        } else {
            bool endReached = false;
            // Only a cancel stops a skip; the ending sees it.
            const bool skipped = row.HasExactEnd() ? engine.SkipUntil(row.exactEnd, &endReached)
                                                   : engine.SkipDuration(lengthTenths, &endReached);
            if (!skipped || endReached) step = PieceStep::SourceEnded;
        }
        if (step != PieceStep::Written) return step;
    }
    return PieceStep::Written;
}

void ForgetRowPaths(std::vector<PieceRow>& rows) {
    for (PieceRow& row : rows) row.outputPath.clear();
}

// A row shows an output only while its file is among the plan's outputs (a stopped plan
// leaves out the pieces that would have replaced a file, an empty piece writes none).
void KeepRowPathsOf(std::vector<PieceRow>& rows, const std::vector<fs::path>& outputs) {
    for (PieceRow& row : rows) {
        if (std::find(outputs.begin(), outputs.end(), row.outputPath) == outputs.end()) row.outputPath.clear();
    }
}

// The rows after the set-up. The last row runs to the end of the source; its own start and
// end are not used.
PlanResult WriteRows(PlanRun& run, std::vector<PieceRow>& rows, int* sequence) {
    const int count = static_cast<int>(rows.size());
    fs::path path;
    const PieceStep step = WriteLeadingRows(run, rows, sequence, &path);
    PieceRow& lastRow = rows.back();
    const PieceNumbers last = RowNumbers(rows, count, sequence, run.TitleDigits());
    fs::path lastPath;
    const PlanResult result = run.EndWithLastPiece(step, path, lastRow.checked ? &last : nullptr, sequence, &lastPath);
    if (!lastPath.empty()) lastRow.outputPath = lastPath;
    return result;
}

// Pieces of pieceTenths each, count of them, the last one to the end of the source.
PlanResult RunByDuration(const SplitPlanContext& context, const PageSource& source, int count, int pieceTenths,
                         std::vector<fs::path>* outputs, std::string* message) {
    PlanRun run(context, source.path, outputs, message);
    run.ExpectPieces(count);
    if (const auto ended = run.Start(/*withOverlaps=*/true)) return *ended;
    return WritePagePieces(run, count, ByDurationWriter(run.Engine(), pieceTenths));
}

}  // namespace

PlanResult PlanBySize(const SplitPlanContext& context, const PageSource& source, std::uint64_t sizeBytes,
                      std::vector<fs::path>* outputs, std::string* message) {
    return Guarded(message, [&] {
        if (sizeBytes >= source.fileSizeBytes) return Refuse(message, kSizeTooBig);
        if (sizeBytes == 0) return Refuse(message, kSizeTooSmall);
        PlanRun run(context, source.path, outputs, message);
        if (const auto ended = run.OpenSource()) return *ended;
        int count = 0;
        if (const auto ended = run.CountBySize(sizeBytes, &count)) return *ended;
        if (const auto ended = run.Configure(/*withOverlaps=*/true)) return *ended;
        return WritePagePieces(run, count, BySizeWriter(run.Engine(), sizeBytes));
    });
}

PlanResult PlanByCount(const SplitPlanContext& context, const PageSource& source, int count,
                       std::vector<fs::path>* outputs, std::string* message) {
    return Guarded(message, [&] {
        if (count <= 1) return Refuse(message, kCountTooSmall);
        const int pieceTenths = source.durationTenths / count;
        if (pieceTenths <= 0) return Refuse(message, kCountTooBig);
        return RunByDuration(context, source, count, pieceTenths, outputs, message);
    });
}

PlanResult PlanByTime(const SplitPlanContext& context, const PageSource& source, int pieceTenths,
                      std::vector<fs::path>* outputs, std::string* message) {
    return Guarded(message, [&] {
        if (pieceTenths >= source.durationTenths) return Refuse(message, kDurationTooBig);
        if (pieceTenths <= 0) return Refuse(message, kDurationTooSmall);
        int count = source.durationTenths / pieceTenths;
        if (source.durationTenths % pieceTenths != 0) ++count;
        return RunByDuration(context, source, count, pieceTenths, outputs, message);
    });
}

PlanResult PlanManualPieces(const SplitPlanContext& context, const fs::path& source, std::vector<PieceRow>* rows,
                            std::vector<fs::path>* outputs, std::string* message, int* sequence) {
    return Guarded(message, [&] {
        const bool anyChecked =
            std::any_of(rows->begin(), rows->end(), [](const PieceRow& row) { return row.checked; });
        if (rows->size() < 2 || !anyChecked) return Refuse(message, kTwoPiecesRequired);
        ForgetRowPaths(*rows);
        PlanRun run(context, source, outputs, message);
        if (const auto ended = run.Start(/*withOverlaps=*/true)) return *ended;
        const PlanResult result = WriteRows(run, *rows, sequence);
        KeepRowPathsOf(*rows, *outputs);
        return result;
    });
}

RunResult PlanLoadedFile(const SplitPlanContext& context, const SplitInputs& inputs, const PageSource& source,
                         std::vector<PieceRow>* rows, std::vector<fs::path>* outputs) {
    std::string message;
    RunOutcome outcome = RunOutcome::Failed;
    switch (inputs.mode) {
        case SplitTypeCode::BySize:
            outcome = PlanBySize(context, source, inputs.sizeBytes, outputs, &message);
            break;
        case SplitTypeCode::ByCount:
            outcome = PlanByCount(context, source, inputs.count, outputs, &message);
            break;
        case SplitTypeCode::ByTime:
            outcome = PlanByTime(context, source, inputs.pieceTenths, outputs, &message);
            break;
        // The manual page loads pauses and sheets into its rows: they are split as rows.
        case SplitTypeCode::BySilence:
        case SplitTypeCode::ByMarks:
        case SplitTypeCode::ByCustom:
            outcome = PlanManualPieces(context, source.path, rows, outputs, &message);
            break;
    }
    return {outcome, outcome == RunOutcome::Failed ? message : std::string()};
}

}  // namespace qm::page_plans

namespace qm {

std::vector<PieceRow> RowsOfMarks(const MarkList& marks, int durationTenths) {
    std::vector<PieceRow> rows;
    // The rows run on without gaps: each starts where the one before ends.
    const auto add = [&rows](int endTenths, bool checked) -> PieceRow& {
        PieceRow row;
        row.startTenths = rows.empty() ? 0 : rows.back().endTenths;
        row.endTenths = std::max(endTenths, row.startTenths);
        row.checked = checked;
        rows.push_back(row);
        return rows.back();
    };
    for (std::size_t i = 0; i < marks.marks.size(); ++i) {
        const Mark& mark = marks.marks[i];
        const int beginTenths = std::min(MillisToTenths(mark.begin), durationTenths);
        if (beginTenths >= durationTenths) break;
        const int startTenths = rows.empty() ? 0 : rows.back().endTenths;
        if (beginTenths > startTenths) add(beginTenths, false).exactEnd = mark.begin;
        const bool last = i + 1 == marks.marks.size();
        const Millis end = mark.end != kToNextMark ? mark.end : last ? kToNextMark : marks.marks[i + 1].begin;
        PieceRow& row = add(end == kToNextMark ? durationTenths : std::min(MillisToTenths(end), durationTenths), true);
        if (end != kToNextMark) row.exactEnd = end;
        row.title = mark.title;
        row.performer = mark.performer.empty() ? marks.performer : mark.performer;
        row.track = mark.track;
    }
    // The last row runs to the end of the file.
    if (!rows.empty() && rows.back().endTenths < durationTenths) add(durationTenths, false);
    return rows;
}

MarkList MarksOfRows(const std::vector<PieceRow>& rows) {
    MarkList marks;
    Millis begin = 0;  // each row begins where the one before ends
    for (const PieceRow& row : rows) {
        const Millis end = row.EndMillis();
        if (!row.checked) {
            begin = end;
            continue;
        }
        Mark mark;
        mark.begin = begin;
        mark.end = end;
        begin = end;
        mark.title = row.title;
        mark.performer = row.performer;
        mark.track = row.track;
        marks.marks.push_back(std::move(mark));
    }
    return marks;
}

}  // namespace qm
