#include "split/ReencodeSplitter.h"

#include <lame/lame.h>

#include <algorithm>
#include <cstdarg>
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

// x - y, or 0 when y is larger.
std::uint64_t SubtractOrZero(std::uint64_t x, std::uint64_t y) { return x > y ? x - y : 0; }

}  // namespace

// What one piece being written keeps: its output and its own codec instances (nothing of
// the codec survives from one piece to the next).
struct ReencodeSplitter::Piece {
    AtomicOutputFile out;
    HipDecoder decoder;
    LameEncoder encoder;
    int channels = 2;            // handed to the encoder: 1 for a mono source
    int encoderKbps = 0;         // the pieces' constant bit rate
    std::uint64_t bytesWritten = 0;    // encoder output, fades included
    std::uint64_t samplesCounted = 0;  // decoded samples per channel, fades included
    bool encoderStopped = false;
};

ReencodeSplitter::ReencodeSplitter()
    : m_left(kPcmBufferSamples), m_right(kPcmBufferSamples), m_mp3(kMaxMp3Buffer) {}

ReencodeSplitter::~ReencodeSplitter() = default;

void ReencodeSplitter::SetFadeIn(bool enabled, int tenths) {
    m_fadeInOn = enabled;
    m_fadeInTenths = tenths;
    m_fadeInSamples = TenthsToSamples(tenths);
}

void ReencodeSplitter::SetFadeOut(bool enabled, int tenths) {
    m_fadeOutOn = enabled;
    m_fadeOutTenths = tenths;
    m_fadeOutSamples = TenthsToSamples(tenths);
}

int ReencodeSplitter::GetBitRate() const {
    return m_chosenBitRateKbps != 0 ? m_chosenBitRateKbps : SplitEngine::GetBitRate();
}

void ReencodeSplitter::SetEncoderParams(int sampleRateHz, int bitRateKbps, int channelMode) {
    m_chosenSampleRateHz = sampleRateHz;
    m_chosenBitRateKbps = bitRateKbps;
    m_chosenChannelMode = channelMode;
}

bool ReencodeSplitter::WritePieceBySize(const std::filesystem::path& path, std::uint64_t sizeBytes,
                                        int pieceNumber, int total, int sequence, int width,
                                        bool* endReached) {
    return WriteLimitedPiece(path, Limit::Bytes, sizeBytes, pieceNumber, total, sequence, width,
                             endReached);
}

bool ReencodeSplitter::WritePieceByDuration(const std::filesystem::path& path, int tenths,
                                            int pieceNumber, int total, int sequence, int width,
                                            bool* endReached) {
    return WriteLimitedPiece(path, Limit::Samples, TenthsToSamples(tenths), pieceNumber, total,
                             sequence, width, endReached);
}

bool ReencodeSplitter::WriteLimitedPiece(const std::filesystem::path& path, Limit kind,
                                         std::uint64_t limit, int pieceNumber, int total,
                                         int sequence, int width, bool* endReached) {
    *endReached = false;
    Piece piece;
    if (!BeginPiece(piece, path, pieceNumber, total, sequence, width)) return false;
    // The lead-in and the tail are encoded as part of the piece, so they lengthen it.
    const std::uint64_t movedBack = SeekLeadIn();
    if (kind == Limit::Bytes) {
        // Source bytes, scaled to the encoder's bit rate: the limit counts encoded bytes.
        const int sourceKbps = std::max(1, SplitEngine::GetBitRate());
        limit += movedBack * static_cast<std::uint64_t>(piece.encoderKbps) / static_cast<std::uint64_t>(sourceKbps);
        limit += OutputBytesForTenths(piece, m_tailTenths);
    } else {
        if (movedBack > 0) limit += m_leadInSamples;
        limit += m_tailSamples;
    }
    if (PumpAndCheckCancel()) return Fail(piece);
    if (!EncodeFadeIn(piece)) return Fail(piece);
    // The main part stops where the fade-out has to begin. A fade-out longer than what is
    // left of the piece is not shortened: the main part is then empty and the piece holds
    // the fade-in followed by the whole fade-out (longer than asked), just as a piece whose
    // two fades together exceed its length does.
    if (m_fadeOutOn && m_fadeOutSamples > 0) {
        limit = SubtractOrZero(limit, kind == Limit::Bytes ? OutputBytesForTenths(piece, m_fadeOutTenths)
                                                           : m_fadeOutSamples);
    }
    if (PumpAndCheckCancel()) return Fail(piece);
    if (!EncodeLimited(piece, kind, limit, endReached)) return Fail(piece);
    if (!FinishPiece(piece)) return false;
    RewindHistory(m_tailSamples);
    StepBack();
    return true;
}

bool ReencodeSplitter::WritePieceToEnd(const std::filesystem::path& path, int pieceNumber,
                                       int total, int sequence, int width) {
    Piece piece;
    if (!BeginPiece(piece, path, pieceNumber, total, sequence, width)) return false;
    SeekLeadIn();
    if (PumpAndCheckCancel()) return Fail(piece);
    if (!EncodeFadeIn(piece)) return Fail(piece);
    // The fade-out takes the last source bytes, measured at the source's average bit rate;
    // a fade-out longer than the whole file leaves nothing to the main part, and the fade
    // then runs until the source ends.
    std::uint64_t endOffset = m_reader.FileSize();
    if (m_fadeOutOn && m_fadeOutSamples > 0) {
        const auto bytesPerSecond = static_cast<std::uint64_t>(std::max(0, SplitEngine::GetBitRate())) * 1000 / 8;
        endOffset = SubtractOrZero(endOffset, static_cast<std::uint64_t>(bytesPerSecond * m_fadeOutTenths * 0.1));
    }
    if (PumpAndCheckCancel()) return Fail(piece);
    if (!EncodeToEnd(piece, endOffset)) return Fail(piece);
    return FinishPiece(piece);
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
    piece.encoderKbps = SnapBitRate(SplitEngine::GetBitRate());
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
    m_reader.Seek(leadInStart);
    return position - leadInStart;
}

int ReencodeSplitter::DecodeFrame(Piece& piece, const std::uint8_t* frame, int frameBytes) {
    mp3data_struct headerInfo{};
    // The decoder copies the frame into its own buffer; it does not write to it.
    const int samples = hip_decode1_headers(piece.decoder.get(), const_cast<unsigned char*>(frame),
                                            static_cast<std::size_t>(frameBytes), m_left.data(),
                                            m_right.data(), &headerInfo);
    return std::min(samples, kPcmBufferSamples);
}

bool ReencodeSplitter::EncodeAndWrite(Piece& piece, int samples) {
    const int bytes = lame_encode_buffer(piece.encoder.get(), m_left.data(),
                                         piece.channels == 1 ? nullptr : m_right.data(), samples,
                                         m_mp3.data(), kMaxMp3Buffer);
    if (bytes < 0) {
        // A failed encode leaves a piece with a hole in its audio: the piece fails.
        piece.encoderStopped = true;
        SetError("Failed to encode file \"" + piece.out.Target().string() + "\".");
        return false;
    }
    if (!WritePieceBytes(piece.out, m_mp3.data(), static_cast<std::size_t>(bytes))) return false;
    piece.bytesWritten += static_cast<std::uint64_t>(bytes);
    return true;
}

bool ReencodeSplitter::EncodeLimited(Piece& piece, Limit kind, std::uint64_t limit, bool* endReached) {
    Mp3FrameHeader header;
    // By size the limit counts encoded bytes, not source bytes; by duration it counts every
    // decoded sample, whether or not the encoder has returned output for it yet.
    while (!piece.encoderStopped &&
           (kind == Limit::Bytes ? piece.bytesWritten : piece.samplesCounted) < limit) {
        const std::uint8_t* frame = m_reader.NextFrame(&header);
        if (frame == nullptr) {
            *endReached = true;
            break;
        }
        RecordFrame(header.frameOffset, header.samplesPerFrame);
        const int samples = DecodeFrame(piece, frame, header.frameBytes);
        if (samples > 0) {
            if (!EncodeAndWrite(piece, samples)) return false;
            piece.samplesCounted += static_cast<std::uint64_t>(samples);
        }
        if (ProgressAndCheckCancel()) return false;
    }
    return true;
}

bool ReencodeSplitter::EncodeToEnd(Piece& piece, std::uint64_t endOffset) {
    // The frames up to the end offset; they are not recorded, as no piece follows.
    Mp3FrameHeader header;
    while (!piece.encoderStopped && m_reader.Position() < endOffset) {
        const std::uint8_t* frame = m_reader.NextFrame(&header);
        if (frame == nullptr) break;
        const int samples = DecodeFrame(piece, frame, header.frameBytes);
        if (samples > 0 && !EncodeAndWrite(piece, samples)) return false;
        if (ProgressAndCheckCancel()) return false;
    }
    return true;
}

bool ReencodeSplitter::EncodeFadeIn(Piece& piece) {
    if (!m_fadeInOn || m_fadeInSamples == 0) return true;
    // Linear in amplitude from 0 at the piece's first decoded sample to full level after
    // m_fadeInSamples samples, over whole source frames.
    const double step = 1.0 / static_cast<double>(m_fadeInSamples);
    std::uint64_t k = 0;
    Mp3FrameHeader header;
    while (!piece.encoderStopped && k < m_fadeInSamples) {
        const std::uint8_t* frame = m_reader.NextFrame(&header);
        if (frame == nullptr) break;
        RecordFrame(header.frameOffset, header.samplesPerFrame);
        const int samples = DecodeFrame(piece, frame, header.frameBytes);
        if (samples > 0) {
            for (int i = 0; i < samples; ++i) {
                const double gain = std::min(1.0, static_cast<double>(k + static_cast<std::uint64_t>(i)) * step);
                m_left[i] = static_cast<std::int16_t>(m_left[i] * gain);
                if (piece.channels == 2) m_right[i] = static_cast<std::int16_t>(m_right[i] * gain);
            }
            if (!EncodeAndWrite(piece, samples)) return false;
            k += static_cast<std::uint64_t>(samples);
            piece.samplesCounted += static_cast<std::uint64_t>(samples);
        }
        if (ProgressAndCheckCancel()) return false;
    }
    return true;
}

bool ReencodeSplitter::EncodeFadeOut(Piece& piece) {
    if (!m_fadeOutOn || m_fadeOutSamples == 0) return true;
    // Linear in amplitude from full level down to silence over m_fadeOutSamples samples;
    // when the source ends first, the fade ends with it.
    const double step = 1.0 / static_cast<double>(m_fadeOutSamples);
    std::uint64_t k = 0;
    Mp3FrameHeader header;
    while (!piece.encoderStopped && k < m_fadeOutSamples) {
        const std::uint8_t* frame = m_reader.NextFrame(&header);
        if (frame == nullptr) break;
        RecordFrame(header.frameOffset, header.samplesPerFrame);
        const int samples = DecodeFrame(piece, frame, header.frameBytes);
        if (samples > 0) {
            for (int i = 0; i < samples; ++i) {
                const double gain = std::max(0.0, 1.0 - static_cast<double>(k + static_cast<std::uint64_t>(i)) * step);
                m_left[i] = static_cast<std::int16_t>(m_left[i] * gain);
                if (piece.channels == 2) m_right[i] = static_cast<std::int16_t>(m_right[i] * gain);
            }
            if (!EncodeAndWrite(piece, samples)) return false;
            k += static_cast<std::uint64_t>(samples);
            piece.samplesCounted += static_cast<std::uint64_t>(samples);
        }
        if (ProgressAndCheckCancel()) return false;
    }
    return true;
}

bool ReencodeSplitter::FinishPiece(Piece& piece) {
    if (!EncodeFadeOut(piece)) return Fail(piece);
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

bool ReencodeSplitter::Fail(Piece& piece) {
    piece.decoder.reset();
    piece.encoder.reset();
    DiscardPiece(piece.out);
    return false;
}

std::uint64_t ReencodeSplitter::OutputBytesForTenths(const Piece& piece, int tenths) const {
    if (tenths <= 0) return 0;
    const std::uint64_t bytesPerSecond = static_cast<std::uint64_t>(piece.encoderKbps) * 1000 / 8;
    return static_cast<std::uint64_t>(static_cast<double>(bytesPerSecond) * tenths * 0.1);
}

}  // namespace qm
