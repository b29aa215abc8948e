#pragma once

// What the MP3 encoder is told about a re-encoded join's target.

namespace qm {

// MPEG channel modes, numbered as in the frame header and LAME's MPEG_mode.
constexpr int kModeStereo = 0;
constexpr int kModeJointStereo = 1;
constexpr int kModeDualChannel = 2;  // read from files; encoded as stereo
constexpr int kModeMono = 3;

struct EncoderParams {
    int sampleRateHz = 0;   // used as LAME's input and output rate
    int bitRateKbps = 0;    // constant bit rate
    int channelMode = kModeStereo;  // 0 stereo, 1 joint stereo, 3 mono; others encode as 0

    bool operator==(const EncoderParams&) const = default;
};

// Channels of the target: one for mono, two otherwise.
inline int TargetChannels(int channelMode) { return channelMode == kModeMono ? 1 : 2; }

}  // namespace qm
