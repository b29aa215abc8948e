// The front-cover picture: read from a source's ID3v2 tag and written into the tag of every
// output made from it, byte for byte, whatever kind of image it is and however large, up to
// the bound on what is carried.

#include <gtest/gtest.h>

#include <taglib/attachedpictureframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>

#include <string>

#include "fixtures/Fixtures.h"
#include "stream/Tags.h"

namespace qm {
namespace {

using fixtures::Bytes;
using fixtures::TempDir;

// An image of byteCount bytes that starts as the kind of file it claims to be (the first bytes
// are all that LAME's tag writer looks at).
Bytes Image(const Bytes& signature, std::size_t byteCount, std::uint32_t seed) {
    Bytes image = fixtures::Noise(byteCount, seed);
    std::copy(signature.begin(), signature.end(), image.begin());
    return image;
}

const Bytes kJpeg = {0xFF, 0xD8, 0xFF, 0xE0};
const Bytes kPng = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
const Bytes kGif = {'G', 'I', 'F', '8', '9', 'a'};
const Bytes kBmp = {'B', 'M'};
const Bytes kWebp = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'E', 'B', 'P'};

// Writes a short MP3 headed by tag.
std::filesystem::path WriteTaggedMp3(const TempDir& dir, const std::string& name, const Bytes& tag) {
    fixtures::EncodeSpec spec;
    spec.seconds = 0.3;
    const auto path = dir / name;
    fixtures::WriteFileBytes(path, fixtures::Concat({tag, fixtures::EncodeMp3(spec)}));
    return path;
}

// What a tag built with a cover gives back when read: the same MIME type and bytes, for the
// images LAME's tag writer takes (JPEG, PNG, GIF; the two-megabyte cover of a real album
// among them) and for those it does not (BMP, WebP), which the tag gets all the same; with
// fields or with the picture alone. The fields read back as they were.
TEST(TagPictures, ACoverSurvivesBuildingAndReadingBack) {
    struct Case {
        const char* name;
        TagPicture cover;
        bool withFields;
    };
    const Case cases[] = {
        {"small JPEG", {"image/jpeg", Image(kJpeg, 3000, 1)}, true},
        {"two-megabyte JPEG", {"image/jpeg", Image(kJpeg, 2 << 20, 2)}, true},
        {"PNG alone", {"image/png", Image(kPng, 5000, 3)}, false},
        {"GIF", {"image/gif", Image(kGif, 700, 4)}, true},
        {"BMP", {"image/bmp", Image(kBmp, 4000, 5)}, true},
        {"WebP alone", {"image/webp", Image(kWebp, 900, 6)}, false},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TagInfo fields;
        if (c.withFields) {
            fields.title = "Cover song";
            fields.artist = "Artist";
            fields.track = 3;
        }
        const std::vector<std::uint8_t> tag = BuildId3v2Tag(fields, &c.cover);
        ASSERT_GT(tag.size(), c.cover.bytes.size());
        const auto path = WriteTaggedMp3(dir, "tagged.mp3", tag);
        TagPicture read;
        ASSERT_TRUE(ReadFrontCover(path, &read));
        EXPECT_EQ(read.mimeType, c.cover.mimeType);
        EXPECT_TRUE(read.bytes == c.cover.bytes) << "picture bytes differ";
        TagInfo readFields;
        EXPECT_EQ(ReadTags(path, &readFields), c.withFields);
        EXPECT_EQ(readFields, fields);
    }
}

// No picture, an empty one, or one past the bound adds nothing to the tag.
TEST(TagPictures, NoCoverAddsNothing) {
    TagInfo fields;
    fields.title = "Plain";
    const std::vector<std::uint8_t> plain = BuildId3v2Tag(fields);
    const TagPicture empty{"image/jpeg", {}};
    EXPECT_EQ(BuildId3v2Tag(fields, &empty), plain);
    EXPECT_TRUE(BuildId3v2Tag(TagInfo{}, &empty).empty());
    const TagPicture tooLarge{"image/jpeg", Image(kJpeg, kMaxPictureBytes + 1, 7)};
    EXPECT_EQ(BuildId3v2Tag(fields, &tooLarge), plain);
}

// Adds a picture of the given type to a file's ID3v2 tag with TagLib.
void AddPicture(TagLib::MPEG::File& file, TagLib::ID3v2::AttachedPictureFrame::Type type, const Bytes& bytes,
                const char* mimeType) {
    auto* frame = new TagLib::ID3v2::AttachedPictureFrame;
    frame->setType(type);
    frame->setMimeType(mimeType);
    frame->setPicture(
        TagLib::ByteVector(reinterpret_cast<const char*>(bytes.data()), static_cast<unsigned int>(bytes.size())));
    file.ID3v2Tag(true)->addFrame(frame);  // the tag owns the frame
}

// Of several pictures the front cover is read, wherever it is; without one, the first
// picture; a file without pictures, or without a tag, or missing, gives none.
TEST(TagPictures, ReadsTheFrontCoverOrTheFirstPicture) {
    using Type = TagLib::ID3v2::AttachedPictureFrame::Type;
    const Bytes back = Image(kJpeg, 900, 8);
    const Bytes front = Image(kPng, 1100, 9);
    const Bytes artist = Image(kGif, 500, 10);
    struct Case {
        const char* name;
        std::vector<std::pair<Type, const Bytes*>> pictures;
        const Bytes* expected;  // null: none
    };
    const Case cases[] = {
        {"front cover after others", {{Type::BackCover, &back}, {Type::FrontCover, &front}}, &front},
        {"no front cover", {{Type::Artist, &artist}, {Type::BackCover, &back}}, &artist},
        {"no picture", {}, nullptr},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TagInfo title;
        title.title = "Pictures";
        const auto path = WriteTaggedMp3(dir, "pictures.mp3", BuildId3v2Tag(title));
        {
            TagLib::MPEG::File file(path.c_str());
            for (const auto& [type, bytes] : c.pictures) AddPicture(file, type, *bytes, "image/any");
            ASSERT_TRUE(file.save());
        }
        TagPicture read{"stale", {1, 2, 3}};
        EXPECT_EQ(ReadFrontCover(path, &read), c.expected != nullptr);
        if (c.expected != nullptr) {
            EXPECT_EQ(read.mimeType, "image/any");
            EXPECT_TRUE(read.bytes == *c.expected);
        } else {
            EXPECT_EQ(read, TagPicture{});
        }
    }
    TagPicture read;
    EXPECT_FALSE(ReadFrontCover(WriteTaggedMp3(dir, "untagged.mp3", {}), &read));
    EXPECT_FALSE(ReadFrontCover(dir / "missing.mp3", &read));
    EXPECT_EQ(read, TagPicture{});
}

}  // namespace
}  // namespace qm
