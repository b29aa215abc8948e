#pragma once

// The analysis of an MPEG audio file that comes before its decoding: where the audio starts
// (past a leading tag, confirmed by a run of frames, past a Xing/Info frame), the tags that
// end it, whether its Xing/Info frame's count can be trusted, and the length of a plain chain
// of frames counted header by header.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "stream/File.h"
#include "stream/Mpg123Input.h"

namespace qm::audio {

// The longest frame the header tables allow (MPEG-2.5 Layer II, 160 kbit/s, 8 kHz, padded).
constexpr std::size_t kLongestFrameBytes = 2881;

// What the start search found: where the audio starts and, when a Xing/Info frame leads it,
// that frame's offset and a copy of it.
struct FileStart {
    std::uint64_t tagBytes = 0;  // the leading ID3v2 tag
    std::uint64_t audioStart = 0;
    std::uint64_t infoFrameOffset = 0;
    std::vector<std::uint8_t> infoFrame;  // empty without a Xing/Info frame
};

// Offset of the first audio frame: past a leading ID3v2 tag (footer included), the first
// header that begins a run of frames of one stream (StartsARun), searched within verifyBytes
// after the tag, and past that frame when it is a Xing/Info frame. Empty when there is no
// such run (not an MPEG file, or no audio), or when the file is a container of another
// decoder (WAV, Ogg, FLAC...), whose bytes may hold frame syncs by chance.
std::optional<FileStart> FindFileStart(File& file, std::uint64_t fileBytes, std::uint64_t verifyBytes);

// Bytes of the tags that end the file, none of them reaching below floor: an ID3v1 tag (the
// last 128 bytes, starting "TAG") and an APEv2 tag right before it or at the very end (its
// 32-byte footer "APETAGEX" gives its size, and whether a 32-byte header comes first).
// Other trailing tags are not recognised.
std::uint64_t TrailingTagBytes(File& file, std::uint64_t fileBytes, std::uint64_t floor);

// The frame count of the leading Xing/Info frame when it can be trusted to describe the file
// as it is now, so that no scan of every frame is needed for the length. A count is trusted
// only beside a byte count that matches the bytes actually there: from the Xing/Info frame to
// the end of the audio, with or without what lies before the frame (an ID3v2 tag) and with or
// without the trailing tags, as encoders and taggers count them differently. A file cut short
// or with frames appended after the count was written has a byte count that no longer
// matches. The average frame the counts give must also be one this stream can have.
std::optional<std::uint32_t> TrustedFrameCount(File& file, std::uint64_t fileBytes, const FileStart& start);

// The samples (per channel) of a file without a Xing/Info frame, counted by hopping from
// header to header, when its audio is one unbroken chain of frames: from right after the
// leading tag (or the file's start) to the end of the file or of its audio before the
// trailing tags, every frame of the same version, layer, sample rate and channel count as
// the first. For such a file this is the count the decoder's scan comes to, for less work.
// Anything else (junk anywhere, a frame cut short, a change of stream, a Fraunhofer VBRI
// frame) gives nothing, and the decoder's scan decides. Reads through the input's buffer; the
// decoder is opened afterwards and starts afresh.
std::optional<std::uint64_t> CountChainedSamples(DecoderInput& in, const FileStart& start, std::uint64_t audioEnd);

}  // namespace qm::audio
