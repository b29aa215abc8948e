#pragma once

// The split planners: each turns one source file, a split mode and the mode's inputs into a
// run of engine calls. A planner checks the inputs, chooses and configures an engine, works
// out the piece count, resolves each piece's output path, writes the pieces front to back,
// records the files written and deletes them again when the user cancels.
//
// A plan's pieces are written as temporary files and put in place together when the plan
// ends: all of them when it completes, none when it is cancelled, and only those that
// replace no existing file when it fails. A file the plan was to overwrite is therefore
// replaced only by a plan that completed.
//
// Two sets exist. The manual splitter page's planners (namespace page_plans, in
// split/PagePlanners.h) split by size, count, time or a hand-made pieces list and number their
// pieces 1..count. The batch planners (namespace batch_plans, in split/BatchPlanners.h) split
// by size, count, time or one custom range, number the pieces with the run's general sequence
// number and honour the first-N-pieces option. This file holds what both sets share.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "output/OutputPath.h"
#include "output/PieceNumbers.h"
#include "progress/Progress.h"
#include "progress/RunResult.h"
#include "settings/Options.h"
#include "split/SplitEngine.h"
#include "stream/GranuleGainEdit.h"
#include "stream/OutputVerify.h"

namespace qm {

// How a plan ended (RunOutcome). Done: every piece it was to write is in place (also when the
// source ran out early, or nothing had to be written). Failed: the inputs were refused, the
// source could not be loaded, an output path was refused or a piece could not be written or
// put in place; the message says why. Cancelled: the cancel flag stopped it and every piece
// of the plan is gone.
using PlanResult = RunOutcome;

// Decides where the piece with the given numbers of source goes (the title digits play no part).
// True with *path set, or false with *message saying why (for example "Target exists and
// skipped"). The paths for which taken is true belong to earlier pieces of the same plan,
// which are put in place only when the plan ends: the collision policy treats them as
// existing files. The programs pass a wrapper of ResolveSplitOutputPath.
using SplitOutputResolver =
    std::function<bool(const std::filesystem::path& source, const PieceNumbers& numbers, const OutputTaken& taken,
                       std::filesystem::path* path, std::string* message)>;

// The resolver of the programs: ResolveSplitOutputPath with the placement options (folder,
// tree, folder per file, file-name template and digits, collision policy) of options.
SplitOutputResolver MakeSplitOutputResolver(const SplitterOptions& options);

// Makes the engine for one planner call from the options.
using SplitEngineFactory = std::function<std::unique_ptr<SplitEngine>(const SplitterOptions&)>;

// One piece of a plan as it was written (or, in a dry run, would be): where its own audio
// begins and ends in the source, its file and its ID3 title.
struct PlannedPiece {
    Millis begin = 0;
    Millis end = 0;
    std::filesystem::path output;
    std::string title;
};

// What every planner is handed by its caller.
struct SplitPlanContext {
    const SplitterOptions* options = nullptr;
    // The per-file bar, the pump and the cancel flag. The status text is not used.
    LongOperation operation;
    SplitOutputResolver resolve;
    // Null: CreateSplitEngine.
    SplitEngineFactory makeEngine;
    // Each piece is checked once complete (VerifyMp3File against what the engine wrote into
    // it), on a thread of its own while the next piece is written. A piece that fails its
    // check fails the plan with VerificationFailedMessage: neither it nor the pieces after it
    // are put in place (those before it are, as for any failed plan).
    bool verifyOutputs = false;
    // Called on the checking thread with each piece's file before its check (tests damage it).
    OutputVerifier::BeforeCheck beforeCheck;
    // A dry run plans every piece as a real run would, with the same cuts, names and titles,
    // and creates, writes and checks nothing; its outputs list the files it would write.
    bool dryRun = false;
    // Told of each piece once it is written (or planned, in a dry run); null: nobody.
    std::function<void(const PlannedPiece&)> onPiece;
    // What a volume change and lossless fades did to the pieces' granules is added here; null:
    // nobody asks.
    GainEditCount* gainCounts = nullptr;
};

// The engine the options ask for to split source: the re-encoding engine when re-encoding is
// on, or a fade for a Layer I or II source (with its encoder settings), else the direct engine
// (which fades Layer III pieces by their granules' gain).
std::unique_ptr<SplitEngine> CreateSplitEngine(const SplitterOptions& options, const std::filesystem::path& source);

// A size typed as a decimal number (the size text) times the unit's bytes, truncated; text
// that does not start with a number reads as 0.
std::uint64_t PieceSizeBytes(std::string_view sizeText, SizeUnitCode unit);

}  // namespace qm
