#pragma once

// The re-encoding split engine: LAME decodes each frame and encodes the pieces again.

#include "split/SplitEngine.h"

namespace qm {

// Decodes each frame, applies the fades, and encodes each piece again as constant-bit-rate
// MP3 with the chosen or the source's settings.
class ReencodeSplitter final : public SplitEngine {
public:
    bool WritePieceBySize(const std::filesystem::path& path, std::uint64_t sizeBytes,
                          int pieceNumber, int total, int sequence, int width,
                          bool* endReached) override;
    bool WritePieceByDuration(const std::filesystem::path& path, int tenths, int pieceNumber,
                              int total, int sequence, int width, bool* endReached) override;
    bool WritePieceToEnd(const std::filesystem::path& path, int pieceNumber, int total,
                         int sequence, int width) override;
    void SetFadeIn(bool enabled, int tenths) override;
    void SetFadeOut(bool enabled, int tenths) override;
    int GetBitRate() const override;
    void SetEncoderParams(int sampleRateHz, int bitRateKbps, int channelMode) override;

private:
    int m_chosenSampleRateHz = 0;
    int m_chosenBitRateKbps = 0;
    int m_chosenChannelMode = kChannelModeAsSource;
    bool m_fadeInOn = false;
    bool m_fadeOutOn = false;
    int m_fadeInTenths = 0;
    int m_fadeOutTenths = 0;
    std::uint32_t m_fadeInSamples = 0;
    std::uint32_t m_fadeOutSamples = 0;
};

}  // namespace qm
