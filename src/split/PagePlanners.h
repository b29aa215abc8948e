#pragma once

// The manual splitter page's planners: split one loaded file by size, count, time or a
// hand-made pieces list, numbering the pieces 1..count (see split/SplitPlanners.h for what
// every planner does).

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "marks/Marks.h"
#include "split/SplitInputs.h"
#include "split/SplitPlanners.h"

namespace qm {

// One hand-made piece of the manual splitter's list. The rows cover the whole file in
// order without gaps: the first starts at 0, each starts where the previous one ends.
struct PieceRow {
    int startTenths = 0;
    int endTenths = 0;
    bool checked = true;               // write this piece; unchecked rows are read and skipped
    std::filesystem::path outputPath;  // set once the piece has been written
    // What a mark loaded into the row says of its piece (its title is the pieces list's
    // "Title" column); the rows' titles name and title the pieces as marks do.
    std::string title{};
    std::string performer{};
    int track = 0;
    // The row's end as the mark it was loaded from gives it, finer than tenths; used while
    // endTenths still shows it (MillisToTenths), forgotten once the row is moved.
    Millis exactEnd = kToNextMark;

    // Where the piece ends: exactEnd while it matches endTenths, else endTenths.
    Millis EndMillis() const {
        return exactEnd != kToNextMark && MillisToTenths(exactEnd) == endTenths ? exactEnd : TenthsToMillis(endTenths);
    }
    bool HasExactEnd() const { return exactEnd != kToNextMark && MillisToTenths(exactEnd) == endTenths; }
};

// The rows of marks covering a file of durationTenths: one row a mark, each from its begin
// to the next mark's begin (a gap after a mark's end becomes an unchecked row), the first
// from 0 (an unchecked row before the first mark when it begins later). Titles, performers
// and track numbers go with their rows.
std::vector<PieceRow> RowsOfMarks(const MarkList& marks, int durationTenths);
// The marks of the checked rows (for a sheet or label file of the pieces).
MarkList MarksOfRows(const std::vector<PieceRow>& rows);

// Each planner returns how the plan ended (see PlanResult); a run the source ended early is
// done. *outputs is emptied first and then lists exactly the files the plan left in place.
namespace page_plans {

// What the page knows of its loaded file.
struct PageSource {
    std::filesystem::path path;
    std::uint64_t fileSizeBytes = 0;
    int durationTenths = 0;
};

[[nodiscard]] PlanResult PlanBySize(const SplitPlanContext& context, const PageSource& source, std::uint64_t sizeBytes,
                                    std::vector<std::filesystem::path>* outputs, std::string* message);
[[nodiscard]] PlanResult PlanByCount(const SplitPlanContext& context, const PageSource& source, int count,
                                     std::vector<std::filesystem::path>* outputs, std::string* message);
// pieceTenths: minutes × 600 + seconds × 10 as typed on the page.
[[nodiscard]] PlanResult PlanByTime(const SplitPlanContext& context, const PageSource& source, int pieceTenths,
                                    std::vector<std::filesystem::path>* outputs, std::string* message);
// Rows are consumed one after the other: only their lengths count. With sequence null a
// piece's %S% is its row number; otherwise the pieces written take *sequence, *sequence + 1,
// ... and *sequence is advanced past them. A row's outputPath is set while its file is among
// the outputs.
[[nodiscard]] PlanResult PlanManualPieces(const SplitPlanContext& context, const std::filesystem::path& source,
                                          std::vector<PieceRow>* rows, std::vector<std::filesystem::path>* outputs,
                                          std::string* message, int* sequence = nullptr);

// The manual splitter's plan of inputs.mode for its loaded file: by size, count or time, or
// (ByCustom) its hand-made rows, as the planners above; the inputs' custom range plays no part.
// Failed with the planner's message.
[[nodiscard]] RunResult PlanLoadedFile(const SplitPlanContext& context, const SplitInputs& inputs,
                                       const PageSource& source, std::vector<PieceRow>* rows,
                                       std::vector<std::filesystem::path>* outputs);

}  // namespace page_plans

}  // namespace qm
