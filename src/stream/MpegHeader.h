#pragma once

// The MPEG audio frame header: its validity tests, decoding, and the standard tables
// (ISO/IEC 11172-3 and 13818-3; MPEG-2.5 shares the MPEG-2 rows).

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "stream/ChannelMode.h"

namespace qm {

enum class MpegVersion : int { Mpeg25 = 0, Reserved = 1, Mpeg2 = 2, Mpeg1 = 3 };

// One decoded 4-byte frame header.
struct Mp3FrameHeader {
    MpegVersion version = MpegVersion::Mpeg1;
    int layer = 3;  // 1, 2 or 3
    int sampleRateHz = 0;
    int bitRateKbps = 0;
    int padding = 0;  // 0 or 1
    ChannelMode channelMode = ChannelMode::Stereo;
    int samplesPerFrame = 0;
    int sideInfoBytes = 0;          // Layer III side information size (taken for every layer)
    int frameBytes = 0;             // header included
    std::uint64_t frameOffset = 0;  // file offset of the frame's first byte
};

// True when the four bytes pass the seven header tests: sync, version not reserved, layer
// not reserved, bit-rate index neither free (0) nor bad (15), sample-rate index not 3,
// emphasis not the reserved value 2.
bool IsValidMp3FrameHeader(const std::uint8_t* bytes);

// Decodes a header that passed IsValidMp3FrameHeader; frameOffset is left at 0.
Mp3FrameHeader DecodeMp3FrameHeader(const std::uint8_t* bytes);

// Whether two frames can follow each other in one stream: the same MPEG version, layer,
// sample rate and channel count (stereo, joint stereo and dual channel mix freely); bit
// rates may differ. A false sync in junk passes the header tests but seldom this one.
bool SameStreamFormat(const Mp3FrameHeader& a, const Mp3FrameHeader& b);

// Where a Layer III frame's main data (scale factors and Huffman bits) lies. It may begin in
// the frames before it, the bit reservoir: beginBytes back from the start of this frame's
// own room, counted in the rooms of the frames before it (their bytes after header, CRC and
// side information). A decoder that starts at a frame lacks the reservoir it needs.
struct Layer3MainData {
    int beginBytes = 0;  // main_data_begin: 0..511 (MPEG-1), 0..255 (MPEG-2 and 2.5)
    int roomBytes = 0;   // bytes after the header, CRC and side information
};

// The main-data figures of a whole frame with that header; both 0 for Layers I and II, which
// have no reservoir, and for a frame too short to hold its side information.
Layer3MainData Layer3MainDataOf(const std::uint8_t* frame, const Mp3FrameHeader& header);

// Bytes in an ID3v2 tag header.
constexpr std::size_t kId3v2HeaderBytes = 10;

enum class Id3v2Footer { Ignore, Count };

// Size of the ID3v2 tag that begins with these ten bytes, header included (the 28-bit
// synchsafe size of bytes 6..9 plus 10); with Id3v2Footer::Count also the 10-byte footer
// an ID3v2.4 tag announces in its flags. 0 when the bytes do not begin with "ID3".
std::uint64_t Id3v2TagBytes(const std::uint8_t* first10Bytes, Id3v2Footer footer);

// "Xing" or "Info" when the frame carries that tag 4 + sideInfoBytes bytes into it (where
// the Layer III side information ends); empty when it does not or the frame is too short.
std::string_view XingTagOf(const std::uint8_t* frame, std::size_t frameBytes, int sideInfoBytes);

// Nearest of the standard bit rates 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144,
// 160, 192, 224, 256, 320 kbit/s to kbps; the lower one at equal distance; 320 above the
// table, 8 below it.
int SnapBitRate(int kbps);

}  // namespace qm
