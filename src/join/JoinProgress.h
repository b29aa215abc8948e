#pragma once

// The progress protocol both joins follow: a status line "Joining N files into NAME...P%"
// and a bar over the bar's width in pixels, both spread evenly over the sources and both
// only ever growing; a pump and a cancel check after every unit of output.

#include <cstdint>
#include <string>

#include "progress/Progress.h"

namespace qm {

class JoinProgress {
public:
    JoinProgress(const LongOperation& operation, int sourceCount, std::string targetName);

    // Sets the bar's range and position 0 and the status text at 0%.
    void Begin();
    // Starts source index (from 0) of sizeUnits units (bytes of file or of decoded PCM);
    // pumps and returns false when the user asked to stop.
    [[nodiscard]] bool StartSource(int index, std::uint64_t sizeUnits);
    // Reports the source's position in the same unit; pumps and returns false when the user
    // asked to stop.
    [[nodiscard]] bool Advance(std::uint64_t positionUnits);

private:
    void ShowPercent(int percent);

    const LongOperation& m_operation;
    int m_sourceCount;
    std::string m_targetName;
    int m_widthPixels = 0;
    std::uint64_t m_percentDivisor = 1;
    std::uint64_t m_barDivisor = 1;
    int m_percentBase = 0;
    int m_barBase = 0;
    int m_lastPercent = 0;
    int m_lastBar = 0;
};

}  // namespace qm
