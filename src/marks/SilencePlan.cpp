#include "marks/SilencePlan.h"

#include <algorithm>

namespace qm {
namespace {

// Frames of at least (or at most) tenths of a second: tenths × rate / 10 samples.
std::int64_t FramesAtLeast(int tenths, int samplesPerFrame, int rateHz) {
    const std::int64_t perFrame = static_cast<std::int64_t>(samplesPerFrame) * 10;
    return (static_cast<std::int64_t>(std::max(tenths, 0)) * rateHz + perFrame - 1) / perFrame;
}

std::int64_t FramesAtMost(int tenths, int samplesPerFrame, int rateHz) {
    return static_cast<std::int64_t>(std::max(tenths, 0)) * rateHz / (static_cast<std::int64_t>(samplesPerFrame) * 10);
}

// The middle one of the frames listed as [first, last] stretches, count in all.
std::int64_t MiddleFrame(const std::vector<std::pair<std::int64_t, std::int64_t>>& stretches, std::int64_t count) {
    std::int64_t index = (count - 1) / 2;
    for (const auto& [first, last] : stretches) {
        if (index <= last - first) return first + index;
        index -= last - first + 1;
    }
    return stretches.empty() ? 0 : stretches.back().second;
}

}  // namespace

SilenceRules SilenceRulesFor(const SilenceOptions& options, int samplesPerFrame, int rateHz) {
    SilenceRules rules;
    rules.thresholdDb = static_cast<float>(options.ThresholdDb);
    rules.minSilenceFrames =
        std::max<std::int64_t>(1, FramesAtLeast(options.MinSilenceTenths, samplesPerFrame, rateHz));
    rules.minPieceFrames = FramesAtLeast(options.MinPieceTenths, samplesPerFrame, rateHz);
    if (options.MaxPieceTenths > 0) {
        rules.maxPieceFrames = std::max<std::int64_t>(1, FramesAtMost(options.MaxPieceTenths, samplesPerFrame, rateHz));
    }
    rules.trim = options.TrimSilence;
    return rules;
}

void SilencePlanner::Add(float levelDb) {
    const std::int64_t frame = m_frames++;
    if (m_rules.maxPieceFrames > 0) m_levels.push_back(levelDb);
    if (levelDb < m_rules.thresholdDb) {
        if (!m_inRun) m_runBegin = frame;
        if (!m_inRun || levelDb < m_runLowestDb) {
            m_inRun = true;
            m_runLowestDb = levelDb;
            m_runLowest.clear();
            m_runLowestCount = 0;
        }
        if (levelDb == m_runLowestDb) {
            if (!m_runLowest.empty() && m_runLowest.back().second == frame - 1) {
                m_runLowest.back().second = frame;
            } else {
                m_runLowest.emplace_back(frame, frame);
            }
            ++m_runLowestCount;
        }
        return;
    }
    if (m_inRun) EndRun(frame, /*trailing=*/false);
    // A loud frame: the piece so far may have grown past the longest piece.
    CutLongPieces(m_frames);
}

SilencePlan SilencePlanner::Finish() {
    if (m_inRun) EndRun(m_frames, /*trailing=*/true);
    const std::int64_t lastEnd = m_trailingPauseBegin >= 0 ? m_trailingPauseBegin : m_frames;
    CutLongPieces(lastEnd);
    std::vector<SilencePiece>& pieces = m_plan.pieces;
    // A last piece shorter than the shortest piece joins the one before it, unless the two
    // together would be longer than the longest piece.
    if (!pieces.empty() && lastEnd - m_beginFrame < m_rules.minPieceFrames &&
        (m_rules.maxPieceFrames == 0 || lastEnd - pieces.back().beginFrame <= m_rules.maxPieceFrames)) {
        m_beginFrame = pieces.back().beginFrame;
        pieces.pop_back();
    }
    if (lastEnd > m_beginFrame || pieces.empty()) pieces.push_back({m_beginFrame, std::max(lastEnd, m_beginFrame)});
    m_plan.pauseCut = std::any_of(pieces.begin(), pieces.end(), [](const SilencePiece& p) { return p.endsAtPause; });
    if (m_frames == 0) pieces.clear();
    return std::move(m_plan);
}

void SilencePlanner::EndRun(std::int64_t endFrame, bool trailing) {
    m_inRun = false;
    const Pause pause{m_runBegin, endFrame, MiddleFrame(m_runLowest, m_runLowestCount)};
    if (pause.endFrame - pause.beginFrame < m_rules.minSilenceFrames) return;
    // Silence at the very start or end cuts nothing; trimming leaves it out.
    if (pause.beginFrame == 0 || trailing) {
        if (m_rules.trim && pause.beginFrame == 0) SetBegin(std::min(pause.endFrame, m_frames));
        if (m_rules.trim && trailing && pause.beginFrame > m_beginFrame) m_trailingPauseBegin = pause.beginFrame;
        return;
    }
    CutAtPause(pause);
}

void SilencePlanner::CutAtPause(const Pause& pause) {
    const std::int64_t pieceEnd = m_rules.trim ? pause.beginFrame : pause.quietestFrame;
    const std::int64_t nextBegin = m_rules.trim ? pause.endFrame : pause.quietestFrame;
    CutLongPieces(pieceEnd);
    if (m_beginFrame >= pause.beginFrame && !m_plan.pieces.empty()) {
        // The longest piece cut inside the pause already, at its quietest frame so far: that
        // cut is the pause's own (with trim, the pause is left out around it).
        SilencePiece& last = m_plan.pieces.back();
        last.endsAtPause = true;
        if (m_rules.trim) {
            last.endFrame = std::min(last.endFrame, pause.beginFrame);
            SetBegin(std::max(m_beginFrame, pause.endFrame));
        }
        return;
    }
    if (pieceEnd <= m_beginFrame || pieceEnd - m_beginFrame < m_rules.minPieceFrames) return;
    Cut(pieceEnd, nextBegin, /*atPause=*/true);
}

void SilencePlanner::CutLongPieces(std::int64_t pieceEndFrame) {
    if (m_rules.maxPieceFrames == 0) return;
    while (pieceEndFrame - m_beginFrame > m_rules.maxPieceFrames) ForceCut();
}

void SilencePlanner::ForceCut() {
    // The quietest frame from the shortest piece (when it is shorter than the longest) up to
    // the longest piece after the piece's start; at least one frame is the piece's own.
    const std::int64_t shortest = std::clamp<std::int64_t>(m_rules.minPieceFrames, 1, m_rules.maxPieceFrames);
    const std::int64_t last = m_beginFrame + m_rules.maxPieceFrames;
    // Not in the rest of the pause the piece begins with: that is the quietest audio of all,
    // and cutting there would make a run of slivers instead of pieces.
    std::int64_t first = m_beginFrame + shortest;
    std::int64_t loud = m_beginFrame;
    while (loud < last && m_levels[static_cast<std::size_t>(loud - m_levelsBegin)] < m_rules.thresholdDb) ++loud;
    if (loud < last) first = std::max(first, loud + 1);
    float lowest = 0.0f;
    std::vector<std::pair<std::int64_t, std::int64_t>> stretches;
    std::int64_t count = 0;
    for (std::int64_t frame = first; frame <= last; ++frame) {
        const float level = m_levels[static_cast<std::size_t>(frame - m_levelsBegin)];
        if (count == 0 || level < lowest) {
            lowest = level;
            stretches.clear();
            count = 0;
        }
        if (level != lowest) continue;
        if (!stretches.empty() && stretches.back().second == frame - 1) {
            stretches.back().second = frame;
        } else {
            stretches.emplace_back(frame, frame);
        }
        ++count;
    }
    const std::int64_t cut = MiddleFrame(stretches, count);
    Cut(cut, cut, /*atPause=*/false);
}

void SilencePlanner::Cut(std::int64_t endFrame, std::int64_t nextBeginFrame, bool atPause) {
    m_plan.pieces.push_back({m_beginFrame, endFrame, atPause});
    SetBegin(nextBeginFrame);
}

void SilencePlanner::SetBegin(std::int64_t frame) {
    m_beginFrame = frame;
    // The levels before the piece being planned are never looked at again.
    while (!m_levels.empty() && m_levelsBegin < frame) {
        m_levels.pop_front();
        ++m_levelsBegin;
    }
}

SilencePlan PlanSilence(std::span<const float> levelsDb, const SilenceRules& rules) {
    SilencePlanner planner(rules);
    for (const float level : levelsDb) planner.Add(level);
    return planner.Finish();
}

}  // namespace qm
