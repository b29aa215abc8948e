#include "stream/MpegHeader.h"

#include <array>
#include <cstdlib>
#include <cstring>

namespace qm {

namespace {

// Rows: layer number L (0 Layer I, 1 Layer II, 2 Layer III) + 3 * LSF (0 MPEG-1, 1 MPEG-2
// and MPEG-2.5). Columns: bit-rate index 0..14 in kbit/s (index 0 is free format, rejected
// before decoding; index 15 is forbidden).
constexpr std::array<std::array<int, 15>, 6> kBitRateKbps{{
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},  // MPEG-1 Layer I
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},     // MPEG-1 Layer II
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},      // MPEG-1 Layer III
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},     // MPEG-2 Layer I
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},          // MPEG-2 Layer II
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},          // MPEG-2 Layer III
}};

// Per row: samples in one frame, the frame-length coefficient and the slot size in bytes.
// Layer I counts its length in 4-byte slots, the other layers in bytes.
struct RowShape {
    int samplesPerFrame;
    int coefficient;
    int slotBytes;
};
constexpr std::array<RowShape, 6> kRowShape{{
    {384, 12, 4},
    {1152, 144, 1},
    {1152, 144, 1},
    {384, 12, 4},
    {1152, 144, 1},
    {576, 72, 1},
}};

// Sample rate by the version bits (0 MPEG-2.5, 1 reserved, 2 MPEG-2, 3 MPEG-1) and the
// sample-rate index 0..2.
constexpr std::array<std::array<int, 3>, 4> kSampleRateHz{{
    {11025, 12000, 8000},
    {0, 0, 0},
    {22050, 24000, 16000},
    {44100, 48000, 32000},
}};

// Layer III side information in bytes by LSF and whether the frame is single channel.
constexpr int kSideInfoBytes[2][2] = {
    {32, 17},  // MPEG-1: two channels, one channel
    {17, 9},   // MPEG-2 and MPEG-2.5
};

// The standard Layer III bit rates a re-encoder can be asked for.
constexpr std::array<int, 18> kStandardKbps{8,  16,  24,  32,  40,  48,  56,  64,  80,
                                            96, 112, 128, 144, 160, 192, 224, 256, 320};

// Frame length in bytes, header included: whole slots of the frame (truncated), plus the
// padding slot, times the slot size.
constexpr int Mp3FrameBytes(int bitRateKbps, int sampleRateHz, int padding, int coefficient, int slotBytes) {
    if (sampleRateHz <= 0) return 0;
    const long long slots = static_cast<long long>(coefficient) * bitRateKbps * 1000 / sampleRateHz + padding;
    return static_cast<int>(slots * slotBytes);
}

}  // namespace

bool IsValidMp3FrameHeader(const std::uint8_t* bytes) {
    // Byte 0 and the top three bits of byte 1 are the sync: eleven bits all set.
    if (bytes[0] != 0xFF) return false;
    if ((bytes[1] & 0xE0) != 0xE0) return false;
    // Version bits 000xx000 of byte 1: 01 is reserved.
    if ((bytes[1] & 0x18) == 0x08) return false;
    // Layer bits 00000xx0 of byte 1: 00 is reserved.
    if ((bytes[1] & 0x06) == 0) return false;
    // The bit-rate index is the high nibble of byte 2: 0000 is free format (its frame length
    // cannot be computed from the header), 1111 is forbidden.
    const int bitRateBits = bytes[2] & 0xF0;
    if (bitRateBits == 0xF0 || bitRateBits == 0) return false;
    // Sample-rate index 0000xx00 of byte 2: 11 is reserved.
    if ((bytes[2] & 0x0C) == 0x0C) return false;
    // Emphasis, the low two bits of byte 3: 10 is reserved.
    if ((bytes[3] & 0x03) == 2) return false;
    return true;
}

namespace {

// Frame lengths by version bits, row, bit-rate index, sample-rate index and padding, worked
// out once: the header is decoded for every frame read, and a division per frame showed in
// profiles. (The reserved version's entries are 0, like its sample rates.)
using FrameLengthTable = std::array<std::array<std::array<std::array<std::array<int, 2>, 3>, 15>, 6>, 4>;

constexpr FrameLengthTable MakeFrameLengthTable() {
    FrameLengthTable table{};
    for (int version = 0; version < 4; ++version) {
        for (int row = 0; row < 6; ++row) {
            for (int bitRate = 0; bitRate < 15; ++bitRate) {
                for (int rate = 0; rate < 3; ++rate) {
                    for (int padding = 0; padding < 2; ++padding) {
                        table[version][row][bitRate][rate][padding] =
                            Mp3FrameBytes(kBitRateKbps[row][bitRate], kSampleRateHz[version][rate], padding,
                                          kRowShape[row].coefficient, kRowShape[row].slotBytes);
                    }
                }
            }
        }
    }
    return table;
}

constexpr FrameLengthTable kFrameLengths = MakeFrameLengthTable();

}  // namespace

Mp3FrameHeader DecodeMp3FrameHeader(const std::uint8_t* bytes) {
    Mp3FrameHeader header;
    const int versionBits = (bytes[1] >> 3) & 0x03;
    const int layerBits = (bytes[1] >> 1) & 0x03;
    header.version = static_cast<MpegVersion>(versionBits);
    header.layer = 4 - layerBits;  // 3 Layer I, 2 Layer II, 1 Layer III

    const int lsf = header.version == MpegVersion::Mpeg1 ? 0 : 1;
    const int layerNumber = 3 - layerBits;  // 0 Layer I, 1 Layer II, 2 Layer III
    const int row = layerNumber + 3 * lsf;

    // Byte 2: bit-rate index 1111xxxx, sample-rate index xxxx11xx, padding xxxxxx1x.
    const int bitRateIndex = (bytes[2] >> 4) & 0x0F;
    const int sampleRateIndex = (bytes[2] >> 2) & 0x03;
    header.bitRateKbps = bitRateIndex < 15 ? kBitRateKbps[row][bitRateIndex] : 0;
    header.sampleRateHz = sampleRateIndex < 3 ? kSampleRateHz[versionBits][sampleRateIndex] : 0;
    header.padding = (bytes[2] >> 1) & 0x01;
    // Byte 3: channel mode 11xxxxxx.
    header.channelMode = ChannelModeFromBits(bytes[3] >> 6);

    const RowShape& shape = kRowShape[row];
    header.samplesPerFrame = shape.samplesPerFrame;
    header.sideInfoBytes = kSideInfoBytes[lsf][ChannelCountOf(header.channelMode) == 1 ? 1 : 0];
    if (bitRateIndex < 15 && sampleRateIndex < 3) {
        header.frameBytes = kFrameLengths[versionBits][row][bitRateIndex][sampleRateIndex][header.padding];
    } else {
        header.frameBytes =
            Mp3FrameBytes(header.bitRateKbps, header.sampleRateHz, header.padding, shape.coefficient, shape.slotBytes);
    }
    return header;
}

bool SameStreamFormat(const Mp3FrameHeader& a, const Mp3FrameHeader& b) {
    const bool monoA = a.channelMode == ChannelMode::Mono;
    const bool monoB = b.channelMode == ChannelMode::Mono;
    return a.version == b.version && a.layer == b.layer && a.sampleRateHz == b.sampleRateHz && monoA == monoB;
}

Layer3MainData Layer3MainDataOf(const std::uint8_t* frame, const Mp3FrameHeader& header) {
    if (header.layer != 3) return {};
    // A clear protection bit (byte 1, xxxxxxx1) means a 16-bit CRC follows the header.
    constexpr int kHeaderBytes = 4;
    const int crcBytes = (frame[1] & 0x01) == 0 ? 2 : 0;
    const int sideInfoAt = kHeaderBytes + crcBytes;
    const int roomBytes = header.frameBytes - sideInfoAt - header.sideInfoBytes;
    if (roomBytes < 0) return {};
    // The side information opens with main_data_begin: 9 bits in MPEG-1, 8 bits in MPEG-2
    // and MPEG-2.5, whose reservoir is half as deep.
    const std::uint8_t* side = frame + sideInfoAt;
    const int beginBytes = header.version == MpegVersion::Mpeg1 ? (side[0] << 1) | (side[1] >> 7) : side[0];
    return {beginBytes, roomBytes};
}

std::uint64_t Id3v2TagBytes(const std::uint8_t* first10Bytes, Id3v2Footer footer) {
    if (std::memcmp(first10Bytes, "ID3", 3) != 0) return 0;
    // Bytes 6..9 hold the tag size without the header as a synchsafe integer: seven bits of
    // each byte, byte 6 most significant (the top bit of each byte is kept clear so that
    // the size never looks like a frame sync).
    std::uint64_t size = 0;
    for (int i = 6; i < 10; ++i) size = (size << 7) | (first10Bytes[i] & 0x7F);
    size += kId3v2HeaderBytes;
    // ID3v2.4 may append a copy of the header ("3DI") after the tag; flag bit 4 of byte 5.
    constexpr std::uint8_t kFooterFlag = 0x10;
    constexpr std::uint8_t kVersionWithFooter = 4;
    if (footer == Id3v2Footer::Count && first10Bytes[3] == kVersionWithFooter && (first10Bytes[5] & kFooterFlag) != 0) {
        size += kId3v2HeaderBytes;
    }
    return size;
}

std::string_view XingTagOf(const std::uint8_t* frame, std::size_t frameBytes, int sideInfoBytes) {
    constexpr std::size_t kHeaderBytes = 4;
    constexpr std::size_t kTagBytes = 4;
    if (sideInfoBytes < 0) return {};
    const std::size_t at = kHeaderBytes + static_cast<std::size_t>(sideInfoBytes);
    if (frameBytes < at + kTagBytes) return {};
    if (std::memcmp(frame + at, "Xing", kTagBytes) == 0) return "Xing";
    if (std::memcmp(frame + at, "Info", kTagBytes) == 0) return "Info";
    return {};
}

int SnapBitRate(int kbps) {
    int best = kStandardKbps.front();
    for (const int candidate : kStandardKbps) {
        // Strictly closer only: at equal distance the lower rate, met first, stays.
        if (std::abs(candidate - kbps) < std::abs(best - kbps)) best = candidate;
    }
    return best;
}

}  // namespace qm
