#pragma once

// The loudness figures a Layer III frame carries in its side information, read without
// decoding: each granule's global gain (the quantiser's step size), the Huffman tables its
// regions chose (which bound its largest value), and how far scale factors may lower a
// value below the step; and the rough level in dBFS they give.

#include <array>
#include <cstdint>

#include "stream/MpegHeader.h"

namespace qm {

// The side-information figures of one granule of one channel.
struct GranuleFigures {
    int part23Bits = 0;          // part2_3_length: bits of scale factors and Huffman data
    int bigValues = 0;           // big_values: pairs of spectral values coded with the big tables
    int globalGain = 0;          // global_gain: 0..255, the step size is 2^((globalGain - 210) / 4)
    int largestValue = 0;        // the least largest quantised magnitude the chosen tables imply
    float maxAttenuationDb = 0;  // the most scale factors, preflag and subblock gain lower a value
};

// The granules of one frame: two granules of up to two channels in MPEG-1, one granule in
// MPEG-2 and 2.5.
struct FrameGranules {
    std::array<GranuleFigures, 4> granules{};
    int count = 0;
};

// Reads the granules of a whole Layer III frame with that header. False for another layer
// and for a frame too short to hold its side information.
[[nodiscard]] bool ReadFrameGranules(const std::uint8_t* frame, const Mp3FrameHeader& header, FrameGranules* out);

// The level given to a frame whose samples are all zero: below any level 16-bit audio can
// reach (one sample of one step in a frame of 2304 samples is about -124 dBFS).
inline constexpr float kDigitalSilenceDb = -150.0f;

// The rough level of a frame in dBFS (an RMS of 0 dB is a full-scale square wave) from its
// granules: kDigitalSilenceDb when no granule codes any value. It errs low: it counts only
// the least largest value the tables allow, lowered as far as the scale factors could, so a
// frame below a threshold in truth has a rough level below that threshold plus
// kRoughLevelMarginDb.
float RoughLevelDb(const FrameGranules& granules);

// How far above the threshold a rough level may lie and still make its frame a candidate
// for decoding.
inline constexpr float kRoughLevelMarginDb = 10.0f;

}  // namespace qm
