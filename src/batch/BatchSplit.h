#pragma once

// The batch split run: one planner per file, in order, numbering every piece of the run with
// one general sequence number (the %S% of the templates) and recording each file's outcome
// as the batch splitter's list shows it ("3 piece(s)", "Failure: ...", "Cancelled"). A
// failure moves on to the next file; only a cancel stops the run.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "progress/Progress.h"
#include "progress/RunResult.h"
#include "settings/Options.h"
#include "split/BatchPlanners.h"
#include "split/SplitInputs.h"

namespace qm {

// Splits one file: the chosen planner with the run's sequence number; how its plan ended (the
// message set when it failed).
using BatchFilePlanner = std::function<PlanResult(const SplitPlanContext& context, batch_plans::BatchEntry* entry,
                                                  int* sequence, std::string* message)>;

// The batch planner of inputs.mode.
BatchFilePlanner MakeBatchFilePlanner(const SplitInputs& inputs);

// One file of the run and its outcome.
struct BatchSplitFile {
    batch_plans::BatchEntry entry;
    std::optional<RunResult> result;   // how its plan ended; empty for a file the run did not reach
    std::string outcome;               // the "Output" text; left as it was for files the run did not reach
    std::vector<PlannedPiece> pieces;  // each piece written (or, in a dry run, planned) in the last run
};

// The two lines and bars of the batch progress window: the upper pair shows the current
// file (the engine drives its bar), the lower pair the whole run. Every member may be null.
struct BatchSplitProgress {
    ProgressBar* fileBar = nullptr;
    StatusText* fileText = nullptr;
    ProgressBar* runBar = nullptr;
    StatusText* runText = nullptr;
    MessagePump* pump = nullptr;
    const CancelFlag* cancel = nullptr;
};

struct BatchSplitJob {
    BatchFilePlanner planner;
    const SplitterOptions* options = nullptr;
    SplitOutputResolver resolve;
    SplitEngineFactory makeEngine;  // null: CreateSplitEngine
    BatchSplitProgress progress;
    // Plan every file as the run would, writing nothing (see SplitPlanContext::dryRun).
    bool dryRun = false;
    // Called after each file's outcome is set (for instance to print it); may be null.
    std::function<void(const BatchSplitFile& file)> onFileDone;
};

// Outcome texts of one file.
std::string PiecesOutcome(std::size_t pieceCount);
std::string FailureOutcome(const std::string& message);
extern const char* const kCancelledOutcome;
extern const char* const kSplittingOutcome;

// Runs the job over files in order. Returns false when the run was cancelled (the file being
// split then has no pieces left and the files after it are not touched).
[[nodiscard]] bool RunBatchSplit(const BatchSplitJob& job, std::vector<BatchSplitFile>* files);

}  // namespace qm
