#pragma once

// The inputs of the split modes in the units the planners take, converted once from what a
// splitter page holds, for the batch splitter and the manual splitter alike.

#include <cstdint>

#include "settings/Options.h"

namespace qm {

struct SplitInputs {
    SplitTypeCode mode = SplitTypeCode::BySize;
    std::uint64_t sizeBytes = 0;  // by size
    int count = 2;                // by count
    int pieceTenths = 600;        // by time
    int beginTenths = 0;          // custom range (batch splitter)
    int lengthTenths = 10;        // custom range (batch splitter); 0 = to the end
    SilenceOptions silence{};     // by silence

    // The inputs as a page holds them: size text and unit, minutes and seconds, and the
    // custom range's begin and length texts in seconds with one decimal (read leniently).
    static SplitInputs FromSettings(const SplitSettings& settings);
};

}  // namespace qm
