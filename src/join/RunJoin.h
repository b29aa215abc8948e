#pragma once

// The one way the programs run a join: the choice between copying frames and re-encoding
// (unless the caller made it), the join itself and its outcome.

#include <filesystem>

#include "join/ChooseJoin.h"
#include "join/JoinList.h"
#include "progress/Progress.h"
#include "progress/RunResult.h"
#include "settings/Options.h"

namespace qm {

// Whether a join whose files could be copied frame by frame is re-encoded all the same (with
// the automatic parameters).
enum class ForceReencode { No, Yes };

// Joins job's sources into target as choice says (JoinDirect or JoinReencode with its
// parameters). Failed with the join's message; Cancelled when it failed with the cancel flag
// of operation raised.
[[nodiscard]] RunResult RunJoin(JoinList& job, const std::filesystem::path& target, const JoinChoice& choice,
                                const LongOperation& operation);

// The chapters and cue sheet the joiner options ask for.
inline JoinNavigation NavigationOf(const JoinerOptions& options) {
    return JoinNavigation{options.WriteChapters, options.WriteCueSheet};
}

// Layer I and II frames have no global gain to step: a join of them that the choice would copy
// is re-encoded when the options ask for a volume change. referenceLayer: the layer of the
// choice's reference file (the first file, or the batch joiner's main file).
inline bool GainNeedsReencode(const JoinerOptions& options, const JoinChoice& choice, int referenceLayer) {
    return options.VolumeChangeTenthsDb != 0 && choice.method == JoinMethod::Direct && referenceLayer != 3;
}

// Chooses how to join job's sources as the joiner does (ChooseJoinOfFiles with options; force
// turns copying into re-encoding, as does a volume change of Layer I or II files) and joins
// them into target, with the chapters, cue sheet and gain the options ask for. Each source
// is scanned once for
// both the choice and the join. A source that cannot be analysed fails the join with its open
// failure before anything is written. *chosen, when given, receives the choice (also when the
// join then fails).
[[nodiscard]] RunResult RunJoin(JoinList& job, const std::filesystem::path& target, const JoinerOptions& options,
                                ForceReencode force, const LongOperation& operation, JoinChoice* chosen = nullptr);

}  // namespace qm
