// The batch split run: the general sequence number across files, the per-file outcome
// texts, the progress lines, and stopping on cancel, against a scripted engine.

#include <gtest/gtest.h>

#include "batch/BatchSplit.h"
#include "fixtures/Fixtures.h"
#include "fixtures/ProgressFakes.h"
#include "split/PlannerFakes.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using testing::EngineScript;
using testing::FileNames;
using testing::ScriptedEngine;
using testing::ScriptedResolver;

// A run over named files whose engines follow one script per file.
struct RunHarness {
    fixtures::TempDir dir;
    SplitterOptions options;
    std::vector<EngineScript> scripts;  // one per file, in run order
    std::size_t nextScript = 0;
    fixtures::RecordingBar fileBar;
    fixtures::RecordingBar runBar;
    fixtures::RecordingStatus fileText;
    fixtures::RecordingStatus runText;
    fixtures::RecordingPump pump;
    CancelFlag cancel{0};
    std::vector<std::string> printed;

    explicit RunHarness(std::size_t fileCount) : scripts(fileCount) {
        for (EngineScript& script : scripts) script.cancel = &cancel;
    }

    std::vector<BatchSplitFile> Files(const std::vector<std::string>& names) const {
        std::vector<BatchSplitFile> files;
        for (const std::string& name : names) {
            BatchSplitFile file;
            file.entry = batch_plans::BatchEntry{dir / name, 30, {}};
            file.outcome = "previous";
            files.push_back(std::move(file));
        }
        return files;
    }

    // Runs with pieces named "<S>.mp3" so that the general sequence number is visible.
    bool Run(const SplitInputs& inputs, std::vector<BatchSplitFile>* files) {
        BatchSplitJob job;
        job.planner = MakeBatchFilePlanner(inputs);
        job.options = &options;
        job.resolve = [this](const fs::path&, const PieceNumbers& numbers, const OutputTaken&, fs::path* path,
                             std::string*) {
            *path = dir / (std::to_string(numbers.sequence) + ".mp3");
            return true;
        };
        job.makeEngine = [this](const SplitterOptions&) {
            return std::make_unique<ScriptedEngine>(&scripts.at(nextScript++));
        };
        job.progress = BatchSplitProgress{&fileBar, &fileText, &runBar, &runText, &pump, &cancel};
        job.onFileDone = [this](const BatchSplitFile& file) { printed.push_back(file.outcome); };
        return RunBatchSplit(job, files);
    }
};

SplitInputs ByCount(int count) {
    SplitInputs inputs;
    inputs.mode = SplitTypeCode::ByCount;
    inputs.count = count;
    return inputs;
}

// Three files by count 3: the pieces of the whole run are numbered 1 to 9; a second run
// starts again at 1.
TEST(BatchSplit, SequenceNumberRunsAcrossFilesAndRestartsWithEachRun) {
    RunHarness h(6);
    auto files = h.Files({"a.mp3", "b.mp3", "c.mp3"});
    ASSERT_TRUE(h.Run(ByCount(3), &files));
    std::set<std::string> expected;
    for (int s = 1; s <= 9; ++s) expected.insert(std::to_string(s) + ".mp3");
    EXPECT_EQ(FileNames(h.dir.Path()), expected);
    EXPECT_EQ(files[2].entry.outputs.back(), h.dir / "9.mp3");
    for (const BatchSplitFile& file : files) EXPECT_EQ(file.outcome, "3 piece(s)");

    for (const auto& name : expected) fs::remove(h.dir / name);
    ASSERT_TRUE(h.Run(ByCount(3), &files));
    EXPECT_EQ(files[0].entry.outputs.front(), h.dir / "1.mp3");
}

// Outcome texts: done, a failing file (the run goes on), a file that cannot be loaded.
TEST(BatchSplit, OutcomeTextsAndFailuresDoNotStopTheRun) {
    RunHarness h(3);
    h.scripts[1].openOk = false;
    h.scripts[2].failAtPiece = 2;
    auto files = h.Files({"a.mp3", "b.mp3", "c.mp3"});
    ASSERT_TRUE(h.Run(ByCount(2), &files));
    EXPECT_EQ(files[0].outcome, "2 piece(s)");
    EXPECT_EQ(files[0].result, RunResult::Done());
    EXPECT_EQ(files[1].outcome, "Failure: Failed to load file \"" + (h.dir / "b.mp3").string() + "\".");
    EXPECT_EQ(files[1].result, RunResult::Failed("Failed to load file \"" + (h.dir / "b.mp3").string() + "\"."));
    EXPECT_EQ(files[2].outcome, "Failure: Failed to write file \"" + (h.dir / "4.mp3").string() + "\".");
    EXPECT_EQ(h.printed, (std::vector<std::string>{files[0].outcome, files[1].outcome, files[2].outcome}));
}

// An input refused by the planner is every file's failure.
TEST(BatchSplit, RefusedInputFailsEachFile) {
    RunHarness h(2);
    auto files = h.Files({"a.mp3", "b.mp3"});
    ASSERT_TRUE(h.Run(ByCount(1), &files));
    for (const BatchSplitFile& file : files) {
        EXPECT_EQ(file.outcome, "Failure: The file count should be greater than or equal to 2.");
    }
}

// With the first-N limit the count names only the pieces actually written.
TEST(BatchSplit, FirstPiecesLimitIsCountedInTheOutcome) {
    RunHarness h(1);
    h.options.SplitFirstNPieces = true;
    h.options.FirstPiecesNumber = 2;
    auto files = h.Files({"a.mp3"});
    ASSERT_TRUE(h.Run(ByCount(5), &files));
    EXPECT_EQ(files[0].outcome, "2 piece(s)");
}

// Cancel during file 2 of 3: file 1 keeps its pieces, file 2 shows "Cancelled" and has no
// pieces, file 3 is not touched and keeps its previous text.
TEST(BatchSplit, CancelStopsTheRunAndDeletesOnlyTheCurrentFilesPieces) {
    RunHarness h(3);
    h.scripts[1].cancelAtPiece = 2;
    auto files = h.Files({"a.mp3", "b.mp3", "c.mp3"});
    EXPECT_FALSE(h.Run(ByCount(2), &files));
    EXPECT_EQ(files[0].outcome, "2 piece(s)");
    EXPECT_EQ(files[1].outcome, "Cancelled");
    EXPECT_EQ(files[1].result, RunResult::Cancelled());
    EXPECT_TRUE(files[1].entry.outputs.empty());
    EXPECT_EQ(files[2].outcome, "previous");
    EXPECT_EQ(files[2].result, std::nullopt);
    EXPECT_EQ(FileNames(h.dir.Path()), (std::set<std::string>{"1.mp3", "2.mp3"}));
    EXPECT_EQ(h.scripts[2].calls.size(), 0u);
}

// The two progress lines name the file and the run's position; the run bar counts files.
TEST(BatchSplit, ProgressLinesNameFileAndPosition) {
    RunHarness h(2);
    auto files = h.Files({"a.mp3", "b.mp3"});
    ASSERT_TRUE(h.Run(ByCount(2), &files));
    EXPECT_EQ(h.runText.texts,
              (std::vector<std::string>{"Splitting 1 of 2 file(s)...", "Splitting 2 of 2 file(s)..."}));
    EXPECT_EQ(h.fileText.texts, (std::vector<std::string>{"Splitting a.mp3...", "Splitting b.mp3..."}));
    EXPECT_EQ(h.runBar.rangeHigh, 2);
    EXPECT_EQ(h.runBar.positions, (std::vector<int>{0, 1, 2}));
}

// The page's texts become the planners' units.
TEST(BatchSplit, InputsFromThePageSettings) {
    SplitSettings settings;
    settings.SplitFileSizeEx = "2.5";
    settings.SplitFileUnit = SizeUnitCode::KB;
    settings.SplitTimeMin = 2;
    settings.SplitTimeSec = 15;
    settings.SplitCustomFromSec = "12.5";
    settings.SplitCustomDuration = "0.0";
    const SplitInputs inputs = SplitInputs::FromSettings(settings);
    EXPECT_EQ(inputs.sizeBytes, 2560u);
    EXPECT_EQ(inputs.pieceTenths, 1350);
    EXPECT_EQ(inputs.beginTenths, 125);
    EXPECT_EQ(inputs.lengthTenths, 0);
}

}  // namespace
}  // namespace qm
