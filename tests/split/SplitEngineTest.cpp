// What both split engines share: cancel, failed and refused outputs, the progress bar, the
// piece tag and the skip.

#include <gtest/gtest.h>

#include "EngineTestKit.h"
#include "fixtures/ProgressFakes.h"
#include "stream/Tags.h"

namespace qm {
namespace {

using namespace enginetest;

enum class Op { BySize, ByDuration, ToEnd };

struct Request {
    Op op;
    std::uint64_t sizeBytes = 60000;
    int tenths = 40;
};

bool Write(SplitEngine& engine, const std::filesystem::path& path, const Request& r, bool* endReached) {
    *endReached = false;
    switch (r.op) {
        case Op::BySize:
            return engine.WritePieceBySize(path, r.sizeBytes, {1, 3, 1, 0}, endReached);
        case Op::ByDuration:
            return engine.WritePieceByDuration(path, r.tenths, {1, 3, 1, 0}, endReached);
        case Op::ToEnd:
            return engine.WritePieceToEnd(path, {1, 3, 1, 0});
    }
    return false;
}

class SplitEngineBoth : public ::testing::TestWithParam<EngineKind> {
protected:
    void SetUp() override {
        spec = NoiseSpec(6.0, fixtures::XingFrame::Yes);
        src = WriteSource(dir / "source.mp3", spec);
        engine = MakeEngine(GetParam());
        ASSERT_TRUE(engine->Open(src.path));
        engine->SetLongOperation(operation.Get());
    }

    fixtures::TempDir dir;
    fixtures::EncodeSpec spec;
    Source src;
    fixtures::FakeOperation operation;
    std::unique_ptr<SplitEngine> engine;
};

// Cancelled at the start, in the middle or near the end of a piece: the piece fails without
// a message and leaves no file, not even a temporary one; an existing target is untouched.
TEST_P(SplitEngineBoth, CancelLeavesNoFile) {
    const long pumps[] = {1, 2, 20, 150};
    const Op ops[] = {Op::BySize, Op::ByDuration, Op::ToEnd};
    for (const Op op : ops) {
        for (const long pump : pumps) {
            SetUp();
            const auto target = dir / "piece.mp3";
            fixtures::WriteFileBytes(dir / "kept.mp3", {1, 2, 3});
            operation.CancelAtPump(pump);
            bool endReached = false;
            EXPECT_FALSE(Write(*engine, target, Request{op}, &endReached)) << "pump " << pump;
            EXPECT_EQ(engine->LastError(), "");
            EXPECT_EQ(OtherFiles(dir.Path(), {src.path, dir / "kept.mp3"}), std::vector<std::string>{});
            // An existing target survives a cancelled run.
            const auto kept = dir / "kept.mp3";
            EXPECT_FALSE(Write(*engine, kept, Request{op}, &endReached));
            EXPECT_EQ(fixtures::ReadFileBytes(kept), (Bytes{1, 2, 3}));
        }
    }
}

// A write that fails (the file-size limit stands in for a full disk) fails the piece with
// the message, and no file of it is left; a smaller piece afterwards still works.
TEST_P(SplitEngineBoth, FailedWriteFailsThePiece) {
    const Op ops[] = {Op::BySize, Op::ByDuration, Op::ToEnd};
    for (const Op op : ops) {
        SetUp();
        const auto target = dir / "piece.mp3";
        bool endReached = false;
        {
            const FileSizeLimit limit(20000);
            EXPECT_FALSE(Write(*engine, target, Request{op}, &endReached));
        }
        EXPECT_EQ(engine->LastError(), "Failed to write file \"" + target.string() + "\".");
        EXPECT_EQ(OtherFiles(dir.Path(), {src.path}), std::vector<std::string>{});
        EXPECT_TRUE(Write(*engine, target, Request{Op::BySize, 5000}, &endReached)) << engine->LastError();
        // A failed piece to the end may have read the whole source before the write failure
        // showed: then nothing is left for a piece of its own, and none is written.
        EXPECT_EQ(std::filesystem::exists(target), !engine->LastPieceEmpty());
        if (engine->LastPieceEmpty()) {
            EXPECT_TRUE(endReached);
        }
        std::filesystem::remove(target);
    }
}

// A piece whose folder does not exist is refused with the message, and nothing is read.
TEST_P(SplitEngineBoth, UncreatableOutputIsRefused) {
    const auto target = dir / "missing" / "piece.mp3";
    bool endReached = false;
    EXPECT_FALSE(Write(*engine, target, Request{Op::BySize}, &endReached));
    EXPECT_EQ(engine->LastError(), "Failed to create file \"" + target.string() + "\".");
    EXPECT_FALSE(std::filesystem::exists(target.parent_path()));
    EXPECT_TRUE(operation.bar.positions.size() <= 1u);
}

// The bar spans its width, only moves forward, and reaches its end with the source's end.
TEST_P(SplitEngineBoth, ProgressOnlyMovesForward) {
    EXPECT_EQ(operation.bar.rangeLow, 0);
    EXPECT_EQ(operation.bar.rangeHigh, 300);
    bool endReached = false;
    ASSERT_TRUE(Write(*engine, dir / "a.mp3", Request{Op::ByDuration, 0, 20}, &endReached));
    ASSERT_TRUE(Write(*engine, dir / "b.mp3", Request{Op::ToEnd}, &endReached));
    const std::vector<int>& positions = operation.bar.positions;
    ASSERT_GT(positions.size(), 100u);
    EXPECT_EQ(positions.front(), 0);
    for (std::size_t i = 1; i < positions.size(); ++i) EXPECT_GT(positions[i], positions[i - 1]) << i;
    EXPECT_GE(positions.back(), 295);
    EXPECT_LE(positions.back(), 300);
    EXPECT_GT(operation.pump.count, static_cast<long>(src.audio.size()));
}

// Bytes per bar step: the file size divided by the width, at least 1; no bar, no steps.
TEST_P(SplitEngineBoth, BytesPerProgressStep) {
    struct Case {
        int widthPixels;
        std::uint64_t expected;
    };
    const std::uint64_t size = src.data.size();
    for (const Case c : {Case{300, size / 300}, Case{static_cast<int>(size) + 10, 1}, Case{1, size}}) {
        fixtures::RecordingBar bar(c.widthPixels);
        EXPECT_EQ(engine->AttachProgressBar(&bar), c.expected) << c.widthPixels;
        EXPECT_EQ(bar.rangeHigh, c.widthPixels);
    }
    EXPECT_EQ(engine->AttachProgressBar(nullptr), 0u);
}

INSTANTIATE_TEST_SUITE_P(Engines, SplitEngineBoth, ::testing::Values(EngineKind::Direct, EngineKind::Reencode),
                         [](const auto& info) { return EngineName(info.param); });

struct TagCase {
    const char* name;
    TrackNumberCode mode;
    const char* titleTemplate;
    const char* fileName;
    int pieceNumber, total, width;
    std::string expectedTitle;
    int expectedTrack;
};

// The piece tag: the title from the template (source title, file title without its final
// extension, piece numbers at the width asked), the source's other fields, and the track
// number by the mode (piece number, or the source's for Source and None).
TEST(SplitEngine, PieceTagFollowsTemplateAndTrackMode) {
    const TagCase cases[] = {
        {"PieceNumber", TrackNumberCode::Piece, "%I% - %P%/%T%", "song.mp3", 2, 9, 0, "Song - 2/9", 2},
        {"SourceTrack", TrackNumberCode::Source, "%I% - %P%/%T%", "song.mp3", 3, 12, 3, "Song - 003/012", 7},
        {"NoneIsSource", TrackNumberCode::None, "%F%", "song.mp3", 1, 2, 0, "song", 7},
        {"NameWithoutExtension", TrackNumberCode::Piece, "%F%", "abcdefgh", 1, 2, 0, "abcdefgh", 1},
        {"OnlyFinalExtension", TrackNumberCode::Piece, "T=%F%", "clip.v2.mpeg", 1, 2, 0, "T=clip.v2", 1},
    };
    fixtures::Id3v2Spec tag;
    tag.title = "Song";
    tag.artist = "Artist";
    tag.album = "Album";
    tag.track = "7";
    for (const EngineKind kind : {EngineKind::Direct, EngineKind::Reencode}) {
        for (const TagCase& c : cases) {
            fixtures::TempDir dir;
            WriteSource(dir / c.fileName, NoiseSpec(1.0, fixtures::XingFrame::No), &tag);
            auto engine = MakeEngine(kind);
            ASSERT_TRUE(engine->Open(dir / c.fileName));
            engine->SetTitleTemplate(c.titleTemplate);
            engine->SetTrackNumberMode(c.mode);
            const auto piece = dir / "piece.mp3";
            ASSERT_TRUE(engine->WritePieceToEnd(piece, {c.pieceNumber, c.total, c.pieceNumber, c.width}));
            TagInfo read;
            ASSERT_TRUE(ReadTags(piece, &read)) << c.name;
            EXPECT_EQ(read.title, c.expectedTitle) << c.name << " " << EngineName(kind);
            EXPECT_EQ(read.track, c.expectedTrack) << c.name << " " << EngineName(kind);
            EXPECT_EQ(read.artist, "Artist");
            EXPECT_EQ(read.album, "Album");
        }
    }
}

// With the tag off, a piece starts with its Xing/Info frame or directly with audio.
TEST(SplitEngine, WithoutTagPiecesStartWithFrames) {
    fixtures::Id3v2Spec tag;
    tag.title = "Song";
    for (const EngineKind kind : {EngineKind::Direct, EngineKind::Reencode}) {
        fixtures::TempDir dir;
        const Source src = WriteSource(dir / "s.mp3", NoiseSpec(1.0, fixtures::XingFrame::Yes), &tag);
        auto engine = MakeEngine(kind);
        ASSERT_TRUE(engine->Open(src.path));
        engine->SetWriteTag(false);
        ASSERT_TRUE(engine->WritePieceToEnd(dir / "p.mp3", {1, 1, 1, 0}));
        const Piece p = ReadPiece(dir / "p.mp3");
        EXPECT_EQ(p.tagBytes, 0u);
        ASSERT_FALSE(p.data.empty());
        EXPECT_EQ(p.data[0], 0xFF);
        // The copied Info frame heads a direct piece, the encoder's a re-encoded one.
        EXPECT_FALSE(p.xing.empty());
    }
}

struct SkipCase {
    const char* name;
    int tenths;
    bool expectedResult;
    bool expectedEnd;
    long cancelAtPump;   // 0: never
    long expectedFirst;  // the first frame of the piece written after the skip; -1: none
};

// The skip reads up to the first frame boundary at or after its target: zero reads nothing,
// past the end reports the end, a cancel fails it.
TEST(SplitEngine, SkipDurationEdges) {
    const SkipCase cases[] = {
        {"Zero", 0, true, false, 0, 0},
        {"OneTenth", 1, true, false, 0, 4},  // 4,410 samples: four frames
        {"TwoSeconds", 20, true, false, 0, (20 * 4410 + 1151) / 1152},
        {"PastTheEnd", 500, true, true, 0, -1},
        {"Cancelled", 20, false, false, 3, -1},
    };
    fixtures::TempDir dir;
    const Source src = WriteSource(dir / "s.mp3", NoiseSpec(3.0, fixtures::XingFrame::No));
    for (const SkipCase& c : cases) {
        DirectSplitter engine;
        ASSERT_TRUE(engine.Open(src.path));
        fixtures::FakeOperation operation;
        if (c.cancelAtPump > 0) operation.CancelAtPump(c.cancelAtPump);
        engine.SetLongOperation(operation.Get());
        bool endReached = !c.expectedEnd;
        EXPECT_EQ(engine.SkipDuration(c.tenths, &endReached), c.expectedResult) << c.name;
        EXPECT_EQ(endReached, c.expectedEnd) << c.name;
        if (c.expectedFirst < 0) continue;
        ASSERT_TRUE(engine.WritePieceToEnd(dir / "p.mp3", {1, 1, 1, 0}));
        const Piece p = ReadPiece(dir / "p.mp3");
        const FrameRun run = FindRun(src, p);
        EXPECT_EQ(run.first, c.expectedFirst) << c.name << " " << p.frames.size() << " of " << src.audio.size();
    }
}

// A file that is not MPEG audio does not open, and says so.
TEST(SplitEngine, OpenFailsOnNonAudio) {
    fixtures::TempDir dir;
    fixtures::WriteFileBytes(dir / "junk.mp3", fixtures::Junk(5000));
    for (const EngineKind kind : {EngineKind::Direct, EngineKind::Reencode}) {
        auto engine = MakeEngine(kind);
        EXPECT_FALSE(engine->Open(dir / "junk.mp3"));
        EXPECT_EQ(engine->LastError(), "Failed to load file \"" + (dir / "junk.mp3").string() + "\".");
        EXPECT_FALSE(engine->Open(dir / "absent.mp3"));
    }
}

}  // namespace
}  // namespace qm
