// Pieces keep the chapters of their source: each piece carries the chapters that fall inside
// it, timed from its own start, from either engine, unless the pieces get no tag.

#include "split/PieceChapters.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "EngineTestKit.h"

namespace qm {
namespace {

using namespace enginetest;

// A chapter as a test writes it: id, start and end in ms.
struct Span {
    std::string id;
    std::uint32_t startMs;
    std::uint32_t endMs;
};

std::vector<Chapter> ChaptersOf(const std::vector<Span>& spans) {
    std::vector<Chapter> chapters;
    for (const Span& span : spans) chapters.push_back({span.id, span.startMs, span.endMs, "Title " + span.id});
    return chapters;
}

struct PieceCase {
    const char* name;
    std::vector<Span> source;
    Millis pieceBegin;
    Millis pieceEnd;
    std::vector<Span> expected;
};

// Each rule of the re-timing against a piece of 10 to 20 s of the source: the edges are
// pinned, so an off-by-one in either direction shows.
TEST(ChaptersInPiece, KeepsTheChaptersInsideThePieceTimedFromItsStart) {
    const PieceCase cases[] = {
        {"inside keeps its length", {{"a", 12000, 15000}}, 10000, 20000, {{"a", 2000, 5000}}},
        {"cut by the start begins at 0", {{"a", 8000, 12000}}, 10000, 20000, {{"a", 0, 2000}}},
        {"cut by the end ends with the piece", {{"a", 18000, 25000}}, 10000, 20000, {{"a", 8000, 10000}}},
        {"spanning the piece is all of it", {{"a", 5000, 30000}}, 10000, 20000, {{"a", 0, 10000}}},
        {"before the piece is left out", {{"a", 2000, 9999}}, 10000, 20000, {}},
        {"after the piece is left out", {{"a", 20001, 25000}}, 10000, 20000, {}},
        {"touching the start is left out", {{"a", 5000, 10000}}, 10000, 20000, {}},
        {"touching the end is left out", {{"a", 20000, 22000}}, 10000, 20000, {}},
        {"one ms inside each edge",
         {{"a", 5000, 10001}, {"b", 19999, 22000}},
         10000,
         20000,
         {{"a", 0, 1}, {"b", 9999, 10000}}},
        {"the source's order is kept",
         {{"b", 15000, 16000}, {"a", 11000, 12000}},
         10000,
         20000,
         {{"b", 5000, 6000}, {"a", 1000, 2000}}},
        {"a start only runs to the next start",
         {{"a", 8000, 0}, {"b", 14000, 14000}, {"c", 30000, 30000}},
         10000,
         20000,
         {{"a", 0, 4000}, {"b", 4000, 10000}}},
        {"a piece that plays the source's delay", {{"a", 0, 1000}}, -25, 3000, {{"a", 25, 1025}}},
    };
    for (const PieceCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Chapter> expected = ChaptersOf(c.expected);
        for (Chapter& chapter : expected) chapter.startOffset = chapter.endOffset = kNoChapterOffset;
        std::vector<Chapter> source = ChaptersOf(c.source);
        // The source's byte offsets say where its frames are, which a piece's are not.
        for (Chapter& chapter : source) chapter.startOffset = chapter.endOffset = 417;
        EXPECT_EQ(ChaptersInPiece(source, c.pieceBegin, c.pieceEnd), expected);
    }
}

// One MPEG-1 frame at 44.1 kHz: where a piece may begin after the time asked for.
constexpr Millis kFrameMs = 26;

// What a piece's tag holds besides its chapters.
enum class PieceTag { Fields, ChaptersOnly, None };

// A nine-second source with five chapters, split at 3 and 6 s: the middle piece carries the
// chapter cut by its start (at 0), the one inside it and the one cut by its end (ending where
// the piece's audio ends), each within a frame of its time; the others carry their own,
// also in a tag of no other field. With the tag off the pieces carry none.
TEST(PieceChapters, EachPieceCarriesTheChaptersInsideIt) {
    fixtures::TempDir dir;
    const std::vector<Chapter> chapters = {{"ch0", 0, 2500, "Opening"},
                                           {"ch1", 2500, 4000, "Second"},
                                           {"ch2", 4000, 5500, "Third"},
                                           {"ch3", 5500, 8000, "Fourth"},
                                           {"ch4", 8000, 8800, "Fifth"}};
    std::vector<std::uint8_t> tag;  // the chapters alone
    ASSERT_TRUE(AppendChapterFrames(chapters, &tag));
    const auto source = dir / "book.mp3";
    fixtures::WriteFileBytes(source,
                             fixtures::Concat({tag, fixtures::EncodeMp3(NoiseSpec(9.0, fixtures::XingFrame::Yes))}));
    const std::vector<std::vector<std::string>> idsOfPiece = {{"ch0", "ch1"}, {"ch1", "ch2", "ch3"}, {"ch3", "ch4"}};
    // The middle piece's chapters, from its start at 3 s.
    const std::vector<Span> middle = {{"ch1", 0, 1000}, {"ch2", 1000, 2500}, {"ch3", 2500, 3000}};
    for (const EngineKind kind : {EngineKind::Direct, EngineKind::Reencode}) {
        for (const PieceTag pieceTag : {PieceTag::Fields, PieceTag::ChaptersOnly, PieceTag::None}) {
            SCOPED_TRACE(EngineName(kind) + " " + std::to_string(static_cast<int>(pieceTag)));
            const bool writeTag = pieceTag != PieceTag::None;
            auto engine = MakeEngine(kind);
            ASSERT_TRUE(engine->Open(source));
            engine->SetWriteTag(writeTag);
            if (pieceTag == PieceTag::ChaptersOnly) {
                engine->SetTitleTemplate("");
                engine->SetTrackNumberMode(TrackNumberCode::Source);
            } else {
                engine->SetTitleTemplate("Part %S%");
            }
            bool endReached = false;
            const std::filesystem::path pieces[] = {dir / "p1.mp3", dir / "p2.mp3", dir / "p3.mp3"};
            ASSERT_TRUE(engine->WritePieceUntil(pieces[0], 3000, {1, 3, 1, 0}, &endReached));
            ASSERT_TRUE(engine->WritePieceUntil(pieces[1], 6000, {2, 3, 2, 0}, &endReached));
            ASSERT_TRUE(engine->WritePieceToEnd(pieces[2], {3, 3, 3, 0}));
            engine->Close();
            for (std::size_t p = 0; p < 3; ++p) {
                std::vector<Chapter> read;
                ASSERT_TRUE(ReadChapters(pieces[p], &read));
                ASSERT_TRUE(fixtures::DecodeWithMpg123(pieces[p]).ok) << pieces[p].filename();
                std::vector<std::string> ids;
                for (const Chapter& chapter : read) ids.push_back(chapter.id);
                EXPECT_EQ(ids, writeTag ? idsOfPiece[p] : std::vector<std::string>{}) << pieces[p].filename();
            }
            if (!writeTag) continue;
            TagInfo fields;
            ReadTags(pieces[1], &fields);
            EXPECT_EQ(fields.title, pieceTag == PieceTag::Fields ? "Part 2" : "");
            std::vector<Chapter> read;
            ASSERT_TRUE(ReadChapters(pieces[1], &read));
            ASSERT_EQ(read.size(), middle.size());
            EXPECT_EQ(read[0].startMs, 0u);
            const fixtures::Decoded decoded = fixtures::DecodeWithMpg123(pieces[1]);
            const Millis playedMs = decoded.samples * 1000 / std::max(1L, decoded.rateHz);
            EXPECT_LE(std::abs(Millis{read.back().endMs} - playedMs), kFrameMs) << "ends with the piece's audio";
            for (std::size_t i = 0; i < middle.size(); ++i) {
                SCOPED_TRACE(middle[i].id);
                EXPECT_EQ(read[i].title, chapters[i + 1].title);
                EXPECT_LE(std::abs(Millis{read[i].startMs} - Millis{middle[i].startMs}), kFrameMs);
                EXPECT_LE(std::abs(Millis{read[i].endMs} - Millis{middle[i].endMs}), kFrameMs);
            }
        }
    }
}

}  // namespace
}  // namespace qm
