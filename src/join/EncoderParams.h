#pragma once

// What the MP3 encoder is told about a re-encoded join's target.

#include "stream/ChannelMode.h"

namespace qm {

struct EncoderParams {
    int sampleRateHz = 0;                           // used as LAME's input and output rate
    int bitRateKbps = 0;                            // constant bit rate
    ChannelMode channelMode = ChannelMode::Stereo;  // dual channel is encoded as stereo

    bool operator==(const EncoderParams&) const = default;
};

}  // namespace qm
