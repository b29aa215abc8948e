#include "stream/Mp3FrameDecoder.h"

namespace qm {

bool Mp3FrameDecoder::Start() {
    m_hip = MakeQuietHip();
    return m_hip != nullptr;
}

int Mp3FrameDecoder::Decode(std::uint8_t* bytes, std::size_t byteCount, std::int16_t* left, std::int16_t* right) {
    if (!m_hip) return -1;
    // The stream's figures that come back with the samples are not needed: the caller has
    // read every header itself.
    mp3data_struct headerInfo{};
    return hip_decode1_headers(m_hip.get(), bytes, byteCount, left, right, &headerInfo);
}

}  // namespace qm
