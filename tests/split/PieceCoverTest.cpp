// Pieces keep the source's front cover: every piece's tag carries the same picture, from
// either engine, unless the pieces get no tag at all.

#include <gtest/gtest.h>

#include "EngineTestKit.h"

namespace qm {
namespace {

using namespace enginetest;

// A source with a two-megabyte JPEG cover, split into three pieces by each engine: each piece
// reads back with the source's cover, byte for byte, and its own title; with the tag off the
// pieces start with audio and hold no picture.
TEST(PieceCover, EveryPieceCarriesTheSourceCover) {
    fixtures::TempDir dir;
    TagPicture cover{"image/jpeg", fixtures::Noise(2 << 20, 21)};
    cover.bytes[0] = 0xFF;  // a JPEG's first bytes
    cover.bytes[1] = 0xD8;
    TagInfo fields;
    fields.title = "Album track";
    fields.album = "Album";
    const auto source = dir / "source.mp3";
    fixtures::WriteFileBytes(source, fixtures::Concat({BuildId3v2Tag(fields, &cover),
                                                       fixtures::EncodeMp3(NoiseSpec(3.0, fixtures::XingFrame::Yes))}));
    for (const EngineKind kind : {EngineKind::Direct, EngineKind::Reencode}) {
        for (const bool writeTag : {true, false}) {
            SCOPED_TRACE(std::string(kind == EngineKind::Direct ? "direct" : "re-encoding") +
                         (writeTag ? ", tagged" : ", no tag"));
            auto engine = MakeEngine(kind);
            ASSERT_TRUE(engine->Open(source));
            engine->SetWriteTag(writeTag);
            bool endReached = false;
            const std::filesystem::path pieces[] = {dir / "p1.mp3", dir / "p2.mp3", dir / "p3.mp3"};
            ASSERT_TRUE(engine->WritePieceByDuration(pieces[0], 10, {1, 3, 1, 0}, &endReached));
            ASSERT_TRUE(engine->WritePieceByDuration(pieces[1], 10, {2, 3, 2, 0}, &endReached));
            ASSERT_TRUE(engine->WritePieceToEnd(pieces[2], {3, 3, 3, 0}));
            engine->Close();
            for (const auto& piece : pieces) {
                TagPicture read;
                EXPECT_EQ(ReadFrontCover(piece, &read), writeTag) << piece.filename();
                if (writeTag) {
                    EXPECT_EQ(read.mimeType, "image/jpeg");
                    EXPECT_TRUE(read.bytes == cover.bytes) << piece.filename() << ": picture bytes differ";
                    TagInfo readFields;
                    ASSERT_TRUE(ReadTags(piece, &readFields));
                    EXPECT_EQ(readFields.album, "Album");
                } else {
                    EXPECT_EQ(fixtures::ReadFileBytes(piece)[0], 0xFF) << "audio first";
                }
                EXPECT_TRUE(fixtures::DecodeWithMpg123(piece).ok) << piece.filename();
            }
        }
    }
}

}  // namespace
}  // namespace qm
