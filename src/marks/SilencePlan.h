#pragma once

// The rules that turn the per-frame levels of a file into pieces at its pauses, in frames:
// what a pause is (quieter than the threshold for at least the shortest pause), where a
// pause cuts (its quietest frame), and the limits of a piece. Fed one frame at a time, so a
// scan keeps only the frames of the piece it is in (and those only for a longest piece).

#include <cstdint>
#include <deque>
#include <span>
#include <utility>
#include <vector>

#include "settings/Options.h"

namespace qm {

// The options in frames of one stream.
struct SilenceRules {
    float thresholdDb = -48.0f;         // a frame quieter than this (strictly) is silent
    std::int64_t minSilenceFrames = 1;  // the shortest run of silent frames that is a pause
    std::int64_t minPieceFrames = 0;    // 0: no shortest piece
    std::int64_t maxPieceFrames = 0;    // 0: no longest piece
    bool trim = false;
};

// The rules for frames of samplesPerFrame samples at rateHz: the shortest pause and piece
// rounded up to whole frames, the longest piece rounded down (at least one frame).
SilenceRules SilenceRulesFor(const SilenceOptions& options, int samplesPerFrame, int rateHz);

// One piece: frames beginFrame up to (not including) endFrame.
struct SilencePiece {
    std::int64_t beginFrame = 0;
    std::int64_t endFrame = 0;
    bool endsAtPause = false;  // its end was made by a pause (not by the longest piece)
};

struct SilencePlan {
    std::vector<SilencePiece> pieces;  // in order; empty for a stream without frames
    bool pauseCut = false;             // some pause made a cut
};

// The planner over a stream's frames.
//
// A pause cuts at the start of its quietest frame (the middle one of equally quiet frames),
// or with trim the piece before it ends where the pause begins and the next begins where it
// ends. A pause at the very start or end of the stream makes no cut; with trim it is left
// out of the first or last piece. A cut that would leave the piece before it shorter than
// the shortest piece is skipped, and so is the last cut when the rest after it is shorter.
// A piece that would grow past the longest piece is cut at its quietest frame at most the
// longest piece from its start, after the silence it begins with, and, where it can, at
// least the shortest piece from it; the
// longest piece wins where the two cannot both be kept (the last cut stays when dropping it
// would make a piece too long).
class SilencePlanner {
public:
    explicit SilencePlanner(const SilenceRules& rules) : m_rules(rules) {}

    // The level of the next frame in dBFS.
    void Add(float levelDb);
    // The pieces of all the frames added.
    SilencePlan Finish();

private:
    struct Pause {
        std::int64_t beginFrame = 0;
        std::int64_t endFrame = 0;
        std::int64_t quietestFrame = 0;
    };
    // The run of silent frames ends before endFrame: a pause when it is long enough.
    void EndRun(std::int64_t endFrame, bool trailing);
    void CutAtPause(const Pause& pause);
    // Cuts the piece being planned, ending at pieceEndFrame, until none is too long.
    void CutLongPieces(std::int64_t pieceEndFrame);
    void ForceCut();
    void Cut(std::int64_t endFrame, std::int64_t nextBeginFrame, bool atPause);
    void SetBegin(std::int64_t frame);

    SilenceRules m_rules;
    std::int64_t m_frames = 0;      // frames added
    std::int64_t m_beginFrame = 0;  // where the piece being planned begins
    SilencePlan m_plan;
    // The run of silent frames going on: where it began, its lowest level, and the stretches
    // of frames at that level.
    bool m_inRun = false;
    std::int64_t m_runBegin = 0;
    float m_runLowestDb = 0.0f;
    std::vector<std::pair<std::int64_t, std::int64_t>> m_runLowest;  // [first, last] stretches
    std::int64_t m_runLowestCount = 0;
    // With a longest piece: the levels from m_levelsBegin on.
    std::deque<float> m_levels;
    std::int64_t m_levelsBegin = 0;
    std::int64_t m_trailingPauseBegin = -1;  // with trim: where a pause at the end begins
};

// The plan of a whole sequence of frame levels.
SilencePlan PlanSilence(std::span<const float> levelsDb, const SilenceRules& rules);

}  // namespace qm
