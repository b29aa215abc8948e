#include "split/SplitEngine.h"

#include <algorithm>
#include <climits>
#include <exception>

#include "output/Paths.h"
#include "output/Templates.h"
#include "split/PieceChapters.h"
#include "stream/MpegHeader.h"
#include "stream/XingFrame.h"

namespace qm {
namespace {

// Frames a piece repeats from the end of the one before, at least: the first frame of a
// piece may take part of its data from the bit reservoir of the frames before it, so they
// travel along.
constexpr std::size_t kStepBackFrames = 3;
// The most samples one MPEG frame holds (MPEG-1 Layer II and III).
constexpr std::uint64_t kMaxSamplesPerFrame = 1152;

// The most frames a step back repeats. The repeated frames are marked in the piece's LAME
// extension as encoder delay (their samples less the decoder's own delay), a 12-bit field:
// four MPEG-1 Layer III frames or eight MPEG-2/2.5 ones. A frame more would be heard twice.
constexpr std::size_t MostStepBackFrames(std::uint64_t samplesPerFrame) {
    return samplesPerFrame == 0
               ? kStepBackFrames
               : static_cast<std::size_t>((kMaxLameTrimSamples + kDecoderDelaySamples) / samplesPerFrame);
}

// Frames kept beyond the overlaps: the step back's (eight at the most), and the frames that
// prime the re-encoding engine's decoder ahead of a piece (two, and the bit reservoir before
// them: 511 bytes span nine frames at the lowest MPEG-1 bit rate, 32 kbit/s at 48 kHz, whose
// frames have 60 bytes after header and side information).
constexpr std::size_t kHistoryMarginFrames = 12;
constexpr std::uint64_t kLsfLayer3Samples = 576;
static_assert(kHistoryMarginFrames >= MostStepBackFrames(kLsfLayer3Samples));

}  // namespace

SplitEngine::SplitEngine() = default;

SplitEngine::~SplitEngine() = default;

bool SplitEngine::Open(const std::filesystem::path& path) {
    ClearError();
    m_history.Clear();
    m_cutSamples = 0;
    m_playbackDelay = 0;
    m_repeatEnd = 0;
    m_pieceEmpty = false;
    m_sourceChapters.clear();
    m_chapterPlaceholders.clear();
    RestartPlannedDurations(0);
    try {
        if (!m_reader.Open(path)) {
            SetError(FailedToLoadMessage(path));
            return false;
        }
        // Open leaves the average bit rate in the reader; reading frames replaces it by the
        // rate of each frame read, so it is kept here.
        m_averageKbps = m_reader.BitRateKbps();
        m_measuredSamples =
            static_cast<std::uint64_t>(std::max(0.0, m_reader.LengthSeconds()) * m_reader.SampleRateHz());
        m_streamFormat = m_reader.LastHeader();  // Open read the first audio frame last
        m_playbackDelay = static_cast<std::uint64_t>(PlaybackDelaySamples(m_reader.InfoFrame()));
        ReadTags(path, &m_sourceTag);  // no tag leaves the fields empty (track 0)
        // No cover (or one too large to carry) leaves the picture empty.
        ReadFrontCover(path, &m_sourceCover);
        // Read once for every piece; a file without chapters (or a tag) leaves none. Their
        // frames, as a tag of their own, are the room every piece's tag keeps (see
        // WritePieceTag); out of memory, the pieces carry no chapters.
        ReadChapters(path, &m_sourceChapters);
        if (!AppendChapterFrames(m_sourceChapters, &m_chapterPlaceholders)) m_chapterPlaceholders.clear();
        m_sourceFileTitle = FileTitleOf(path);
        m_sourcePath = path;
    } catch (const std::exception&) {
        m_reader.Close();
        SetError(FailedToLoadMessage(path));
        return false;
    }
    return true;
}

void SplitEngine::Close() {
    m_reader.Close();
    DiscardPiece();  // a piece left unfinished by an exception
}

void SplitEngine::SetCancelFlag(const CancelFlag* cancel) { m_cancel = cancel; }

std::uint64_t SplitEngine::AttachProgressBar(ProgressBar* bar) {
    m_bar = bar;
    if (bar == nullptr) return 0;
    m_barWidth = std::max(0, bar->WidthPixels());
    bar->SetRange(0, m_barWidth);
    bar->SetPosition(0);
    m_lastProgressPosition = 0;
    m_bytesPerStep = m_barWidth > 0 ? m_reader.FileSize() / static_cast<std::uint64_t>(m_barWidth) : 0;
    if (m_bytesPerStep == 0) m_bytesPerStep = 1;
    return m_bytesPerStep;
}

void SplitEngine::SetLongOperation(const LongOperation& operation) {
    SetCancelFlag(operation.cancel);
    SetMessagePump(operation.pump);
    AttachProgressBar(operation.bar);
}

void SplitEngine::SetLeadInOverlap(int tenths) {
    m_leadInTenths = tenths;
    m_leadInSamples = TenthsToSamples(tenths);
}

void SplitEngine::SetTailOverlap(int tenths) {
    m_tailTenths = tenths;
    m_tailSamples = TenthsToSamples(tenths);
}

int SplitEngine::GetBitRate() const { return m_averageKbps; }

void SplitEngine::SetEncoderParams(int, int, std::optional<ChannelMode>) {}

std::uint64_t SplitEngine::TenthsToSamples(std::int64_t tenths) const {
    if (tenths <= 0) return 0;
    // 64-bit: a whole day in tenths at 48 kHz passes 32 bits of samples.
    return static_cast<std::uint64_t>(static_cast<double>(tenths) * 0.1 * m_reader.SampleRateHz());
}

std::uint64_t SplitEngine::PlanDuration(int tenths) {
    m_plannedTenths += std::max(0, tenths);
    return m_plannedBaseSamples + TenthsToSamples(m_plannedTenths);
}

void SplitEngine::FrameHistory::PushBack(const HistoryEntry& entry) {
    // Reclaim the dropped entries' room before the vector would have to grow; only when they
    // are at least half of it, so that each entry is moved a bounded number of times.
    if (m_entries.size() == m_entries.capacity() && m_begin > 0 && m_begin >= m_entries.size() / 2) {
        m_entries.erase(m_entries.begin(), m_entries.begin() + static_cast<std::ptrdiff_t>(m_begin));
        m_begin = 0;
    }
    m_entries.push_back(entry);
    m_totalSamples += entry.samples;
    m_endSamples += entry.samples;
}

void SplitEngine::FrameHistory::PopBack() {
    m_totalSamples -= m_entries.back().samples;
    m_endSamples -= m_entries.back().samples;
    m_entries.pop_back();
    if (m_entries.size() <= m_begin) {
        // The stream's place stays where the entries taken back began.
        m_entries.clear();
        m_begin = 0;
        m_totalSamples = 0;
    }
}

void SplitEngine::FrameHistory::PopFront() {
    m_totalSamples -= m_entries[m_begin].samples;
    ++m_begin;
    if (m_begin == m_entries.size()) Clear();
}

void SplitEngine::FrameHistory::Clear() {
    m_entries.clear();
    m_begin = 0;
    m_totalSamples = 0;
    m_endSamples = 0;
}

void SplitEngine::RecordFrame(std::uint64_t frameOffset, int samples) {
    KeepInHistory(HistoryEntry{frameOffset, static_cast<std::uint32_t>(std::max(0, samples))});
}

void SplitEngine::RecordFrame(const std::uint8_t* frame, const Mp3FrameHeader& header) {
    const Layer3MainData mainData = Layer3MainDataOf(frame, header);
    KeepInHistory(HistoryEntry{header.frameOffset, static_cast<std::uint32_t>(std::max(0, header.samplesPerFrame)),
                               static_cast<std::uint16_t>(mainData.beginBytes),
                               static_cast<std::uint16_t>(mainData.roomBytes)});
}

void SplitEngine::KeepInHistory(const HistoryEntry& entry) {
    // Frames read again (a lead-in sought back to, a tail read twice) are already recorded.
    if (!m_history.Empty() && entry.frameOffset <= m_history.Back().frameOffset) return;
    m_history.PushBack(entry);
    // Keep what a tail rewind, the step back and the next lead-in can reach; older frames
    // are never looked at again, so the history stays small however long the source is.
    const std::uint64_t keptSamples = m_leadInSamples + m_tailSamples + kHistoryMarginFrames * kMaxSamplesPerFrame;
    while (m_history.Size() > kHistoryMarginFrames &&
           m_history.TotalSamples() - m_history.Front().samples >= keptSamples) {
        m_history.PopFront();
    }
}

bool SplitEngine::ProgressAndCheckCancel() {
    MoveProgress();
    return PumpAndCheckCancel();
}

void SplitEngine::MoveProgress() {
    if (m_bar != nullptr) {
        // One division per frame; the bar is only told when its pixel position grows.
        const std::uint64_t steps = m_reader.Position() / m_bytesPerStep;
        const int position = static_cast<int>(std::min<std::uint64_t>(steps, static_cast<std::uint64_t>(m_barWidth)));
        if (position > m_lastProgressPosition) {
            m_bar->SetPosition(position);
            m_lastProgressPosition = position;
        }
    }
}

bool SplitEngine::PumpAndCheckCancel() {
    if (m_pump != nullptr) m_pump->PumpMessages();
    return m_cancel != nullptr && m_cancel->load(std::memory_order_relaxed) != 0;
}

std::uint64_t SplitEngine::LimitEndSamples(const PieceLimit& limit) {
    if (limit.kind != PieceLimit::Kind::Until) return PlanDuration(limit.tenths);
    // Floor: a time on a frame boundary (as the pause scan gives them) cuts at that boundary.
    const auto endSamples = static_cast<std::uint64_t>(std::max<Millis>(0, limit.until)) *
                                static_cast<std::uint64_t>(m_reader.SampleRateHz()) / 1000 +
                            m_playbackDelay;
    RestartPlannedDurations(endSamples);
    return endSamples;
}

bool SplitEngine::SkipDuration(int tenths, bool* endReached) { return SkipToSample(PlanDuration(tenths), endReached); }

bool SplitEngine::SkipUntil(Millis time, bool* endReached) {
    return SkipToSample(LimitEndSamples({PieceLimit::Kind::Until, 0, 0, time}), endReached);
}

bool SplitEngine::SkipToSample(std::uint64_t endSamples, bool* endReached) {
    *endReached = false;
    Mp3FrameHeader header;
    // Frames that the step back brought again are read past as well; they are recorded
    // again, so the history's end is the stream's place.
    while (m_history.EndSamples() < endSamples) {
        const std::uint8_t* frame = m_reader.NextFrame(&header);
        if (frame == nullptr) {
            *endReached = true;
            m_cutSamples = m_history.EndSamples();
            return true;
        }
        // A false frame in junk (another stream format) is no audio: it neither counts nor
        // becomes a place the step back could return to.
        if (SameStreamFormat(header, m_streamFormat)) RecordFrame(frame, header);
        if (ProgressAndCheckCancel()) return false;
    }
    m_cutSamples = m_history.EndSamples();
    return true;
}

std::optional<int> SplitEngine::CountPiecesBySize(std::uint64_t sizeBytes) {
    // The pieces' own frames in order, each piece closed by the frame that reaches the size,
    // as the engines cut them; the frames the step back repeats count in no piece.
    constexpr int kFramesBetweenPumps = 256;
    const SizeMeasure measure = MeasureForSize(sizeBytes);
    const std::uint64_t target = std::max<std::uint64_t>(measure.target, 1);
    const std::uint64_t position = m_reader.Position();
    std::uint64_t sum = 0;
    int pieces = 0;
    bool open = false;
    Mp3FrameHeader header;
    for (int frames = 1; m_reader.NextFrame(&header) != nullptr; ++frames) {
        if (SameStreamFormat(header, m_streamFormat)) {
            sum += measure.bytes ? static_cast<std::uint64_t>(header.frameBytes)
                                 : static_cast<std::uint64_t>(header.samplesPerFrame);
            open = true;
            if (sum >= target) {
                if (pieces < INT_MAX) ++pieces;
                sum = 0;
                open = false;
            }
        }
        if (frames % kFramesBetweenPumps == 0 && PumpAndCheckCancel()) {
            m_reader.Seek(position);
            return std::nullopt;
        }
    }
    // The reader's figures (channel mode, bit rate) are again those of the frame at its place.
    m_reader.Seek(position);
    static_cast<void>(m_reader.NextFrame(&header));
    m_reader.Seek(position);
    if (open && pieces < INT_MAX) ++pieces;
    return std::max(pieces, 1);
}

bool SplitEngine::AudioShortOfMeasured() const {
    return m_history.EndSamples() + kMaxSamplesPerFrame < m_measuredSamples;
}

bool SplitEngine::FindLeadInStart(std::uint64_t* leadInOffset, int* entriesVisited) const {
    if (m_history.Empty()) return false;
    // Walk from the newest frame towards older ones until the lead-in is covered or the
    // history has no older frame.
    std::uint64_t sum = 0;
    std::size_t visited = 0;
    while (visited < m_history.Size()) {
        sum += m_history.FromBack(visited).samples;
        ++visited;
        if (sum >= m_leadInSamples) break;
    }
    *leadInOffset = m_history.FromBack(visited - 1).frameOffset;
    *entriesVisited = static_cast<int>(visited);
    return true;
}

void SplitEngine::RewindTo(std::uint64_t byteOffset) {
    while (!m_history.Empty() && m_history.Back().frameOffset >= byteOffset) m_history.PopBack();
    m_reader.Seek(byteOffset);
}

void SplitEngine::StepBack(bool repeatsCounted) {
    m_repeatEnd = m_reader.Position();
    std::uint64_t offset = m_reader.Position();
    const std::size_t frames = StepBackFrames();
    for (std::size_t i = 0; i < frames && !m_history.Empty(); ++i) {
        if (repeatsCounted && m_history.Back().frameOffset <= m_pieceStart) break;
        offset = m_history.Back().frameOffset;
        m_history.PopBack();
    }
    m_reader.Seek(offset);
}

std::size_t SplitEngine::StepBackFrames() {
    if (m_history.Size() <= kStepBackFrames) return m_history.Size();
    const HistoryEntry& last = m_history.Back();
    // Layers I and II keep no reservoir: each frame decodes on its own.
    if (last.mainDataBeginBytes == 0 && last.mainDataRoomBytes == 0) return kStepBackFrames;
    // The first own frame decodes as in the source when its main data is in the piece and
    // the two granules before it decoded as in the source: each granule's transform overlaps
    // the one before, and the synthesis filter runs on over it. Those granules are the last
    // repeated frame in MPEG-1 (two granules a frame), the last two in MPEG-2 and 2.5 (one
    // granule a frame), and their main data must be in the piece as well. A frame's main
    // data is in the piece when the rooms of the piece's frames before it hold its
    // main_data_begin.
    const std::size_t leadingFrames = last.samples < kMaxSamplesPerFrame ? 2 : 1;
    const int firstOwnBeginBytes = PeekMainDataBegin();
    const auto covered = [&](std::size_t frames) {
        std::uint64_t roomBefore = 0;  // in the repeated frames before the one looked at
        for (std::size_t i = 0; i < frames; ++i) roomBefore += m_history.FromBack(i).mainDataRoomBytes;
        if (roomBefore < static_cast<std::uint64_t>(firstOwnBeginBytes)) return false;
        for (std::size_t i = 0; i < leadingFrames; ++i) {
            roomBefore -= m_history.FromBack(i).mainDataRoomBytes;
            if (roomBefore < m_history.FromBack(i).mainDataBeginBytes) return false;
        }
        return true;
    };
    // Three wherever three suffice; else as many as needed, as far as the history reaches and
    // the piece can mark as delay.
    const std::size_t most = std::min(m_history.Size(), MostStepBackFrames(last.samples));
    std::size_t frames = kStepBackFrames;
    while (frames < most && !covered(frames)) ++frames;
    return frames;
}

int SplitEngine::PeekMainDataBegin() {
    // A false frame in junk (another stream format) is no frame of the piece; the first own
    // frame follows it.
    constexpr int kMostFalseFrames = 4;
    const std::uint64_t position = m_reader.Position();
    int beginBytes = 0;
    Mp3FrameHeader header;
    for (int i = 0; i < kMostFalseFrames; ++i) {
        const std::uint8_t* frame = m_reader.NextFrame(&header);
        if (frame == nullptr) break;
        if (SameStreamFormat(header, m_streamFormat)) {
            beginBytes = Layer3MainDataOf(frame, header).beginBytes;
            break;
        }
    }
    m_reader.Seek(position);
    return beginBytes;
}

std::string SplitEngine::PieceTitle(const PieceNumbers& numbers) const {
    // The pieces of a plan that brings titles take them where the template is the default.
    const bool titled = numbers.mark.titled && m_titleTemplate == kDefaultId3TitleFormat;
    return ExpandTitleTemplate(titled ? std::string(kTitledId3TitleFormat) : m_titleTemplate, m_sourceTag,
                               m_sourceFileTitle, numbers);
}

Millis SplitEngine::CutMillis() const {
    const int rate = m_reader.SampleRateHz();
    const std::uint64_t played = m_cutSamples > m_playbackDelay ? m_cutSamples - m_playbackDelay : 0;
    return rate > 0 ? static_cast<Millis>(played * 1000 / static_cast<std::uint64_t>(rate)) : 0;
}

Millis SplitEngine::MeasuredMillis() const {
    const int rate = m_reader.SampleRateHz();
    return rate > 0 ? static_cast<Millis>(m_measuredSamples * 1000 / static_cast<std::uint64_t>(rate)) : 0;
}

std::vector<std::uint8_t> SplitEngine::MakePieceTag(const PieceNumbers& numbers) const {
    if (!m_writeTag) return {};
    TagInfo tag = m_sourceTag;
    // A sheet's album, performer, genre and year stand in for the source's, field by field.
    for (auto field : {&TagInfo::album, &TagInfo::artist, &TagInfo::genre, &TagInfo::year}) {
        if (!(m_sheetTag.*field).empty()) tag.*field = m_sheetTag.*field;
    }
    if (!numbers.mark.performer.empty()) tag.artist = numbers.mark.performer;
    tag.title = PieceTitle(numbers);
    const int sourceTrack = numbers.mark.track > 0 ? numbers.mark.track : m_sourceTag.track;
    tag.track = m_trackNumberMode == TrackNumberCode::Piece ? numbers.piece : sourceTrack;
    return BuildId3v2Tag(tag, &m_sourceCover);
}

bool SplitEngine::WritePieceTag(const PieceNumbers& numbers, std::uint64_t* tagBytes) {
    std::vector<std::uint8_t> tag = MakePieceTag(numbers);
    m_chapterRoomOffset = 0;
    m_chapterRoomBytes = 0;
    if (m_writeTag && m_chapterPlaceholders.size() > kId3v2HeaderBytes) {
        // The room is the frames of all the source's chapters as placeholders: a piece carries
        // some of them, and a chapter frame's size does not depend on its times. The frames
        // follow the fields; a tag of no fields is the placeholders' own, header and all.
        if (tag.empty()) {
            tag = m_chapterPlaceholders;
        } else {
            tag.insert(tag.end(), m_chapterPlaceholders.begin() + kId3v2HeaderBytes, m_chapterPlaceholders.end());
            static_cast<void>(PadId3v2Tag(tag.size(), &tag));  // the header counts the frames added
        }
        m_chapterRoomBytes = m_chapterPlaceholders.size() - kId3v2HeaderBytes;
        m_chapterRoomOffset = tag.size() - m_chapterRoomBytes;
    }
    *tagBytes = tag.size();
    return WritePieceBytes(tag.data(), tag.size());
}

bool SplitEngine::WritePieceChapters(std::int64_t beginSamples, std::int64_t endSamples) {
    if (m_chapterRoomBytes == 0 || m_dryRun) return true;
    const int rate = std::max(1, m_reader.SampleRateHz());
    const auto played = [&](std::int64_t samples) {
        return (samples - static_cast<std::int64_t>(m_playbackDelay)) * 1000 / rate;
    };
    const std::vector<Chapter> chapters = ChaptersInPiece(m_sourceChapters, played(beginSamples), played(endSamples));
    // The piece's frames are made as a tag of their own, whose header is left out: the
    // piece's tag header counts the whole room already, and what the frames leave of it is
    // padding. They are never larger than the placeholders; should they be, the piece keeps
    // padding alone rather than a tag cut short.
    std::vector<std::uint8_t> room(m_chapterRoomBytes, 0);
    std::vector<std::uint8_t> frames;
    if (AppendChapterFrames(chapters, &frames) && frames.size() > kId3v2HeaderBytes &&
        frames.size() - kId3v2HeaderBytes <= room.size()) {
        std::copy(frames.begin() + kId3v2HeaderBytes, frames.end(), room.begin());
    }
    return RewritePieceBytes(m_chapterRoomOffset, room.data(), room.size());
}

bool SplitEngine::CreatePiece(const std::filesystem::path& path) {
    ClearError();
    m_pieceEmpty = false;
    m_pieceExpectation = OutputExpectation{};
    m_pieceStart = m_reader.Position();
    if (m_dryRun) {
        m_dryTarget = path;
        m_dryBytes = 0;
        return true;
    }
    bool created = false;
    try {
        created = m_output.Create(path);
    } catch (const std::exception&) {
        created = false;
    }
    if (!created) SetError(FailedToCreateMessage(path));
    return created;
}

bool SplitEngine::WritePieceBytes(const void* bytes, std::size_t byteCount) {
    if (m_dryRun) {
        m_dryBytes += byteCount;
        return true;
    }
    if (m_output.Write(bytes, byteCount)) return true;
    SetError(FailedToWriteMessage(m_output.Target()));
    DiscardPiece();
    return false;
}

bool SplitEngine::CopySourceToPiece(std::uint64_t sourceByteOffset, std::uint64_t byteCount) {
    if (m_dryRun) {
        m_dryBytes += byteCount;
        return true;
    }
    if (m_output.CopyFrom(m_reader.Descriptor(), sourceByteOffset, byteCount)) return true;
    // A source that another program cut short ends before the run does: the fault is the
    // source's, not the output's.
    SetError(m_reader.SourceChanged() ? SourceChangedMessage(m_sourcePath) : FailedToWriteMessage(m_output.Target()));
    DiscardPiece();
    return false;
}

bool SplitEngine::RewritePieceBytes(std::uint64_t byteOffset, const void* bytes, std::size_t byteCount) {
    if (m_dryRun) return true;
    if (m_output.Rewrite(byteOffset, bytes, byteCount)) return true;
    // The rewrite stores what is pending first: a run copied from a source that was cut short
    // meanwhile fails there.
    SetError(m_reader.SourceChanged() ? SourceChangedMessage(m_sourcePath) : FailedToWriteMessage(m_output.Target()));
    DiscardPiece();
    return false;
}

void SplitEngine::DiscardPiece() {
    if (!m_dryRun) m_output.Discard();
}

bool SplitEngine::CommitPiece() {
    // Closing reports late write failures, and the rename may fail: either way the piece
    // is not there.
    const std::filesystem::path target = m_output.Target();
    // Frames read from a source that changed meanwhile may be cut short or not the file's.
    if (m_reader.SourceChanged()) {
        DiscardPiece();
        SetError(SourceChangedMessage(m_sourcePath));
        return false;
    }
    if (m_dryRun) return true;
    bool committed = false;
    try {
        committed = m_staged != nullptr ? StagePiece() : m_output.Commit();
    } catch (const std::exception&) {
        committed = false;
    }
    if (!committed) {
        DiscardPiece();
        SetError(m_reader.SourceChanged() ? SourceChangedMessage(m_sourcePath) : FailedToWriteMessage(target));
    }
    return committed;
}

bool SplitEngine::StagePiece() {
    std::filesystem::path temporary;
    if (!m_output.Stage(&temporary)) return false;
    // A piece for a target an earlier piece took replaces that one's file: its check must
    // be over before the file goes.
    if (m_verifier != nullptr && m_staged->Takes(m_output.Target())) static_cast<void>(m_verifier->Wait());
    try {
        m_staged->Add(temporary, m_output.Target());
        if (m_verifier != nullptr) m_verifier->Submit(temporary, m_output.Target(), m_pieceExpectation);
    } catch (...) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        throw;
    }
    return true;
}

const GainEditCount& SplitEngine::LevelCounts() const {
    static const GainEditCount kNone;
    return kNone;
}

}  // namespace qm
