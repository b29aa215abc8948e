#include "marks/GranuleGain.h"

#include <algorithm>
#include <cmath>
#include <span>

#include "stream/GranuleGainEdit.h"

namespace qm {
namespace {

// Reads the side information most significant bit first, as it is stored, from a bit on.
class BitReader {
public:
    BitReader(const std::uint8_t* bytes, int bit) : m_bytes(bytes), m_bit(bit) {}
    int Read(int bitCount) {
        const int value = ReadBits(m_bytes, m_bit, bitCount);
        m_bit += bitCount;
        return value;
    }
    void Skip(int bitCount) { m_bit += bitCount; }

private:
    const std::uint8_t* m_bytes;
    int m_bit;
};

// The largest magnitude each of the Huffman tables 0..15 can code (0 for table 0, whose
// region holds zeros only, and for the unused tables 4 and 14), and the linbits of tables
// 16..31, which code 15 plus up to 2^linbits - 1 more.
constexpr std::array<int, 16> kTableLargest = {0, 1, 2, 2, 0, 3, 3, 5, 5, 5, 7, 7, 7, 15, 0, 15};
constexpr std::array<int, 16> kLinbits = {1, 2, 3, 4, 6, 8, 10, 13, 4, 5, 6, 7, 8, 9, 11, 13};

// The least largest magnitude a region coded with table must hold: an encoder takes the
// cheapest table that can code the region's largest value, so that value does not fit the
// next smaller table of the same family (tables 1..15 by their largest value; 16..23 and
// 24..31 by their linbits).
int LeastLargestValue(int table) {
    if (table < 16) {
        const int largest = kTableLargest[static_cast<std::size_t>(table)];
        int smaller = 0;
        for (int other = 1; other < 16; ++other) {
            const int value = kTableLargest[static_cast<std::size_t>(other)];
            if (value < largest) smaller = std::max(smaller, value);
        }
        return largest == 0 ? 0 : smaller + 1;
    }
    const std::size_t index = static_cast<std::size_t>(table - 16);
    const std::size_t familyStart = index < 8 ? 0 : 8;
    const int smallerLinbits = index == familyStart ? 0 : kLinbits[index - 1];
    return 15 + (smallerLinbits == 0 ? 1 : 1 << smallerLinbits);
}

// Scale-factor bit widths of MPEG-1 (slen1 for bands 0..10, slen2 for 11..20) by
// scalefac_compress.
constexpr std::array<int, 16> kSlen1 = {0, 0, 0, 0, 3, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4};
constexpr std::array<int, 16> kSlen2 = {0, 1, 2, 3, 0, 1, 2, 3, 1, 2, 3, 1, 2, 3, 2, 3};
// The largest pre-emphasis a set preflag adds to a band's scale factor (MPEG-1).
constexpr int kLargestPretab = 3;

// The widest scale factor of MPEG-2 and 2.5 by the 9-bit scalefac_compress: its four (or
// three) widths are packed into it in three ranges. Intensity-stereo right channels pack
// them differently (halved), but never wider than these 5 bits.
int Mpeg2WidestSlen(int compress) {
    if (compress < 400) return std::max({(compress >> 4) / 5, (compress >> 4) % 5, (compress & 15) >> 2, compress & 3});
    if (compress < 500) {
        const int c = compress - 400;
        return std::max({(c >> 2) / 5, (c >> 2) % 5, c & 3});
    }
    const int c = compress - 500;
    return std::max(c / 3, c % 3);
}

// Decibels of one step of a scale factor: each step lowers a value by 2^(-1/2), or by 2^-1
// with scalefac_scale set. A subblock gain step lowers a short window by 2^-2.
constexpr double kHalfStepDb = 3.0103;
constexpr double kSubblockStepDb = 12.0412;

}  // namespace

bool ReadFrameGranules(const std::uint8_t* frame, const Mp3FrameHeader& header, FrameGranules* out) {
    *out = {};
    Layer3SideInfo side;
    const std::span<const std::uint8_t> bytes(frame, static_cast<std::size_t>(std::max(header.frameBytes, 0)));
    if (!Layer3SideInfoOf(bytes, header, &side)) return false;
    for (int granule = 0; granule < side.granuleCount; ++granule) {
        for (int channel = 0; channel < side.channelCount; ++channel) {
            GranuleFigures& figures = out->granules[static_cast<std::size_t>(out->count++)];
            BitReader bits(frame + side.byteOffset, side.ChannelBit(granule, channel));
            // part2_3_length 12, big_values 9, global_gain 8, scalefac_compress 4 (MPEG-1) or
            // 9 bits, window_switching_flag 1.
            figures.part23Bits = bits.Read(12);
            figures.bigValues = bits.Read(9);
            figures.globalGain = bits.Read(8);
            const int compress = bits.Read(side.mpeg1 ? 4 : 9);
            const bool windowSwitching = bits.Read(1) != 0;
            // Then 22 bits: block_type 2, mixed_block_flag 1, two table_selects of 5 and three
            // subblock_gains of 3; or without window switching three table_selects of 5,
            // region0_count 4 and region1_count 3.
            int largestTable = 0;
            int subblockGain = 0;
            if (windowSwitching) {
                bits.Skip(3);
                largestTable = std::max(bits.Read(5), bits.Read(5));
                for (int window = 0; window < 3; ++window) subblockGain = std::max(subblockGain, bits.Read(3));
            } else {
                for (int region = 0; region < 3; ++region) largestTable = std::max(largestTable, bits.Read(5));
                bits.Skip(7);
            }
            // preflag (MPEG-1 only), scalefac_scale, count1table_select.
            const int preflag = side.mpeg1 ? bits.Read(1) : 0;
            const int scalefacScale = bits.Read(1);
            bits.Skip(1);
            const int widestSlen = side.mpeg1 ? std::max(kSlen1[static_cast<std::size_t>(compress)],
                                                         kSlen2[static_cast<std::size_t>(compress)])
                                              : Mpeg2WidestSlen(compress);
            const int largestScalefactor = (1 << widestSlen) - 1 + preflag * kLargestPretab;
            figures.maxAttenuationDb = static_cast<float>(largestScalefactor * kHalfStepDb * (1 + scalefacScale) +
                                                          subblockGain * kSubblockStepDb);
            // The count1 region codes magnitudes up to 1: a granule with bits holds at least that.
            figures.largestValue = std::max(LeastLargestValue(largestTable), figures.part23Bits > 0 ? 1 : 0);
        }
    }
    return true;
}

float RoughLevelDb(const FrameGranules& granules) {
    // A quantised magnitude v comes back as v^(4/3) times the step 2^((global_gain - 210) / 4),
    // lowered by the scale factors; its frame's RMS lies near that value (a pure tone puts
    // its energy in a few values, noise spreads it over many larger than the least largest).
    constexpr double kStepDbPerGain = 1.50515;     // 20 log10(2^(1/4))
    constexpr double kValueDbPerLog = 80.0 / 3.0;  // 20 log10(v^(4/3)) = 26.7 log10(v)
    constexpr double kLevelOffsetDb = 0.0;
    double energy = 0.0;
    for (int i = 0; i < granules.count; ++i) {
        const GranuleFigures& g = granules.granules[static_cast<std::size_t>(i)];
        if (g.largestValue == 0) continue;
        const double db = kStepDbPerGain * (g.globalGain - 210) + kValueDbPerLog * std::log10(g.largestValue) -
                          g.maxAttenuationDb + kLevelOffsetDb;
        energy += std::pow(10.0, db / 10.0);
    }
    if (energy <= 0.0) return kDigitalSilenceDb;
    return static_cast<float>(10.0 * std::log10(energy / granules.count));
}

}  // namespace qm
