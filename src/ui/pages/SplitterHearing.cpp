#include "ui/pages/SplitterHearing.h"

#include <algorithm>
#include <cstdlib>
#include <string>

namespace qm::hearing {

namespace fs = std::filesystem;

namespace {

constexpr Millis kMsPerTenth = 100;

// Where each row begins, and after them where the last one ends: n + 1 boundaries of n rows.
std::vector<Millis> BoundariesOf(const std::vector<PieceRow>& rows) {
    std::vector<Millis> boundaries{0};
    for (const PieceRow& row : rows) boundaries.push_back(row.EndMillis());
    return boundaries;
}

std::size_t NearestIndex(const std::vector<Millis>& boundaries, Millis ms) {
    const auto nearest = std::min_element(boundaries.begin(), boundaries.end(),
                                          [ms](Millis a, Millis b) { return std::llabs(a - ms) < std::llabs(b - ms); });
    return static_cast<std::size_t>(nearest - boundaries.begin());
}

// Plans into folder under one name per piece: the folder is fresh, so nothing collides.
SplitOutputResolver ResolveInto(const fs::path& folder, const char* stem, int number) {
    return [folder, stem, number](const fs::path&, const PieceNumbers& numbers, const OutputTaken&, fs::path* path,
                                  std::string*) {
        *path = folder / (std::string(stem) + "-" + std::to_string(number > 0 ? number : numbers.piece) + ".mp3");
        return true;
    };
}

// The heard file of a planned piece: its own end and the tail overlap that follows it, which
// the source's end cuts short.
HeardFile HeardOf(const PlannedPiece& piece, const SplitterOptions& options, int durationTenths) {
    const Millis tailMs = std::min<Millis>(TenthsToMillis(options.BackwardOverlap),
                                           std::max<Millis>(0, TenthsToMillis(durationTenths) - piece.end));
    return {piece.output, piece.end + tailMs};
}

}  // namespace

std::vector<Stretch> SeamStretches(const std::vector<PieceRow>& rows, Millis boundaryMs,
                                   const SplitterOptions& options) {
    std::vector<Stretch> stretches;
    if (rows.empty()) return stretches;
    const std::vector<Millis> boundaries = BoundariesOf(rows);
    const std::size_t at = NearestIndex(boundaries, boundaryMs);
    const Millis boundary = boundaries[at];
    if (at > 0) {
        // The piece before: its fade-in may reach into its last seconds.
        const Millis pieceStart = boundaries[at - 1];
        const bool whole = boundary - pieceStart <= kSeamSideMillis + options.FadeInLen * kMsPerTenth;
        const Millis begin = whole ? pieceStart : boundary - kSeamSideMillis;
        if (begin < boundary) stretches.push_back({begin, boundary, Side::EndOfPieceBefore, whole});
    }
    if (at + 1 < boundaries.size()) {
        // The piece after: its fade-out may reach back into its first seconds.
        const Millis pieceEnd = boundaries[at + 1];
        const bool whole = pieceEnd - boundary <= kSeamSideMillis + options.FadeOutLen * kMsPerTenth;
        const Millis end = whole ? pieceEnd : boundary + kSeamSideMillis;
        if (boundary < end) stretches.push_back({boundary, end, Side::StartOfPieceAfter, whole});
    }
    return stretches;
}

SplitterOptions StretchOptions(const SplitterOptions& options, const Stretch& stretch) {
    SplitterOptions written = options;
    if (stretch.wholePiece) return written;
    if (stretch.side == Side::EndOfPieceBefore) {
        written.FadeInLen = 0;
        written.ForwardOverlap = 0;
    } else {
        written.FadeOutLen = 0;
        written.BackwardOverlap = 0;
    }
    return written;
}

std::vector<PieceRow> RowsOfStretch(const Stretch& stretch, int durationTenths) {
    std::vector<PieceRow> rows;
    const auto add = [&rows](Millis end, bool checked) {
        PieceRow row;
        row.startTenths = rows.empty() ? 0 : rows.back().endTenths;
        row.endTenths = MillisToTenths(end);
        row.exactEnd = end;
        row.checked = checked;
        rows.push_back(row);
    };
    const Millis fileEnd = TenthsToMillis(durationTenths);
    if (stretch.begin > 0) add(stretch.begin, false);
    if (stretch.end < fileEnd) {
        add(stretch.end, true);
        add(fileEnd, false);
    } else {
        add(fileEnd, true);
    }
    // The last row runs to the end of the audio, which may lie past the last whole tenth.
    rows.back().exactEnd = kToNextMark;
    return rows;
}

RunResult WriteSeam(const SplitPlanContext& base, const page_plans::PageSource& source,
                    const std::vector<Stretch>& stretches, const fs::path& folder, std::vector<HeardFile>* heard) {
    heard->clear();
    for (std::size_t i = 0; i < stretches.size(); ++i) {
        const SplitterOptions options = StretchOptions(*base.options, stretches[i]);
        SplitPlanContext context = base;
        context.options = &options;
        context.resolve = ResolveInto(folder, "seam", static_cast<int>(i) + 1);
        context.dryRun = false;
        context.onPiece = [&](const PlannedPiece& piece) {
            heard->push_back(HeardOf(piece, options, source.durationTenths));
        };
        std::vector<PieceRow> rows = RowsOfStretch(stretches[i], source.durationTenths);
        std::vector<fs::path> outputs;
        std::string message;
        const PlanResult result = page_plans::PlanManualPieces(context, source.path, &rows, &outputs, &message);
        if (result != RunOutcome::Done) return {result, result == RunOutcome::Failed ? message : std::string()};
    }
    return RunResult::Done();
}

RunResult WritePieces(const SplitPlanContext& base, const SplitInputs& inputs, const page_plans::PageSource& source,
                      std::vector<PieceRow> rows, const fs::path& folder, std::vector<HeardFile>* heard) {
    heard->clear();
    std::vector<HeardFile> planned;
    SplitPlanContext context = base;
    context.resolve = ResolveInto(folder, "piece", 0);
    context.dryRun = false;
    context.onPiece = [&](const PlannedPiece& piece) {
        planned.push_back(HeardOf(piece, *base.options, source.durationTenths));
    };
    std::vector<fs::path> outputs;
    const RunResult result = page_plans::PlanLoadedFile(context, inputs, source, &rows, &outputs);
    if (!result.IsDone()) return result;
    // Only the files the plan left in place are heard (an empty last piece writes none).
    for (const HeardFile& file : planned) {
        if (std::find(outputs.begin(), outputs.end(), file.path) != outputs.end()) heard->push_back(file);
    }
    return result;
}

Millis SourceMillisAt(const std::vector<HeardPart>& parts, Millis playedMs) {
    if (parts.empty()) return 0;
    const auto after = std::upper_bound(parts.begin(), parts.end(), playedMs,
                                        [](Millis ms, const HeardPart& part) { return ms < part.playStartMs; });
    const HeardPart& part = after == parts.begin() ? parts.front() : *(after - 1);
    const Millis within = std::clamp<Millis>(playedMs - part.playStartMs, 0, part.lengthMs);
    return std::max<Millis>(0, part.sourceEndMs - (part.lengthMs - within));
}

}  // namespace qm::hearing
