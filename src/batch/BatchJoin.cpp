#include "batch/BatchJoin.h"

#include <string>

#include "join/ChooseJoin.h"
#include "join/JoinList.h"
#include "join/RunJoin.h"
#include "output/OutputPath.h"
#include "stream/AudioLayer.h"

namespace qm {

namespace {

const char* const kJoiningText = "Joining...";
const char* const kCancelledText = "Cancelled";

std::string FailureText(const std::string& message) { return "Join failure. " + message; }

bool HasAnyField(const TagInfo& tag) { return tag != TagInfo{}; }

// The figures of the joined files, taken once for the whole batch. A file that cannot be
// analysed is described so that it is re-encoded, where opening it fails with its name.
std::vector<JoinFileFacts> AnalyseAll(const std::vector<std::filesystem::path>& paths) {
    std::vector<JoinFileFacts> facts(paths.size());
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (!AnalyseJoinFile(paths[i], &facts[i])) facts[i] = JoinFileFacts{0, 0, std::nullopt, false, false};
    }
    return facts;
}

// Joins one item into target.
RunResult JoinOne(JoinList& job, const BatchJoinItem& item, const std::vector<std::filesystem::path>& joined,
                  const std::vector<JoinFileFacts>& joinedFacts, JoinTypeCode joinType, const JoinerOptions& options,
                  const std::filesystem::path& target, const LongOperation& operation) {
    JoinFileFacts mainFacts;
    if (!AnalyseJoinFile(item.mainPath, &mainFacts)) {
        return RunResult::Of(false, operation, FailedToOpenMessage(item.mainPath));
    }
    job.Clear();
    if (joinType == JoinTypeCode::Append) {
        job.AddSource(item.mainPath);
        job.AddSources(joined);
    } else {
        job.AddSources(joined);
        job.AddSource(item.mainPath);
    }
    if (HasAnyField(item.tag)) {
        // The row's tag starts as the main file's: the output carries the main file's front
        // cover with it, as split pieces carry their source's.
        TagPicture cover;
        const bool hasCover = ReadFrontCover(item.mainPath, &cover);
        job.SetTargetTag(item.tag.title, item.tag.artist, item.tag.album, item.tag.year, item.tag.comment,
                         item.tag.genre, item.tag.track, hasCover ? &cover : nullptr);
    }
    JoinChoice choice = ChooseJoin(mainFacts, joinedFacts, options, JoinStart::ReferenceValues);
    if (GainNeedsReencode(options, choice, mainFacts.layer)) {
        choice = {JoinMethod::Reencode, AutomaticEncoderParams(mainFacts, joinedFacts, JoinStart::ReferenceValues)};
    }
    return RunJoin(job, target, choice, operation);
}

}  // namespace

BatchJoinResult RunBatchJoin(std::vector<BatchJoinItem>& items, const std::vector<std::filesystem::path>& joined,
                             JoinTypeCode joinType, const JoinerOptions& options, const BatchJoinProgress& progress,
                             const std::function<void(std::size_t)>& rowChanged) {
    if (items.empty() || joined.empty()) return RunOutcome::Done;
    // The joined files are opened again for every main file: they are scanned once.
    const audio::ScanMemoScope scanOnce;
    const int count = static_cast<int>(items.size());
    if (progress.batchBar != nullptr) {
        progress.batchBar->SetRange(0, count);
        progress.batchBar->SetPosition(0);
    }
    progress.currentJoin.Pump();

    const std::vector<JoinFileFacts> joinedFacts = AnalyseAll(joined);
    const JoinPlacement placement = JoinPlacementOf(options);
    JoinList job;
    job.SetVerifyOutput(progress.verifyOutputs);
    job.SetNavigation(NavigationOf(options));
    job.SetGain(options.VolumeChangeTenthsDb);
    auto setOutcome = [&](std::size_t i, std::string text) {
        items[i].outcome = std::move(text);
        if (rowChanged) rowChanged(i);
    };
    for (std::size_t i = 0; i < items.size(); ++i) {
        setOutcome(i, kJoiningText);
        if (progress.batchText != nullptr) {
            progress.batchText->SetText("Joining " + std::to_string(i + 1) + " of " + std::to_string(count) +
                                        " file(s)...");
        }
        if (progress.batchBar != nullptr) progress.batchBar->SetPosition(static_cast<int>(i) + 1);
        items[i].outputPath.clear();

        std::filesystem::path target;
        std::string error;
        if (!ResolveJoinOutputPath(placement, items[i].mainPath, &target, &error)) {
            items[i].result = RunResult::Failed(error);
            setOutcome(i, FailureText(error));
            continue;
        }
        const RunResult result =
            JoinOne(job, items[i], joined, joinedFacts, joinType, options, target, progress.currentJoin);
        items[i].result = result;
        switch (result.outcome) {
            case RunOutcome::Done:
                items[i].outputPath = target;
                items[i].gainDb = job.AppliedGainDb();
                items[i].gainCounts = job.GainCounts();
                setOutcome(i, target.filename().string());
                break;
            case RunOutcome::Cancelled:
                setOutcome(i, kCancelledText);
                return RunOutcome::Cancelled;
            case RunOutcome::Failed:
                setOutcome(i, FailureText(result.message));
                break;
        }
    }
    return RunOutcome::Done;
}

}  // namespace qm
