#pragma once

// The volume change on the command line: the --gain option of split and join, and what its
// outcome line and JSON record say about the gain applied.

#include <cstdint>
#include <optional>
#include <string>

#include "cli/JsonReport.h"

namespace CLI {
class App;
}

namespace qm::cli {

// Adds --gain DB (-100..+100, a decimal number) to a command that writes files.
void AddGainOption(CLI::App* command, std::optional<double>* db);

// The gain of --gain in the options' tenths of a dB, to the nearest; 0 when it is not given.
int GainTenthsDb(const std::optional<double>& db);

// The gain whole global_gain steps give in dB: what a frame copied or cut directly changes by.
double WholeStepsDb(int tenthsDb);

// The end of an outcome line for a gain: ", gain -6.0 dB" (the gain applied, one decimal) and,
// when some granules were held at the top of their global_gain range,
// ", 37 granules held at the top of their range".
std::string GainOutcomeText(double appliedDb, std::int64_t clampedHigh);

// Adds "gainDb" (the gain applied, one decimal) and "clampedGranules" to record's members.
void AddGainMembers(double appliedDb, std::int64_t clampedHigh, FileRecord* record);

}  // namespace qm::cli
