// The sample-rate and bit-rate coupling of the options pages: a choice of one brings the
// other into what MPEG can encode.
#include <gtest/gtest.h>

#include "settings/Options.h"

namespace qm {
namespace {

TEST(EncodingRange, ChoosingOneBringsTheOtherIntoRange) {
    struct Case {
        int rateHz, kbps, kbpsForRate, rateForKbps;
    };
    const Case cases[] = {
        {8000, 128, 64, 16000},                            // MPEG-2.5 caps the bit rate; 128 kbit/s needs 16000 Hz
        {12000, 64, 64, 12000},                            // in range on both sides
        {22050, 320, 160, 32000},                          // 320 kbit/s needs an MPEG-1 rate
        {24000, 160, 160, 24000}, {44100, 24, 32, 24000},  // MPEG-1 starts at 32 kbit/s; 24 kbit/s at most 24000 Hz
        {48000, 48, 48, 48000},                            // 32 to 64 kbit/s go with every rate
        {16000, 8, 8, 16000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.rateHz) + " Hz, " + std::to_string(c.kbps) + " kbps");
        EXPECT_EQ(BitRateForSampleRate(c.rateHz, c.kbps), c.kbpsForRate);
        EXPECT_EQ(SampleRateForBitRate(c.kbps, c.rateHz), c.rateForKbps);
    }
}

}  // namespace
}  // namespace qm
