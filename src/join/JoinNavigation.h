#pragma once

// What lets a player find its way through a joined file: one chapter per source in the
// file's tag (CHAP frames and their table of contents) and a cue sheet beside it, both at the
// places where each source's audio begins in the joined stream as it plays.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "marks/Marks.h"
#include "stream/Tags.h"

namespace qm {

struct JoinNavigation {
    bool chapters = false;  // one CHAP frame per source in the joined file's tag
    bool cueSheet = false;  // NAME.cue beside NAME.mp3

    bool Any() const { return chapters || cueSheet; }
};

// How a source is named in the joined file's chapters and sheet: its tag's title, else its
// file title, and its tag's artist.
struct SourceName {
    std::string title;
    std::string performer;
};
SourceName SourceNameOf(const std::filesystem::path& source);

// The joined stream's samples, counted from the first sample of its first audio frame, and
// how a gapless player plays them: it skips playedDelay samples at the start and plays
// playedSamples after them (the rest is padding).
struct PlayedStream {
    int rateHz = 0;
    std::uint64_t playedDelay = 0;
    std::uint64_t playedSamples = 0;
};

// How a gapless player plays a stream of streamSamples samples headed by infoFrame (its
// Xing/Info frame; empty for none): with a LAME extension, the encoder delay and the
// decoder's own delay are skipped and the padding is not played; without one, every sample is.
PlayedStream PlayedStreamOf(std::span<const std::uint8_t> infoFrame, int rateHz, std::uint64_t streamSamples);

// Where each source begins in the joined stream, noted as the join writes it.
class JoinedTimeline {
public:
    void Clear() { m_starts.clear(); }
    // The next source begins at stream sample streamSample, in the frame that starts at
    // byteOffset in the file.
    void StartSource(std::uint64_t streamSample, std::uint64_t byteOffset) {
        m_starts.push_back({streamSample, byteOffset});
    }
    std::size_t Sources() const { return m_starts.size(); }

    // One chapter per source ("ch0", "ch1", ...), titled by names: it starts where the source
    // begins in the played audio (the first at 0) and ends where the next begins (the last at
    // the end of the played audio); its byte offsets are those of its first frame and of the
    // next chapter's (endByteOffset, the end of the last frame, for the last), or
    // kNoChapterOffset where they lie beyond the 32 bits of the field.
    std::vector<Chapter> Chapters(std::span<const SourceName> names, const PlayedStream& stream,
                                  std::uint64_t endByteOffset) const;

private:
    struct Start {
        std::uint64_t streamSample;
        std::uint64_t byteOffset;
    };
    std::vector<Start> m_starts;
};

// The joined file's cue sheet text: UTF-8 with a byte-order mark, the file named
// audioFileName, one track per chapter at its start, titled by it and performed by the
// source's artist; the album, artist, genre and year from the joined file's tag fields.
std::string JoinedCueSheetText(std::span<const Chapter> chapters, std::span<const SourceName> names,
                               const TagInfo& joined, const std::string& audioFileName);

// The byte offsets of chosen frames of a stream written in pieces of any size: each written
// block is fed in order, and a frame asked for before it is written is found as it passes.
// Nothing but a frame header (which may straddle two blocks) is kept.
class FrameOffsets {
public:
    // The stream's first frame begins at byteOffset in the file.
    explicit FrameOffsets(std::uint64_t byteOffset) : m_nextFrame(byteOffset), m_position(byteOffset) {}
    // Asks for the offset of frame index (0 = the first frame fed); indices in rising order.
    void Want(std::uint64_t index) { m_wanted.push_back(index); }
    void Feed(std::span<const std::uint8_t> bytes);
    // The offsets found, in the order asked; a frame never written (past the end) takes the
    // end of the stream.
    std::vector<std::uint64_t> Found() const;
    // Frames fed so far, and the file offset after the last byte fed.
    std::uint64_t Frames() const { return m_frameIndex; }
    std::uint64_t End() const { return m_position; }

private:
    std::uint64_t m_nextFrame;  // file offset of the next frame header
    std::uint64_t m_position;   // file offset after the bytes fed
    std::uint64_t m_frameIndex = 0;
    std::uint8_t m_header[4]{};
    int m_headerBytes = 0;  // of the next frame's header, seen so far
    std::vector<std::uint64_t> m_wanted;
    std::vector<std::uint64_t> m_found;
};

}  // namespace qm
