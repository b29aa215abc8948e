#include "split/ReencodeSplitter.h"

#include <lame/lame.h>

#include <algorithm>
#include <cstdarg>
#include <limits>
#include <memory>

#include "stream/MpegHeader.h"

namespace qm {
namespace {

// LAME's worst case for one encode or flush call (LAME_MAXMP3BUFFER).
constexpr int kMaxMp3Buffer = 147456;
// PCM samples per channel of the decode buffers: four times the largest frame (1152).
constexpr int kPcmBufferSamples = 4608;
// Encoder channel modes as the options store them.
constexpr int kModeStereo = 0;
constexpr int kModeDualChannel = 2;
constexpr int kModeMono = 3;

// The decoder reports damaged frames and missing bit reservoirs (the first frame of a piece
// may refer to data before it) on stderr; the engine has no console, so they are dropped.
void IgnoreReport(const char*, va_list) {}

struct HipDeleter {
    void operator()(hip_global_flags* hip) const { hip_decode_exit(hip); }
};
struct LameDeleter {
    void operator()(lame_global_flags* lame) const { lame_close(lame); }
};
using HipDecoder = std::unique_ptr<hip_global_flags, HipDeleter>;
using LameEncoder = std::unique_ptr<lame_global_flags, LameDeleter>;

}  // namespace

// What one piece being written keeps: its output and its own codec instances (nothing of
// the codec survives from one piece to the next).
struct ReencodeSplitter::Piece {
    AtomicOutputFile out;
    HipDecoder decoder;
    LameEncoder encoder;
    int channels = 2;             // handed to the encoder: 1 for a mono source
    int encoderKbps = 0;          // the pieces' constant bit rate
    std::uint64_t samplesFed = 0;     // samples of the piece's frames fed to the decoder
    std::uint64_t totalSamples = 0;   // the piece's length, when lengthKnown
    bool lengthKnown = false;         // measured ahead for a fade-out
    std::uint32_t ownFrames = 0;      // frames after the lead-in
    bool sourceEnded = false;
    // The frame fed to the decoder last, whose samples the next decoder call returns.
    bool pendingInPiece = false;
    std::uint64_t pendingFirstSample = 0;
};

ReencodeSplitter::ReencodeSplitter()
    : m_left(kPcmBufferSamples),
      m_right(kPcmBufferSamples),
      m_mp3(kMaxMp3Buffer),
      m_encode([](lame_global_flags* lame, const std::int16_t* left, const std::int16_t* right,
                  int samples, std::uint8_t* mp3, int mp3Bytes) {
          return lame_encode_buffer(lame, left, right, samples, mp3, mp3Bytes);
      }) {}

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
    return m_chosenBitRateKbps != 0 ? m_chosenBitRateKbps : m_audioKbps;
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
    m_audioKbps = samples > 0 && rateHz > 0
                      ? static_cast<int>(static_cast<double>(frameBytes) * 8.0 * rateHz / (static_cast<double>(samples) * 1000.0) + 0.5)
                      : SplitEngine::GetBitRate();
    return true;
}

void ReencodeSplitter::SetEncoderParams(int sampleRateHz, int bitRateKbps, int channelMode) {
    m_chosenSampleRateHz = sampleRateHz;
    m_chosenBitRateKbps = bitRateKbps;
    m_chosenChannelMode = channelMode;
}

bool ReencodeSplitter::WritePieceBySize(const std::filesystem::path& path, std::uint64_t sizeBytes,
                                        int pieceNumber, int total, int sequence, int width,
                                        bool* endReached) {
    return WritePiece(path, Limit::Bytes, sizeBytes, pieceNumber, total, sequence, width, endReached);
}

bool ReencodeSplitter::WritePieceByDuration(const std::filesystem::path& path, int tenths,
                                            int pieceNumber, int total, int sequence, int width,
                                            bool* endReached) {
    return WritePiece(path, Limit::Samples, TenthsToSamples(tenths), pieceNumber, total, sequence,
                      width, endReached);
}

bool ReencodeSplitter::WritePieceToEnd(const std::filesystem::path& path, int pieceNumber,
                                       int total, int sequence, int width) {
    bool endReached = false;
    return WritePiece(path, Limit::ToEnd, 0, pieceNumber, total, sequence, width, &endReached);
}

// A piece is a run of whole source frames: the lead-in, the piece's own frames up to the
// limit (the frame crossing it included), the tail. The fades lie inside that run, so a fade
// longer than the piece is cut off at the piece's edge and the cuts stay where the plan put
// them. Pieces follow each other without repeating audio: the frames before a piece only
// prime the decoder.
bool ReencodeSplitter::WritePiece(const std::filesystem::path& path, Limit kind, std::uint64_t limit,
                                  int pieceNumber, int total, int sequence, int width,
                                  bool* endReached) {
    *endReached = false;
    Piece piece;
    if (!BeginPiece(piece, path, pieceNumber, total, sequence, width)) return false;
    const std::uint64_t ownStart = m_reader.Position();
    // The lead-in and the tail are encoded as part of the piece, so they lengthen it.
    const std::uint64_t leadInSamples = SeekLeadIn();
    std::uint64_t targetSamples = std::numeric_limits<std::uint64_t>::max();
    if (kind != Limit::ToEnd) {
        const std::uint64_t own = kind == Limit::Bytes ? SamplesForOutputBytes(piece, limit) : limit;
        targetSamples = own + leadInSamples + m_tailSamples;
    }
    const std::uint64_t pieceStart = m_reader.Position();
    if (m_fadeOutOn && m_fadeOutSamples > 0) {
        // The fade-out ends with the piece's last frame, wherever the source's audio ends.
        piece.totalSamples = MeasurePiece(targetSamples);
        piece.lengthKnown = true;
    }
    if (PumpAndCheckCancel()) return Fail(piece);
    PrimeDecoder(piece, pieceStart);
    if (!EncodeFrames(piece, targetSamples, ownStart, endReached)) return Fail(piece);
    if (piece.sourceEnded && piece.ownFrames == 0) return LeaveOutEmptyPiece(piece);
    if (PumpAndCheckCancel()) return Fail(piece);
    if (!FinishPiece(piece)) return false;
    // The tail is read again by the next piece.
    if (kind != Limit::ToEnd) RewindHistory(m_tailSamples);
    return true;
}

bool ReencodeSplitter::BeginPiece(Piece& piece, const std::filesystem::path& path, int pieceNumber,
                                  int total, int sequence, int width) {
    if (!CreatePiece(piece.out, path)) return false;
    const std::vector<std::uint8_t> tag = MakePieceTag(pieceNumber, total, sequence, width);
    if (!WritePieceBytes(piece.out, tag.data(), tag.size())) return Fail(piece);
    if (!StartCodec(piece)) {
        SetError("Failed to initialize the MP3 encoder for file \"" + path.string() + "\".");
        return Fail(piece);
    }
    return true;
}

bool ReencodeSplitter::StartCodec(Piece& piece) {
    piece.decoder.reset(hip_decode_init());
    piece.encoder.reset(lame_init());
    if (!piece.decoder || !piece.encoder) return false;
    hip_set_errorf(piece.decoder.get(), IgnoreReport);
    hip_set_debugf(piece.decoder.get(), IgnoreReport);
    hip_set_msgf(piece.decoder.get(), IgnoreReport);
    lame_global_flags* lame = piece.encoder.get();
    lame_set_errorf(lame, IgnoreReport);
    lame_set_debugf(lame, IgnoreReport);
    lame_set_msgf(lame, IgnoreReport);

    // The source's figures are those of the last frame read.
    const int sourceRateHz = m_reader.SampleRateHz();
    const int sourceMode = m_reader.ChannelMode();
    piece.channels = sourceMode == kModeMono ? 1 : 2;
    lame_set_in_samplerate(lame, sourceRateHz);
    lame_set_num_channels(lame, piece.channels);
    int outRateHz = sourceRateHz;
    int mode = sourceMode;
    piece.encoderKbps = SnapBitRate(m_audioKbps);
    if (m_chosenSampleRateHz != 0 && m_chosenBitRateKbps != 0 && m_chosenChannelMode != kChannelModeAsSource) {
        outRateHz = m_chosenSampleRateHz;
        piece.encoderKbps = m_chosenBitRateKbps;
        mode = m_chosenChannelMode;
    }
    // The encoder has no dual-channel mode; two independent channels are encoded as stereo.
    if (mode == kModeDualChannel) mode = kModeStereo;
    lame_set_out_samplerate(lame, outRateHz);
    lame_set_brate(lame, piece.encoderKbps);
    lame_set_mode(lame, static_cast<MPEG_mode>(mode));
    // Constant bit rate, and no Xing/Info frame: pieces are written front to back only.
    lame_set_bWriteVbrTag(lame, 0);
    lame_set_VBR(lame, vbr_off);
    return lame_init_params(lame) >= 0;
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

std::uint64_t ReencodeSplitter::MeasurePiece(std::uint64_t targetSamples) {
    const std::uint64_t position = m_reader.Position();
    std::uint64_t samples = 0;
    Mp3FrameHeader header;
    while (samples < targetSamples && m_reader.NextFrame(&header) != nullptr) {
        samples += static_cast<std::uint64_t>(header.samplesPerFrame);
    }
    m_reader.Seek(position);
    return samples;
}

std::uint64_t ReencodeSplitter::PrimingStart(std::uint64_t pieceStart) const {
    // A frame decodes in full when the frame before it was decoded (the transform overlaps
    // from one granule to the next, the synthesis filter runs on) and its main data is in
    // the decoder's bit reservoir: it may begin up to 511 bytes (MPEG-1) before its header.
    // The decoder drops the first frame it is fed. So the two frames before the piece are
    // fed, and before them enough frames to hold their reservoir.
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
        FeedFrame(piece, frame, header, /*inPiece=*/false);  // nothing of it is encoded
    }
    m_reader.Seek(pieceStart);
}

bool ReencodeSplitter::EncodeFrames(Piece& piece, std::uint64_t targetSamples, std::uint64_t ownStart,
                                    bool* endReached) {
    Mp3FrameHeader header;
    while (piece.samplesFed < targetSamples) {
        const std::uint8_t* frame = m_reader.NextFrame(&header);
        if (frame == nullptr) {
            piece.sourceEnded = true;
            *endReached = true;
            break;
        }
        RecordFrame(header.frameOffset, header.samplesPerFrame);
        if (header.frameOffset >= ownStart) ++piece.ownFrames;
        if (!FeedFrame(piece, frame, header, /*inPiece=*/true)) return false;
        if (ProgressAndCheckCancel()) return false;
    }
    return true;
}

bool ReencodeSplitter::FeedFrame(Piece& piece, const std::uint8_t* frame, const Mp3FrameHeader& header,
                                 bool inPiece) {
    mp3data_struct headerInfo{};
    // The decoder copies the frame into its own buffer; it does not write to it. It returns
    // a frame's samples only once it has seen the next frame's header.
    const int decoded = hip_decode1_headers(piece.decoder.get(), const_cast<unsigned char*>(frame),
                                            static_cast<std::size_t>(header.frameBytes), m_left.data(),
                                            m_right.data(), &headerInfo);
    if (!EncodePending(piece, decoded)) return false;
    piece.pendingInPiece = inPiece;
    piece.pendingFirstSample = piece.samplesFed;
    if (inPiece) piece.samplesFed += static_cast<std::uint64_t>(std::max(0, header.samplesPerFrame));
    return true;
}

bool ReencodeSplitter::EncodePending(Piece& piece, int decodedSamples) {
    if (decodedSamples <= 0 || !piece.pendingInPiece) return true;
    const int samples = std::min(decodedSamples, kPcmBufferSamples);
    ApplyFades(piece, piece.pendingFirstSample, samples);
    return EncodeAndWrite(piece, samples);
}

void ReencodeSplitter::ApplyFades(const Piece& piece, std::uint64_t firstSample, int samples) {
    // Linear in amplitude: the fade-in rises from 0 at the piece's first sample (the lead-in's,
    // when there is one) by 1/F per sample; the fade-out falls by 1/F per sample to reach 0
    // just after the piece's last sample. A piece shorter than a fade holds only its part.
    const bool fadeIn = m_fadeInOn && m_fadeInSamples > 0 && firstSample < m_fadeInSamples;
    const bool fadeOut = m_fadeOutOn && m_fadeOutSamples > 0 && piece.lengthKnown &&
                         firstSample + static_cast<std::uint64_t>(samples) + m_fadeOutSamples > piece.totalSamples;
    if (!fadeIn && !fadeOut) return;
    for (int i = 0; i < samples; ++i) {
        const std::uint64_t k = firstSample + static_cast<std::uint64_t>(i);
        double gain = 1.0;
        if (fadeIn) gain = std::min(1.0, static_cast<double>(k) / static_cast<double>(m_fadeInSamples));
        if (fadeOut) {
            const double left = k < piece.totalSamples ? static_cast<double>(piece.totalSamples - k) : 0.0;
            gain *= std::min(1.0, left / static_cast<double>(m_fadeOutSamples));
        }
        m_left[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(m_left[static_cast<std::size_t>(i)] * gain);
        if (piece.channels == 2) {
            m_right[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(m_right[static_cast<std::size_t>(i)] * gain);
        }
    }
}

bool ReencodeSplitter::EncodeAndWrite(Piece& piece, int samples) {
    const int bytes = m_encode(piece.encoder.get(), m_left.data(),
                               piece.channels == 1 ? nullptr : m_right.data(), samples,
                               m_mp3.data(), kMaxMp3Buffer);
    if (bytes < 0) {
        // A failed encode leaves a piece with a hole in its audio: the piece fails.
        SetError("Failed to encode file \"" + piece.out.Target().string() + "\".");
        return false;
    }
    return WritePieceBytes(piece.out, m_mp3.data(), static_cast<std::size_t>(bytes));
}

bool ReencodeSplitter::FinishPiece(Piece& piece) {
    // The decoder still holds the piece's last frame: an empty call hands it out.
    mp3data_struct headerInfo{};
    unsigned char nothing = 0;
    const int decoded = hip_decode1_headers(piece.decoder.get(), &nothing, 0, m_left.data(),
                                            m_right.data(), &headerInfo);
    if (!EncodePending(piece, decoded)) return Fail(piece);
    piece.pendingInPiece = false;
    if (PumpAndCheckCancel()) return Fail(piece);
    const int bytes = lame_encode_flush(piece.encoder.get(), m_mp3.data(), kMaxMp3Buffer);
    if (bytes < 0) {
        SetError("Failed to encode file \"" + piece.out.Target().string() + "\".");
        return Fail(piece);
    }
    if (bytes > 0 && !WritePieceBytes(piece.out, m_mp3.data(), static_cast<std::size_t>(bytes))) {
        return Fail(piece);
    }
    piece.decoder.reset();
    piece.encoder.reset();
    return CommitPiece(piece.out);
}

bool ReencodeSplitter::LeaveOutEmptyPiece(Piece& piece) {
    // Only frames of earlier pieces were left: there is no such piece.
    piece.decoder.reset();
    piece.encoder.reset();
    DiscardPiece(piece.out);
    SetPieceEmpty();
    return true;
}

bool ReencodeSplitter::Fail(Piece& piece) {
    piece.decoder.reset();
    piece.encoder.reset();
    DiscardPiece(piece.out);
    return false;
}

}  // namespace qm
