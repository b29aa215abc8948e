#pragma once

// The batch splitter's planners: split one file of a batch run by size, count, time or one
// custom range (see split/SplitPlanners.h for what every planner does).

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "split/SplitPlanners.h"

namespace qm {

// Each planner returns how the plan ended (see PlanResult); a file with nothing to write is
// done. *sequence is the run's general sequence number and grows by one for each piece
// written. The plans by count, by time and by custom range work on the entry's whole
// seconds; a file shorter than a second (0 s) is measured, and a begin point within the last
// part-second of a file is checked against its real length.
namespace batch_plans {

// One file of a batch run.
struct BatchEntry {
    std::filesystem::path path;
    int durationSeconds = 0;
    std::vector<std::filesystem::path> outputs;  // the files written for it in the last run
};

[[nodiscard]] PlanResult PlanBySize(const SplitPlanContext& context, BatchEntry* entry, std::uint64_t sizeBytes,
                                    int* sequence, std::string* message);
[[nodiscard]] PlanResult PlanByCount(const SplitPlanContext& context, BatchEntry* entry, int count, int* sequence,
                                     std::string* message);
[[nodiscard]] PlanResult PlanByTime(const SplitPlanContext& context, BatchEntry* entry, int pieceTenths, int* sequence,
                                    std::string* message);
// One piece from beginTenths on, lengthTenths long (0 = to the end), without overlaps.
[[nodiscard]] PlanResult PlanCustomRange(const SplitPlanContext& context, BatchEntry* entry, int beginTenths,
                                         int lengthTenths, int* sequence, std::string* message);

}  // namespace batch_plans

}  // namespace qm
