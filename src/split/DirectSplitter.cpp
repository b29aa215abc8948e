#include "split/DirectSplitter.h"

#include <algorithm>
#include <optional>

#include "stream/MpegHeader.h"
#include "stream/XingFrame.h"

namespace qm {

// What one piece being written keeps.
struct DirectSplitter::Piece {
    std::uint64_t tagBytes = 0;
    // Where the piece's first frame begins in the source's stream, and the samples of the
    // frames written: its chapters are timed by them.
    std::uint64_t firstSample = 0;
    std::uint64_t writtenSamples = 0;
    // The source's Xing/Info frame, rebuilt for this piece as its frames are written.
    std::optional<XingFrameBuilder> xing;
    std::uint32_t frameCount = 0;  // lead-in, own and tail frames; not the Xing/Info frame
    std::uint32_t ownFrames = 0;   // frames that were in no piece before (not repeated)
    // Frames that lie one after the other in the source, not yet copied: one run for the
    // kernel to copy whole.
    std::uint64_t runStart = 0;
    std::uint64_t runBytes = 0;
    bool startsAtAudioStart = false;
    bool sourceEnded = false;
    // The piece starts with frames the piece before ends with (the step back's, carried for
    // the bit reservoir of its first own frame) and marks them as encoder delay, so that a
    // gapless player does not play them twice.
    bool marksRepeats = false;
    std::uint32_t repeatFrames = 0;
    int repeatSamples = 0;
};

bool DirectSplitter::WritePiece(const std::filesystem::path& path, const PieceLimit& limit, const PieceNumbers& numbers,
                                bool* endReached) {
    if (limit.kind == PieceLimit::Kind::ToEnd) return WriteRest(path, numbers);
    *endReached = false;
    Piece piece;
    if (!BeginPiece(piece, path, numbers)) return false;
    if (!CopyLeadIn(piece)) return Fail();
    if (PumpAndCheckCancel()) return Fail();
    if (!CopyOwnFrames(piece, limit, endReached)) return Fail();
    if (piece.sourceEnded && piece.ownFrames == 0) return LeaveOutEmptyPiece();
    if (!CopyTail(piece)) return Fail();
    if (!FinishPiece(piece)) return false;
    // The limit counted only the piece's own frames, so the frames repeated by the next
    // piece never hold it back. A piece that read nothing (a zero limit) has nothing to
    // repeat.
    if (piece.ownFrames > 0) StepBack(/*repeatsCounted=*/false);
    return true;
}

bool DirectSplitter::WriteRest(const std::filesystem::path& path, const PieceNumbers& numbers) {
    Piece piece;
    if (!BeginPiece(piece, path, numbers)) return false;
    if (!CopyLeadIn(piece)) return Fail();
    // Every remaining frame; they are not recorded, as no piece follows.
    Mp3FrameHeader header;
    std::uint64_t restSamples = 0;  // of the frames written after the history's end
    for (;;) {
        if (PumpAndCheckCancel()) return Fail();
        const std::uint8_t* frame = nullptr;
        const FrameWrite written = CopyNextFrame(piece, &frame, &header);
        if (written == FrameWrite::SourceEnded) break;
        if (written == FrameWrite::Failed) return Fail();
        if (written == FrameWrite::Written) {
            restSamples += static_cast<std::uint64_t>(header.samplesPerFrame);
            if (!IsRepeatedFrame(header.frameOffset)) ++piece.ownFrames;
        }
        MoveProgress();
    }
    m_cutSamples = m_history.EndSamples() + restSamples;
    if (piece.ownFrames == 0) return LeaveOutEmptyPiece();
    if (PumpAndCheckCancel()) return Fail();
    return FinishPiece(piece);
}

bool DirectSplitter::BeginPiece(Piece& piece, const std::filesystem::path& path, const PieceNumbers& numbers) {
    if (!CreatePiece(path)) return false;
    piece.startsAtAudioStart = m_reader.Position() <= m_reader.AudioStart();
    piece.firstSample = m_history.EndSamples();  // the stream's place: the reader's
    if (!WritePieceTag(numbers, &piece.tagBytes)) return Fail();
    // The source's Xing/Info frame goes in as it is; it is brought up to date at the end.
    const std::vector<std::uint8_t>& info = m_reader.InfoFrame();
    if (!info.empty()) piece.xing.emplace(info);
    // Repeated frames are marked in a LAME extension: a source whose frame has none gives the
    // piece a fresh one (Layer III only; other layers have no such frame).
    piece.marksRepeats = m_leadInSamples == 0 && IsRepeatedFrame(m_reader.Position());
    if (piece.marksRepeats && !(piece.xing && piece.xing->IsValid() && piece.xing->HasLameExtension())) {
        piece.xing.reset();
        // Made after the stream's first frame, so every piece of the source gets the same.
        const std::vector<std::uint8_t> fresh = MakeXingFrame(m_streamFormat, WithLameExtension::Yes);
        if (!fresh.empty()) {
            piece.xing.emplace(fresh);
            piece.xing->NameByBitRates();
        }
        piece.marksRepeats = piece.xing.has_value();
    }
    if (piece.xing && !WritePieceBytes(piece.xing->Frame().data(), piece.xing->FrameBytes())) return Fail();
    m_levels.Configure(static_cast<std::int64_t>(TenthsToSamples(m_fadeInTenths)),
                       static_cast<std::int64_t>(TenthsToSamples(m_fadeOutTenths)), GainSteps(m_volumeTenthsDb / 10.0));
    // A piece that marks repeats plays from its first own frame, which the levels find.
    m_levels.BeginPiece(piece.marksRepeats ? std::nullopt : std::optional(SkippedSamples(piece)));
    if (PumpAndCheckCancel()) return Fail();
    return true;
}

std::int64_t DirectSplitter::SkippedSamples(const Piece& piece) const {
    if (piece.marksRepeats) return piece.repeatSamples;
    // The first piece keeps the source's encoder delay; a later one declares none, and a
    // gapless player then skips only the decoder's delay.
    if (piece.startsAtAudioStart) return static_cast<std::int64_t>(m_playbackDelay);
    return piece.xing && piece.xing->IsValid() && piece.xing->HasLameExtension() ? kDecoderDelaySamples : 0;
}

std::int64_t DirectSplitter::PlayedSamples(const Piece& piece) const {
    const auto written = static_cast<std::int64_t>(piece.writtenSamples);
    if (!(piece.xing && piece.xing->IsValid() && piece.xing->HasLameExtension())) return written;
    // The decoder's delay plays on past the last frame's samples, less the padding the last
    // piece keeps from the source.
    std::int64_t padding = 0;
    XingLayout layout;
    LameExtension lame;
    const std::vector<std::uint8_t>& info = m_reader.InfoFrame();
    if (piece.sourceEnded && !info.empty() && ParseXingLayout(info, &layout) &&
        ReadLameExtension(info, layout, &lame)) {
        padding = lame.paddingSamples;
    }
    return std::max<std::int64_t>(0, written - SkippedSamples(piece) + kDecoderDelaySamples - padding);
}

DirectSplitter::FrameWrite DirectSplitter::CopyNextFrame(Piece& piece, const std::uint8_t** frame,
                                                         Mp3FrameHeader* header) {
    *frame = m_reader.NextFrame(header);
    if (*frame == nullptr) {
        piece.sourceEnded = true;
        return FrameWrite::SourceEnded;
    }
    return WriteFrame(piece, *frame, *header);
}

DirectSplitter::FrameWrite DirectSplitter::WriteFrame(Piece& piece, const std::uint8_t* frame,
                                                      const Mp3FrameHeader& header) {
    // The frame reader takes any four bytes that pass the header tests for a frame, and junk
    // between frames may hold such bytes. A decoder stops at a frame whose version, layer,
    // sample rate or channel count differs from the stream's, so such a "frame" is left out;
    // the run of frames is cut around it like around any junk.
    if (!SameStreamFormat(header, m_streamFormat)) return FrameWrite::Skipped;
    const std::span<const std::uint8_t> bytes(frame, static_cast<std::size_t>(header.frameBytes));
    const bool leadingRepeat =
        piece.marksRepeats && piece.repeatFrames == piece.frameCount && IsRepeatedFrame(header.frameOffset);
    if (leadingRepeat) {
        ++piece.repeatFrames;
        piece.repeatSamples += header.samplesPerFrame;
    }
    ++piece.frameCount;
    piece.writtenSamples += static_cast<std::uint64_t>(std::max(0, header.samplesPerFrame));
    const bool written =
        m_levels.Active() ? m_levels.Add(bytes, header, header.frameOffset, leadingRepeat,
                                         [this, &piece](std::span<const std::uint8_t> out, std::uint64_t offset,
                                                        bool edited) { return EmitFrame(piece, out, offset, edited); })
                          : EmitFrame(piece, bytes, header.frameOffset, false);
    return written ? FrameWrite::Written : FrameWrite::Failed;
}

bool DirectSplitter::EmitFrame(Piece& piece, std::span<const std::uint8_t> frame, std::uint64_t sourceOffset,
                               bool edited) {
    if (edited) {
        if (!CopyRun(piece) || !WritePieceBytes(frame.data(), frame.size())) return false;
    } else {
        // The run is cut short where the frames do not follow on in the source (junk between
        // them, a lead-in read again) and at a bounded length, so that a long piece is copied
        // in steps between the frames read rather than all at its end.
        constexpr std::uint64_t kMaxRunBytes = std::uint64_t{8} << 20;
        const bool followsOn = sourceOffset == piece.runStart + piece.runBytes;
        if (piece.runBytes > 0 && (!followsOn || piece.runBytes >= kMaxRunBytes) && !CopyRun(piece)) return false;
        if (piece.runBytes == 0) piece.runStart = sourceOffset;
        piece.runBytes += frame.size();
    }
    if (piece.xing) piece.xing->AddFrame(frame);
    return true;
}

bool DirectSplitter::CopyRun(Piece& piece) {
    if (piece.runBytes == 0) return true;
    const bool copied = CopySourceToPiece(piece.runStart, piece.runBytes);
    piece.runBytes = 0;
    return copied;
}

bool DirectSplitter::CopyLeadIn(Piece& piece) {
    if (m_leadInSamples == 0) return true;
    std::uint64_t leadInStart = 0;
    int entriesVisited = 0;
    const std::uint64_t resumeAt = m_reader.Position();
    if (!FindLeadInStart(&leadInStart, &entriesVisited) || leadInStart >= resumeAt) return true;
    // The lead-in frames are read again one by one (not recorded a second time), so that
    // the piece's Xing/Info frame learns their sizes and CRC like any other frame's.
    m_reader.Seek(leadInStart);
    piece.startsAtAudioStart = leadInStart <= m_reader.AudioStart();
    Mp3FrameHeader header;
    while (m_reader.Position() < resumeAt) {
        const std::uint8_t* frame = m_reader.NextFrame(&header);
        if (frame == nullptr || header.frameOffset >= resumeAt) break;
        if (WriteFrame(piece, frame, header) == FrameWrite::Failed) return false;
    }
    // The piece begins with the lead-in, which lies in the history before the reader's place.
    piece.firstSample -= std::min(piece.firstSample, piece.writtenSamples);
    m_reader.Seek(resumeAt);
    return true;
}

bool DirectSplitter::CopyOwnFrames(Piece& piece, const PieceLimit& limit, bool* endReached) {
    // The frame that crosses the limit belongs to this piece, so every piece but the last
    // is at least as large as asked, by less than one frame. A length is counted from the
    // start of the stream: the piece ends on the first frame boundary at or after the end
    // of all lengths asked for, within one frame of its own length and without drift.
    const bool bytes = limit.kind == PieceLimit::Kind::Bytes;
    const std::uint64_t target = bytes ? limit.bytes : LimitEndSamples(limit);
    std::uint64_t total = 0;
    const auto short_of_limit = [&] {
        if (bytes) return total < target;
        // Every piece holds at least one frame of its own, so that every piece moves the
        // split forward.
        return piece.ownFrames == 0 || m_history.EndSamples() < target;
    };
    Mp3FrameHeader header;
    while (short_of_limit()) {
        const std::uint8_t* frame = nullptr;
        const FrameWrite written = CopyNextFrame(piece, &frame, &header);
        if (written == FrameWrite::SourceEnded) {
            *endReached = true;
            break;
        }
        if (written == FrameWrite::Failed) return false;
        // A skipped frame is no frame of the stream: the step back and the next lead-in
        // never land on it, and it counts towards no limit.
        if (written == FrameWrite::Written) RecordFrame(frame, header);
        // The frames the step back brought again travel along for their bit reservoir;
        // the limit counts the piece's own frames after them.
        if (written == FrameWrite::Written && !IsRepeatedFrame(header.frameOffset)) {
            ++piece.ownFrames;
            total += static_cast<std::uint64_t>(header.frameBytes);
        }
        if (ProgressAndCheckCancel()) {
            ClearError();
            return false;
        }
    }
    if (bytes) RestartPlannedDurations(m_history.EndSamples());
    m_cutSamples = m_history.EndSamples();
    return true;
}

bool DirectSplitter::CopyTail(Piece& piece) {
    if (m_tailSamples == 0) return true;
    // The frames after the piece's end are appended and then read again by the next piece;
    // they are not recorded, and neither the bar nor the cancel flag is looked at.
    const std::uint64_t resumeAt = m_reader.Position();
    std::uint64_t sum = 0;
    Mp3FrameHeader header;
    while (sum < m_tailSamples) {
        const std::uint8_t* frame = nullptr;
        const FrameWrite written = CopyNextFrame(piece, &frame, &header);
        if (written == FrameWrite::SourceEnded) break;
        if (written == FrameWrite::Failed) return false;
        if (written == FrameWrite::Written) sum += static_cast<std::uint64_t>(header.samplesPerFrame);
    }
    m_reader.Seek(resumeAt);
    return true;
}

bool DirectSplitter::FinishPiece(Piece& piece) {
    const auto emit = [this, &piece](std::span<const std::uint8_t> out, std::uint64_t offset, bool edited) {
        return EmitFrame(piece, out, offset, edited);
    };
    if (m_levels.Active() && !m_levels.Finish(PlayedSamples(piece), emit)) return Fail();
    if (!CopyRun(piece)) return Fail();
    // A gapless player skips the samples the piece's LAME extension declares (the source's
    // delay on the first piece, the repeated frames on the others) and plays the rest.
    std::int64_t skippedSamples = 0;
    if (piece.xing && piece.xing->IsValid()) {
        // Counts, seek table and LAME fields of the Xing/Info copy now describe this piece.
        // The repeated frames are the delay, less the decoder's own, which a gapless decoder
        // skips on top: the piece then plays on from the sample where the piece before ended.
        if (piece.repeatSamples > 0) piece.xing->SetEncoderDelay(piece.repeatSamples - kDecoderDelaySamples);
        const std::uint64_t fileBytes = PieceBytesWritten();
        const std::vector<std::uint8_t>& rebuilt =
            piece.xing->Finish(fileBytes - piece.tagBytes, piece.startsAtAudioStart, piece.sourceEnded);
        if (!RewritePieceBytes(piece.tagBytes, rebuilt.data(), rebuilt.size())) return Fail();
        skippedSamples = PlaybackDelaySamples(rebuilt);
    }
    const auto firstSample = static_cast<std::int64_t>(piece.firstSample);
    if (!WritePieceChapters(firstSample + skippedSamples,
                            firstSample + static_cast<std::int64_t>(piece.writtenSamples))) {
        return Fail();
    }
    ExpectPiece(OutputExpectation::Frames(piece.frameCount));
    return CommitPiece();
}

bool DirectSplitter::LeaveOutEmptyPiece() {
    // Only frames of earlier pieces were left: a file of them would repeat audio already
    // written, so there is no such piece.
    m_levels.Discard();
    DiscardPiece();
    SetPieceEmpty();
    return true;
}

bool DirectSplitter::Fail() {
    // A cancelled piece leaves no message; a failed one keeps the message already set.
    m_levels.Discard();
    DiscardPiece();
    return false;
}

}  // namespace qm
