#pragma once

// The channel mode of MPEG audio, numbered as the frame header's mode bits and as LAME's
// MPEG_mode: the one type for the mode of a frame, of a file, of an encoder and of a stored
// option. Where a mode is "not known yet" or "as the source", the code holds a
// std::optional<ChannelMode> and says which of the two an empty value means.

#include <optional>

namespace qm {

enum class ChannelMode : int { Stereo = 0, JointStereo = 1, DualChannel = 2, Mono = 3 };

// A mode read from two header bits (0..3).
constexpr ChannelMode ChannelModeFromBits(unsigned bits) { return static_cast<ChannelMode>(bits & 3u); }

// The channel count frames of this mode carry.
constexpr int ChannelCountOf(ChannelMode mode) { return mode == ChannelMode::Mono ? 1 : 2; }

// The mode an MP3 encoder writes when asked for mode. LAME has no dual-channel mode: two
// independent channels, and any value outside the four, are encoded as stereo.
constexpr ChannelMode EncodedChannelMode(ChannelMode mode) {
    return mode == ChannelMode::JointStereo || mode == ChannelMode::Mono ? mode : ChannelMode::Stereo;
}

}  // namespace qm
