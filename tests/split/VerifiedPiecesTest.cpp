// Plans whose pieces are checked once written: every good piece of either engine passes, and a
// piece damaged after it was written fails the plan with its name, stays out of place with the
// pieces after it, and leaves no temporary file behind.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "fixtures/Fixtures.h"
#include "fixtures/ProgressFakes.h"
#include "split/BatchPlanners.h"
#include "stream/FailureMessages.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

SplitPlanContext VerifyingContext(const SplitterOptions& options, fixtures::FakeOperation& operation) {
    SplitPlanContext context;
    context.options = &options;
    context.operation = operation.Get();
    context.resolve = MakeSplitOutputResolver(options);
    context.verifyOutputs = true;
    return context;
}

// What the engines may be asked to do, each checked piece by piece.
struct Shape {
    const char* name;
    bool reencode;
    int rateHz;  // with bitRateKbps and mono: the encoder's own values
    int bitRateKbps;
    bool mono;
    int fadeTenths;
    int overlapTenths;  // lead-in and tail
};

SplitterOptions OptionsOf(const Shape& shape) {
    SplitterOptions options;
    options.ReencodePieces = shape.reencode;
    if (shape.rateHz != 0) {
        options.UseSameParams = false;
        options.MP3SampleRate = shape.rateHz;
        options.MP3BitRate = shape.bitRateKbps;
        options.MP3ChannelMode = shape.mono ? ChannelModeCode::Mono : ChannelModeCode::JointStereo;
    }
    options.FadeInLen = options.FadeOutLen = shape.fadeTenths;
    options.ForwardOverlap = options.BackwardOverlap = shape.overlapTenths;
    return options;
}

const std::vector<Shape> kShapes{
    {"direct", false, 0, 0, false, 0, 0},
    {"direct with overlaps", false, 0, 0, false, 0, 5},
    {"re-encoded", true, 0, 0, false, 0, 0},
    {"re-encoded at 22.05 kHz mono", true, 22050, 64, true, 0, 0},
    {"faded with overlaps", false, 0, 0, false, 10, 5},
};

// Where a piece is damaged after it was written (a lost sector: 512 zero bytes in its middle),
// and what the plan of three pieces then leaves.
struct Damage {
    const char* name;
    int damagedCheck;  // the check, counted in writing order, whose piece is damaged; 0: none
    PlanResult result;
    const char* failedPiece;          // the piece the failure names; nullptr when none fails
    std::vector<std::string> placed;  // the pieces in place afterwards
};

const std::vector<Damage> kDamages{
    {"none", 0, PlanResult::Done, nullptr, {"song-1.mp3", "song-2.mp3", "song-3.mp3"}},
    {"first piece", 1, PlanResult::Failed, "song-1.mp3", {}},
    {"second piece", 2, PlanResult::Failed, "song-2.mp3", {"song-1.mp3"}},
    {"last piece", 3, PlanResult::Failed, "song-3.mp3", {"song-1.mp3", "song-2.mp3"}},
};

void LoseASector(const fs::path& file) {
    fixtures::Bytes bytes = fixtures::ReadFileBytes(file);
    std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(bytes.size() / 2), 512, 0);
    fixtures::WriteFileBytes(file, bytes);
}

// Every good piece of every engine passes its check. A damaged piece fails the plan with its
// own name: the pieces before it are in place, it and the ones after are not, and no
// temporary file is left.
TEST(VerifiedPieces, EveryPieceIsCheckedOnceWritten) {
    fixtures::TempDir dir;
    const fs::path song = fixtures::MakeSong(dir, "song.mp3", 6.0);
    for (const Shape& shape : kShapes) {
        for (const Damage& damage : kDamages) {
            SCOPED_TRACE(std::string(shape.name) + ", damaged: " + damage.name);
            const SplitterOptions options = OptionsOf(shape);
            fixtures::FakeOperation operation;
            SplitPlanContext context = VerifyingContext(options, operation);
            std::atomic<int> checks{0};
            context.beforeCheck = [&checks, &damage](const fs::path& file) {
                if (++checks == damage.damagedCheck) LoseASector(file);
            };
            batch_plans::BatchEntry entry{song, 6, {}};
            int sequence = 1;
            std::string message;
            EXPECT_EQ(batch_plans::PlanByCount(context, &entry, 3, &sequence, &message), damage.result) << message;
            if (damage.failedPiece != nullptr) {
                const std::string named = VerificationFailedMessage(dir / damage.failedPiece, "");
                EXPECT_EQ(message.rfind(named.substr(0, named.size() - 1), 0), 0U) << message;
            }
            std::vector<fs::path> placed;
            std::vector<std::string> names{"song.mp3"};
            for (const std::string& piece : damage.placed) {
                placed.push_back(dir / piece);
                names.push_back(piece);
            }
            std::sort(names.begin(), names.end());
            EXPECT_EQ(entry.outputs, placed);
            EXPECT_EQ(fixtures::FileNames(dir.Path()), names);
            // The next case starts from the song alone, whatever this one left.
            for (const std::string& name : fixtures::FileNames(dir.Path())) {
                if (name != "song.mp3") fs::remove(dir / name);
            }
        }
    }
}

// Ctrl-C while the last piece is checked cancels the plan: no piece is left, whatever was
// checked already.
TEST(VerifiedPieces, ACancelDuringTheLastCheckLeavesNoPiece) {
    fixtures::TempDir dir;
    const fs::path song = fixtures::MakeSong(dir, "song.mp3", 4.0);
    SplitterOptions options;
    fixtures::FakeOperation operation;
    SplitPlanContext context = VerifyingContext(options, operation);
    std::atomic<int> checks{0};
    context.beforeCheck = [&checks, &operation](const fs::path&) {
        if (++checks != 2) return;
        operation.cancel = 1;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    };
    batch_plans::BatchEntry entry{song, 4, {}};
    int sequence = 1;
    std::string message;
    EXPECT_EQ(batch_plans::PlanByCount(context, &entry, 2, &sequence, &message), PlanResult::Cancelled);
    EXPECT_TRUE(entry.outputs.empty());
    EXPECT_EQ(fixtures::FileNames(dir.Path()), std::vector<std::string>{"song.mp3"});
}

// A plan stops at the first piece written after an earlier one failed its check: the pieces
// it would still have written are never made.
TEST(VerifiedPieces, APlanStopsOnceAPieceFailedItsCheck) {
    fixtures::TempDir dir;
    const fs::path song = fixtures::MakeSong(dir, "song.mp3", 8.0);
    SplitterOptions options;
    fixtures::FakeOperation operation;
    SplitPlanContext context = VerifyingContext(options, operation);
    std::atomic<int> checks{0};
    context.beforeCheck = [&checks](const fs::path& file) {
        if (++checks == 1) fs::resize_file(file, fs::file_size(file) - 1);
    };
    // A millisecond per frame: a piece takes about forty times as long to write as the first
    // piece's check, which is therefore over long before the last piece.
    operation.pump.onPump = [](long) { std::this_thread::sleep_for(std::chrono::milliseconds(1)); };
    batch_plans::BatchEntry entry{song, 8, {}};
    int sequence = 1;
    std::string message;
    EXPECT_EQ(batch_plans::PlanByCount(context, &entry, 8, &sequence, &message), PlanResult::Failed);
    EXPECT_EQ(message.rfind("Verification failed for file \"" + (dir / "song-1.mp3").string() + "\": ", 0), 0U)
        << message;
    EXPECT_LT(sequence, 9) << "every piece was written";
    EXPECT_TRUE(entry.outputs.empty());
    EXPECT_EQ(fixtures::FileNames(dir.Path()), std::vector<std::string>{"song.mp3"});
}

// A piece that fails its check never replaces the file it was to overwrite.
TEST(VerifiedPieces, AFailedPieceLeavesTheFileItWasToReplace) {
    fixtures::TempDir dir;
    const fs::path song = fixtures::MakeSong(dir, "song.mp3", 4.0);
    fixtures::WriteFileBytes(dir / "song-1.mp3", fixtures::Bytes{'o', 'l', 'd'});
    SplitterOptions options;
    options.TargetExistsOpt = TargetExistsCode::Overwrite;
    fixtures::FakeOperation operation;
    SplitPlanContext context = VerifyingContext(options, operation);
    context.beforeCheck = [](const fs::path& file) { fs::resize_file(file, fs::file_size(file) - 1); };
    batch_plans::BatchEntry entry{song, 4, {}};
    int sequence = 1;
    std::string message;
    EXPECT_EQ(batch_plans::PlanByCount(context, &entry, 2, &sequence, &message), PlanResult::Failed);
    EXPECT_EQ(message.rfind("Verification failed for file \"" + (dir / "song-1.mp3").string() + "\": it ends with ", 0),
              0U)
        << message;
    EXPECT_TRUE(entry.outputs.empty());
    EXPECT_EQ(fixtures::ReadFileBytes(dir / "song-1.mp3"), (fixtures::Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(fixtures::FileNames(dir.Path()), (std::vector<std::string>{"song-1.mp3", "song.mp3"}));
}

}  // namespace
}  // namespace qm
