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
// Two sets exist. The manual splitter page's planners (namespace page_plans) split by size,
// count, time or a hand-made pieces list and number their pieces 1..count. The batch
// planners (namespace batch_plans) split by size, count, time or one custom range, number
// the pieces with the run's general sequence number and honour the first-N-pieces option.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "output/OutputPath.h"
#include "progress/Progress.h"
#include "settings/Options.h"
#include "split/SplitEngine.h"

namespace qm {

// Decides where piece pieceNumber of total (general sequence number sequence) of source goes.
// True with *path set, or false with *message saying why (for example "Target exists and
// skipped"). The paths for which taken is true belong to earlier pieces of the same plan,
// which are put in place only when the plan ends: the collision policy treats them as
// existing files. The programs pass a wrapper of ResolveSplitOutputPath.
using SplitOutputResolver =
    std::function<bool(const std::filesystem::path& source, int pieceNumber, int total,
                       int sequence, const OutputTaken& taken, std::filesystem::path* path,
                       std::string* message)>;

// The resolver of the programs: ResolveSplitOutputPath with the placement options (folder,
// tree, folder per file, file-name template and digits, collision policy) of options.
SplitOutputResolver MakeSplitOutputResolver(const SplitterOptions& options);

// One hand-made piece of the manual splitter's list. The rows cover the whole file in
// order without gaps: the first starts at 0, each starts where the previous one ends.
struct PieceRow {
    int startTenths = 0;
    int endTenths = 0;
    bool checked = true;               // write this piece; unchecked rows are read and skipped
    std::filesystem::path outputPath;  // set once the piece has been written
};

// Makes the engine for one planner call from the options.
using SplitEngineFactory = std::function<std::unique_ptr<SplitEngine>(const SplitterOptions&)>;

// What every planner is handed by its caller.
struct SplitPlanContext {
    const SplitterOptions* options = nullptr;
    // The per-file bar, the pump and the cancel flag. The status text is not used.
    LongOperation operation;
    SplitOutputResolver resolve;
    // Null: CreateSplitEngine.
    SplitEngineFactory makeEngine;
};

// The engine the options ask for: the re-encoding engine when re-encoding or a fade is on
// (with its encoder settings), else the direct engine.
std::unique_ptr<SplitEngine> CreateSplitEngine(const SplitterOptions& options);

// A size typed as a decimal number (the size text) times the unit's bytes, truncated; text
// that does not start with a number reads as 0.
std::uint64_t PieceSizeBytes(std::string_view sizeText, SizeUnitCode unit);
// Seconds typed with one decimal ("12.5", "12", ".5", "") as tenths; a second decimal digit
// is ignored and a negative value reads as 0.
int SecondsTextToTenths(std::string_view text);

// The manual splitter page's planners. Each returns true when done, stopped or cancelled
// (the pieces of a cancelled run are deleted) and false with *message set when the inputs
// were refused, the source could not be loaded, an output path was refused or a piece could
// not be written (or put in place). *outputs is emptied first and then lists exactly the
// files the plan left in place.
namespace page_plans {

// What the page knows of its loaded file.
struct PageSource {
    std::filesystem::path path;
    std::uint64_t fileSizeBytes = 0;
    int durationTenths = 0;
};

bool PlanBySize(const SplitPlanContext& context, const PageSource& source, std::uint64_t sizeBytes,
                std::vector<std::filesystem::path>* outputs, std::string* message);
bool PlanByCount(const SplitPlanContext& context, const PageSource& source, int count,
                 std::vector<std::filesystem::path>* outputs, std::string* message);
// pieceTenths: minutes × 600 + seconds × 10 as typed on the page.
bool PlanByTime(const SplitPlanContext& context, const PageSource& source, int pieceTenths,
                std::vector<std::filesystem::path>* outputs, std::string* message);
// Rows are consumed one after the other: only their lengths count. With sequence null a
// piece's %S% is its row number; otherwise the pieces written take *sequence, *sequence + 1,
// ... and *sequence is advanced past them.
bool PlanManualPieces(const SplitPlanContext& context, const std::filesystem::path& source,
                      std::vector<PieceRow>* rows, std::vector<std::filesystem::path>* outputs,
                      std::string* message, int* sequence = nullptr);

}  // namespace page_plans

// The batch splitter's planners. Each returns true when the file is done (also when nothing
// had to be written) and false when it failed (with *message set) or was cancelled (the
// file's pieces deleted, message empty). *sequence is the run's general sequence number and
// grows by one for each piece written. The plans by count, by time and by custom range
// work on the entry's whole seconds; a file shorter than a second (0 s) is measured, and
// a begin point within the last part-second of a file is checked against its real length.
namespace batch_plans {

// One file of a batch run.
struct BatchEntry {
    std::filesystem::path path;
    int durationSeconds = 0;
    std::vector<std::filesystem::path> outputs;  // the files written for it in the last run
};

bool PlanBySize(const SplitPlanContext& context, BatchEntry* entry, std::uint64_t sizeBytes,
                int* sequence, std::string* message);
bool PlanByCount(const SplitPlanContext& context, BatchEntry* entry, int count, int* sequence,
                 std::string* message);
bool PlanByTime(const SplitPlanContext& context, BatchEntry* entry, int pieceTenths,
                int* sequence, std::string* message);
// One piece from beginTenths on, lengthTenths long (0 = to the end), without overlaps.
bool PlanCustomRange(const SplitPlanContext& context, BatchEntry* entry, int beginTenths,
                     int lengthTenths, int* sequence, std::string* message);

}  // namespace batch_plans

}  // namespace qm
