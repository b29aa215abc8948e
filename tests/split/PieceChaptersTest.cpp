// Pieces keep the chapters of their source: each piece carries the chapters that fall inside
// it, timed from its own start, from either engine, unless the pieces get no tag.

#include "split/PieceChapters.h"

#include <gtest/gtest.h>

#include "EngineTestKit.h"

namespace qm {
namespace {

using namespace enginetest;

// Each rule of the re-timing, mostly against a piece of 10 to 20 s of the source; the edges
// are pinned, so an off-by-one in either direction shows.
TEST(ChaptersInPiece, KeepsTheChaptersInsideThePieceTimedFromItsStart) {
    const struct {
        const char* name;
        std::vector<Chapter> source;
        Millis pieceBegin, pieceEnd;
        std::vector<Chapter> expected;
    } cases[] = {
        {"inside keeps its length", {{"a", 12000, 15000, "A", 417, 9000}}, 10000, 20000, {{"a", 2000, 5000, "A"}}},
        {"cut by the start begins at 0", {{"a", 8000, 12000, ""}}, 10000, 20000, {{"a", 0, 2000, ""}}},
        {"cut by the end ends with the piece", {{"a", 18000, 25000, ""}}, 10000, 20000, {{"a", 8000, 10000, ""}}},
        {"spanning the piece is all of it", {{"a", 5000, 30000, ""}}, 10000, 20000, {{"a", 0, 10000, ""}}},
        {"before or after is left out", {{"a", 2000, 9999, ""}, {"b", 20001, 25000, ""}}, 10000, 20000, {}},
        {"touching an edge is left out", {{"a", 5000, 10000, ""}, {"b", 20000, 22000, ""}}, 10000, 20000, {}},
        {"a start only runs to the next start",
         {{"a", 8000, 0, ""}, {"b", 14000, 14000, ""}, {"c", 30000, 30000, ""}},
         10000,
         20000,
         {{"a", 0, 4000, ""}, {"b", 4000, 10000, ""}}},
        {"a piece that plays the source's delay", {{"a", 0, 1000, ""}}, -25, 3000, {{"a", 25, 1025, ""}}},
    };
    for (const auto& c : cases) EXPECT_EQ(ChaptersInPiece(c.source, c.pieceBegin, c.pieceEnd), c.expected) << c.name;
}

// A nine-second source with four chapters, split at 3 and 6 s by each engine: the middle
// piece carries the chapter cut by its start (at 0), the one inside and the one cut by its
// end (ending where its audio ends), each within a frame (26 ms) of its time, also in a tag
// of no other field; with the tag off no piece carries any.
TEST(PieceChapters, EachPieceCarriesTheChaptersInsideIt) {
    fixtures::TempDir dir;
    std::vector<std::uint8_t> tag;
    const std::vector<Chapter> chapters = {
        {"ch0", 0, 2500, "One"}, {"ch1", 2500, 4000, "Two"}, {"ch2", 4000, 5500, "Three"}, {"ch3", 5500, 8000, "Four"}};
    ASSERT_TRUE(AppendChapterFrames(chapters, &tag));
    const auto source = dir / "book.mp3";
    fixtures::WriteFileBytes(source,
                             fixtures::Concat({tag, fixtures::EncodeMp3(NoiseSpec(9.0, fixtures::XingFrame::Yes))}));
    // The middle piece's chapters, timed from its start.
    const std::vector<Chapter> middle = {{"ch1", 0, 1000, ""}, {"ch2", 1000, 2500, ""}, {"ch3", 2500, 3000, ""}};
    enum class PieceTag { Fields, ChaptersOnly, None };
    for (const EngineKind kind : {EngineKind::Direct, EngineKind::Reencode}) {
        for (const PieceTag pieceTag : {PieceTag::Fields, PieceTag::ChaptersOnly, PieceTag::None}) {
            SCOPED_TRACE(EngineName(kind) + " " + std::to_string(static_cast<int>(pieceTag)));
            auto engine = MakeEngine(kind);
            ASSERT_TRUE(engine->Open(source));
            engine->SetWriteTag(pieceTag != PieceTag::None);
            engine->SetTitleTemplate(pieceTag == PieceTag::Fields ? "Part %S%" : "");
            engine->SetTrackNumberMode(pieceTag == PieceTag::Fields ? TrackNumberCode::Piece : TrackNumberCode::None);
            bool endReached = false;
            const auto piece = dir / "p2.mp3";
            ASSERT_TRUE(engine->WritePieceUntil(dir / "p1.mp3", 3000, {1, 3, 1, 0}, &endReached));
            ASSERT_TRUE(engine->WritePieceUntil(piece, 6000, {2, 3, 2, 0}, &endReached));
            ASSERT_TRUE(engine->WritePieceToEnd(dir / "p3.mp3", {3, 3, 3, 0}));
            engine->Close();
            std::vector<Chapter> read;
            ASSERT_TRUE(ReadChapters(piece, &read));
            const fixtures::Decoded decoded = fixtures::DecodeWithMpg123(piece);
            ASSERT_TRUE(decoded.ok);
            ASSERT_EQ(read.size(), pieceTag == PieceTag::None ? 0 : middle.size());
            for (std::size_t i = 0; i < read.size(); ++i) {
                EXPECT_EQ(read[i].id, middle[i].id);
                EXPECT_NEAR(read[i].startMs, middle[i].startMs, 26) << middle[i].id;
                EXPECT_NEAR(read[i].endMs, middle[i].endMs, 26) << middle[i].id;
            }
            if (read.empty()) continue;
            EXPECT_EQ(read[0].startMs, 0u);
            EXPECT_NEAR(read.back().endMs, decoded.samples * 1000 / decoded.rateHz, 1) << "ends with the audio";
        }
    }
}

}  // namespace
}  // namespace qm
