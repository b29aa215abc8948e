#pragma once

// Helpers of the tests that read Xing/Info frames: the seek table worked out the slow way.
// (Their big-endian fields are read with stream/ByteOrder.h.)

#include <algorithm>
#include <cstdint>
#include <vector>

#include "stream/ByteOrder.h"
#include "stream/XingFrame.h"

namespace qm::xingtest {

// The seek table computed the slow way: for each percent of the frames, the share (of 256)
// of the audio bytes that lie before the frame playing then.
inline std::vector<int> ExactToc(const std::vector<std::uint32_t>& frameBytes) {
    std::vector<std::uint64_t> before(frameBytes.size() + 1, 0);
    for (std::size_t i = 0; i < frameBytes.size(); ++i) before[i + 1] = before[i] + frameBytes[i];
    std::vector<int> toc(kXingTocEntries, 0);
    if (before.back() == 0) return toc;
    for (std::size_t i = 1; i < kXingTocEntries; ++i) {
        const std::size_t frame = i * frameBytes.size() / kXingTocEntries;
        toc[i] = std::min(
            255, static_cast<int>(256.0 * static_cast<double>(before[frame]) / static_cast<double>(before.back())));
    }
    return toc;
}

}  // namespace qm::xingtest
