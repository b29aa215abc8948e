#include "cli/GainReport.h"

#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdio>

#include "join/JoinList.h"
#include "stream/GranuleGainEdit.h"

namespace qm::cli {

namespace {

// The widest volume change the options take, in dB either way.
constexpr double kMaxGainDb = 100.0;

// A gain to one decimal, as the outcome line shows it: -0.04 dB shows as 0.0, not -0.0.
double RoundedToTenths(double db) {
    const double tenths = std::round(db * 10.0);
    return tenths == 0.0 ? 0.0 : tenths / 10.0;
}

}  // namespace

void AddGainOption(CLI::App* command, std::optional<double>* db) {
    command
        ->add_option("--gain", *db,
                     "Change the volume by DB decibels; frames cut or joined directly change by whole 1.5 dB steps "
                     "of each granule's global gain, without re-encoding")
        ->type_name("DB")
        ->check(CLI::Range(-kMaxGainDb, kMaxGainDb));
}

int GainTenthsDb(const std::optional<double>& db) { return db ? static_cast<int>(std::lround(*db * 10.0)) : 0; }

double WholeStepsDb(int tenthsDb) { return GainSteps(tenthsDb / 10.0) * kGainStepDb; }

std::string GainOutcomeText(double appliedDb, std::int64_t clampedHigh) {
    char gain[32];
    std::snprintf(gain, sizeof gain, ", gain %.1f dB", RoundedToTenths(appliedDb));
    std::string text = gain;
    if (clampedHigh == 1) text += ", 1 granule held at the top of its range";
    if (clampedHigh > 1) text += ", " + std::to_string(clampedHigh) + " granules held at the top of their range";
    return text;
}

void AddGainMembers(double appliedDb, std::int64_t clampedHigh, FileRecord* record) {
    record->extra.emplace_back("gainDb", RoundedToTenths(appliedDb));
    record->extra.emplace_back("clampedGranules", clampedHigh);
}

}  // namespace qm::cli
