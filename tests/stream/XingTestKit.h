#pragma once

// Helpers of the tests that read Xing/Info frames: a big-endian field and the seek table
// worked out the slow way.

#include <algorithm>
#include <cstdint>
#include <vector>

#include "stream/XingFrame.h"

namespace qm::xingtest {

// The 32-bit big-endian field at p, as the Xing fields are stored.
inline std::uint32_t BigEndian32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

// The seek table computed the slow way: for each percent of the frames, the share (of 256)
// of the audio bytes that lie before the frame playing then.
inline std::vector<int> ExactToc(const std::vector<std::uint32_t>& frameBytes) {
    std::vector<std::uint64_t> before(frameBytes.size() + 1, 0);
    for (std::size_t i = 0; i < frameBytes.size(); ++i) before[i + 1] = before[i] + frameBytes[i];
    std::vector<int> toc(kXingTocEntries, 0);
    if (before.back() == 0) return toc;
    for (std::size_t i = 1; i < kXingTocEntries; ++i) {
        const std::size_t frame = i * frameBytes.size() / kXingTocEntries;
        toc[i] = std::min(255, static_cast<int>(256.0 * static_cast<double>(before[frame]) /
                                                static_cast<double>(before.back())));
    }
    return toc;
}

}  // namespace qm::xingtest
