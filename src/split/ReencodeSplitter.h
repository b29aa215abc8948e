#pragma once

// The re-encoding split engine: LAME decodes each frame and encodes the pieces again.

#include <cstdint>
#include <filesystem>
#include <vector>

#include "split/SplitEngine.h"
#include "stream/Mp3Encoder.h"

namespace qm {

// Decodes each frame, applies the fades, and encodes each piece again as constant-bit-rate
// MP3 with the chosen or the source's settings. Pieces are runs of whole source frames that
// follow each other without repeating audio (the frames before a piece only prime the
// decoder), and the fades lie inside each piece.
class ReencodeSplitter final : public SplitEngine {
public:
    void SetFadeIn(bool enabled, int tenths) override;
    void SetFadeOut(bool enabled, int tenths) override;
    // The chosen bit rate (brought into the encoder's range), or the average bit rate of the
    // source's audio frames (its tags left out).
    int GetBitRate() const override;
    [[nodiscard]] bool Open(const std::filesystem::path& path) override;
    void SetEncoderParams(int sampleRateHz, int bitRateKbps, std::optional<ChannelMode> channelMode) override;

    // The encoder call: lame_encode_buffer by default. Replaceable so that a test can make the
    // encoder fail; it takes and returns what lame_encode_buffer does.
    using EncodeFunction = Mp3Encoder::EncodeFunction;
    void SetEncodeFunction(EncodeFunction encode) { m_encoder.SetEncodeFunction(std::move(encode)); }

    ReencodeSplitter();
    ~ReencodeSplitter() override;

protected:
    [[nodiscard]] bool WritePiece(const std::filesystem::path& path, const PieceLimit& limit,
                                  const PieceNumbers& numbers, bool* endReached) override;
    SizeMeasure MeasureForSize(std::uint64_t sizeBytes) const override;

private:
    struct PendingFrame;
    struct Piece;

    [[nodiscard]] bool BeginPiece(Piece& piece, const std::filesystem::path& path, const PieceNumbers& numbers);
    bool StartCodec(Piece& piece);
    // The encoder settings of the pieces: the source's, or the chosen ones.
    Mp3EncoderSettings EncoderSettings() const;
    // Seeks back to the lead-in's first frame; the samples of the frames sought back over.
    std::uint64_t SeekLeadIn();
    // Source samples that encode to at least byteCount bytes at the pieces' bit rate.
    std::uint64_t SamplesForOutputBytes(const Piece& piece, std::uint64_t byteCount) const;
    // Samples of the frames from the reader's position on until ownEndSamples are reached,
    // and the tail after them, or the source ends; the reader is back at its position
    // afterwards.
    std::uint64_t MeasurePiece(std::uint64_t ownEndSamples);
    // The offset of the first frame fed to the decoder, ahead of a piece starting at
    // pieceStart, so that the piece's first frame decodes in full; pieceStart when the
    // history holds no frame before it.
    std::uint64_t PrimingStart(std::uint64_t pieceStart) const;
    // Feeds the frames before the piece's first frame to the decoder; their audio is dropped.
    void PrimeDecoder(Piece& piece, std::uint64_t pieceStart);
    // Decodes, fades and encodes the piece's frames until ownEndSamples are reached, then the
    // tail, or the source ends. False on a write or encoder failure (message set) or a cancel.
    [[nodiscard]] bool EncodeFrames(Piece& piece, std::uint64_t ownEndSamples, std::uint64_t ownStart,
                                    bool* endReached);
    // Hands one frame to the decoder and encodes its audio when it belongs to the piece; the
    // first frames of a piece are held back until there are enough bytes to start the decoder.
    // False on a write or encoder failure (message set).
    [[nodiscard]] bool FeedFrame(Piece& piece, const std::uint8_t* frame, const Mp3FrameHeader& header, bool inPiece);
    // Hands the frames held back to the decoder and encodes their audio; false as FeedFrame.
    [[nodiscard]] bool StartDecoder(Piece& piece);
    // One decoder call with byteCount new bytes: the samples per channel it returns into the
    // PCM buffers, 0 or less for none.
    int Decode(Piece& piece, std::uint8_t* bytes, std::size_t byteCount);
    // Encodes a frame's decoded samples, made up to its length with silence and faded, when
    // the frame belongs to the piece; false on a write or encoder failure.
    [[nodiscard]] bool EncodeDecoded(const Piece& piece, const PendingFrame& frame, int decodedSamples);
    void ApplyFades(const Piece& piece, std::uint64_t firstSample, int samples);
    // Encodes samples from the PCM buffers and writes what the encoder returns. False on a
    // write failure or an encoder error (the message is set either way).
    [[nodiscard]] bool EncodeAndWrite(int samples);
    // Writes the frames of the encoder's last call; false with the message set.
    [[nodiscard]] bool WriteEncoded();
    bool FinishPiece(Piece& piece);
    [[nodiscard]] bool LeaveOutEmptyPiece(Piece& piece);
    bool Fail(Piece& piece);

    // One frame's PCM, allocated once for every piece.
    std::vector<std::int16_t> m_left;
    std::vector<std::int16_t> m_right;
    std::vector<std::uint8_t> m_startBytes;  // the frames held back to start a piece's decoder
    Mp3Encoder m_encoder;                    // started afresh for every piece

    int m_chosenSampleRateHz = 0;
    int m_chosenBitRateKbps = 0;
    std::optional<ChannelMode> m_chosenChannelMode;  // empty: as the source
    bool m_fadeInOn = false;
    bool m_fadeOutOn = false;
    std::uint64_t m_fadeInSamples = 0;
    std::uint64_t m_fadeOutSamples = 0;
    int m_audioKbps = 0;  // the source's audio frames' average, measured at Open
};

}  // namespace qm
