// The planners' input checks, piece counts, numbering and failure handling, against a
// scripted engine that logs every call.

#include <gtest/gtest.h>

#include <functional>

#include "fixtures/Fixtures.h"
#include "fixtures/ProgressFakes.h"
#include "split/BatchPlanners.h"
#include "split/PagePlanners.h"
#include "split/PlannerFakes.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using testing::EngineScript;
using testing::FileNames;
using testing::ScriptedEngine;
using testing::ScriptedResolver;
using Calls = std::vector<std::string>;

// One planner call's surroundings: options, scripted engine, fake progress window, folder.
struct Harness {
    fixtures::TempDir dir;
    SplitterOptions options;
    EngineScript script;
    fixtures::FakeOperation operation;
    ScriptedResolver resolver;
    std::vector<fs::path> outputs;
    std::string message;

    Harness() { resolver.folder = dir.Path(); }

    SplitPlanContext Context() {
        script.cancel = &operation.cancel;
        SplitPlanContext context;
        context.options = &options;
        context.operation = operation.Get();
        context.resolve = resolver.Get();
        context.makeEngine = [this](const SplitterOptions&) { return std::make_unique<ScriptedEngine>(&script); };
        return context;
    }
    page_plans::PageSource Source(std::uint64_t fileSizeBytes, int durationTenths) const {
        return page_plans::PageSource{dir / "song.mp3", fileSizeBytes, durationTenths};
    }
};

// ------------------------------------------------------------------------------------------
// Splitter page: by size, by count, by time.

enum class PageMode { Size, Count, Time };

struct PageCase {
    const char* name;
    PageMode mode;
    std::int64_t input;  // bytes, count or tenths
    std::uint64_t fileSizeBytes;
    int durationTenths;
    bool ok;
    const char* message;  // expected message when !ok
    Calls calls;
};

class PagePlannerTable : public ::testing::TestWithParam<PageCase> {};

TEST_P(PagePlannerTable, ChecksInputsAndAsksForThePieces) {
    const PageCase& c = GetParam();
    Harness h;
    const auto source = h.Source(c.fileSizeBytes, c.durationTenths);
    bool ok = false;
    switch (c.mode) {
        case PageMode::Size:
            ok = page_plans::PlanBySize(h.Context(), source, static_cast<std::uint64_t>(c.input), &h.outputs,
                                        &h.message) == PlanResult::Done;
            break;
        case PageMode::Count:
            ok = page_plans::PlanByCount(h.Context(), source, static_cast<int>(c.input), &h.outputs, &h.message) ==
                 PlanResult::Done;
            break;
        case PageMode::Time:
            ok = page_plans::PlanByTime(h.Context(), source, static_cast<int>(c.input), &h.outputs, &h.message) ==
                 PlanResult::Done;
            break;
    }
    EXPECT_EQ(ok, c.ok);
    if (!c.ok) {
        EXPECT_EQ(h.message, c.message);
    }
    EXPECT_EQ(h.script.calls, c.calls);
    EXPECT_EQ(h.outputs.size(), c.ok ? c.calls.size() : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PagePlannerTable,
    ::testing::Values(
        PageCase{"SizeEqualToFileIsRefused",
                 PageMode::Size,
                 1000,
                 1000,
                 100,
                 false,
                 "The size of piece is greater than original file. It's not necessary to split.",
                 {}},
        PageCase{"SizeAboveFileIsRefused",
                 PageMode::Size,
                 5000,
                 1000,
                 100,
                 false,
                 "The size of piece is greater than original file. It's not necessary to split.",
                 {}},
        PageCase{"SizeZeroIsTooSmall", PageMode::Size, 0, 1000, 100, false, "The size of piece is too small.", {}},
        PageCase{"SizeWithRemainderAddsAPiece",
                 PageMode::Size,
                 400,
                 1000,
                 100,
                 true,
                 "",
                 {"size 400 1/3 s1", "size 400 2/3 s2", "end 3/3 s3"}},
        PageCase{"SizeDividingEvenly", PageMode::Size, 500, 1000, 100, true, "", {"size 500 1/2 s1", "end 2/2 s2"}},
        PageCase{"SizeOneByteBelowFile", PageMode::Size, 999, 1000, 100, true, "", {"size 999 1/2 s1", "end 2/2 s2"}},
        PageCase{"CountOneIsTooSmall",
                 PageMode::Count,
                 1,
                 1000,
                 100,
                 false,
                 "The file count should be greater than or equal to 2.",
                 {}},
        PageCase{"CountTenOnNineTenths", PageMode::Count, 10, 1000, 9, false, "The file count is too big.", {}},
        PageCase{"CountThree",
                 PageMode::Count,
                 3,
                 1000,
                 1500,
                 true,
                 "",
                 {"duration 500 1/3 s1", "duration 500 2/3 s2", "end 3/3 s3"}},
        PageCase{"CountTruncatesThePieceLength",
                 PageMode::Count,
                 3,
                 1000,
                 100,
                 true,
                 "",
                 {"duration 33 1/3 s1", "duration 33 2/3 s2", "end 3/3 s3"}},
        PageCase{"TimeMinuteOnTwoAndAHalf",
                 PageMode::Time,
                 600,
                 1000,
                 1500,
                 true,
                 "",
                 {"duration 600 1/3 s1", "duration 600 2/3 s2", "end 3/3 s3"}},
        PageCase{"TimeEqualToFileIsRefused",
                 PageMode::Time,
                 1500,
                 1000,
                 1500,
                 false,
                 "The duration of piece is greater than original file. It's not necessary to split.",
                 {}},
        PageCase{"TimeZeroIsTooSmall", PageMode::Time, 0, 1000, 1500, false, "The duration of piece is too small.", {}},
        PageCase{"TimeOneTenthBelowFile",
                 PageMode::Time,
                 1499,
                 1000,
                 1500,
                 true,
                 "",
                 {"duration 1499 1/2 s1", "end 2/2 s2"}}),
    [](const auto& info) { return std::string(info.param.name); });

// The by-size count is the engine's, from the source's frames, whatever the file's size.
TEST(PagePlanners, BySizeTakesTheEnginesCount) {
    Harness h;
    h.options.ReencodePieces = true;
    h.script.audioBytes = 480000;
    ASSERT_EQ(page_plans::PlanBySize(h.Context(), h.Source(10'000'000, 250), 160000, &h.outputs, &h.message),
              PlanResult::Done);
    EXPECT_EQ(h.script.calls, (Calls{"size 160000 1/3 s1", "size 160000 2/3 s2", "end 3/3 s3"}));
}

// Lead-in and tail overlaps and fades reach the engine before the first piece.
TEST(PagePlanners, OverlapsAndFadesReachTheEngineFirst) {
    Harness h;
    h.options.ForwardOverlap = 15;
    h.options.BackwardOverlap = 7;
    h.options.FadeInLen = 20;
    ASSERT_EQ(page_plans::PlanByCount(h.Context(), h.Source(1000, 100), 2, &h.outputs, &h.message), PlanResult::Done);
    EXPECT_EQ(h.script.calls, (Calls{"lead-in 15", "tail 7", "fade-in 20", "duration 50 1/2 s1", "end 2/2 s2"}));
}

// The source running out in the middle ends the plan without a last piece.
// A source that ends in piece 2 of the 4 its measured length promised stops the plan there;
// the plan says that the audio ended early and keeps the two complete pieces.
TEST(PagePlanners, EndOfSourceStopsThePlan) {
    Harness h;
    h.script.endAtPiece = 2;
    ASSERT_EQ(page_plans::PlanByCount(h.Context(), h.Source(1000, 400), 4, &h.outputs, &h.message), PlanResult::Failed);
    EXPECT_EQ(h.message, "The audio ended after 2 of 4 pieces.");
    EXPECT_EQ(h.script.calls, (Calls{"duration 100 1/4 s1", "duration 100 2/4 s2"}));
    EXPECT_EQ(h.outputs.size(), 2u);
    EXPECT_EQ(FileNames(h.dir.Path()).size(), 2u);
}

// ------------------------------------------------------------------------------------------
// Failures shared by all planners: load, refused path, failed write, cancel.

TEST(PagePlanners, UnloadableSourceIsReportedWithItsPath) {
    Harness h;
    h.script.openOk = false;
    const auto source = h.Source(1000, 100);
    EXPECT_EQ(page_plans::PlanByCount(h.Context(), source, 2, &h.outputs, &h.message), PlanResult::Failed);
    EXPECT_EQ(h.message, "Failed to load file \"" + source.path.string() + "\".");
    EXPECT_TRUE(h.script.calls.empty());
}

// A refused path for piece 2 keeps piece 1 and reports the refusal.
TEST(PagePlanners, RefusedPathKeepsEarlierPieces) {
    Harness h;
    h.resolver.refusePiece = 2;
    EXPECT_EQ(page_plans::PlanByCount(h.Context(), h.Source(1000, 300), 3, &h.outputs, &h.message), PlanResult::Failed);
    EXPECT_EQ(h.message, "Target exists and skipped");
    EXPECT_EQ(FileNames(h.dir.Path()), (std::set<std::string>{"piece-1-of-3-s1.mp3"}));
    EXPECT_EQ(h.outputs.size(), 1u);
}

// A piece that cannot be written is a failure with the engine's message, never a success;
// the complete pieces before it stay.
TEST(PagePlanners, FailedWriteIsReportedNotSuccess) {
    Harness h;
    h.script.failAtPiece = 2;
    EXPECT_EQ(page_plans::PlanByCount(h.Context(), h.Source(1000, 300), 3, &h.outputs, &h.message), PlanResult::Failed);
    EXPECT_EQ(h.message, "Failed to write file \"" + (h.dir / "piece-2-of-3-s2.mp3").string() + "\".");
    EXPECT_EQ(FileNames(h.dir.Path()), (std::set<std::string>{"piece-1-of-3-s1.mp3"}));
}

// A failed last piece is reported the same way.
TEST(PagePlanners, FailedLastPieceIsReported) {
    Harness h;
    h.script.failAtPiece = 3;
    EXPECT_EQ(page_plans::PlanByTime(h.Context(), h.Source(1000, 300), 100, &h.outputs, &h.message),
              PlanResult::Failed);
    EXPECT_EQ(h.message, "Failed to write file \"" + (h.dir / "piece-3-of-3-s3.mp3").string() + "\".");
    EXPECT_EQ(h.outputs.size(), 2u);
}

// Cancelling during piece 3 removes pieces 1 and 2 as well; the plan reports the cancel.
TEST(PagePlanners, CancelDeletesEveryPieceOfTheRun) {
    Harness h;
    h.script.cancelAtPiece = 3;
    EXPECT_EQ(page_plans::PlanByCount(h.Context(), h.Source(1000, 400), 4, &h.outputs, &h.message),
              PlanResult::Cancelled);
    EXPECT_TRUE(h.outputs.empty());
    EXPECT_TRUE(FileNames(h.dir.Path()).empty());
}

// A cancel already set before the source is opened writes nothing.
TEST(PagePlanners, CancelBeforeTheFirstPieceWritesNothing) {
    Harness h;
    h.operation.cancel = 1;
    EXPECT_EQ(page_plans::PlanByCount(h.Context(), h.Source(1000, 400), 4, &h.outputs, &h.message),
              PlanResult::Cancelled);
    EXPECT_TRUE(h.script.calls.empty());
    EXPECT_TRUE(FileNames(h.dir.Path()).empty());
}

// The manual page's one switch: each mode of the page's settings reaches its own planner
// (told apart by each planner's own refusal), and a plan that runs is done with its pieces.
TEST(PageSwitch, EachModeReachesItsPlanner) {
    const struct {
        const char* name;
        SplitTypeCode mode;
        const char* sizeText;
        int count, minutes, seconds;
        RunResult result;
        std::size_t pieces;
    } cases[] = {
        {"size", SplitTypeCode::BySize, "0", 2, 1, 0, RunResult::Failed("The size of piece is too small."), 0},
        {"count", SplitTypeCode::ByCount, "1", 1, 1, 0,
         RunResult::Failed("The file count should be greater than or equal to 2."), 0},
        {"time", SplitTypeCode::ByTime, "1", 2, 0, 0, RunResult::Failed("The duration of piece is too small."), 0},
        {"rows", SplitTypeCode::ByCustom, "1", 2, 1, 0,
         RunResult::Failed("At least two pieces required. And, at least one piece checked for splitting."), 0},
        {"count that runs", SplitTypeCode::ByCount, "1", 3, 1, 0, RunResult::Done(), 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Harness h;
        SplitSettings settings;
        settings.SplitType = c.mode;
        settings.SplitFileSizeEx = c.sizeText;
        settings.SplitFileAmount = c.count;
        settings.SplitTimeMin = c.minutes;
        settings.SplitTimeSec = c.seconds;
        std::vector<PieceRow> rows{PieceRow{0, 300, true, {}}};
        const RunResult result = page_plans::PlanLoadedFile(h.Context(), SplitInputs::FromSettings(settings),
                                                            h.Source(1000, 300), &rows, &h.outputs);
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(h.outputs.size(), c.pieces);
    }
}

// ------------------------------------------------------------------------------------------
// Splitter page: hand-made pieces.

struct ManualCase {
    const char* name;
    std::vector<std::pair<int, int>> rows;  // start, end
    std::vector<bool> checked;
    bool ok;
    Calls calls;
};

class ManualPiecesTable : public ::testing::TestWithParam<ManualCase> {};

TEST_P(ManualPiecesTable, WritesCheckedRowsAndSkipsTheOthers) {
    const ManualCase& c = GetParam();
    Harness h;
    std::vector<PieceRow> rows;
    for (std::size_t i = 0; i < c.rows.size(); ++i) {
        rows.push_back(PieceRow{c.rows[i].first, c.rows[i].second, c.checked[i], {}});
    }
    const bool ok = page_plans::PlanManualPieces(h.Context(), h.dir / "song.mp3", &rows, &h.outputs, &h.message) ==
                    PlanResult::Done;
    EXPECT_EQ(ok, c.ok);
    if (!ok) {
        EXPECT_EQ(h.message, "At least two pieces required. And, at least one piece checked for splitting.");
    }
    EXPECT_EQ(h.script.calls, c.calls);
    // Exactly the written rows carry their output path.
    std::size_t withPath = 0;
    for (const PieceRow& row : rows) {
        if (!row.outputPath.empty()) {
            ++withPath;
            EXPECT_TRUE(fs::exists(row.outputPath));
        }
    }
    EXPECT_EQ(withPath, h.outputs.size());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ManualPiecesTable,
    ::testing::Values(
        ManualCase{"OneRowIsRefused", {{0, 100}}, {true}, false, {}},
        ManualCase{"NoRowCheckedIsRefused", {{0, 50}, {50, 100}}, {false, false}, false, {}},
        ManualCase{"MiddleRowUncheckedKeepsNumbers",
                   {{0, 30}, {30, 70}, {70, 100}},
                   {true, false, true},
                   true,
                   {"duration 30 1/3 s1", "skip 40", "end 3/3 s3"}},
        ManualCase{"LastRowUncheckedIsNotWritten",
                   {{0, 30}, {30, 70}, {70, 100}},
                   {true, true, false},
                   true,
                   {"duration 30 1/3 s1", "duration 40 2/3 s2"}},
        ManualCase{"OnlyTheLastRowChecked", {{0, 30}, {30, 100}}, {false, true}, true, {"skip 30", "end 2/2 s2"}}),
    [](const auto& info) { return std::string(info.param.name); });

// With a running sequence number the written pieces are numbered one after the other.
TEST(ManualPieces, RunningSequenceCountsWrittenPiecesOnly) {
    Harness h;
    std::vector<PieceRow> rows{{0, 30, true, {}}, {30, 70, false, {}}, {70, 100, true, {}}};
    int sequence = 5;
    ASSERT_EQ(page_plans::PlanManualPieces(h.Context(), h.dir / "s.mp3", &rows, &h.outputs, &h.message, &sequence),
              PlanResult::Done);
    EXPECT_EQ(h.script.calls, (Calls{"duration 30 1/3 s5", "skip 40", "end 3/3 s6"}));
    EXPECT_EQ(sequence, 7);
}

// A cancel while writing the last row deletes the earlier rows' pieces and their paths.
TEST(ManualPieces, CancelInTheLastRowDeletesEverything) {
    Harness h;
    h.script.cancelAtPiece = 2;
    std::vector<PieceRow> rows{{0, 30, true, {}}, {30, 100, true, {}}};
    EXPECT_EQ(page_plans::PlanManualPieces(h.Context(), h.dir / "s.mp3", &rows, &h.outputs, &h.message),
              PlanResult::Cancelled);
    EXPECT_TRUE(FileNames(h.dir.Path()).empty());
    EXPECT_TRUE(rows[0].outputPath.empty());
}

// ------------------------------------------------------------------------------------------
// Batch planners.

enum class BatchMode { Size, Count, Time, Range };

struct BatchCase {
    const char* name;
    BatchMode mode;
    std::int64_t input;  // bytes, count, tenths or begin tenths
    int lengthTenths;    // custom range only
    int durationSeconds;
    bool firstN;
    int firstCount;
    bool ok;
    const char* message;
    Calls calls;
    int sequenceAfter;  // starting from 10
};

class BatchPlannerTable : public ::testing::TestWithParam<BatchCase> {};

TEST_P(BatchPlannerTable, ChecksInputsAndNumbersWithTheRunSequence) {
    const BatchCase& c = GetParam();
    Harness h;
    h.options.SplitFirstNPieces = c.firstN;
    h.options.FirstPiecesNumber = c.firstCount;
    // The batch by-size count reads the file's real size: 1,000 bytes here.
    const fs::path source = h.dir / "song.mp3";
    fixtures::WriteFileBytes(source, fixtures::Bytes(1000, 0));
    batch_plans::BatchEntry entry{source, c.durationSeconds, {}};
    int sequence = 10;
    bool ok = false;
    const auto context = h.Context();
    switch (c.mode) {
        case BatchMode::Size:
            ok = batch_plans::PlanBySize(context, &entry, static_cast<std::uint64_t>(c.input), &sequence, &h.message) ==
                 PlanResult::Done;
            break;
        case BatchMode::Count:
            ok = batch_plans::PlanByCount(context, &entry, static_cast<int>(c.input), &sequence, &h.message) ==
                 PlanResult::Done;
            break;
        case BatchMode::Time:
            ok = batch_plans::PlanByTime(context, &entry, static_cast<int>(c.input), &sequence, &h.message) ==
                 PlanResult::Done;
            break;
        case BatchMode::Range:
            ok = batch_plans::PlanCustomRange(context, &entry, static_cast<int>(c.input), c.lengthTenths, &sequence,
                                              &h.message) == PlanResult::Done;
            break;
    }
    EXPECT_EQ(ok, c.ok);
    if (!c.ok) {
        EXPECT_EQ(h.message, c.message);
    }
    EXPECT_EQ(h.script.calls, c.calls);
    EXPECT_EQ(sequence, c.sequenceAfter);
    EXPECT_EQ(entry.outputs.size(), static_cast<std::size_t>(c.sequenceAfter - 10));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BatchPlannerTable,
    ::testing::Values(
        BatchCase{"SizeAtFileSizeIsOnePiece", BatchMode::Size, 1000, 0, 10, false, 1, true, "", {"end 1/1 s10"}, 11},
        BatchCase{"SizeAboveFileSizeIsOnePiece", BatchMode::Size, 4000, 0, 10, false, 1, true, "", {"end 1/1 s10"}, 11},
        BatchCase{"SizeZeroIsTooSmall",
                  BatchMode::Size,
                  0,
                  0,
                  10,
                  false,
                  1,
                  false,
                  "The size of piece is too small.",
                  {},
                  10},
        BatchCase{"SizeWithRemainder",
                  BatchMode::Size,
                  400,
                  0,
                  10,
                  false,
                  1,
                  true,
                  "",
                  {"size 400 1/3 s10", "size 400 2/3 s11", "end 3/3 s12"},
                  13},
        BatchCase{"CountOneIsTooSmall",
                  BatchMode::Count,
                  1,
                  0,
                  10,
                  false,
                  1,
                  false,
                  "The file count should be greater than or equal to 2.",
                  {},
                  10},
        BatchCase{"CountAboveTenthsIsTooBig",
                  BatchMode::Count,
                  11,
                  0,
                  1,
                  false,
                  1,
                  false,
                  "The file count is too big.",
                  {},
                  10},
        BatchCase{"CountUsesWholeSecondsTimesTen",
                  BatchMode::Count,
                  4,
                  0,
                  10,
                  false,
                  1,
                  true,
                  "",
                  {"duration 25 1/4 s10", "duration 25 2/4 s11", "duration 25 3/4 s12", "end 4/4 s13"},
                  14},
        BatchCase{"FirstTwoOfFive",
                  BatchMode::Count,
                  5,
                  0,
                  10,
                  true,
                  2,
                  true,
                  "",
                  {"duration 20 1/5 s10", "duration 20 2/5 s11"},
                  12},
        BatchCase{"FirstTwoOfTwoWritesTheLastToTheEnd",
                  BatchMode::Count,
                  2,
                  0,
                  10,
                  true,
                  2,
                  true,
                  "",
                  {"duration 50 1/2 s10", "end 2/2 s11"},
                  12},
        BatchCase{"FirstOneOfThree", BatchMode::Time, 40, 0, 10, true, 1, true, "", {"duration 40 1/3 s10"}, 11},
        BatchCase{"FirstTenOfThreeWritesAll",
                  BatchMode::Time,
                  40,
                  0,
                  10,
                  true,
                  10,
                  true,
                  "",
                  {"duration 40 1/3 s10", "duration 40 2/3 s11", "end 3/3 s12"},
                  13},
        BatchCase{"TimeAtDurationIsOnePiece", BatchMode::Time, 100, 0, 10, false, 1, true, "", {"end 1/1 s10"}, 11},
        BatchCase{"TimeZeroIsTooSmall",
                  BatchMode::Time,
                  0,
                  0,
                  10,
                  false,
                  1,
                  false,
                  "The duration of piece is too small.",
                  {},
                  10},
        BatchCase{"RangeBeginBeyondLength",
                  BatchMode::Range,
                  101,
                  10,
                  10,
                  false,
                  1,
                  false,
                  "The beginning point exceeds length of the MP3.",
                  {},
                  10},
        BatchCase{"RangeBeginAtLengthIsAllowed",
                  BatchMode::Range,
                  100,
                  10,
                  10,
                  false,
                  1,
                  true,
                  "",
                  {"skip 100", "duration 10 1/1 s10"},
                  11},
        BatchCase{"RangeLengthZeroRunsToTheEnd",
                  BatchMode::Range,
                  25,
                  0,
                  10,
                  false,
                  1,
                  true,
                  "",
                  {"skip 25", "duration 200 1/1 s10"},
                  11}),
    [](const auto& info) { return std::string(info.param.name); });

// The custom range has no neighbours: no overlap reaches the engine, fades still do.
TEST(BatchPlanners, CustomRangeHasNoOverlaps) {
    Harness h;
    h.options.ForwardOverlap = 15;
    h.options.BackwardOverlap = 7;
    h.options.FadeOutLen = 5;
    batch_plans::BatchEntry entry{h.dir / "s.mp3", 10, {}};
    int sequence = 1;
    ASSERT_EQ(batch_plans::PlanCustomRange(h.Context(), &entry, 10, 20, &sequence, &h.message), PlanResult::Done);
    EXPECT_EQ(h.script.calls, (Calls{"fade-out 5", "skip 10", "duration 20 1/1 s1"}));
}

// A begin point past the audio (the skip runs out) writes nothing and the file is done.
TEST(BatchPlanners, CustomRangeBeyondTheAudioIsDoneWithoutOutput) {
    Harness h;
    h.script.skipReachesEnd = true;
    batch_plans::BatchEntry entry{h.dir / "s.mp3", 10, {}};
    int sequence = 1;
    EXPECT_EQ(batch_plans::PlanCustomRange(h.Context(), &entry, 90, 20, &sequence, &h.message), PlanResult::Done);
    EXPECT_TRUE(entry.outputs.empty());
    EXPECT_EQ(sequence, 1);
    EXPECT_TRUE(FileNames(h.dir.Path()).empty());
}

// Batch failures: cancel deletes the file's pieces and reports the cancel with no message;
// a refused path and a failed write keep the earlier pieces and report the reason.
struct BatchFailureCase {
    const char* name;
    int cancelAt;
    int failAt;
    int refusePiece;
    std::set<std::string> left;
    const char* message;  // "{piece}" stands for the failing piece's path
};

class BatchFailureTable : public ::testing::TestWithParam<BatchFailureCase> {};

TEST_P(BatchFailureTable, LeavesExactlyTheCompletePieces) {
    const BatchFailureCase& c = GetParam();
    Harness h;
    h.script.cancelAtPiece = c.cancelAt;
    h.script.failAtPiece = c.failAt;
    h.resolver.refusePiece = c.refusePiece;
    batch_plans::BatchEntry entry{h.dir / "song.mp3", 40, {}};
    int sequence = 1;
    EXPECT_EQ(batch_plans::PlanByCount(h.Context(), &entry, 4, &sequence, &h.message),
              (c.cancelAt != 0 ? PlanResult::Cancelled : PlanResult::Failed));
    std::string message = c.message;
    const auto at = message.find("{piece}");
    if (at != std::string::npos) {
        message.replace(
            at, 7,
            (h.dir / ("piece-" + std::to_string(c.failAt) + "-of-4-s" + std::to_string(c.failAt) + ".mp3")).string());
    }
    EXPECT_EQ(h.message, message);
    EXPECT_EQ(FileNames(h.dir.Path()), c.left);
    EXPECT_EQ(entry.outputs.size(), c.left.size());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BatchFailureTable,
    ::testing::Values(BatchFailureCase{"CancelInPieceThree", 3, 0, 0, {}, ""},
                      BatchFailureCase{"CancelInTheLastPiece", 4, 0, 0, {}, ""},
                      BatchFailureCase{
                          "RefusedPieceTwo", 0, 0, 2, {"piece-1-of-4-s1.mp3"}, "Target exists and skipped"},
                      BatchFailureCase{"FailedWriteOfPieceThree",
                                       0,
                                       3,
                                       0,
                                       {"piece-1-of-4-s1.mp3", "piece-2-of-4-s2.mp3"},
                                       "Failed to write file \"{piece}\"."},
                      BatchFailureCase{"FailedWriteOfTheLastPiece",
                                       0,
                                       4,
                                       0,
                                       {"piece-1-of-4-s1.mp3", "piece-2-of-4-s2.mp3", "piece-3-of-4-s3.mp3"},
                                       "Failed to write file \"{piece}\"."}),
    [](const auto& info) { return std::string(info.param.name); });

// A plan that does not end well changes no existing file: old pieces 1 and 3 are where the
// plan writes, piece 3 fails, is refused or is cancelled. The new piece 2, which replaces
// nothing, is kept after a failure (as the complete pieces before it are), and goes with
// the rest on a cancel; no temporary file is left.
TEST(BatchPlanners, PlanThatDoesNotEndWellReplacesNoFile) {
    struct Case {
        const char* name;
        int cancelAt;
        int failAt;
        int refusePiece;
        bool keepsPieceTwo;
    };
    for (const Case& c :
         {Case{"failed write", 0, 3, 0, true}, Case{"refused path", 0, 0, 3, true}, Case{"cancel", 3, 0, 0, false}}) {
        Harness h;
        h.script.cancelAtPiece = c.cancelAt;
        h.script.failAtPiece = c.failAt;
        h.resolver.refusePiece = c.refusePiece;
        const fs::path one = h.dir / "piece-1-of-4-s1.mp3";
        const fs::path two = h.dir / "piece-2-of-4-s2.mp3";
        const fs::path three = h.dir / "piece-3-of-4-s3.mp3";
        fixtures::WriteFileBytes(one, {1, 1});
        fixtures::WriteFileBytes(three, {3, 3});
        batch_plans::BatchEntry entry{h.dir / "song.mp3", 40, {}};
        int sequence = 1;
        EXPECT_EQ(batch_plans::PlanByCount(h.Context(), &entry, 4, &sequence, &h.message),
                  (c.cancelAt != 0 ? PlanResult::Cancelled : PlanResult::Failed))
            << c.name;
        EXPECT_EQ(fixtures::ReadFileBytes(one), (fixtures::Bytes{1, 1})) << c.name;
        EXPECT_EQ(fixtures::ReadFileBytes(three), (fixtures::Bytes{3, 3})) << c.name;
        std::set<std::string> left{one.filename().string(), three.filename().string()};
        if (c.keepsPieceTwo) left.insert(two.filename().string());
        EXPECT_EQ(FileNames(h.dir.Path()), left) << c.name;
        EXPECT_EQ(entry.outputs, c.keepsPieceTwo ? std::vector<fs::path>{two} : std::vector<fs::path>{}) << c.name;
    }
}

// A piece that finds only frames of earlier pieces left is no piece: nothing is recorded or
// numbered for it, and the plan ends there.
TEST(BatchPlanners, PieceWithNothingOfItsOwnEndsThePlan) {
    // Ending before the last piece is less audio than the length promised: the plan says so.
    // An empty last piece is only a length rounded up.
    struct Case {
        int emptyAt;
        Calls calls;
        int sequenceAfter;
        PlanResult result;
        std::string message;
    };
    for (const Case& c : {Case{2,
                               {"duration 100 1/4 s1", "duration 100 2/4 s2"},
                               2,
                               PlanResult::Failed,
                               "The audio ended after 1 of 4 pieces."},
                          Case{4,
                               {"duration 100 1/4 s1", "duration 100 2/4 s2", "duration 100 3/4 s3", "end 4/4 s4"},
                               4,
                               PlanResult::Done,
                               ""}}) {
        Harness h;
        h.script.emptyAtPiece = c.emptyAt;
        batch_plans::BatchEntry entry{h.dir / "song.mp3", 40, {}};
        int sequence = 1;
        EXPECT_EQ(batch_plans::PlanByCount(h.Context(), &entry, 4, &sequence, &h.message), c.result) << h.message;
        EXPECT_EQ(h.message, c.message);
        EXPECT_EQ(h.script.calls, c.calls);
        EXPECT_EQ(sequence, c.sequenceAfter);
        EXPECT_EQ(entry.outputs.size(), static_cast<std::size_t>(c.sequenceAfter - 1));
        EXPECT_EQ(FileNames(h.dir.Path()).size(), entry.outputs.size());
    }
}

// ------------------------------------------------------------------------------------------
// Input texts.

TEST(PlannerInputs, SizeTextTimesUnit) {
    struct Case {
        const char* text;
        SizeUnitCode unit;
        std::uint64_t bytes;
    };
    for (const Case& c :
         {Case{"1", SizeUnitCode::MB, 1048576}, Case{"1.5", SizeUnitCode::KB, 1536},
          Case{"2", SizeUnitCode::GB, 2147483648ULL}, Case{" 3", SizeUnitCode::KB, 3072},
          Case{"0.0001", SizeUnitCode::KB, 0}, Case{"abc", SizeUnitCode::MB, 0}, Case{"", SizeUnitCode::MB, 0},
          Case{"-4", SizeUnitCode::MB, 0}, Case{"10x", SizeUnitCode::KB, 10240}}) {
        EXPECT_EQ(PieceSizeBytes(c.text, c.unit), c.bytes) << c.text;
    }
}

// Every plan ends one way: a cancel that arrives as its last piece is completed still cancels
// it, and no piece of it is left, for the page plans, the hand-made pieces and the batch plans.
TEST(PlanEnding, CancelAsTheLastPieceCompletesCancelsEveryPlan) {
    struct Case {
        const char* name;
        int lastPiece;
        std::function<PlanResult(Harness&)> run;
    };
    const Case cases[] = {
        {"page by count", 3,
         [](Harness& h) {
             return page_plans::PlanByCount(h.Context(), h.Source(1000, 300), 3, &h.outputs, &h.message);
         }},
        {"hand-made pieces", 2,
         [](Harness& h) {
             std::vector<PieceRow> rows{{0, 100, true, {}}, {100, 300, true, {}}};
             return page_plans::PlanManualPieces(h.Context(), h.dir / "s.mp3", &rows, &h.outputs, &h.message);
         }},
        {"batch by count", 4,
         [](Harness& h) {
             batch_plans::BatchEntry entry{h.dir / "s.mp3", 40, {}};
             int sequence = 1;
             const PlanResult result = batch_plans::PlanByCount(h.Context(), &entry, 4, &sequence, &h.message);
             h.outputs = entry.outputs;
             return result;
         }},
        {"batch custom range", 1,
         [](Harness& h) {
             batch_plans::BatchEntry entry{h.dir / "s.mp3", 40, {}};
             int sequence = 1;
             const PlanResult result = batch_plans::PlanCustomRange(h.Context(), &entry, 10, 20, &sequence, &h.message);
             h.outputs = entry.outputs;
             return result;
         }},
    };
    for (const Case& c : cases) {
        Harness h;
        h.script.cancelAfterPiece = c.lastPiece;
        EXPECT_EQ(c.run(h), PlanResult::Cancelled) << c.name;
        EXPECT_EQ(h.script.pieceCalls, c.lastPiece) << c.name;
        EXPECT_TRUE(h.outputs.empty()) << c.name;
        EXPECT_TRUE(FileNames(h.dir.Path()).empty()) << c.name;
        EXPECT_EQ(h.message, "") << c.name;
    }
}

}  // namespace
}  // namespace qm
