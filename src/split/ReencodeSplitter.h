#pragma once

// The re-encoding split engine: LAME decodes each frame and encodes the pieces again.

#include <cstdint>
#include <filesystem>
#include <vector>

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

    ReencodeSplitter();
    ~ReencodeSplitter() override;

private:
    struct Piece;
    enum class Limit { Bytes, Samples };

    bool WriteLimitedPiece(const std::filesystem::path& path, Limit kind, std::uint64_t limit,
                           int pieceNumber, int total, int sequence, int width, bool* endReached);
    bool BeginPiece(Piece& piece, const std::filesystem::path& path, int pieceNumber, int total,
                    int sequence, int width);
    bool StartCodec(Piece& piece);
    std::uint64_t SeekLeadIn();
    // Decodes one source frame into the PCM buffers; samples per channel (0: nothing).
    int DecodeFrame(Piece& piece, const std::uint8_t* frame, int frameBytes);
    // Encodes samples from the PCM buffers and writes what the encoder returns. False on a
    // write failure or an encoder error (the message is set either way).
    bool EncodeAndWrite(Piece& piece, int samples);
    bool EncodeLimited(Piece& piece, Limit kind, std::uint64_t limit, bool* endReached);
    bool EncodeToEnd(Piece& piece, std::uint64_t endOffset);
    bool EncodeFadeIn(Piece& piece);
    bool EncodeFadeOut(Piece& piece);
    bool FinishPiece(Piece& piece);
    bool Fail(Piece& piece);
    // Bytes of encoded output that tenths of a second take at the pieces' bit rate.
    std::uint64_t OutputBytesForTenths(const Piece& piece, int tenths) const;

    // One frame's PCM and one encoder call's output, allocated once for every piece.
    std::vector<std::int16_t> m_left;
    std::vector<std::int16_t> m_right;
    std::vector<std::uint8_t> m_mp3;

    int m_chosenSampleRateHz = 0;
    int m_chosenBitRateKbps = 0;
    int m_chosenChannelMode = kChannelModeAsSource;
    bool m_fadeInOn = false;
    bool m_fadeOutOn = false;
    int m_fadeInTenths = 0;
    int m_fadeOutTenths = 0;
    std::uint64_t m_fadeInSamples = 0;
    std::uint64_t m_fadeOutSamples = 0;
};

}  // namespace qm
