#include "join/RunJoin.h"

#include <string>

#include "stream/AudioLayer.h"

namespace qm {

RunResult RunJoin(JoinList& job, const std::filesystem::path& target, const JoinChoice& choice,
                  const LongOperation& operation) {
    const bool ok = choice.method == JoinMethod::Direct ? job.JoinDirect(target, operation)
                                                        : job.JoinReencode(target, choice.params, operation);
    return RunResult::Of(ok, operation, job.LastError());
}

RunResult RunJoin(JoinList& job, const std::filesystem::path& target, const JoinerOptions& options, ForceReencode force,
                  const LongOperation& operation, JoinChoice* chosen) {
    // The files are analysed for the choice and then opened again by the join: one scan each.
    const audio::ScanMemoScope scanOnce;
    JoinChoice choice;
    std::string error;
    if (!ChooseJoinOfFiles(job.Sources(), options, force == ForceReencode::Yes, &choice, &error)) {
        return RunResult::Of(false, operation, std::move(error));
    }
    // A direct choice means every source shares the first one's layer.
    JoinFileFacts first;
    if (choice.method == JoinMethod::Direct && options.VolumeChangeTenthsDb != 0 &&
        AnalyseJoinFile(job.Sources().front(), &first, Mp3FrameReader::Measure::FormatOnly) &&
        GainNeedsReencode(options, choice, first.layer) &&
        !ChooseJoinOfFiles(job.Sources(), options, /*forceReencode=*/true, &choice, &error)) {
        return RunResult::Of(false, operation, std::move(error));
    }
    if (chosen != nullptr) *chosen = choice;
    job.SetNavigation(NavigationOf(options));
    job.SetGain(options.VolumeChangeTenthsDb);
    return RunJoin(job, target, choice, operation);
}

}  // namespace qm
