#pragma once

// The batch join: one fixed list of files joined to the beginning or the end of every main
// file, one output per main file, placed by the joiner's output options. Each main file's
// outcome is the text of its row's "Output" column.

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "progress/Progress.h"
#include "progress/RunResult.h"
#include "settings/Options.h"
#include "stream/GranuleGainEdit.h"
#include "stream/Tags.h"

namespace qm {

// One main file and what its join produced.
struct BatchJoinItem {
    std::filesystem::path mainPath;
    TagInfo tag;                       // the output's tag, with the main file's cover; every field empty: no tag
    std::string outcome;               // "Joining...", the output's name, "Join failure. …", "Cancelled"
    std::filesystem::path outputPath;  // set when the join succeeded
    std::optional<RunResult> result;   // how its join ended; empty while the batch has not reached it
    double gainDb = 0;                 // the volume change its join applied (JoinList::AppliedGainDb)
    GainEditCount gainCounts{};        // what its direct join did to the granules' gain
};

// The two progress lines of a batch: the current join (bar, text, pump and the cancel flag)
// and the whole batch (a bar of one step per main file and its text).
struct BatchJoinProgress {
    LongOperation currentJoin;
    ProgressBar* batchBar = nullptr;
    StatusText* batchText = nullptr;
    // Each output is checked before it is put in place (JoinList::SetVerifyOutput); one that
    // fails is that main file's failure.
    bool verifyOutputs = false;
};

// How a whole batch ended: Done (also when some joins failed) or Cancelled.
using BatchJoinResult = RunOutcome;

// Joins `joined` before (Prepend) or after (Append) every item's main file, choosing the
// method and parameters with the main file as the reference, and writes each item's outcome
// text, result and output path. rowChanged, when given, is called with an item's index each
// time its outcome changes. Failures do not stop the batch; a cancel does (later items keep
// their outcome and have no result). Every source is scanned once in the batch. Does nothing
// when either list is empty.
BatchJoinResult RunBatchJoin(std::vector<BatchJoinItem>& items, const std::vector<std::filesystem::path>& joined,
                             JoinTypeCode joinType, const JoinerOptions& options, const BatchJoinProgress& progress,
                             const std::function<void(std::size_t)>& rowChanged = {});

}  // namespace qm
