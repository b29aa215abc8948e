#include "split/PieceLevels.h"

#include <algorithm>
#include <limits>

namespace qm {

namespace {

// How far a piece's played end may lie before the end of its frames: the padding a LAME
// extension can declare (12 bits) and one frame more.
constexpr std::int64_t kMaxEndTrimSamples = 4095 + 1152;
// The changes remembered for the next piece's repeated frames: more than the step back brings.
constexpr std::size_t kRememberedFrames = 16;

int GranulesOf(const Mp3FrameHeader& header) { return header.version == MpegVersion::Mpeg1 ? 2 : 1; }

bool Changes(const std::array<GainChange, 2>& changes) {
    return changes[0] != GainChange{} || changes[1] != GainChange{};
}

}  // namespace

void PieceLevels::Configure(std::int64_t fadeInSamples, std::int64_t fadeOutSamples, int gainSteps) {
    m_fadeIn = std::max<std::int64_t>(0, fadeInSamples);
    m_fadeOut = std::max<std::int64_t>(0, fadeOutSamples);
    m_gainSteps = gainSteps;
}

void PieceLevels::BeginPiece(std::optional<std::int64_t> skippedSamples) {
    m_skipped = skippedSamples;
    m_position = 0;
    m_held.clear();
    m_previous = std::move(m_sent);
    m_sent.clear();
}

bool PieceLevels::Add(std::span<const std::uint8_t> frame, const Mp3FrameHeader& header, std::uint64_t sourceOffset,
                      bool repeated, const Emit& emit) {
    // The frames the piece repeats come first; its audio begins with its first own frame.
    if (!m_skipped && !repeated) m_skipped = m_position;
    Held held{std::vector<std::uint8_t>(frame.begin(), frame.end()), header, sourceOffset, m_position, std::nullopt};
    if (repeated) {
        for (const Sent& sent : m_previous) {
            if (sent.sourceOffset == sourceOffset) held.repeatOf = sent.changes;
        }
    }
    m_held.push_back(std::move(held));
    m_position += header.samplesPerFrame;
    if (!m_skipped) return true;
    // A frame that ends this far before the frames' end lies before any fade-out.
    const std::int64_t before =
        m_fadeOut > 0 ? m_position - kMaxEndTrimSamples - m_fadeOut : std::numeric_limits<std::int64_t>::max();
    return Release(before, std::nullopt, emit);
}

bool PieceLevels::Finish(std::int64_t playedSamples, const Emit& emit) {
    if (!m_skipped) m_skipped = m_position;
    return Release(std::numeric_limits<std::int64_t>::max(), playedSamples, emit);
}

std::array<GainChange, 2> PieceLevels::ChangesOf(const Held& frame, std::optional<std::int64_t> playedSamples) const {
    if (frame.repeatOf) return *frame.repeatOf;
    std::array<GainChange, 2> changes{};
    const int granules = GranulesOf(frame.header);
    const int granuleSamples = frame.header.samplesPerFrame / granules;
    for (int g = 0; g < granules; ++g) {
        // From the piece's first played sample: the skipped samples come before it.
        const std::int64_t start = frame.position + std::int64_t{g} * granuleSamples - m_skipped.value_or(0);
        GainChange change{m_gainSteps, false};
        if (m_fadeIn > 0) change = Combined(change, FadeInSteps(start, granuleSamples, m_fadeIn));
        if (m_fadeOut > 0 && playedSamples) {
            change = Combined(change, FadeOutSteps(start, granuleSamples, m_fadeOut, *playedSamples));
        }
        changes[static_cast<std::size_t>(g)] = change;
    }
    return changes;
}

bool PieceLevels::Release(std::int64_t beforePosition, std::optional<std::int64_t> playedSamples, const Emit& emit) {
    while (!m_held.empty() && m_held.front().position + m_held.front().header.samplesPerFrame <= beforePosition) {
        Held& frame = m_held.front();
        const std::array<GainChange, 2> changes = ChangesOf(frame, playedSamples);
        // Layer I and II frames have no global gain: they go out as they are.
        const bool edited = Changes(changes) && ApplyGranuleSteps(frame.bytes, frame.header, changes, &m_counts);
        Remember(frame.sourceOffset, changes);
        if (!emit(frame.bytes, frame.sourceOffset, edited)) return false;
        m_held.pop_front();
    }
    return true;
}

void PieceLevels::Remember(std::uint64_t sourceOffset, const std::array<GainChange, 2>& changes) {
    m_sent.push_back({sourceOffset, changes});
    if (m_sent.size() > kRememberedFrames) m_sent.pop_front();
}

}  // namespace qm
