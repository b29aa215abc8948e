#pragma once

// The MPEG audio frame header: its validity tests, decoding, and the standard tables
// (ISO/IEC 11172-3 and 13818-3; MPEG-2.5 shares the MPEG-2 rows).

#include <cstdint>

namespace qm {

enum class MpegVersion : int { Mpeg25 = 0, Reserved = 1, Mpeg2 = 2, Mpeg1 = 3 };

// One decoded 4-byte frame header.
struct Mp3FrameHeader {
    MpegVersion version = MpegVersion::Mpeg1;
    int layer = 3;             // 1, 2 or 3
    int sampleRateHz = 0;
    int bitRateKbps = 0;
    int padding = 0;           // 0 or 1
    int channelMode = 0;       // 0 stereo, 1 joint stereo, 2 dual channel, 3 single channel
    int samplesPerFrame = 0;
    int sideInfoBytes = 0;     // Layer III side information size (taken for every layer)
    int frameBytes = 0;        // header included
    std::uint64_t frameOffset = 0;  // file offset of the frame's first byte
};

// True when the four bytes pass the seven header tests: sync, version not reserved, layer
// not reserved, bit-rate index neither free (0) nor bad (15), sample-rate index not 3,
// emphasis not the reserved value 2.
bool IsValidMp3FrameHeader(const std::uint8_t* bytes);

// Decodes a header that passed IsValidMp3FrameHeader; frameOffset is left at 0.
Mp3FrameHeader DecodeMp3FrameHeader(const std::uint8_t* bytes);

// Nearest of the standard bit rates 8, 16, ..., 256, 320 kbit/s to kbps; the lower one at
// equal distance; 320 above the table, 8 below it.
int SnapBitRate(int kbps);

}  // namespace qm
