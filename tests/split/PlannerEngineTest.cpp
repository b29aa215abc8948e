// The planners with the real engines and the real output placement on generated MP3 files:
// pieces decoded with libmpg123, cancel and collision handling on disk.

#include <gtest/gtest.h>

#include "fixtures/Fixtures.h"
#include "fixtures/ProgressFakes.h"
#include "split/DirectSplitter.h"
#include "split/PlannerFakes.h"
#include "split/ReencodeSplitter.h"
#include "split/SplitPlanners.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using testing::FileNames;

constexpr int kRateHz = 44100;
constexpr double kFrameSeconds = 1152.0 / kRateHz;  // one MPEG-1 Layer III frame

fs::path MakeSong(const fixtures::TempDir& dir, double seconds) {
    fixtures::EncodeSpec spec;
    spec.seconds = seconds;
    spec.xing = fixtures::XingFrame::Yes;
    const fs::path path = dir / "song.mp3";
    fixtures::WriteFileBytes(path, fixtures::EncodeMp3(spec));
    return path;
}

double DecodedSeconds(const fs::path& path) {
    const fixtures::Decoded decoded = fixtures::DecodeWithMpg123(path);
    EXPECT_TRUE(decoded.ok) << path;
    return static_cast<double>(decoded.samples) / kRateHz;
}

SplitPlanContext RealContext(const SplitterOptions& options, fixtures::FakeOperation& operation) {
    SplitPlanContext context;
    context.options = &options;
    context.operation = operation.Get();
    context.resolve = MakeSplitOutputResolver(options);
    return context;
}

// The engine follows the options: re-encoding or any fade needs the re-encoding engine.
TEST(PlannerEngines, EngineChoice) {
    struct Case {
        bool reencode;
        int fadeIn;
        int fadeOut;
        bool reencodingEngine;
    };
    for (const Case& c : {Case{false, 0, 0, false}, Case{true, 0, 0, true}, Case{false, 5, 0, true},
                          Case{false, 0, 5, true}}) {
        SplitterOptions options;
        options.ReencodePieces = c.reencode;
        options.FadeInLen = c.fadeIn;
        options.FadeOutLen = c.fadeOut;
        const auto engine = CreateSplitEngine(options);
        EXPECT_EQ(dynamic_cast<ReencodeSplitter*>(engine.get()) != nullptr, c.reencodingEngine);
        EXPECT_EQ(dynamic_cast<DirectSplitter*>(engine.get()) != nullptr, !c.reencodingEngine);
    }
}

// By time 2 s on a 5 s file: three pieces beside the source, the last holding the remaining
// second plus up to three frames repeated by the step back at each of the two cuts.
TEST(PlannerEngines, PageByTimeWritesDecodablePieces) {
    fixtures::TempDir dir;
    const fs::path song = MakeSong(dir, 5.0);
    SplitterOptions options;
    fixtures::FakeOperation operation;
    std::vector<fs::path> outputs;
    std::string message;
    const page_plans::PageSource source{song, fs::file_size(song), 50};
    ASSERT_TRUE(page_plans::PlanByTime(RealContext(options, operation), source, 20, &outputs, &message)) << message;
    ASSERT_EQ(outputs, (std::vector<fs::path>{dir / "song-1.mp3", dir / "song-2.mp3", dir / "song-3.mp3"}));
    EXPECT_NEAR(DecodedSeconds(outputs[0]), 2.0, 4 * kFrameSeconds);
    EXPECT_NEAR(DecodedSeconds(outputs[1]), 2.0, 4 * kFrameSeconds);
    EXPECT_NEAR(DecodedSeconds(outputs[2]), 1.0 + 3 * kFrameSeconds, 4 * kFrameSeconds);
}

// Cancel while piece 3 is written: pieces 1 and 2 go as well, and no partial file is left.
TEST(PlannerEngines, CancelInPieceThreeLeavesOnlyTheSource) {
    for (const bool reencode : {false, true}) {
        fixtures::TempDir dir;
        const fs::path song = MakeSong(dir, 6.0);
        SplitterOptions options;
        options.ReencodePieces = reencode;
        fixtures::FakeOperation operation;
        // Set the flag once pieces 1 and 2 are complete.
        operation.pump.onPump = [&](long) {
            if (fs::exists(dir / "song-2.mp3")) operation.cancel = 1;
        };
        batch_plans::BatchEntry entry{song, 6, {}};
        int sequence = 1;
        std::string message;
        EXPECT_FALSE(batch_plans::PlanByCount(RealContext(options, operation), &entry, 3, &sequence, &message));
        EXPECT_EQ(message, "");
        EXPECT_TRUE(entry.outputs.empty());
        EXPECT_EQ(FileNames(dir.Path()), (std::set<std::string>{"song.mp3"})) << "reencode " << reencode;
    }
}

// With the skip policy and piece 2's target present, piece 1 is kept, the existing file is
// untouched and the plan ends with the placement's message.
TEST(PlannerEngines, SkipPolicyEndsThePlanAtAnExistingTarget) {
    fixtures::TempDir dir;
    const fs::path song = MakeSong(dir, 6.0);
    fixtures::WriteFileBytes(dir / "song-2.mp3", fixtures::Bytes{1, 2, 3});
    SplitterOptions options;
    options.TargetExistsOpt = TargetExistsCode::Skip;
    fixtures::FakeOperation operation;
    batch_plans::BatchEntry entry{song, 6, {}};
    int sequence = 1;
    std::string message;
    EXPECT_FALSE(batch_plans::PlanByCount(RealContext(options, operation), &entry, 3, &sequence, &message));
    EXPECT_EQ(message, "Target exists and skipped");
    EXPECT_EQ(entry.outputs, (std::vector<fs::path>{dir / "song-1.mp3"}));
    EXPECT_EQ(fixtures::ReadFileBytes(dir / "song-2.mp3"), (fixtures::Bytes{1, 2, 3}));
    EXPECT_EQ(FileNames(dir.Path()), (std::set<std::string>{"song.mp3", "song-1.mp3", "song-2.mp3"}));
}

// A custom range from 1.5 s, 2 s long, with overlaps set: the piece holds just the range.
TEST(PlannerEngines, CustomRangeIgnoresOverlaps) {
    fixtures::TempDir dir;
    const fs::path song = MakeSong(dir, 6.0);
    SplitterOptions options;
    options.ForwardOverlap = 10;
    options.BackwardOverlap = 10;
    fixtures::FakeOperation operation;
    batch_plans::BatchEntry entry{song, 6, {}};
    int sequence = 4;
    std::string message;
    ASSERT_TRUE(batch_plans::PlanCustomRange(RealContext(options, operation), &entry, 15, 20, &sequence, &message));
    ASSERT_EQ(entry.outputs.size(), 1u);
    EXPECT_NEAR(DecodedSeconds(entry.outputs[0]), 2.0, 2 * kFrameSeconds);
    EXPECT_EQ(sequence, 5);
}

}  // namespace
}  // namespace qm
