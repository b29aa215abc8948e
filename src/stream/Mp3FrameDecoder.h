#pragma once

// LAME's MPEG audio frame decoder (hip), the one the re-encoding splitter decodes its pieces
// with: fed the bytes of whole frames, it hands back each frame's 16-bit PCM.

#include <cstddef>
#include <cstdint>

#include "stream/LameHandles.h"

namespace qm {

class Mp3FrameDecoder {
public:
    // A fresh decoder: nothing of an earlier stream survives (bit reservoir, sync). False
    // when LAME has no memory for one.
    [[nodiscard]] bool Start();
    // Releases the decoder; Decode then fails until the next Start.
    void Stop() { m_hip.reset(); }
    // Feeds byteCount bytes and decodes at most one frame into left and right (each room for
    // 1152 samples; right is left's copy for a mono stream). Returns the samples per channel
    // decoded: 0 while the decoder syncs or when the frame's main data lies in frames it was
    // not fed, negative on an error or before Start. The first call syncs on the first frame and reads its
    // header only; each call after that, with no new bytes (byteCount 0), decodes one more of
    // the frames fed.
    [[nodiscard]] int Decode(std::uint8_t* bytes, std::size_t byteCount, std::int16_t* left, std::int16_t* right);

private:
    HipHandle m_hip;
};

}  // namespace qm
