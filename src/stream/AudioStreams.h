#pragma once

// The concrete decoding streams behind audio::StreamCreateFile and audio::MusicLoad. Each
// returns null when its decoder does not accept the file.

#include <cstdint>
#include <filesystem>
#include <memory>

#include "stream/AudioLayer.h"

namespace qm::audio {

// MPEG audio (Layer I/II/III) through libmpg123. FileStart is the first frame header that is
// followed by a second valid header at the decoded frame length, searched within the
// verification length after a leading ID3v2 tag (footer included), and moved past a leading
// Xing/Info frame. Its length comes from a leading Xing/Info frame whose counts match the file
// as it is; or else from a pass over every frame (a hop from header to header when the frames
// follow one another unbroken and there is no Xing/Info frame, the decoder's scan otherwise),
// unless a ScanMemoScope remembers the length of the same unchanged file.
std::unique_ptr<Stream> OpenMpegStream(const std::filesystem::path& path);
// How many passes over a whole file OpenMpegStream has made for a length in this process.
std::uint64_t MpegScanCount();
// Ogg Vorbis, FLAC, WAV and the other formats of libsndfile (MPEG excluded).
std::unique_ptr<Stream> OpenSndfileStream(const std::filesystem::path& path);
// Module music through libopenmpt.
std::unique_ptr<Stream> OpenModuleStream(const std::filesystem::path& path);

}  // namespace qm::audio
