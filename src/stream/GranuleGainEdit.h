#pragma once

// Level changes of a Layer III stream without decoding it: each granule's global_gain (8 bits
// per granule and channel in the side information) scales the whole granule by 2^(1/4) a step,
// so stepping that field alone fades a stream in or out or changes its level while every
// frame keeps its size and its main data. Also where the side information's fields lie, and
// the frame CRC that covers them.

#include <cstdint>
#include <span>

#include "stream/MpegHeader.h"

namespace qm {

// Where the side information of one Layer III frame lies and how it is laid out.
struct Layer3SideInfo {
    int byteOffset = 0;    // from the frame's first byte: 4, or 6 after a CRC
    int bytes = 0;         // 17 mono or 32 (MPEG-1), 9 mono or 17 (MPEG-2 and 2.5)
    int granuleCount = 0;  // 2 (MPEG-1) or 1 (MPEG-2 and 2.5)
    int channelCount = 0;  // 1 or 2
    bool hasCrc = false;   // the protection bit is clear: a 16-bit CRC follows the header
    bool mpeg1 = false;    // MPEG-1's field widths (else MPEG-2's)

    // The bit, counted from the side information's first bit, where a granule's fields of one
    // channel begin (its part2_3_length); granule 0..granuleCount-1, channel 0..channelCount-1.
    int ChannelBit(int granule, int channel) const;
    // The bit where that granule's global_gain of that channel begins.
    int GlobalGainBit(int granule, int channel) const;
};

// The side information of a Layer III frame with that header. False for another layer and
// for a frame (all its bytes) too short to hold the header, CRC and side information.
[[nodiscard]] bool Layer3SideInfoOf(std::span<const std::uint8_t> frame, const Mp3FrameHeader& header,
                                    Layer3SideInfo* out);

// bitCount (at most 24) bits from bitOffset on, most significant bit first as MPEG stores them.
// The caller keeps them inside bytes.
int ReadBits(const std::uint8_t* bytes, int bitOffset, int bitCount);
// Writes the low bitCount bits of value there; the bits around them stay.
void WriteBits(std::uint8_t* bytes, int bitOffset, int bitCount, int value);

// The frame CRC of a Layer III frame (CRC-16, polynomial 0x8005, start value 0xFFFF, not
// reflected) over the header's bytes 2 and 3 and the side information: the value a protected
// frame stores big-endian right after its header. The layout comes from Layer3SideInfoOf.
std::uint16_t Layer3FrameCrc(std::span<const std::uint8_t> frame, const Layer3SideInfo& side);

// What to do to one granule's global_gain: add a whole number of steps of 2^(1/4) (1.505 dB;
// negative lowers), or, when silent, set it to 0 whatever it holds (a granule that quiet is
// below anything 16-bit audio can carry).
struct GainChange {
    int steps = 0;
    bool silent = false;
    friend bool operator==(const GainChange&, const GainChange&) = default;
};
inline constexpr GainChange kSilentGranule{0, true};

// Both changes at once (a fade in, a fade out and a gain on one granule): silent when either
// is, else the sum of their steps.
GainChange Combined(GainChange a, GainChange b);

// What ApplyGranuleSteps did, added up over the frames it is handed.
struct GainEditCount {
    std::int64_t changedFields = 0;  // global_gain fields asked for a change (steps or silence)
    std::int64_t clampedHigh = 0;    // raised past 255 and held at 255
    std::int64_t clampedLow = 0;     // lowered past 0 and held at 0
    std::int64_t silenced = 0;       // set to 0 by a silent request
};

// Applies granuleChanges[g] to the global_gain of every channel of granule g of a whole Layer
// III frame with that header (both channels alike, as joint stereo's mid/side needs): one
// change per granule, 2 in MPEG-1 and 1 in MPEG-2 and 2.5 (extra ones are not read). Only
// those bits change, and the CRC of a protected frame is written anew when one did; the
// frame's size and main data stay. False, with the frame untouched, for another layer, for a
// frame too short for its side information and for fewer changes than granules. counts (may
// be null) is added to. A Xing/Info frame holds no audio: the caller leaves it alone.
[[nodiscard]] bool ApplyGranuleSteps(std::span<std::uint8_t> frame, const Mp3FrameHeader& header,
                                     std::span<const GainChange> granuleChanges, GainEditCount* counts);

// The change a fade-in gives one granule: the linear amplitude ramp over the piece's first
// fadeSamples samples (gain 0 at sample 0, 1 at sample fadeSamples) taken at the granule's
// middle sample, in whole steps to the nearest. granuleStartSample counts from the piece's
// first sample (negative before it); a granule of 576 samples (1152 per MPEG-1 frame). Silent
// where the gain is 0 or below what 255 steps reach; no change past the fade or when
// fadeSamples is 0 or less.
GainChange FadeInSteps(std::int64_t granuleStartSample, int granuleSamples, std::int64_t fadeSamples);
// The change a fade-out gives one granule: the mirror of the fade-in, the gain falling
// linearly to 0 at the piece's last sample (pieceSamples - 1) over its last fadeSamples
// samples. A fade longer than the piece keeps its slope: the piece begins partway down.
GainChange FadeOutSteps(std::int64_t granuleStartSample, int granuleSamples, std::int64_t fadeSamples,
                        std::int64_t pieceSamples);

// The whole number of steps nearest to a gain in dB (-6 dB gives -4), half a step away from
// zero; held within -1000..1000 dB, far past what the field's 0..255 can take.
int GainSteps(double db);

}  // namespace qm
