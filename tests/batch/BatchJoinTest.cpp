// The batch join: per main file an output placed by the join placement rules, the joined
// files before or after it, per-row outcomes, failures that do not stop the batch, and a
// cancel that does.

#include <gtest/gtest.h>

#include <algorithm>

#include "batch/BatchJoin.h"
#include "fixtures/Fixtures.h"
#include "fixtures/ProgressFakes.h"
#include "stream/MpegHeader.h"
#include "stream/Tags.h"

namespace qm {
namespace {

namespace fx = qm::fixtures;

// The frames of an encoded image (which starts with a frame).
fx::Bytes Frames(const fx::Bytes& image) {
    const auto spans = fx::WalkFrames(image, 0);
    return fx::Bytes(image.begin(),
                     image.begin() + static_cast<std::ptrdiff_t>(spans.back().offset + spans.back().bytes));
}

struct Batch {
    fx::TempDir dir;
    std::vector<fx::Bytes> mainImages;
    std::vector<BatchJoinItem> items;
    fx::Bytes joinedA = fx::EncodeMp3(fx::StreamSpec(0.6, fx::Signal::Noise));
    fx::Bytes joinedB = fx::EncodeMp3(fx::StreamSpec(0.4, fx::Signal::Sweep));
    std::vector<std::filesystem::path> joined;

    explicit Batch(int mains) {
        std::filesystem::create_directories(dir / "in");
        fx::WriteFileBytes(dir / "in" / "A.mp3", joinedA);
        fx::WriteFileBytes(dir / "in" / "B.mp3", joinedB);
        joined = {dir / "in" / "A.mp3", dir / "in" / "B.mp3"};
        for (int i = 0; i < mains; ++i) {
            fx::EncodeSpec spec = fx::StreamSpec(1.0 + 0.1 * i, fx::Signal::Tone);
            spec.toneHz = 300.0 + 100 * i;
            mainImages.push_back(fx::EncodeMp3(spec));
            const auto path = dir / "in" / ("song" + std::to_string(i) + ".mp3");
            fx::WriteFileBytes(path, mainImages.back());
            items.push_back({path, {}, {}, {}, {}});
        }
    }
};

// Append gives M, A, B; insert gives A, B, M; the output is "<main>_joined.mp3" beside the
// main file, and the row shows its name.
TEST(BatchJoin, JoinOrderAndPlacement) {
    for (const JoinTypeCode type : {JoinTypeCode::Append, JoinTypeCode::Prepend}) {
        SCOPED_TRACE(static_cast<int>(type));
        Batch batch(2);
        fx::FakeOperation op;
        fx::RecordingBar batchBar;
        fx::RecordingStatus batchText;
        std::vector<std::size_t> changes;
        const auto result =
            RunBatchJoin(batch.items, batch.joined, type, JoinerOptions{}, {op.Get(), &batchBar, &batchText},
                         [&](std::size_t i) { changes.push_back(i); });
        EXPECT_EQ(result, RunOutcome::Done);
        for (std::size_t i = 0; i < batch.items.size(); ++i) {
            const BatchJoinItem& item = batch.items[i];
            const auto expectedPath = batch.dir / "in" / ("song" + std::to_string(i) + "_joined.mp3");
            EXPECT_EQ(item.outputPath, expectedPath);
            EXPECT_EQ(item.outcome, expectedPath.filename().string());
            const fx::Bytes main = Frames(batch.mainImages[i]);
            const fx::Bytes others = fx::Concat({Frames(batch.joinedA), Frames(batch.joinedB)});
            const fx::Bytes expected =
                type == JoinTypeCode::Append ? fx::Concat({main, others}) : fx::Concat({others, main});
            // After the Xing/Info frame that heads the joined stream.
            const fx::Bytes written = fx::ReadFileBytes(expectedPath);
            const auto headerFrame = fx::WalkFrames(written, 0).front();
            EXPECT_TRUE(fx::Bytes(written.begin() + static_cast<std::ptrdiff_t>(headerFrame.bytes), written.end()) ==
                        expected)
                << "frames copied in join order";
        }
        EXPECT_EQ(changes, (std::vector<std::size_t>{0, 0, 1, 1}));
        EXPECT_EQ(batchBar.rangeHigh, 2);
        EXPECT_EQ(batchBar.positions, (std::vector<int>{0, 1, 2}));
        EXPECT_EQ(batchText.texts,
                  (std::vector<std::string>{"Joining 1 of 2 file(s)...", "Joining 2 of 2 file(s)..."}));
    }
}

// A row's tag fields make the output's tag, with the main file's front cover; empty fields
// give no tag. A main file of another format makes the join re-encode with the main file's
// own values.
TEST(BatchJoin, TagsAndReencodedRows) {
    Batch batch(1);
    batch.items[0].tag.title = "Joined title";
    batch.items[0].tag.track = 7;
    TagInfo mainTag;
    mainTag.title = "Main title";
    const TagPicture cover{"image/png", fx::Noise(3000, 7)};
    fx::WriteFileBytes(batch.items[0].mainPath, fx::Concat({BuildId3v2Tag(mainTag, &cover), batch.mainImages[0]}));
    const auto odd = batch.dir / "in" / "odd.mp3";
    fx::WriteFileBytes(odd, fx::EncodeMp3(fx::StreamSpec(1.0, fx::Signal::Tone, 22050, 64, fx::Channels::Mono)));
    batch.items.push_back({odd, {}, {}, {}, {}});

    fx::FakeOperation op;
    RunBatchJoin(batch.items, batch.joined, JoinTypeCode::Append, JoinerOptions{}, {op.Get()});
    const fx::Bytes tagged = fx::ReadFileBytes(batch.items[0].outputPath);
    ASSERT_GT(tagged.size(), 10u);
    EXPECT_EQ(std::string(tagged.begin(), tagged.begin() + 3), "ID3");
    TagInfo back;
    ASSERT_TRUE(ReadTags(batch.items[0].outputPath, &back));
    EXPECT_EQ(back.title, "Joined title");
    EXPECT_EQ(back.track, 7);
    TagPicture picture;
    ASSERT_TRUE(ReadFrontCover(batch.items[0].outputPath, &picture));
    EXPECT_EQ(picture, cover);

    ASSERT_FALSE(batch.items[1].outputPath.empty()) << batch.items[1].outcome;
    const fx::Bytes reencoded = fx::ReadFileBytes(batch.items[1].outputPath);
    EXPECT_EQ(reencoded[0], 0xFF) << "no tag for a row without tag fields";
    const fx::Decoded decoded = fx::DecodeWithMpg123(batch.items[1].outputPath);
    EXPECT_TRUE(decoded.ok);
    EXPECT_EQ(decoded.rateHz, 44100) << "the joined files' higher rate";
    EXPECT_EQ(decoded.channels, 2) << "joint stereo of the joined files wins over the main file's mono";
    EXPECT_EQ(DecodeMp3FrameHeader(reencoded.data()).bitRateKbps, 128);
    // As long as the sources' decoded lengths together (each carries its own encoder delay).
    double sourceSeconds = 0;
    for (const auto& path : {odd, batch.joined[0], batch.joined[1]}) {
        const fx::Decoded source = fx::DecodeWithMpg123(path);
        sourceSeconds += double(source.samples) / double(source.rateHz);
    }
    EXPECT_NEAR(double(decoded.samples) / 44100, sourceSeconds, 0.12);
}

// Failures show in their row and the batch goes on; an existing output with "skip" is one.
TEST(BatchJoin, FailuresDoNotStopTheBatch) {
    Batch batch(3);
    fx::WriteFileBytes(batch.dir / "in" / "song1_joined.mp3", {'x'});
    batch.items[2].mainPath = batch.dir / "in" / "gone.mp3";
    JoinerOptions options;
    options.TargetExistsOpt = TargetExistsCode::Skip;
    fx::FakeOperation op;
    EXPECT_EQ(RunBatchJoin(batch.items, batch.joined, JoinTypeCode::Append, options, {op.Get()}), RunOutcome::Done);
    EXPECT_EQ(batch.items[0].outcome, "song0_joined.mp3");
    EXPECT_EQ(batch.items[0].result, RunResult::Done());
    EXPECT_EQ(batch.items[1].outcome, "Join failure. Target exists and skipped");
    EXPECT_EQ(batch.items[1].result, RunResult::Failed("Target exists and skipped"));
    EXPECT_TRUE(batch.items[1].outputPath.empty());
    EXPECT_EQ(batch.items[2].outcome,
              "Join failure. Failed to open file \"" + (batch.dir / "in" / "gone.mp3").string() + "\".");
    EXPECT_FALSE(std::filesystem::exists(batch.dir / "in" / "gone_joined.mp3"));
    EXPECT_EQ(fx::ReadFileBytes(batch.dir / "in" / "song1_joined.mp3"), fx::Bytes{'x'});
}

// Cancel during row 2 of 3: row 2 shows "Cancelled" and has no output, row 3 is untouched;
// the old outputs that rows 2 and 3 were to overwrite are as they were, and no temporary
// file is left.
TEST(BatchJoin, CancelStopsTheBatch) {
    Batch batch(3);
    batch.items[2].outcome = "earlier outcome";
    const auto oldOne = batch.dir / "in" / "song1_joined.mp3";
    const auto oldTwo = batch.dir / "in" / "song2_joined.mp3";
    fx::WriteFileBytes(oldOne, {'o', 'n', 'e'});
    fx::WriteFileBytes(oldTwo, {'t', 'w', 'o'});
    JoinerOptions options;
    options.TargetExistsOpt = TargetExistsCode::Overwrite;
    fx::FakeOperation op;
    int row = -1;
    op.pump.onPump = [&](long) {
        if (row == 1) op.cancel = 1;
    };
    const auto result = RunBatchJoin(batch.items, batch.joined, JoinTypeCode::Prepend, options, {op.Get()},
                                     [&](std::size_t i) { row = static_cast<int>(i); });
    EXPECT_EQ(result, RunOutcome::Cancelled);
    EXPECT_EQ(batch.items[0].outcome, "song0_joined.mp3");
    EXPECT_EQ(batch.items[1].outcome, "Cancelled");
    EXPECT_EQ(batch.items[1].result, RunResult::Cancelled());
    EXPECT_TRUE(batch.items[1].outputPath.empty());
    EXPECT_EQ(batch.items[2].outcome, "earlier outcome");
    EXPECT_EQ(batch.items[2].result, std::nullopt) << "not reached";
    EXPECT_EQ(fx::ReadFileBytes(oldOne), (fx::Bytes{'o', 'n', 'e'}));
    EXPECT_EQ(fx::ReadFileBytes(oldTwo), (fx::Bytes{'t', 'w', 'o'}));
    std::vector<std::string> names;
    for (const auto& item : std::filesystem::directory_iterator(batch.dir / "in")) {
        names.push_back(item.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"A.mp3", "B.mp3", "song0.mp3", "song0_joined.mp3", "song1.mp3",
                                               "song1_joined.mp3", "song2.mp3", "song2_joined.mp3"}));
}

// Either list empty: nothing happens.
TEST(BatchJoin, EmptyListsDoNothing) {
    Batch batch(1);
    fx::FakeOperation op;
    EXPECT_EQ(RunBatchJoin(batch.items, {}, JoinTypeCode::Append, JoinerOptions{}, {op.Get()}), RunOutcome::Done);
    EXPECT_EQ(batch.items[0].outcome, "");
    std::vector<BatchJoinItem> none;
    EXPECT_EQ(RunBatchJoin(none, batch.joined, JoinTypeCode::Append, JoinerOptions{}, {op.Get()}), RunOutcome::Done);
    EXPECT_EQ(op.pump.count, 0);
}

}  // namespace
}  // namespace qm
