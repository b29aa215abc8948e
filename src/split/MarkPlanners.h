#pragma once

// The planner of the marks of a file (a cue sheet, a label file, its chapters, its pauses):
// one piece a mark (see split/SplitPlanners.h for what every planner does).

#include <filesystem>
#include <string>
#include <vector>

#include "marks/Marks.h"
#include "split/SplitPlanners.h"

namespace qm::mark_plans {

// Writes one piece a mark of marks (in the order of their begins), from its begin to its end (or the next mark's begin;
// the last one to the end of the source), reading past the audio between a mark's end and the next begin. Pieces are
// numbered 1..count; %S% is the piece number, or with sequence given *sequence on (advanced past the pieces written).
// Each piece carries its mark's title, performer and track number, and the sheet's album, performer, genre and year
// stand in for the source's in its tag; when any mark has a title the pieces are named and titled from them where the
// templates are the default ones. firstPieces > 0 writes only that many. A mark at or beyond the end of the source
// writes nothing. *outputs lists the files left in place.
[[nodiscard]] PlanResult PlanMarks(const SplitPlanContext& context, const std::filesystem::path& source,
                                   const MarkList& marks, std::vector<std::filesystem::path>* outputs,
                                   std::string* message, int* sequence = nullptr, int firstPieces = 0);

}  // namespace qm::mark_plans
