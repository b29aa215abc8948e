#pragma once

// The split engines: one object per source file writes the pieces of that file one after
// the other, front to back. DirectSplitter copies whole MPEG frames; ReencodeSplitter decodes
// them and encodes each piece again. Both share the frame history, the overlap rules, the
// piece tag and the progress/cancel step of SplitEngine. The two engines are declared in
// split/DirectSplitter.h and split/ReencodeSplitter.h.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "marks/Marks.h"
#include "output/OutputPath.h"
#include "output/PieceNumbers.h"
#include "progress/Progress.h"
#include "settings/Options.h"
#include "stream/FailureMessages.h"
#include "stream/GranuleGainEdit.h"
#include "stream/Mp3FrameReader.h"
#include "stream/OutputFile.h"
#include "stream/OutputVerify.h"
#include "stream/Tags.h"

namespace qm {

class SplitEngine {
public:
    SplitEngine();
    virtual ~SplitEngine();
    SplitEngine(const SplitEngine&) = delete;
    SplitEngine& operator=(const SplitEngine&) = delete;

    // Writes the next piece, whose own frames reach at least sizeBytes (by less than one
    // frame), to path. The direct engine's pieces start with frames repeated from the piece
    // before (three, up to eight at low bit rates; see StepBack); those come on top of the
    // size or length asked for.
    // numbers fill the piece's title and track number. *endReached is set
    // when the source ran out before the piece was complete (the piece is still written).
    // False when the output could not be created or written, or the run was cancelled; no
    // file is left then and LastError() says why (empty on cancel).
    [[nodiscard]] bool WritePieceBySize(const std::filesystem::path& path, std::uint64_t sizeBytes,
                                        const PieceNumbers& numbers, bool* endReached) {
        return WritePiece(path, {PieceLimit::Kind::Bytes, sizeBytes, 0}, numbers, endReached);
    }
    // The same, with the piece's length in tenths of a second. Lengths add up from the start
    // of the source (or the end of the last piece by size): the piece ends on the first frame
    // boundary at or after the sum of every length asked for so far (pieces and skips), so
    // that a run of pieces does not drift later by the part of a frame each one overshoots.
    [[nodiscard]] bool WritePieceByDuration(const std::filesystem::path& path, int tenths, const PieceNumbers& numbers,
                                            bool* endReached) {
        return WritePiece(path, {PieceLimit::Kind::Duration, 0, tenths}, numbers, endReached);
    }
    // The same, ending on the first frame boundary at or after `end` from the start of the
    // source (a mark's time). Lengths asked for after it add up from there.
    [[nodiscard]] bool WritePieceUntil(const std::filesystem::path& path, Millis end, const PieceNumbers& numbers,
                                       bool* endReached) {
        return WritePiece(path, {PieceLimit::Kind::Until, 0, 0, end}, numbers, endReached);
    }
    // Writes everything from the current position to the end of the source. A piece that
    // would hold only frames of earlier pieces is left out (see LastPieceEmpty).
    [[nodiscard]] bool WritePieceToEnd(const std::filesystem::path& path, const PieceNumbers& numbers) {
        bool endReached = false;
        return WritePiece(path, {PieceLimit::Kind::ToEnd, 0, 0}, numbers, &endReached);
    }
    // Reads past tenths of a second of the source without writing; ends on the first frame
    // boundary at or after the target, counted from the start of the source as for
    // WritePieceByDuration. *endReached is set when the source ran out. False only when
    // cancelled.
    [[nodiscard]] virtual bool SkipDuration(int tenths, bool* endReached);
    // Reads past the source up to the first frame boundary at or after `time` from its start,
    // without writing; as SkipDuration otherwise. Lengths asked for after it add up from there.
    [[nodiscard]] bool SkipUntil(Millis time, bool* endReached);
    // The number of pieces of sizeBytes each (as WritePieceBySize cuts them) that the frames
    // from the reader's position on make, the last one taking the rest; at least 1. Reads
    // the frames once and leaves the reader where it was. Empty when cancelled.
    [[nodiscard]] virtual std::optional<int> CountPiecesBySize(std::uint64_t sizeBytes);
    // Whether the frames read so far hold less audio than the length measured at Open by
    // more than a frame: the source ended short of what its headers promised.
    virtual bool AudioShortOfMeasured() const;
    // Linear fade over the first / last tenths of each piece: the re-encoding engine scales
    // the samples, the direct engine steps each granule's global gain (Layer III; whole steps
    // of 1.5 dB nearest the ramp). Call after Open (the length is converted with the source's
    // sample rate).
    virtual void SetFadeIn(bool enabled, int tenths) = 0;
    virtual void SetFadeOut(bool enabled, int tenths) = 0;
    // Raises (lowers) every piece by tenthsDb tenths of a dB: the direct engine by the nearest
    // whole number of global gain steps, the re-encoding engine by scaling the samples.
    void SetVolumeChange(int tenthsDb) { m_volumeTenthsDb = tenthsDb; }
    // What the direct engine's level changes did to the granules of the pieces so far.
    virtual const GainEditCount& LevelCounts() const;
    // Bit rate of the pieces in kbit/s as far as it is known: the source's average bit rate,
    // or the re-encoding engine's chosen one.
    virtual int GetBitRate() const;
    // Offset of the source's first audio frame (past a leading tag) once it is open.
    std::uint64_t AudioStart() const { return m_reader.AudioStart(); }
    // Whether the open source changed since Open (another program cut it short, rewrote or
    // extended it). A piece is never committed from such a source: it fails with
    // SourceChangedMessage.
    bool SourceChanged() const { return m_reader.SourceChanged(); }
    // Encoder settings of the re-encoding engine: Hz, kbit/s and channel mode; a 0 or an
    // empty mode (0, 0, std::nullopt) keeps the source's values. Ignored by the direct engine.
    virtual void SetEncoderParams(int sampleRateHz, int bitRateKbps, std::optional<ChannelMode> channelMode);
    // Opens and analyses the source and reads its tag. False (with LastError set) when the
    // file cannot be opened or holds no MPEG audio.
    [[nodiscard]] virtual bool Open(const std::filesystem::path& path);
    // Closes the source.
    virtual void Close();
    // The caller's cancel flag, read after every frame; null = never cancelled.
    virtual void SetCancelFlag(const CancelFlag* cancel);
    // The bar that shows how far the source has been read: its range becomes 0..width and
    // its position 0. Returns the source bytes per bar step (at least 1), or 0 without a bar.
    // Call after Open.
    virtual std::uint64_t AttachProgressBar(ProgressBar* bar);
    // Audio from before a piece's start repeated at its beginning, in tenths of a second.
    virtual void SetLeadInOverlap(int tenths);
    // Audio from after a piece's end appended to it, in tenths of a second.
    virtual void SetTailOverlap(int tenths);

    // The pump called between frames (usually a RateLimitedPump); null = none.
    void SetMessagePump(MessagePump* pump) { m_pump = pump; }
    // Cancel flag, bar and pump of a long operation in one call.
    void SetLongOperation(const LongOperation& operation);
    // Whether each piece starts with an ID3v2 tag (default on).
    void SetWriteTag(bool writeTag) { m_writeTag = writeTag; }
    // Template of the pieces' ID3 titles (%I%, %F%, %P%, %T%, %S%); empty by default.
    void SetTitleTemplate(std::string titleTemplate) { m_titleTemplate = std::move(titleTemplate); }
    // What a cue sheet says of the whole album (album, artist = its performer, genre, year):
    // each field given stands in for the source's in every piece's tag.
    void SetSheetTag(const TagInfo& sheet) { m_sheetTag = sheet; }
    // A dry run plans the pieces as a real run would, reading the source and cutting it at
    // the same frames, but creates, writes and stages nothing.
    void SetDryRun(bool dryRun) { m_dryRun = dryRun; }
    // The ID3 title a piece with these numbers gets.
    std::string PieceTitle(const PieceNumbers& numbers) const;
    // Where the last piece's own audio (or the last skip) ended, from the start of the source:
    // the begin of the next piece. 0 before the first piece.
    Millis CutMillis() const;
    // The length of the source's audio as measured at Open.
    Millis MeasuredMillis() const;
    // Which track number a piece's tag carries. None is written like Source: the option has
    // three entries, the engine two behaviours.
    void SetTrackNumberMode(TrackNumberCode mode) { m_trackNumberMode = mode; }

    // Finished pieces go to staged as temporary files instead of being renamed over their
    // targets; the caller puts them in place when the source's plan ends. Null (the
    // default): each piece is put in place as soon as it is complete.
    void SetStagedOutputs(StagedOutputs* staged) { m_staged = staged; }
    // Every piece handed to the staged outputs is handed to verifier as well, with what the
    // engine wrote into it, to be checked before it is put in place. Null (the default): no
    // check.
    void SetPieceVerifier(OutputVerifier* verifier) { m_verifier = verifier; }
    // True when the last piece operation found the source ended before any frame of the
    // piece's own: no file was written for it (the operation succeeds and reports the end).
    bool LastPieceEmpty() const { return m_pieceEmpty; }

    // The message of the last failure, e.g. "Failed to write file \"x.mp3\".".
    const std::string& LastError() const { return m_lastError; }

protected:
    // What ends a piece: the bytes of its own frames, its length, a time of the source, or
    // the end of the source.
    struct PieceLimit {
        enum class Kind { Bytes, Duration, ToEnd, Until };
        Kind kind = Kind::ToEnd;
        std::uint64_t bytes = 0;  // for Bytes
        int tenths = 0;           // for Duration
        Millis until = 0;         // for Until
    };
    // The engine's piece writer behind the three calls above, with their contract.
    [[nodiscard]] virtual bool WritePiece(const std::filesystem::path& path, const PieceLimit& limit,
                                          const PieceNumbers& numbers, bool* endReached) = 0;

    // One frame read so far: where it starts, how many samples it holds and, for Layer III,
    // its main-data figures (Layer3MainDataOf), which the step back sizes itself by.
    struct HistoryEntry {
        std::uint64_t frameOffset;
        std::uint32_t samples;
        std::uint16_t mainDataBeginBytes = 0;
        std::uint16_t mainDataRoomBytes = 0;
    };

    // The frames read so far, oldest first, with strictly increasing offsets. Only the newest
    // frames are ever looked at (overlaps and the step back), so the oldest are dropped once
    // enough newer ones are kept; the storage is reused, so recording a frame allocates
    // nothing once the history has reached its working size.
    class FrameHistory {
    public:
        bool Empty() const { return m_begin == m_entries.size(); }
        std::size_t Size() const { return m_entries.size() - m_begin; }
        // i = 0 is the newest entry.
        const HistoryEntry& FromBack(std::size_t i) const { return m_entries[m_entries.size() - 1 - i]; }
        const HistoryEntry& Back() const { return m_entries.back(); }
        const HistoryEntry& Front() const { return m_entries[m_begin]; }
        std::uint64_t TotalSamples() const { return m_totalSamples; }
        // Samples from the start of the stream to the end of the newest entry: the dropped
        // entries count, the entries taken back do not.
        std::uint64_t EndSamples() const { return m_endSamples; }
        void PushBack(const HistoryEntry& entry);
        void PopBack();
        void PopFront();
        void Clear();

    private:
        std::vector<HistoryEntry> m_entries;
        std::size_t m_begin = 0;  // entries before it have been dropped
        std::uint64_t m_totalSamples = 0;
        std::uint64_t m_endSamples = 0;
    };

    // How a by-size piece measures its own frames: their bytes (a frame copy) or their
    // samples (the piece is encoded again, so its size follows its length), and how much of
    // that makes a piece.
    struct SizeMeasure {
        bool bytes = true;
        std::uint64_t target = 0;
    };
    virtual SizeMeasure MeasureForSize(std::uint64_t sizeBytes) const { return {true, sizeBytes}; }

    // tenths of a second -> samples at the reader's current sample rate.
    std::uint64_t TenthsToSamples(std::int64_t tenths) const;
    // Adds a length asked for to the lengths before it; where the piece or skip asked for
    // ends, in samples from the start of the stream.
    std::uint64_t PlanDuration(int tenths);
    // Where a piece of limit (Duration or Until) ends, in samples from the start of the
    // stream; a time restarts the lengths asked for at itself.
    std::uint64_t LimitEndSamples(const PieceLimit& limit);
    // Reads past frames until the history ends at or after endSamples.
    [[nodiscard]] bool SkipToSample(std::uint64_t endSamples, bool* endReached);
    // Lengths asked for from now on add up from endSamples (where a piece by size ended).
    void RestartPlannedDurations(std::uint64_t endSamples) {
        m_plannedBaseSamples = endSamples;
        m_plannedTenths = 0;
    }
    // Appends a frame to the history unless it lies at or before the newest entry.
    void RecordFrame(std::uint64_t frameOffset, int samples);
    // The same for a frame just read, with its main-data figures.
    void RecordFrame(const std::uint8_t* frame, const Mp3FrameHeader& header);
    // Moves the bar forward to the reader's position; pumps; true when cancelled.
    bool ProgressAndCheckCancel();
    // Moves the bar forward to the reader's position (it never moves back).
    void MoveProgress();
    // Pumps; true when cancelled.
    bool PumpAndCheckCancel();
    // Walks the history backwards until leadInSamples are covered; the offset of the oldest
    // entry visited and the number of entries visited. False when the history is empty.
    bool FindLeadInStart(std::uint64_t* leadInOffset, int* entriesVisited) const;
    // Takes the frames at or after byteOffset off the history and moves the reader back to
    // byteOffset (the tail overlap is read again for the next piece).
    void RewindTo(std::uint64_t byteOffset);
    // Takes frames off the history and moves the reader back to the oldest one, so that the
    // next piece repeats them (the bit reservoir of its first frame is present): three, or
    // more where the Layer III main data needs them (see StepBackFrames). The frames before
    // the reader's position at the call are then repeats (see IsRepeatedFrame). An engine
    // whose limits count the repeated frames too passes repeatsCounted: the step back then
    // stops short of the piece's first frame, so that every piece still moves the split
    // forward by at least one frame.
    void StepBack(bool repeatsCounted = true);
    // Whether a frame at frameOffset was already in the piece before, brought back by the
    // step back; such frames do not count towards a piece's size or length.
    bool IsRepeatedFrame(std::uint64_t frameOffset) const { return frameOffset < m_repeatEnd; }
    // Marks the piece being written as one that found no frame of its own.
    void SetPieceEmpty() { m_pieceEmpty = true; }
    // The piece's ID3v2 tag block, empty when tags are off or every field is empty.
    std::vector<std::uint8_t> MakePieceTag(const PieceNumbers& numbers) const;
    // Writes the piece's tag (MakePieceTag) at its start and sets *tagBytes to its size. When
    // the source has chapters, the tag keeps room for all of them: a piece's end is often
    // known only once it is written, and WritePieceChapters fills the room in. False as
    // WritePieceBytes.
    [[nodiscard]] bool WritePieceTag(const PieceNumbers& numbers, std::uint64_t* tagBytes);
    // Puts the source's chapters that fall inside the piece (ChaptersInPiece) into the room its
    // tag keeps for them, the rest of it padding. The piece's played audio runs from
    // beginSamples to endSamples of the source's stream (counted as m_cutSamples; the
    // source's playback delay is taken off). Nothing to do when the tag has no such room.
    // False as RewritePieceBytes.
    [[nodiscard]] bool WritePieceChapters(std::int64_t beginSamples, std::int64_t endSamples);
    // The piece's output: created next to path, written through a thread of its own while
    // the next frames are read, and either renamed over path whole or removed. One piece
    // is written at a time.
    //
    // Creates the piece's output; false with "Failed to create file" set.
    [[nodiscard]] bool CreatePiece(const std::filesystem::path& path);
    // Appends bytes; false with "Failed to write file" set and the piece's output removed. A
    // failed write may show only at a later call or at the commit.
    [[nodiscard]] bool WritePieceBytes(const void* bytes, std::size_t byteCount);
    // Appends byteCount bytes of the source, from sourceByteOffset on, copied by the kernel;
    // false as for WritePieceBytes.
    [[nodiscard]] bool CopySourceToPiece(std::uint64_t sourceByteOffset, std::uint64_t byteCount);
    // Overwrites bytes already written from byteOffset on; false as for WritePieceBytes.
    [[nodiscard]] bool RewritePieceBytes(std::uint64_t byteOffset, const void* bytes, std::size_t byteCount);
    // Bytes written to the piece so far.
    std::uint64_t PieceBytesWritten() const { return m_dryRun ? m_dryBytes : m_output.BytesWritten(); }
    // The path the piece is written for.
    const std::filesystem::path& PieceTarget() const { return m_dryRun ? m_dryTarget : m_output.Target(); }
    // Removes the piece's output.
    void DiscardPiece();
    // Puts the complete piece in place (or hands it to the staged outputs); false (nothing
    // left) with "Failed to write file" set, or SourceChangedMessage when the source changed.
    [[nodiscard]] bool CommitPiece();
    // What the piece being finished holds, for its check; an engine sets it before
    // CommitPiece. Each piece starts with no expectation (only its own claims are checked).
    void ExpectPiece(const OutputExpectation& expectation) { m_pieceExpectation = expectation; }

    void SetError(std::string message) { m_lastError = std::move(message); }
    void ClearError() { m_lastError.clear(); }

    Mp3FrameReader m_reader;
    // Where the last cut lies in samples from the start of the stream (see CutMillis); each
    // engine sets it where a piece's own frames end.
    std::uint64_t m_cutSamples = 0;
    // Samples of the stream before its played audio begins (PlaybackDelaySamples): a mark's
    // time lies this much earlier than its place in the stream.
    std::uint64_t m_playbackDelay = 0;
    int m_volumeTenthsDb = 0;
    // The header of the source's first audio frame, kept from Open: its version, layer,
    // sample rate and channel count are those of every frame of the stream (SameStreamFormat).
    Mp3FrameHeader m_streamFormat;
    FrameHistory m_history;
    int m_averageKbps = 0;                   // the source's average bit rate, kept from Open
    std::uint64_t m_measuredSamples = 0;     // the length measured at Open
    std::uint64_t m_plannedBaseSamples = 0;  // where the lengths asked for start
    std::int64_t m_plannedTenths = 0;        // the lengths asked for since then
    std::uint64_t m_leadInSamples = 0;
    std::uint64_t m_tailSamples = 0;
    int m_leadInTenths = 0;
    int m_tailTenths = 0;

private:
    // How many of the newest history entries the step back repeats.
    std::size_t StepBackFrames();
    // main_data_begin of the frame at the reader's position (the next piece's first own
    // frame), read ahead without moving the reader; 0 when there is none.
    int PeekMainDataBegin();
    // Adds an entry and drops the oldest ones no overlap or step back can reach any more.
    void KeepInHistory(const HistoryEntry& entry);
    // Hands the closed temporary file to the staged outputs; false when closing failed.
    [[nodiscard]] bool StagePiece();

    ProgressBar* m_bar = nullptr;
    MessagePump* m_pump = nullptr;
    const CancelFlag* m_cancel = nullptr;
    int m_barWidth = 0;
    int m_lastProgressPosition = 0;
    std::uint64_t m_bytesPerStep = 1;
    TagInfo m_sourceTag;
    TagInfo m_sheetTag;  // the fields a cue sheet gives for every piece
    bool m_dryRun = false;
    // The piece a dry run is writing: its target and the bytes it would hold.
    std::filesystem::path m_dryTarget;
    std::uint64_t m_dryBytes = 0;
    TagPicture m_sourceCover;               // carried into every piece's tag; empty: none
    std::vector<Chapter> m_sourceChapters;  // read at Open; each piece carries its own part
    // The frames of all of them, behind an ID3v2 header; empty when the source has none.
    std::vector<std::uint8_t> m_chapterPlaceholders;
    // Where the piece's tag puts its chapter frames, and the bytes from there to the tag's end
    // (0: the tag keeps no room for chapters).
    std::uint64_t m_chapterRoomOffset = 0;
    std::uint64_t m_chapterRoomBytes = 0;
    std::string m_sourceFileTitle;
    std::filesystem::path m_sourcePath;
    bool m_writeTag = true;
    std::string m_titleTemplate;
    TrackNumberCode m_trackNumberMode = TrackNumberCode::Piece;
    std::string m_lastError;
    StagedOutputs* m_staged = nullptr;
    OutputVerifier* m_verifier = nullptr;
    OutputExpectation m_pieceExpectation;
    std::uint64_t m_pieceStart = 0;  // the reader's position when the current piece began
    std::uint64_t m_repeatEnd = 0;   // where the frames repeated by the last step back end
    bool m_pieceEmpty = false;
    OutputFile m_output;  // the piece being written; its writer thread serves every piece
};

}  // namespace qm
