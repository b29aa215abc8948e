#include "split/ReencodeSplitter.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <span>
#include <string>

#include "stream/Mp3FrameDecoder.h"
#include "stream/MpegHeader.h"

namespace qm {
namespace {

// PCM samples per channel of the decode buffers: four times the largest frame (1152).
constexpr int kPcmBufferSamples = 4608;

// The decoder syncs on the first frame it is fed only once it holds this many bytes, so that
// it can look for a Xing header in that frame. Frames smaller than that (MPEG-2 at low bit
// rates: 36 bytes at 8 kbit/s and 16 kHz) are handed over together.
constexpr std::size_t kDecoderStartBytes = 194;
// The frames that make up those bytes: the smallest frames have 24 bytes.
constexpr std::size_t kMaxStartFrames = 16;
// The largest MPEG audio frame (Layer III, 320 kbit/s at 32 kHz, padded).
constexpr std::size_t kMaxFrameBytes = 2881;

}  // namespace

// A frame for the decoder, and where its audio goes.
struct ReencodeSplitter::PendingFrame {
    bool inPiece = false;           // its audio is encoded; a priming frame's is dropped
    std::uint64_t firstSample = 0;  // its first sample's place in the piece
    int samples = 0;
};

// What one piece being written keeps: its own decoder, while the engine's encoder encodes
// it (nothing of either codec survives from one piece to the next).
struct ReencodeSplitter::Piece {
    Mp3FrameDecoder decoder;
    int channels = 2;                 // handed to the encoder: 1 for a mono source
    int encoderKbps = 0;              // the pieces' constant bit rate
    std::uint64_t samplesFed = 0;     // samples of the piece's frames fed to the decoder
    std::uint64_t totalSamples = 0;   // the piece's length, when lengthKnown
    bool lengthKnown = false;         // measured ahead for a fade-out
    std::uint32_t ownFrames = 0;      // frames after the lead-in
    std::uint64_t ownEnd = 0;         // where the frame after the piece's own frames starts
    std::uint64_t ownEndSamples = 0;  // the stream's samples up to there
    bool sourceEnded = false;
    std::uint64_t infoFrameOffset = 0;  // where the encoder's first frame begins: after the tag
    // Where the piece's first frame (the lead-in's, or its own) begins in the source's
    // stream: its audio is the piece's from the first sample, the decoder's delay included.
    std::uint64_t firstSample = 0;
    // Until the decoder has synced: the frames handed over together to start it.
    bool decoderStarted = false;
    std::array<PendingFrame, kMaxStartFrames> startFrames{};
    std::size_t startFrameCount = 0;
};

ReencodeSplitter::ReencodeSplitter() : m_left(kPcmBufferSamples), m_right(kPcmBufferSamples) {
    m_startBytes.reserve(kDecoderStartBytes + kMaxFrameBytes);
}

ReencodeSplitter::~ReencodeSplitter() = default;

void ReencodeSplitter::SetFadeIn(bool enabled, int tenths) {
    m_fadeInOn = enabled;
    m_fadeInSamples = TenthsToSamples(tenths);
}

void ReencodeSplitter::SetFadeOut(bool enabled, int tenths) {
    m_fadeOutOn = enabled;
    m_fadeOutSamples = TenthsToSamples(tenths);
}

int ReencodeSplitter::GetBitRate() const {
    // A chosen rate is the encoder's after its rule (brought into 8..320 kbit/s).
    return m_chosenBitRateKbps != 0 ? std::clamp(m_chosenBitRateKbps, kMinEncoderKbps, kMaxEncoderKbps) : m_audioKbps;
}

bool ReencodeSplitter::Open(const std::filesystem::path& path) {
    if (!SplitEngine::Open(path)) return false;
    // The file's average bit rate counts its tags too: a cover picture would raise the
    // pieces' bit rate and shrink the by-size pieces' audio. The pieces take the average of
    // the audio frames alone, from one walk over their headers.
    std::uint64_t frameBytes = 0;
    std::uint64_t samples = 0;
    Mp3FrameHeader header;
    while (m_reader.NextFrame(&header) != nullptr) {
        frameBytes += static_cast<std::uint64_t>(header.frameBytes);
        samples += static_cast<std::uint64_t>(header.samplesPerFrame);
    }
    m_reader.Seek(m_reader.AudioStart());
    const int rateHz = m_reader.SampleRateHz();
    m_audioKbps =
        samples > 0 && rateHz > 0
            ? static_cast<int>(
                  static_cast<double>(frameBytes) * 8.0 * rateHz / (static_cast<double>(samples) * 1000.0) + 0.5)
            : SplitEngine::GetBitRate();
    return true;
}

void ReencodeSplitter::SetEncoderParams(int sampleRateHz, int bitRateKbps, std::optional<ChannelMode> channelMode) {
    m_chosenSampleRateHz = sampleRateHz;
    m_chosenBitRateKbps = bitRateKbps;
    m_chosenChannelMode = channelMode;
}

// A piece is a run of whole source frames: the lead-in, the piece's own frames up to the
// limit (the frame crossing it included), the tail. The fades lie inside that run, so a fade
// longer than the piece is cut off at the piece's edge and the cuts stay where the plan put
// them. Pieces follow each other without repeating audio: the frames before a piece only
// prime the decoder.
bool ReencodeSplitter::WritePiece(const std::filesystem::path& path, const PieceLimit& limit,
                                  const PieceNumbers& numbers, bool* endReached) {
    *endReached = false;
    Piece piece;
    if (!BeginPiece(piece, path, numbers)) return false;
    const std::uint64_t ownStart = m_reader.Position();
    // A length is counted from the start of the stream, where the history's end is the
    // reader's place: the piece ends on the first frame boundary at or after the end of all
    // lengths asked for, so pieces do not drift. At least one frame is the piece's own.
    std::uint64_t ownSamples = std::numeric_limits<std::uint64_t>::max();
    const bool toEnd = limit.kind == PieceLimit::Kind::ToEnd;
    if (limit.kind == PieceLimit::Kind::Bytes) ownSamples = SamplesForOutputBytes(piece, limit.bytes);
    if (limit.kind == PieceLimit::Kind::Duration || limit.kind == PieceLimit::Kind::Until) {
        const std::uint64_t endSamples = LimitEndSamples(limit);
        ownSamples = endSamples > m_history.EndSamples() ? endSamples - m_history.EndSamples() : 1;
    }
    // The lead-in and the tail are encoded as part of the piece, so they lengthen it.
    const std::uint64_t leadInSamples = SeekLeadIn();
    piece.firstSample = m_history.EndSamples() - std::min(m_history.EndSamples(), leadInSamples);
    const std::uint64_t ownEndSamples = toEnd ? ownSamples : leadInSamples + ownSamples;
    const std::uint64_t pieceStart = m_reader.Position();
    if (m_fadeOutOn && m_fadeOutSamples > 0) {
        // The fade-out ends with the piece's last frame, wherever the source's audio ends.
        piece.totalSamples = MeasurePiece(ownEndSamples);
        piece.lengthKnown = true;
    }
    if (PumpAndCheckCancel()) return Fail(piece);
    PrimeDecoder(piece, pieceStart);
    if (!EncodeFrames(piece, ownEndSamples, ownStart, endReached)) return Fail(piece);
    if (piece.sourceEnded && piece.ownFrames == 0) return LeaveOutEmptyPiece(piece);
    if (PumpAndCheckCancel()) return Fail(piece);
    if (!FinishPiece(piece)) return false;
    // The tail is read again by the next piece, as its own frames.
    if (!toEnd) RewindTo(piece.ownEnd);
    if (limit.kind == PieceLimit::Kind::Bytes) RestartPlannedDurations(piece.ownEndSamples);
    m_cutSamples = piece.ownEndSamples;
    return true;
}

ReencodeSplitter::SizeMeasure ReencodeSplitter::MeasureForSize(std::uint64_t sizeBytes) const {
    // The pieces are encoded at one constant bit rate, so a piece's size follows the
    // samples of its own frames.
    Piece piece;
    piece.encoderKbps = EncoderSettings().bitRateKbps;
    Mp3Encoder probe;
    if (probe.Start(EncoderSettings()) == EncoderStart::Started) piece.encoderKbps = probe.Settings().bitRateKbps;
    return {false, SamplesForOutputBytes(piece, sizeBytes)};
}

bool ReencodeSplitter::BeginPiece(Piece& piece, const std::filesystem::path& path, const PieceNumbers& numbers) {
    if (!CreatePiece(path)) return false;
    if (!WritePieceTag(numbers, &piece.infoFrameOffset)) return Fail(piece);
    if (!StartCodec(piece)) {
        SetError(FailedToStartEncoderMessage(path));
        return Fail(piece);
    }
    return true;
}

bool ReencodeSplitter::StartCodec(Piece& piece) {
    m_startBytes.clear();
    if (!piece.decoder.Start()) return false;
    const Mp3EncoderSettings settings = EncoderSettings();
    // The encoder's rule, the join's too, refuses a chosen rate that is no MPEG rate and
    // brings the bit rate into its range.
    if (m_encoder.Start(settings) != EncoderStart::Started) return false;
    piece.channels = settings.inputChannels;
    piece.encoderKbps = m_encoder.Settings().bitRateKbps;
    return true;
}

Mp3EncoderSettings ReencodeSplitter::EncoderSettings() const {
    // The source's figures are those of the last frame read.
    Mp3EncoderSettings settings;
    settings.inputRateHz = m_reader.SampleRateHz();
    settings.mode = m_reader.ChannelMode().value_or(ChannelMode::Stereo);
    settings.inputChannels = ChannelCountOf(settings.mode);
    settings.outputRateHz = settings.inputRateHz;
    settings.bitRateKbps = SnapBitRate(m_audioKbps);
    if (m_chosenSampleRateHz != 0 && m_chosenBitRateKbps != 0 && m_chosenChannelMode) {
        settings.outputRateHz = m_chosenSampleRateHz;
        settings.bitRateKbps = m_chosenBitRateKbps;
        settings.mode = *m_chosenChannelMode;
    }
    return settings;
}

std::uint64_t ReencodeSplitter::SeekLeadIn() {
    if (m_leadInSamples == 0) return 0;
    std::uint64_t leadInStart = 0;
    int entriesVisited = 0;
    const std::uint64_t position = m_reader.Position();
    if (!FindLeadInStart(&leadInStart, &entriesVisited) || leadInStart >= position) return 0;
    // The lead-in frames are decoded and encoded again as the start of this piece; they are
    // in the history already, so reading them does not record them twice.
    std::uint64_t samples = 0;
    for (int i = 0; i < entriesVisited; ++i) samples += m_history.FromBack(static_cast<std::size_t>(i)).samples;
    m_reader.Seek(leadInStart);
    return samples;
}

std::uint64_t ReencodeSplitter::SamplesForOutputBytes(const Piece& piece, std::uint64_t byteCount) const {
    // The encoder writes kbps * 1000 / 8 bytes per second of audio, whatever its output
    // rate; a second of the source holds its sample rate in samples.
    const auto rateHz = static_cast<std::uint64_t>(std::max(1, m_reader.SampleRateHz()));
    const auto bytesPerSecond = static_cast<std::uint64_t>(std::max(1, piece.encoderKbps)) * 1000 / 8;
    if (byteCount > std::numeric_limits<std::uint64_t>::max() / rateHz) {
        return std::numeric_limits<std::uint64_t>::max();
    }
    return (byteCount * rateHz + bytesPerSecond - 1) / bytesPerSecond;
}

std::uint64_t ReencodeSplitter::MeasurePiece(std::uint64_t ownEndSamples) {
    const std::uint64_t position = m_reader.Position();
    std::uint64_t samples = 0;
    std::uint64_t targetSamples = ownEndSamples;
    bool inTail = false;
    Mp3FrameHeader header;
    while (samples < targetSamples && m_reader.NextFrame(&header) != nullptr) {
        samples += static_cast<std::uint64_t>(header.samplesPerFrame);
        if (!inTail && samples >= ownEndSamples) {
            inTail = true;
            targetSamples = samples + m_tailSamples;
        }
    }
    m_reader.Seek(position);
    return samples;
}

std::uint64_t ReencodeSplitter::PrimingStart(std::uint64_t pieceStart) const {
    // A frame decodes in full when the frame before it was decoded (the transform overlaps
    // from one granule to the next, the synthesis filter runs on) and its main data is in
    // the decoder's bit reservoir: it may begin up to 511 bytes (MPEG-1) before its header.
    // The decoder cannot decode the first frame it is fed when that frame's main data lies in
    // earlier frames. So the two frames before the piece are fed, and before them enough
    // frames to hold their reservoir.
    constexpr int kFullyDecodedFrames = 2;
    constexpr std::uint64_t kMaxReservoirBytes = 511;
    std::uint64_t start = pieceStart;
    std::uint64_t reservoirBytes = 0;
    int frames = 0;
    for (std::size_t i = 0; i < m_history.Size() && reservoirBytes < kMaxReservoirBytes; ++i) {
        const std::uint64_t offset = m_history.FromBack(i).frameOffset;
        if (offset >= start) continue;  // the lead-in's frames, or frames after the piece
        if (frames >= kFullyDecodedFrames) reservoirBytes += start - offset;
        start = offset;
        ++frames;
    }
    return start;
}

void ReencodeSplitter::PrimeDecoder(Piece& piece, std::uint64_t pieceStart) {
    const std::uint64_t primingStart = PrimingStart(pieceStart);
    if (primingStart >= pieceStart) return;
    m_reader.Seek(primingStart);
    Mp3FrameHeader header;
    while (m_reader.Position() < pieceStart) {
        const std::uint8_t* frame = m_reader.NextFrame(&header);
        if (frame == nullptr || header.frameOffset >= pieceStart) break;
        // Nothing of it is encoded, so nothing can fail that the piece would notice.
        static_cast<void>(FeedFrame(piece, frame, header, /*inPiece=*/false));
    }
    m_reader.Seek(pieceStart);
}

bool ReencodeSplitter::EncodeFrames(Piece& piece, std::uint64_t ownEndSamples, std::uint64_t ownStart,
                                    bool* endReached) {
    // The piece's own frames end with the frame that reaches ownEndSamples; the tail's frames
    // after them reach m_tailSamples more. A source that ends in the tail ends no piece: the
    // next piece takes the tail's frames as its own.
    std::uint64_t targetSamples = ownEndSamples;
    bool inTail = false;
    Mp3FrameHeader header;
    while (piece.samplesFed < targetSamples) {
        const std::uint8_t* frame = m_reader.NextFrame(&header);
        if (frame == nullptr) {
            piece.sourceEnded = true;
            if (!inTail) *endReached = true;
            break;
        }
        RecordFrame(header.frameOffset, header.samplesPerFrame);
        if (header.frameOffset >= ownStart) ++piece.ownFrames;
        if (!FeedFrame(piece, frame, header, /*inPiece=*/true)) return false;
        if (!inTail && piece.samplesFed >= ownEndSamples) {
            inTail = true;
            piece.ownEnd = m_reader.Position();
            piece.ownEndSamples = m_history.EndSamples();
            targetSamples = piece.samplesFed + m_tailSamples;
        }
        if (ProgressAndCheckCancel()) return false;
    }
    if (!inTail) {
        piece.ownEnd = m_reader.Position();
        piece.ownEndSamples = m_history.EndSamples();
    }
    return true;
}

bool ReencodeSplitter::FeedFrame(Piece& piece, const std::uint8_t* frame, const Mp3FrameHeader& header, bool inPiece) {
    const PendingFrame fed{inPiece, piece.samplesFed, std::max(0, header.samplesPerFrame)};
    if (inPiece) piece.samplesFed += static_cast<std::uint64_t>(fed.samples);
    const auto frameBytes = static_cast<std::size_t>(header.frameBytes);
    // Once synced, the decoder decodes each frame in the call that hands it over. The
    // decoder copies the frame into its own buffer; it does not write to it.
    if (piece.decoderStarted)
        return EncodeDecoded(piece, fed, Decode(piece, const_cast<std::uint8_t*>(frame), frameBytes));
    if (piece.startFrameCount == 0 && !XingTagOf(frame, frameBytes, header.sideInfoBytes).empty()) {
        // The decoder passes over a Xing/Info frame where it syncs; such a frame holds
        // silence.
        return EncodeDecoded(piece, fed, 0);
    }
    m_startBytes.insert(m_startBytes.end(), frame, frame + frameBytes);
    piece.startFrames[piece.startFrameCount++] = fed;
    if (m_startBytes.size() < kDecoderStartBytes && piece.startFrameCount < piece.startFrames.size()) return true;
    return StartDecoder(piece);
}

bool ReencodeSplitter::StartDecoder(Piece& piece) {
    // Handed all the start bytes at once, the decoder syncs on the first frame and reads its
    // header, and returns nothing yet; each call after that decodes one of the frames, in
    // order. The first frame gives nothing when its main data begins in earlier frames.
    piece.decoderStarted = true;
    static_cast<void>(Decode(piece, m_startBytes.data(), m_startBytes.size()));
    m_startBytes.clear();
    std::uint8_t nothing = 0;
    for (std::size_t i = 0; i < piece.startFrameCount; ++i) {
        if (!EncodeDecoded(piece, piece.startFrames[i], Decode(piece, &nothing, 0))) return false;
    }
    piece.startFrameCount = 0;
    return true;
}

int ReencodeSplitter::Decode(Piece& piece, std::uint8_t* bytes, std::size_t byteCount) {
    return piece.decoder.Decode(bytes, byteCount, m_left.data(), m_right.data());
}

bool ReencodeSplitter::EncodeDecoded(const Piece& piece, const PendingFrame& frame, int decodedSamples) {
    if (!frame.inPiece) return true;
    // A frame that the decoder cannot decode in full (its main data lies in frames it was not
    // fed, or is damaged) is made up to its length with silence: the piece keeps the length of
    // its frames, and the fades their places.
    const int samples = std::min(frame.samples, kPcmBufferSamples);
    const int decoded = std::clamp(decodedSamples, 0, samples);
    std::fill(m_left.begin() + decoded, m_left.begin() + samples, std::int16_t{0});
    std::fill(m_right.begin() + decoded, m_right.begin() + samples, std::int16_t{0});
    if (samples == 0) return true;
    ApplyFades(piece, frame.firstSample, samples);
    return EncodeAndWrite(samples);
}

void ReencodeSplitter::ApplyFades(const Piece& piece, std::uint64_t firstSample, int samples) {
    // Linear in amplitude: the fade-in rises from 0 at the piece's first sample (the lead-in's,
    // when there is one) by 1/F per sample; the fade-out falls by 1/F per sample to reach 0
    // just after the piece's last sample. A piece shorter than a fade holds only its part.
    const bool fadeIn = m_fadeInOn && m_fadeInSamples > 0 && firstSample < m_fadeInSamples;
    const bool fadeOut = m_fadeOutOn && m_fadeOutSamples > 0 && piece.lengthKnown &&
                         firstSample + static_cast<std::uint64_t>(samples) + m_fadeOutSamples > piece.totalSamples;
    // A volume change scales every sample, held to the 16-bit range.
    const double volume = std::pow(10.0, m_volumeTenthsDb / 200.0);
    if (!fadeIn && !fadeOut && m_volumeTenthsDb == 0) return;
    const auto scaled = [](std::int16_t sample, double gain) {
        return static_cast<std::int16_t>(std::clamp(sample * gain, -32768.0, 32767.0));
    };
    for (int i = 0; i < samples; ++i) {
        const std::uint64_t k = firstSample + static_cast<std::uint64_t>(i);
        double gain = volume;
        if (fadeIn) gain *= std::min(1.0, static_cast<double>(k) / static_cast<double>(m_fadeInSamples));
        if (fadeOut) {
            const double left = k < piece.totalSamples ? static_cast<double>(piece.totalSamples - k) : 0.0;
            gain *= std::min(1.0, left / static_cast<double>(m_fadeOutSamples));
        }
        m_left[static_cast<std::size_t>(i)] = scaled(m_left[static_cast<std::size_t>(i)], gain);
        if (piece.channels == 2)
            m_right[static_cast<std::size_t>(i)] = scaled(m_right[static_cast<std::size_t>(i)], gain);
    }
}

bool ReencodeSplitter::EncodeAndWrite(int samples) {
    if (!m_encoder.Encode(m_left.data(), m_right.data(), samples)) {
        // A failed encode leaves a piece with a hole in its audio: the piece fails.
        SetError(FailedToEncodeMessage(PieceTarget()));
        return false;
    }
    return WriteEncoded();
}

bool ReencodeSplitter::WriteEncoded() {
    const std::span<const std::uint8_t> frames = m_encoder.Output();
    return WritePieceBytes(frames.data(), frames.size());
}

bool ReencodeSplitter::FinishPiece(Piece& piece) {
    // Frames fewer in bytes than the decoder needs to sync on are made up to them with zero
    // bytes, which hold no frame sync: the decoder then decodes the frames and stops there.
    if (!piece.decoderStarted && piece.startFrameCount > 0) {
        m_startBytes.resize(std::max(m_startBytes.size(), kDecoderStartBytes), 0);
        if (!StartDecoder(piece)) return Fail(piece);
    }
    if (PumpAndCheckCancel()) return Fail(piece);
    if (!m_encoder.Finish()) {
        SetError(FailedToEncodeMessage(PieceTarget()));
        return Fail(piece);
    }
    if (!WriteEncoded()) return Fail(piece);
    // The Info frame goes over the placeholder the encoder put first.
    const std::span<const std::uint8_t> info = m_encoder.InfoFrame();
    if (!info.empty() && !RewritePieceBytes(piece.infoFrameOffset, info.data(), info.size())) return Fail(piece);
    // The encoder's Info frame declares its own delay and padding, so a gapless player plays
    // exactly the samples fed: the piece's audio is that of its frames in the source.
    const auto firstSample = static_cast<std::int64_t>(piece.firstSample);
    if (!WritePieceChapters(firstSample, firstSample + static_cast<std::int64_t>(piece.samplesFed))) {
        return Fail(piece);
    }
    piece.decoder.Stop();
    // The piece holds the audio of its source frames, at the encoder's output rate.
    const Mp3EncoderSettings& encoded = m_encoder.Settings();
    ExpectPiece(OutputExpectation::Samples(piece.samplesFed * static_cast<std::uint64_t>(encoded.outputRateHz) /
                                           static_cast<std::uint64_t>(std::max(1, encoded.inputRateHz))));
    return CommitPiece();
}

bool ReencodeSplitter::LeaveOutEmptyPiece(Piece& piece) {
    // Only frames of earlier pieces were left: there is no such piece.
    piece.decoder.Stop();
    m_encoder.Close();
    DiscardPiece();
    SetPieceEmpty();
    return true;
}

bool ReencodeSplitter::Fail(Piece& piece) {
    piece.decoder.Stop();
    m_encoder.Close();
    DiscardPiece();
    return false;
}

}  // namespace qm
