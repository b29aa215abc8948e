#include "batch/BatchSplit.h"

#include <algorithm>
#include <utility>

#include "batch/MarkReaders.h"

namespace qm {

const char* const kCancelledOutcome = "Cancelled";
const char* const kSplittingOutcome = "Splitting...";

BatchFilePlanner MakeBatchFilePlanner(const SplitInputs& inputs) {
    using batch_plans::BatchEntry;
    switch (inputs.mode) {
        case SplitTypeCode::ByCount:
            return [count = inputs.count](const SplitPlanContext& context, BatchEntry* entry, int* sequence,
                                          std::string* message) {
                return batch_plans::PlanByCount(context, entry, count, sequence, message);
            };
        case SplitTypeCode::ByTime:
            return [tenths = inputs.pieceTenths](const SplitPlanContext& context, BatchEntry* entry, int* sequence,
                                                 std::string* message) {
                return batch_plans::PlanByTime(context, entry, tenths, sequence, message);
            };
        case SplitTypeCode::ByCustom:
            return [begin = inputs.beginTenths, length = inputs.lengthTenths](
                       const SplitPlanContext& context, BatchEntry* entry, int* sequence, std::string* message) {
                return batch_plans::PlanCustomRange(context, entry, begin, length, sequence, message);
            };
        case SplitTypeCode::BySilence:
            return MakeMarksFilePlanner(SilenceMarks(inputs.silence));
        case SplitTypeCode::ByMarks:
            return MakeMarksFilePlanner(CueSheetOrChapterMarks());
        case SplitTypeCode::BySize:
            break;
    }
    return [size = inputs.sizeBytes](const SplitPlanContext& context, BatchEntry* entry, int* sequence,
                                     std::string* message) {
        return batch_plans::PlanBySize(context, entry, size, sequence, message);
    };
}

std::string PiecesOutcome(std::size_t pieceCount) { return std::to_string(pieceCount) + " piece(s)"; }

std::string FailureOutcome(const std::string& message) { return "Failure: " + message; }

namespace {

void SetText(StatusText* text, const std::string& value) {
    if (text != nullptr) text->SetText(value);
}

bool Cancelled(const CancelFlag* cancel) { return cancel != nullptr && cancel->load() != 0; }

// Runs the planner on one file and sets its state and outcome text.
void SplitOneFile(const BatchSplitJob& job, BatchSplitFile& file, int* sequence) {
    const BatchSplitProgress& progress = job.progress;
    SplitPlanContext context;
    context.options = job.options;
    context.operation = LongOperation{progress.fileBar, progress.fileText, progress.pump, progress.cancel};
    context.resolve = job.resolve;
    context.makeEngine = job.makeEngine;
    context.dryRun = job.dryRun;
    file.pieces.clear();
    context.onPiece = [&file](const PlannedPiece& piece) { file.pieces.push_back(piece); };

    std::string message;
    const RunOutcome outcome = job.planner(context, &file.entry, sequence, &message);
    file.result = RunResult{outcome, outcome == RunOutcome::Failed ? message : std::string()};
    // Only the pieces left in place are the file's (a failed plan keeps those before the failure).
    std::erase_if(file.pieces, [&file](const PlannedPiece& piece) {
        return std::find(file.entry.outputs.begin(), file.entry.outputs.end(), piece.output) ==
               file.entry.outputs.end();
    });
    switch (outcome) {
        case RunOutcome::Done:
            file.outcome = PiecesOutcome(file.entry.outputs.size());
            break;
        case RunOutcome::Cancelled:
            file.outcome = kCancelledOutcome;
            break;
        case RunOutcome::Failed:
            file.outcome = FailureOutcome(message);
            break;
    }
}

}  // namespace

bool RunBatchSplit(const BatchSplitJob& job, std::vector<BatchSplitFile>* files) {
    const BatchSplitProgress& progress = job.progress;
    const int fileCount = static_cast<int>(files->size());
    if (progress.runBar != nullptr) {
        progress.runBar->SetRange(0, fileCount);
        progress.runBar->SetPosition(0);
    }
    if (progress.pump != nullptr) progress.pump->PumpMessages();

    // %S% starts at 1 with every run and grows by one per piece written, across all files.
    int sequence = 1;
    for (int n = 1; n <= fileCount; ++n) {
        BatchSplitFile& file = (*files)[static_cast<std::size_t>(n - 1)];
        SetText(progress.runText,
                "Splitting " + std::to_string(n) + " of " + std::to_string(fileCount) + " file(s)...");
        if (progress.runBar != nullptr) progress.runBar->SetPosition(n);
        SetText(progress.fileText, "Splitting " + file.entry.path.filename().string() + "...");
        if (progress.fileBar != nullptr) progress.fileBar->SetPosition(0);
        file.outcome = kSplittingOutcome;
        if (progress.pump != nullptr) progress.pump->PumpMessages();

        SplitOneFile(job, file, &sequence);
        if (job.onFileDone) job.onFileDone(file);
        if (Cancelled(progress.cancel)) return false;
    }
    return true;
}

}  // namespace qm
