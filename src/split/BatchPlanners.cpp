#include "split/BatchPlanners.h"

#include <algorithm>
#include <climits>

#include "split/PlanRun.h"
#include "stream/FailureMessages.h"
#include "stream/Mp3FrameReader.h"
#include "stream/TenthsText.h"

namespace qm::batch_plans {

namespace fs = std::filesystem;
using namespace planning;

namespace {

// The batch piece loop: pieces 1, 2, ... numbered with the general sequence number, as far
// as the first-N-pieces option allows, then the last piece to the end of the source.
PlanResult WriteBatchPieces(PlanRun& run, int count, int* sequence, const PieceWriter& write) {
    const SplitterOptions& options = run.Options();
    const bool limited = options.SplitFirstNPieces;
    int i = 1;
    PieceStep step = PieceStep::Written;
    fs::path path;
    if (count >= 2) {
        while (!limited || i <= options.FirstPiecesNumber) {
            step = run.WritePiece(PieceNumbers{i, count, *sequence, run.TitleDigits()}, write, &path, sequence);
            if (step != PieceStep::Written || ++i == count) break;
        }
    }
    // The loop leaves i at count unless the first-N-pieces option stopped it short.
    const bool lastDue = !(limited && options.FirstPiecesNumber < i);
    const PieceNumbers last{count, count, *sequence, run.TitleDigits()};
    return run.EndWithLastPiece(step, path, lastDue ? &last : nullptr, sequence, &path);
}

// The real playing time of a source in tenths of a second (truncated); false when the
// source cannot be analysed.
bool MeasuredTenths(const fs::path& path, int* tenths) {
    Mp3FrameReader reader;
    if (!reader.Open(path)) return false;
    *tenths =
        static_cast<int>(std::clamp(reader.LengthSeconds() * kTenthsPerSecond, 0.0, static_cast<double>(INT_MAX / 4)));
    return true;
}

// The length in tenths the batch plans work with: the list's whole seconds, except for a
// file shorter than a second, which the list shows as 0 s: its real length. False with the
// load message when such a file cannot be analysed.
bool PlanTenths(const BatchEntry& entry, int* tenths, std::string* message) {
    if (entry.durationSeconds > 0) {
        *tenths = entry.durationSeconds * kTenthsPerSecond;
        return true;
    }
    if (MeasuredTenths(entry.path, tenths)) return true;
    *message = FailedToLoadMessage(entry.path);
    return false;
}

// Pieces of pieceTenths each, count of them, the last one to the end of the source.
PlanResult RunByDuration(const SplitPlanContext& context, BatchEntry* entry, int count, int pieceTenths, int* sequence,
                         std::string* message) {
    PlanRun run(context, entry->path, &entry->outputs, message);
    if (const auto ended = run.Start(/*withOverlaps=*/true)) return *ended;
    // The first-N-pieces option writes fewer on purpose.
    if (!context.options->SplitFirstNPieces) run.ExpectPieces(count);
    return WriteBatchPieces(run, count, sequence, ByDurationWriter(run.Engine(), pieceTenths));
}

}  // namespace

PlanResult PlanBySize(const SplitPlanContext& context, BatchEntry* entry, std::uint64_t sizeBytes, int* sequence,
                      std::string* message) {
    return Guarded(message, [&] {
        // A size at or above the file's size is allowed: the file becomes one piece, 1 of 1.
        if (sizeBytes == 0) return Refuse(message, kSizeTooSmall);
        PlanRun run(context, entry->path, &entry->outputs, message);
        if (const auto ended = run.OpenSource()) return *ended;
        int count = 0;
        if (const auto ended = run.CountBySize(sizeBytes, &count)) return *ended;
        if (const auto ended = run.Configure(/*withOverlaps=*/true)) return *ended;
        return WriteBatchPieces(run, count, sequence, BySizeWriter(run.Engine(), sizeBytes));
    });
}

PlanResult PlanByCount(const SplitPlanContext& context, BatchEntry* entry, int count, int* sequence,
                       std::string* message) {
    return Guarded(message, [&] {
        if (count <= 1) return Refuse(message, kCountTooSmall);
        int durationTenths = 0;
        if (!PlanTenths(*entry, &durationTenths, message)) return PlanResult::Failed;
        const int pieceTenths = durationTenths / count;
        if (pieceTenths <= 0) return Refuse(message, kCountTooBig);
        return RunByDuration(context, entry, count, pieceTenths, sequence, message);
    });
}

PlanResult PlanByTime(const SplitPlanContext& context, BatchEntry* entry, int pieceTenths, int* sequence,
                      std::string* message) {
    return Guarded(message, [&] {
        // A piece at or above the file's duration is allowed: the file becomes one piece.
        if (pieceTenths <= 0) return Refuse(message, kDurationTooSmall);
        int durationTenths = 0;
        if (!PlanTenths(*entry, &durationTenths, message)) return PlanResult::Failed;
        int count = durationTenths / pieceTenths;
        if (durationTenths % pieceTenths != 0) ++count;
        count = std::max(count, 1);
        return RunByDuration(context, entry, count, pieceTenths, sequence, message);
    });
}

PlanResult PlanCustomRange(const SplitPlanContext& context, BatchEntry* entry, int beginTenths, int lengthTenths,
                           int* sequence, std::string* message) {
    return Guarded(message, [&] {
        int durationTenths = 0;
        if (!PlanTenths(*entry, &durationTenths, message)) return PlanResult::Failed;
        if (beginTenths > durationTenths) {
            // The whole seconds leave out up to nine tenths: the real length decides.
            int realTenths = 0;
            if (!MeasuredTenths(entry->path, &realTenths) || beginTenths > realTenths) {
                return Refuse(message, kBeginBeyondEnd);
            }
            durationTenths = realTenths;
        }
        // Length 0 means "to the end": twice the file's length always reaches it (a tenth
        // and more of a file shorter than a tenth of a second).
        if (lengthTenths <= 0) lengthTenths = std::max(durationTenths, 1) * 2;
        PlanRun run(context, entry->path, &entry->outputs, message);
        if (const auto ended = run.Start(/*withOverlaps=*/false)) return *ended;
        const PieceNumbers numbers{1, 1, *sequence, run.TitleDigits()};
        fs::path path;
        if (!run.ResolvePath(numbers, &path)) return run.End(PieceStep::Refused, path);

        bool endReached = false;
        // A range that starts beyond the audio has nothing to write: the file is done.
        if (!run.Engine().SkipDuration(beginTenths, &endReached) || endReached) {
            return run.End(PieceStep::SourceEnded, path);
        }
        if (run.PumpAndCheckCancel()) return run.Cancel();
        return run.End(run.WriteResolved(path, numbers, ByDurationWriter(run.Engine(), lengthTenths), sequence), path);
    });
}

}  // namespace qm::batch_plans
