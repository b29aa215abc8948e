#include "stream/GranuleGainEdit.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace qm {
namespace {

constexpr int kHeaderBytes = 4;
constexpr int kCrcBytes = 2;

// The side information opens with main_data_begin, the private bits and, in MPEG-1 only, four
// scale-factor selection bits (scfsi) per channel: 9 + 5 + 4 bits mono and 9 + 3 + 8 stereo
// in MPEG-1, 8 + 1 mono and 8 + 2 stereo in MPEG-2 and 2.5.
constexpr int OpeningBits(bool mpeg1, int channels) {
    return mpeg1 ? 9 + (channels == 1 ? 5 : 3) + 4 * channels : 8 + channels;
}

// Then each granule holds one run of fields per channel: part2_3_length 12, big_values 9,
// global_gain 8, scalefac_compress 4 (MPEG-1) or 9 (MPEG-2 and 2.5), window_switching_flag 1,
// 22 bits that window_switching_flag lays out one of two ways, then preflag 1 (MPEG-1 only),
// scalefac_scale 1 and count1table_select 1. With window switching the 22 bits are block_type
// 2, mixed_block_flag 1, two table_select of 5 and three subblock_gain of 3; without it three
// table_select of 5, region0_count 4 and region1_count 3. Both come to 22 bits, so every run
// has the same length and the next channel's fields begin at the same place either way.
constexpr int kSwitchedLayoutBits = 2 + 1 + 2 * 5 + 3 * 3;
constexpr int kPlainLayoutBits = 3 * 5 + 4 + 3;
static_assert(kSwitchedLayoutBits == kPlainLayoutBits);
constexpr int ChannelRunBits(bool mpeg1) {
    return 12 + 9 + 8 + (mpeg1 ? 4 : 9) + 1 + kPlainLayoutBits + (mpeg1 ? 1 : 0) + 1 + 1;
}
constexpr int kGlobalGainAfterBits = 12 + 9;  // part2_3_length and big_values come first

// The runs fill the side information exactly: 136 and 256 bits in MPEG-1, 72 and 136 bits
// in MPEG-2 and 2.5.
constexpr int SideInfoBits(bool mpeg1, int channels) {
    return OpeningBits(mpeg1, channels) + (mpeg1 ? 2 : 1) * channels * ChannelRunBits(mpeg1);
}
static_assert(SideInfoBits(true, 1) == 17 * 8 && SideInfoBits(true, 2) == 32 * 8);
static_assert(SideInfoBits(false, 1) == 9 * 8 && SideInfoBits(false, 2) == 17 * 8);

// The frame CRC's table: polynomial 0x8005 (x^16 + x^15 + x^2 + 1), most significant bit first.
constexpr std::array<std::uint16_t, 256> MakeFrameCrcTable() {
    std::array<std::uint16_t, 256> table{};
    for (int byte = 0; byte < 256; ++byte) {
        std::uint16_t crc = static_cast<std::uint16_t>(byte << 8);
        for (int bit = 0; bit < 8; ++bit) {
            crc = static_cast<std::uint16_t>((crc & 0x8000) != 0 ? (crc << 1) ^ 0x8005 : crc << 1);
        }
        table[static_cast<std::size_t>(byte)] = crc;
    }
    return table;
}
constexpr std::array<std::uint16_t, 256> kFrameCrcTable = MakeFrameCrcTable();

std::uint16_t FrameCrcUpdate(std::uint16_t crc, std::span<const std::uint8_t> bytes) {
    for (const std::uint8_t byte : bytes) {
        crc = static_cast<std::uint16_t>((crc << 8) ^ kFrameCrcTable[((crc >> 8) ^ byte) & 0xFF]);
    }
    return crc;
}

// The field's range: 0..255, 8 bits.
constexpr int kGlobalGainBits = 8;
constexpr int kLargestGlobalGain = 255;
// Steps past any the field can take, so that a sum of steps cannot overflow.
constexpr int kStepsBound = 4 * kLargestGlobalGain;

// The new value of one global_gain field, counted into tally.
int SteppedGain(int gain, GainChange change, GainEditCount* tally) {
    if (change.silent) {
        ++tally->silenced;
        return 0;
    }
    const int stepped = gain + std::clamp(change.steps, -kStepsBound, kStepsBound);
    if (stepped > kLargestGlobalGain) {
        ++tally->clampedHigh;
        return kLargestGlobalGain;
    }
    if (stepped < 0) {
        ++tally->clampedLow;
        return 0;
    }
    return stepped;
}

// One step of global_gain in dB: 20 log10(2^(1/4)).
constexpr double kStepDb = 1.5051499783199060;
// A gain in dB held to this range before rounding: far past the field's 255 steps either way.
constexpr double kLargestGainDb = 1000.0;

// The change that scales a granule's amplitude by gain (0..1): silent at 0 and below what
// the field's whole range can lower.
GainChange ChangeOfAmplitude(double gain) {
    if (gain <= 0.0) return kSilentGranule;
    const int steps = GainSteps(20.0 * std::log10(gain));
    if (steps < -kLargestGlobalGain) return kSilentGranule;
    return {steps, false};
}

}  // namespace

int Layer3SideInfo::ChannelBit(int granule, int channel) const {
    return OpeningBits(mpeg1, channelCount) + (granule * channelCount + channel) * ChannelRunBits(mpeg1);
}

int Layer3SideInfo::GlobalGainBit(int granule, int channel) const {
    return ChannelBit(granule, channel) + kGlobalGainAfterBits;
}

bool Layer3SideInfoOf(std::span<const std::uint8_t> frame, const Mp3FrameHeader& header, Layer3SideInfo* out) {
    *out = {};
    if (header.layer != 3 || frame.size() < kHeaderBytes) return false;
    Layer3SideInfo side;
    side.mpeg1 = header.version == MpegVersion::Mpeg1;
    side.granuleCount = side.mpeg1 ? 2 : 1;
    side.channelCount = ChannelCountOf(header.channelMode);
    side.bytes = SideInfoBits(side.mpeg1, side.channelCount) / 8;
    // A clear protection bit (byte 1, xxxxxxx1) means a 16-bit CRC follows the header.
    side.hasCrc = (frame[1] & 0x01) == 0;
    side.byteOffset = kHeaderBytes + (side.hasCrc ? kCrcBytes : 0);
    if (frame.size() < static_cast<std::size_t>(side.byteOffset + side.bytes)) return false;
    *out = side;
    return true;
}

int ReadBits(const std::uint8_t* bytes, int bitOffset, int bitCount) {
    int value = 0;
    for (int bit = bitOffset; bit < bitOffset + bitCount; ++bit) {
        value = (value << 1) | ((bytes[bit >> 3] >> (7 - (bit & 7))) & 1);
    }
    return value;
}

void WriteBits(std::uint8_t* bytes, int bitOffset, int bitCount, int value) {
    for (int i = 0; i < bitCount; ++i) {
        const int bit = bitOffset + i;
        const auto mask = static_cast<std::uint8_t>(0x80 >> (bit & 7));
        const bool set = ((value >> (bitCount - 1 - i)) & 1) != 0;
        std::uint8_t& byte = bytes[bit >> 3];
        byte = static_cast<std::uint8_t>(set ? byte | mask : byte & ~mask);
    }
}

std::uint16_t Layer3FrameCrc(std::span<const std::uint8_t> frame, const Layer3SideInfo& side) {
    // The sync and the fields of bytes 0 and 1 are left out: the CRC begins at the bit rate.
    std::uint16_t crc = FrameCrcUpdate(0xFFFF, frame.subspan(2, 2));
    return FrameCrcUpdate(
        crc, frame.subspan(static_cast<std::size_t>(side.byteOffset), static_cast<std::size_t>(side.bytes)));
}

GainChange Combined(GainChange a, GainChange b) {
    if (a.silent || b.silent) return kSilentGranule;
    return {std::clamp(a.steps, -kStepsBound, kStepsBound) + std::clamp(b.steps, -kStepsBound, kStepsBound), false};
}

bool ApplyGranuleSteps(std::span<std::uint8_t> frame, const Mp3FrameHeader& header,
                       std::span<const GainChange> granuleChanges, GainEditCount* counts) {
    Layer3SideInfo side;
    if (!Layer3SideInfoOf(frame, header, &side)) return false;
    if (granuleChanges.size() < static_cast<std::size_t>(side.granuleCount)) return false;
    std::uint8_t* sideInfo = frame.data() + side.byteOffset;
    GainEditCount tally;
    bool changed = false;
    for (int granule = 0; granule < side.granuleCount; ++granule) {
        const GainChange change = granuleChanges[static_cast<std::size_t>(granule)];
        if (!change.silent && change.steps == 0) continue;
        for (int channel = 0; channel < side.channelCount; ++channel) {
            ++tally.changedFields;
            const int bit = side.GlobalGainBit(granule, channel);
            const int gain = ReadBits(sideInfo, bit, kGlobalGainBits);
            const int stepped = SteppedGain(gain, change, &tally);
            if (stepped == gain) continue;
            WriteBits(sideInfo, bit, kGlobalGainBits, stepped);
            changed = true;
        }
    }
    // A protected frame whose side information changed needs its CRC anew, or a decoder that
    // checks it drops the frame. One left as it was keeps its CRC, right or wrong.
    if (changed && side.hasCrc) {
        const std::uint16_t crc = Layer3FrameCrc(frame, side);
        frame[kHeaderBytes] = static_cast<std::uint8_t>(crc >> 8);
        frame[kHeaderBytes + 1] = static_cast<std::uint8_t>(crc & 0xFF);
    }
    if (counts != nullptr) {
        counts->changedFields += tally.changedFields;
        counts->clampedHigh += tally.clampedHigh;
        counts->clampedLow += tally.clampedLow;
        counts->silenced += tally.silenced;
    }
    return true;
}

GainChange FadeInSteps(std::int64_t granuleStartSample, int granuleSamples, std::int64_t fadeSamples) {
    if (fadeSamples <= 0) return {};
    // The middle of samples start .. start + n - 1; a granule of even length has it between two.
    const double middleSample = static_cast<double>(granuleStartSample) + (granuleSamples - 1) / 2.0;
    if (middleSample >= static_cast<double>(fadeSamples)) return {};
    return ChangeOfAmplitude(middleSample / static_cast<double>(fadeSamples));
}

GainChange FadeOutSteps(std::int64_t granuleStartSample, int granuleSamples, std::int64_t fadeSamples,
                        std::int64_t pieceSamples) {
    // Read backwards from the piece's last sample, the granule of samples a .. a + n - 1 lies at
    // pieceSamples - a - n .. pieceSamples - a - 1, and the fade-out is a fade-in.
    return FadeInSteps(pieceSamples - granuleStartSample - granuleSamples, granuleSamples, fadeSamples);
}

int GainSteps(double db) {
    if (std::isnan(db)) return 0;
    return static_cast<int>(std::lround(std::clamp(db, -kLargestGainDb, kLargestGainDb) / kStepDb));
}

}  // namespace qm
