// The planners with the real engines and the real output placement on generated MP3 files:
// pieces decoded with libmpg123, cancel and collision handling on disk.

#include <gtest/gtest.h>

#include "fixtures/Fixtures.h"
#include "fixtures/ProgressFakes.h"
#include "split/BatchPlanners.h"
#include "split/DirectSplitter.h"
#include "split/PagePlanners.h"
#include "split/PlannerFakes.h"
#include "split/ReencodeSplitter.h"
#include "stream/Tags.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using fixtures::DecodedSeconds;
using testing::FileNames;

constexpr int kRateHz = 44100;
constexpr double kFrameSeconds = 1152.0 / kRateHz;  // one MPEG-1 Layer III frame

// The audio frames of an MPEG file without tags, its Xing/Info frame left out.
std::size_t AudioFrameCount(const fs::path& path) {
    return fixtures::WalkFrames(fixtures::ReadFileBytes(path), 0).size() - 1;
}

// Whether a folder holds a file whose name starts with prefix (the hidden temporary files).
bool HasFileStartingWith(const fs::path& folder, const std::string& prefix) {
    for (const auto& item : fs::directory_iterator(folder)) {
        if (item.path().filename().string().rfind(prefix, 0) == 0) return true;
    }
    return false;
}

SplitPlanContext RealContext(const SplitterOptions& options, fixtures::FakeOperation& operation) {
    SplitPlanContext context;
    context.options = &options;
    context.operation = operation.Get();
    context.resolve = MakeSplitOutputResolver(options);
    return context;
}

// The engine follows the options: re-encoding needs the re-encoding engine, and so does a
// fade of a Layer II source; a Layer III source's pieces fade in the direct engine.
TEST(PlannerEngines, EngineChoice) {
    fixtures::TempDir dir;
    const fs::path layer3 = fixtures::MakeSong(dir, "song.mp3", 1.0);
    const fs::path layer2 = dir / "layer2.mp2";
    const fixtures::Bytes frame = fixtures::MakeRawFrame(3, 2, 9, 0, 0, 0);
    fixtures::WriteFileBytes(layer2, fixtures::Concat(std::vector<fixtures::Bytes>(20, frame)));
    struct Case {
        bool reencode;
        int fadeIn;
        int fadeOut;
        bool layerII;
        bool reencodingEngine;
    };
    for (const Case& c :
         {Case{false, 0, 0, false, false}, Case{true, 0, 0, false, true}, Case{false, 5, 0, false, false},
          Case{false, 0, 5, false, false}, Case{false, 0, 5, true, true}, Case{false, 0, 0, true, false}}) {
        SplitterOptions options;
        options.ReencodePieces = c.reencode;
        options.FadeInLen = c.fadeIn;
        options.FadeOutLen = c.fadeOut;
        const auto engine = CreateSplitEngine(options, c.layerII ? layer2 : layer3);
        EXPECT_EQ(dynamic_cast<ReencodeSplitter*>(engine.get()) != nullptr, c.reencodingEngine);
        EXPECT_EQ(dynamic_cast<DirectSplitter*>(engine.get()) != nullptr, !c.reencodingEngine);
    }
}

// By time 2 s on a 5 s file: three pieces beside the source, the last holding the remaining
// second plus up to three frames repeated by the step back at each of the two cuts.
TEST(PlannerEngines, PageByTimeWritesDecodablePieces) {
    fixtures::TempDir dir;
    const fs::path song = fixtures::MakeSong(dir, "song.mp3", 5.0);
    SplitterOptions options;
    fixtures::FakeOperation operation;
    std::vector<fs::path> outputs;
    std::string message;
    const page_plans::PageSource source{song, fs::file_size(song), 50};
    ASSERT_EQ(page_plans::PlanByTime(RealContext(options, operation), source, 20, &outputs, &message), PlanResult::Done)
        << message;
    ASSERT_EQ(outputs, (std::vector<fs::path>{dir / "song-1.mp3", dir / "song-2.mp3", dir / "song-3.mp3"}));
    EXPECT_NEAR(DecodedSeconds(outputs[0]), 2.0, 4 * kFrameSeconds);
    EXPECT_NEAR(DecodedSeconds(outputs[1]), 2.0, 4 * kFrameSeconds);
    EXPECT_NEAR(DecodedSeconds(outputs[2]), 1.0 + 3 * kFrameSeconds, 4 * kFrameSeconds);
}

// A plan that overwrites replaces the old files only when it completes (each new file keeps
// the old one's permissions). One that does not end well leaves them exactly as they were,
// and no file of its own: cancelled while piece 3 is written (pieces 1 and 2 are complete by
// then), or unable to put piece 2 in place at the end (its target has become a folder), in
// which case piece 1, already in place, gives way to its old file again.
TEST(PlannerEngines, OverwritingPlanReplacesTheOldFilesOnlyWhenItCompletes) {
    enum class Ending { Completes, CancelInPieceThree, PlacementFails };
    for (const bool reencode : {false, true}) {
        for (const Ending ending : {Ending::Completes, Ending::CancelInPieceThree, Ending::PlacementFails}) {
            SCOPED_TRACE(std::string(reencode ? "reencode " : "direct ") + std::to_string(static_cast<int>(ending)));
            fixtures::TempDir dir;
            const fs::path song = fixtures::MakeSong(dir, "song.mp3", 6.0);
            std::vector<fixtures::Bytes> old;
            for (std::uint8_t i = 1; i <= 3; ++i) {
                old.push_back(fixtures::Bytes(100 + i, i));
                fixtures::WriteFileBytes(dir / ("song-" + std::to_string(i) + ".mp3"), old.back());
            }
            fs::permissions(dir / "song-2.mp3", fs::perms(0640));
            SplitterOptions options;
            options.ReencodePieces = reencode;
            options.TargetExistsOpt = TargetExistsCode::Overwrite;
            fixtures::FakeOperation operation;
            bool acted = false;
            operation.pump.onPump = [&](long) {
                // Piece 3's temporary file exists: pieces 1 and 2 are complete.
                if (acted || ending == Ending::Completes || !HasFileStartingWith(dir.Path(), ".song-3.mp3.")) return;
                acted = true;
                if (ending == Ending::CancelInPieceThree) {
                    operation.cancel = 1;
                } else {
                    fs::remove(dir / "song-2.mp3");
                    fs::create_directories(dir / "song-2.mp3" / "inside");
                }
            };
            batch_plans::BatchEntry entry{song, 6, {}};
            int sequence = 1;
            std::string message;
            const PlanResult result =
                batch_plans::PlanByCount(RealContext(options, operation), &entry, 3, &sequence, &message);
            EXPECT_EQ(FileNames(dir.Path()),
                      (std::set<std::string>{"song.mp3", "song-1.mp3", "song-2.mp3", "song-3.mp3"}));
            if (ending == Ending::Completes) {
                EXPECT_EQ(result, PlanResult::Done) << message;
                ASSERT_EQ(entry.outputs.size(), 3u);
                for (const fs::path& piece : entry.outputs) EXPECT_NEAR(DecodedSeconds(piece), 2.0, 5 * kFrameSeconds);
                EXPECT_EQ(fs::status(dir / "song-2.mp3").permissions(), fs::perms(0640));
                continue;
            }
            EXPECT_EQ(result, ending == Ending::CancelInPieceThree ? PlanResult::Cancelled : PlanResult::Failed);
            EXPECT_TRUE(acted);
            EXPECT_TRUE(entry.outputs.empty());
            EXPECT_EQ(fixtures::ReadFileBytes(dir / "song-1.mp3"), old[0]);
            EXPECT_EQ(fixtures::ReadFileBytes(dir / "song-3.mp3"), old[2]);
            if (ending == Ending::CancelInPieceThree) {
                EXPECT_EQ(message, "");
                EXPECT_EQ(fixtures::ReadFileBytes(dir / "song-2.mp3"), old[1]);
            } else {
                EXPECT_EQ(message, "Failed to write file \"" + (dir / "song-2.mp3").string() + "\".");
                EXPECT_TRUE(fs::is_directory(dir / "song-2.mp3" / "inside"));
            }
        }
    }
}

// Pieces of one plan whose names come out the same: the collision policy sees the names
// the earlier pieces will take, although those are put in place only at the plan's end
// (overwriting, the last piece is what stays).
TEST(PlannerEngines, PiecesOfOnePlanDoNotTakeEachOthersNames) {
    struct Case {
        TargetExistsCode policy;
        bool ok;
        std::set<std::string> files;
        const char* message;
    };
    for (const Case& c :
         {Case{TargetExistsCode::Rename, true, {"song.mp3", "song-part.mp3", "song-part_1.mp3", "song-part_2.mp3"}, ""},
          Case{TargetExistsCode::Skip, false, {"song.mp3", "song-part.mp3"}, "Target exists and skipped"},
          Case{TargetExistsCode::Overwrite, true, {"song.mp3", "song-part.mp3"}, ""}}) {
        fixtures::TempDir dir;
        const fs::path song = fixtures::MakeSong(dir, "song.mp3", 6.0);
        SplitterOptions options;
        options.OutputFileName = "%F%-part.mp3";
        options.TargetExistsOpt = c.policy;
        fixtures::FakeOperation operation;
        batch_plans::BatchEntry entry{song, 6, {}};
        int sequence = 1;
        std::string message;
        EXPECT_EQ(batch_plans::PlanByCount(RealContext(options, operation), &entry, 3, &sequence, &message) ==
                      PlanResult::Done,
                  c.ok);
        EXPECT_EQ(message, c.message);
        EXPECT_EQ(FileNames(dir.Path()), c.files);
        for (const fs::path& piece : entry.outputs) EXPECT_NEAR(DecodedSeconds(piece), 2.0, 5 * kFrameSeconds);
    }
}

// Pieces smaller or shorter than the three frames each piece repeats from the one before
// still move the split forward by their own size: each piece holds its own frames after
// the repeated ones, and the plan ends when the source does (no piece of repeats only).
TEST(PlannerEngines, TinyPiecesMoveTheSplitForward) {
    struct Case {
        const char* name;
        bool bySize;
        int amount;  // bytes or tenths
        double seconds;
        std::size_t ownFrames;  // by size: each piece's own frames (128 kbit/s frames are 417 or 418 bytes)
    };
    for (const Case& c : {Case{"size 102 bytes", true, 102, 1.0, 1}, Case{"size 1 KB", true, 1024, 3.0, 3},
                          Case{"time 0.1 s", false, 1, 3.0, 0}}) {
        fixtures::TempDir dir;
        const fs::path song = fixtures::MakeSong(dir, "song.mp3", c.seconds, fixtures::Signal::Noise);
        const std::size_t frames = AudioFrameCount(song);
        SplitterOptions options;
        options.OutputFileName = "%F%-%P%.mp3";
        options.KeepID3tag = false;  // pieces start with their Xing/Info frame
        fixtures::FakeOperation operation;
        batch_plans::BatchEntry entry{song, static_cast<int>(c.seconds), {}};
        int sequence = 1;
        std::string message;
        const SplitPlanContext context = RealContext(options, operation);
        ASSERT_EQ(c.bySize ? batch_plans::PlanBySize(context, &entry, c.amount, &sequence, &message)
                           : batch_plans::PlanByTime(context, &entry, c.amount, &sequence, &message),
                  PlanResult::Done)
            << message;
        // The own frames of pieces 1..k: a size's frames each, or up to the first boundary at
        // or after k tenths.
        const auto ownEnd = [&c](std::size_t k) {
            return c.bySize ? k * c.ownFrames : (k * c.amount * kRateHz / 10 + 1151) / 1152;
        };
        const std::size_t pieces =
            c.bySize ? (frames + c.ownFrames - 1) / c.ownFrames : static_cast<std::size_t>(c.seconds * 10) / c.amount;
        EXPECT_EQ(entry.outputs.size(), pieces) << c.name;
        EXPECT_EQ(FileNames(dir.Path()).size(), entry.outputs.size() + 1) << c.name;
        // Up to three repeated frames and the piece's own; the last piece ends with the source.
        for (std::size_t i = 0; i + 1 < entry.outputs.size(); ++i) {
            EXPECT_EQ(AudioFrameCount(entry.outputs[i]),
                      std::min<std::size_t>(ownEnd(i), 3) + ownEnd(i + 1) - ownEnd(i))
                << c.name << " piece " << i + 1;
        }
        const fixtures::Bytes source = fixtures::ReadFileBytes(song);
        const fixtures::Bytes last = fixtures::ReadFileBytes(entry.outputs.back());
        ASSERT_GT(last.size(), 1000u);
        EXPECT_TRUE(std::equal(last.end() - 1000, last.end(), source.end() - 1000)) << c.name;
    }
}

// Many short pieces of a minute-long song: by time, piece k ends at the first frame boundary
// at or after k seconds (39-frame pieces one after another would run out two pieces early);
// by size, where the frames reach the size. Every name and title counts the pieces written.
TEST(PlannerEngines, ShortPiecesKeepTheirPlaceAndTitlesCountThem) {
    constexpr int kSeconds = 60;
    constexpr std::uint64_t kSizeBytes = 16 * 1024;
    struct Case {
        bool vbr, reencode, bySize, batch;
    };
    for (const Case& c : {Case{false, false, false, false}, Case{true, false, false, true},
                          Case{true, false, true, true}, Case{false, true, true, false}}) {
        SCOPED_TRACE(::testing::Message()
                     << "vbr " << c.vbr << ", re-encoded " << c.reencode << ", by size " << c.bySize);
        fixtures::TempDir dir;
        fixtures::EncodeSpec spec = fixtures::StreamSpec(kSeconds, fixtures::Signal::Noise);
        spec.vbr = c.vbr;
        spec.xing = fixtures::XingFrame::Yes;
        const fs::path song = dir / "song.mp3";
        fixtures::WriteFileBytes(song, fixtures::EncodeMp3(spec));
        const fixtures::Bytes source = fixtures::ReadFileBytes(song);
        const std::vector<fixtures::FrameSpan> frames = fixtures::WalkFrames(source, 0);  // [0]: the Xing frame
        SplitterOptions options;
        options.ReencodePieces = c.reencode;
        options.ID3TitleFormat = "%P%/%T%";
        options.OutputFileName = "%P% of %T%.mp3";
        options.TitleDigitNumber = options.FilenameDigitNumber = 1;
        fixtures::FakeOperation operation;
        const SplitPlanContext context = RealContext(options, operation);
        batch_plans::BatchEntry entry{song, kSeconds, {}};
        int sequence = 1;
        std::string message;
        const page_plans::PageSource page{song, fs::file_size(song), kSeconds * 10};
        const PlanResult result =
            c.batch ? (c.bySize ? batch_plans::PlanBySize(context, &entry, kSizeBytes, &sequence, &message)
                                : batch_plans::PlanByTime(context, &entry, 10, &sequence, &message))
                    : (c.bySize ? page_plans::PlanBySize(context, page, kSizeBytes, &entry.outputs, &message)
                                : page_plans::PlanByTime(context, page, 10, &entry.outputs, &message));
        ASSERT_EQ(result, PlanResult::Done) << message;
        const std::vector<fs::path>& outputs = entry.outputs;
        ASSERT_GE(outputs.size(), 50u);  // by size: 960,000 bytes or more of audio
        if (!c.bySize) {
            EXPECT_EQ(outputs.size(), std::size_t{kSeconds});
        }
        const std::string total = std::to_string(outputs.size());
        std::size_t ownEnd = 0;  // the source frames in pieces 1..k
        for (std::size_t k = 1; k <= outputs.size(); ++k) {
            EXPECT_EQ(outputs[k - 1].filename().string(), std::to_string(k) + " of " + total + ".mp3");
            TagInfo tag;
            ASSERT_TRUE(ReadTags(outputs[k - 1], &tag));
            EXPECT_EQ(tag.title, std::to_string(k) + "/" + total);
            if (k == outputs.size()) break;
            const std::size_t ownStart = ownEnd;
            // Re-encoded at 128 kbit/s, 16,000 bytes a second, a size is a number of samples.
            const std::uint64_t target = c.reencode ? (kSizeBytes * kRateHz + 15999) / 16000 : kSizeBytes;
            std::uint64_t sum = 0;
            if (!c.bySize) ownEnd = (k * kRateHz + 1151) / 1152;
            for (; c.bySize && sum < target; ++ownEnd) sum += c.reencode ? 1152 : frames[ownEnd + 1].bytes;
            if (c.reencode) {
                EXPECT_EQ(fixtures::DecodeWithMpg123(outputs[k - 1]).samples,
                          static_cast<std::int64_t>(ownEnd - ownStart) * 1152);
                continue;
            }
            // The piece's frames are the source's, up to the end of its own last frame.
            const fixtures::Bytes bytes = fixtures::ReadFileBytes(outputs[k - 1]);
            const auto end = static_cast<std::ptrdiff_t>(frames[ownEnd].offset + frames[ownEnd].bytes);
            EXPECT_TRUE(std::equal(bytes.end() - 1000, bytes.end(), source.begin() + end - 1000)) << "piece " << k;
        }
    }
}

// A file shorter than a second (0 whole seconds) is planned on its real length, and a
// begin point in the last part-second of a longer file is taken when the audio reaches it.
TEST(PlannerEngines, PartSecondsArePlannedOnTheRealLength) {
    enum class Mode { Range, Count, Time };
    struct Case {
        const char* name;
        double seconds;
        Mode mode;
        int input;   // begin tenths, count or piece tenths
        int length;  // range length in tenths (0 = to the end)
        std::size_t pieces;
        double pieceSeconds;  // of the first piece
        const char* message;  // of a refused plan
    };
    for (const Case& c :
         {Case{"whole range", 0.5, Mode::Range, 0, 0, 1, 0.5, ""},
          Case{"range from 0.2", 0.5, Mode::Range, 2, 0, 1, 0.3, ""},
          Case{"range of 0.2 from 0.1", 0.5, Mode::Range, 1, 2, 1, 0.2, ""},
          Case{"range beyond", 0.5, Mode::Range, 6, 0, 0, 0, "The beginning point exceeds length of the MP3."},
          Case{"range in the last part-second", 1.5, Mode::Range, 12, 0, 1, 0.3, ""},
          Case{"count 2", 0.5, Mode::Count, 2, 0, 2, 0.2, ""},
          Case{"count 6", 0.5, Mode::Count, 6, 0, 0, 0, "The file count is too big."},
          Case{"time 0.2", 0.5, Mode::Time, 2, 0, 3, 0.2, ""}}) {
        fixtures::TempDir dir;
        const fs::path song = fixtures::MakeSong(dir, "song.mp3", c.seconds);
        SplitterOptions options;
        fixtures::FakeOperation operation;
        batch_plans::BatchEntry entry{song, static_cast<int>(c.seconds), {}};
        int sequence = 1;
        std::string message;
        const SplitPlanContext context = RealContext(options, operation);
        bool ok = false;
        switch (c.mode) {
            case Mode::Range:
                ok = batch_plans::PlanCustomRange(context, &entry, c.input, c.length, &sequence, &message) ==
                     PlanResult::Done;
                break;
            case Mode::Count:
                ok = batch_plans::PlanByCount(context, &entry, c.input, &sequence, &message) == PlanResult::Done;
                break;
            case Mode::Time:
                ok = batch_plans::PlanByTime(context, &entry, c.input, &sequence, &message) == PlanResult::Done;
                break;
        }
        EXPECT_EQ(ok, c.pieces > 0) << c.name;
        EXPECT_EQ(message, c.message) << c.name;
        ASSERT_EQ(entry.outputs.size(), c.pieces) << c.name;
        if (c.pieces > 0) {
            EXPECT_NEAR(DecodedSeconds(entry.outputs[0]), c.pieceSeconds, 2 * kFrameSeconds) << c.name;
        }
    }
}

// A fade longer than a piece is cut off at the piece's edge: the pieces are where the plan
// puts them, each with its own length, and none is empty.
TEST(PlannerEngines, LongFadesKeepThePlansCuts) {
    struct Case {
        const char* name;
        bool manual;  // hand-made pieces 0-1 s, 1-5 s, 5-6 s; else by count 3
        int fadeInTenths, fadeOutTenths;
        std::vector<double> pieceSeconds;
    };
    for (const Case& c : {Case{"manual, fade-in 2 s", true, 20, 0, {1.0, 4.0, 1.0}},
                          Case{"manual, fade-out 3 s", true, 0, 30, {1.0, 4.0, 1.0}},
                          Case{"count 3, fade-in 10 s", false, 100, 0, {2.0, 2.0, 2.0}}}) {
        fixtures::TempDir dir;
        const fs::path song = fixtures::MakeSong(dir, "song.mp3", 6.0);
        SplitterOptions options;
        options.FadeInLen = c.fadeInTenths;
        options.FadeOutLen = c.fadeOutTenths;
        fixtures::FakeOperation operation;
        std::string message;
        std::vector<fs::path> outputs;
        if (c.manual) {
            std::vector<PieceRow> rows{{0, 10, true, {}}, {10, 50, true, {}}, {50, 60, true, {}}};
            ASSERT_EQ(page_plans::PlanManualPieces(RealContext(options, operation), song, &rows, &outputs, &message),
                      PlanResult::Done)
                << message;
        } else {
            batch_plans::BatchEntry entry{song, 6, {}};
            int sequence = 1;
            ASSERT_EQ(batch_plans::PlanByCount(RealContext(options, operation), &entry, 3, &sequence, &message),
                      PlanResult::Done)
                << message;
            outputs = entry.outputs;
        }
        ASSERT_EQ(outputs.size(), c.pieceSeconds.size()) << c.name;
        for (std::size_t i = 0; i < outputs.size(); ++i) {
            // Re-encoded: the encoder's and the decoder's delays come on top (1,105 samples).
            const double audioSeconds = DecodedSeconds(outputs[i]) - 1105.0 / kRateHz;
            EXPECT_NEAR(audioSeconds, c.pieceSeconds[i], 1.5 * kFrameSeconds) << c.name << " piece " << i + 1;
        }
    }
}

// With the skip policy and piece 2's target present, piece 1 is kept, the existing file is
// untouched and the plan ends with the placement's message.
TEST(PlannerEngines, SkipPolicyEndsThePlanAtAnExistingTarget) {
    fixtures::TempDir dir;
    const fs::path song = fixtures::MakeSong(dir, "song.mp3", 6.0);
    fixtures::WriteFileBytes(dir / "song-2.mp3", fixtures::Bytes{1, 2, 3});
    SplitterOptions options;
    options.TargetExistsOpt = TargetExistsCode::Skip;
    fixtures::FakeOperation operation;
    batch_plans::BatchEntry entry{song, 6, {}};
    int sequence = 1;
    std::string message;
    EXPECT_EQ(batch_plans::PlanByCount(RealContext(options, operation), &entry, 3, &sequence, &message),
              PlanResult::Failed);
    EXPECT_EQ(message, "Target exists and skipped");
    EXPECT_EQ(entry.outputs, (std::vector<fs::path>{dir / "song-1.mp3"}));
    EXPECT_EQ(fixtures::ReadFileBytes(dir / "song-2.mp3"), (fixtures::Bytes{1, 2, 3}));
    EXPECT_EQ(FileNames(dir.Path()), (std::set<std::string>{"song.mp3", "song-1.mp3", "song-2.mp3"}));
}

// A custom range from 1.5 s, 2 s long, with overlaps set: the piece holds just the range.
TEST(PlannerEngines, CustomRangeIgnoresOverlaps) {
    fixtures::TempDir dir;
    const fs::path song = fixtures::MakeSong(dir, "song.mp3", 6.0);
    SplitterOptions options;
    options.ForwardOverlap = 10;
    options.BackwardOverlap = 10;
    fixtures::FakeOperation operation;
    batch_plans::BatchEntry entry{song, 6, {}};
    int sequence = 4;
    std::string message;
    ASSERT_EQ(batch_plans::PlanCustomRange(RealContext(options, operation), &entry, 15, 20, &sequence, &message),
              PlanResult::Done);
    ASSERT_EQ(entry.outputs.size(), 1u);
    EXPECT_NEAR(DecodedSeconds(entry.outputs[0]), 2.0, 2 * kFrameSeconds);
    EXPECT_EQ(sequence, 5);
}

}  // namespace
}  // namespace qm
