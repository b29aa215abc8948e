#pragma once

// The level changes a directly cut Layer III piece takes without being decoded: a fade-in
// from its first played sample, a fade-out towards its last and a volume change on every
// granule, each made by stepping the granules' global gain. The frames go in as they are cut
// and come out, in order, edited where a granule changes; those that may lie in the fade-out
// wait until the piece's end is known. Memory stays the frames of the fade-out and a few more.

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "stream/GranuleGainEdit.h"
#include "stream/MpegHeader.h"

namespace qm {

class PieceLevels {
public:
    // Fade lengths in samples (0: none) and a volume change in whole steps.
    void Configure(std::int64_t fadeInSamples, std::int64_t fadeOutSamples, int gainSteps);
    // Whether any frame can change: without, the frames are copied as they are.
    bool Active() const { return m_fadeIn > 0 || m_fadeOut > 0 || m_gainSteps != 0; }

    // A frame on its way out: its bytes (edited, or the source's), where it lies in the source,
    // and whether it differs from the source's.
    using Emit = std::function<bool(std::span<const std::uint8_t> bytes, std::uint64_t sourceOffset, bool edited)>;

    // A new piece. skippedSamples: what a player skips of it before its audio plays (the
    // decoder's delay and the encoder delay its Xing/Info frame declares); nullopt when that
    // is the frames it repeats from the piece before, counted as they come.
    void BeginPiece(std::optional<std::int64_t> skippedSamples);
    // The piece's next frame, read from sourceOffset. A frame that repeats the piece before's
    // (the step back's) takes the change it took there, so the two stay alike and a join
    // recognises them; without one, it lies before the audio and a fade-in silences it.
    [[nodiscard]] bool Add(std::span<const std::uint8_t> frame, const Mp3FrameHeader& header,
                           std::uint64_t sourceOffset, bool repeated, const Emit& emit);
    // The piece ends after playedSamples of audio (after the skipped samples): the frames
    // still held take the fade-out and go out.
    [[nodiscard]] bool Finish(std::int64_t playedSamples, const Emit& emit);
    // Drops the frames held (a piece given up).
    void Discard() { m_held.clear(); }

    // What the changes did, over every piece so far.
    const GainEditCount& Counts() const { return m_counts; }

private:
    struct Held {
        std::vector<std::uint8_t> bytes;
        Mp3FrameHeader header;
        std::uint64_t sourceOffset = 0;
        std::int64_t position = 0;                          // the frame's first sample, from the piece's first frame
        std::optional<std::array<GainChange, 2>> repeatOf;  // the change it took in the piece before
    };
    // Sends out the held frames that end before fromPosition (or all), with the fade-out of a
    // piece of playedSamples when it is known.
    [[nodiscard]] bool Release(std::int64_t beforePosition, std::optional<std::int64_t> playedSamples,
                               const Emit& emit);
    std::array<GainChange, 2> ChangesOf(const Held& frame, std::optional<std::int64_t> playedSamples) const;
    void Remember(std::uint64_t sourceOffset, const std::array<GainChange, 2>& changes);

    std::int64_t m_fadeIn = 0;
    std::int64_t m_fadeOut = 0;
    int m_gainSteps = 0;
    std::optional<std::int64_t> m_skipped;
    std::int64_t m_position = 0;  // samples of the piece's frames so far
    std::deque<Held> m_held;
    // The changes of the last frames sent out, by source offset, and those of the piece before.
    struct Sent {
        std::uint64_t sourceOffset;
        std::array<GainChange, 2> changes;
    };
    std::deque<Sent> m_sent;
    std::deque<Sent> m_previous;
    GainEditCount m_counts;
};

}  // namespace qm
