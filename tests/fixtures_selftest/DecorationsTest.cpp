// The tags of the kit: ID3v2 structure (synchsafe sizes, frames that add up, footer,
// unsynchronisation) and what TagLib reads back from a file carrying them.

#include <gtest/gtest.h>
#include <taglib/apefile.h>
#include <taglib/apetag.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tag.h>

#include <map>

#include "fixtures/Fixtures.h"

namespace qm::fixtures {
namespace {

std::uint32_t Synchsafe(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 21 | std::uint32_t{p[1]} << 14 | std::uint32_t{p[2]} << 7 | p[3];
}

// Removes the zero byte that unsynchronisation puts after each 0xFF.
Bytes Resynchronise(const std::uint8_t* data, std::size_t size) {
    Bytes out;
    for (std::size_t i = 0; i < size; ++i) {
        out.push_back(data[i]);
        if (data[i] == 0xFF && i + 1 < size && data[i + 1] == 0x00) ++i;
    }
    return out;
}

bool HasFalseSync(const std::uint8_t* data, std::size_t size) {
    for (std::size_t i = 0; i + 1 < size; ++i) {
        if (data[i] == 0xFF && data[i + 1] >= 0xE0) return true;
    }
    return false;
}

struct ParsedTag {
    std::map<std::string, Bytes> frames;  // id -> body, resynchronised
    std::size_t paddingBytes = 0;
    bool paddingAllZero = true;
};

// Walks the frames of a tag body (after the 10-byte header): v2.2 six-byte frame headers,
// v2.3 plain 32-bit sizes, v2.4 synchsafe sizes. Fails the test on a frame running past the end.
ParsedTag ParseFrames(const Bytes& body, int majorVersion, bool perFrameUnsync) {
    ParsedTag parsed;
    const std::size_t headerBytes = majorVersion == 2 ? 6 : 10;
    const std::size_t idBytes = majorVersion == 2 ? 3 : 4;
    std::size_t at = 0;
    while (at + headerBytes <= body.size() && body[at] != 0) {
        const std::uint8_t* h = body.data() + at;
        std::uint32_t size = majorVersion == 2   ? (h[3] << 16 | h[4] << 8 | h[5])
                             : majorVersion == 3 ? (std::uint32_t{h[4]} << 24 | h[5] << 16 | h[6] << 8 | h[7])
                                                 : Synchsafe(h + 4);
        EXPECT_LE(at + headerBytes + size, body.size()) << "frame at " << at << " runs past the tag";
        if (at + headerBytes + size > body.size()) break;
        const std::uint8_t* data = h + headerBytes;
        parsed.frames[std::string(h, h + idBytes)] =
            perFrameUnsync ? Resynchronise(data, size) : Bytes(data, data + size);
        at += headerBytes + size;
    }
    parsed.paddingBytes = body.size() - at;
    for (std::size_t i = at; i < body.size(); ++i) parsed.paddingAllZero &= body[i] == 0;
    return parsed;
}

// Text of a text frame body in any of the four ID3v2 encodings, as UTF-8 (BMP only).
std::string FrameText(const Bytes& body) {
    if (body.empty()) return {};
    std::string out;
    if (body[0] == 0) {
        for (std::size_t i = 1; i < body.size(); ++i) {
            const std::uint8_t c = body[i];
            if (c < 0x80) {
                out += static_cast<char>(c);
            } else {
                out += {static_cast<char>(0xC0 | c >> 6), static_cast<char>(0x80 | (c & 0x3F))};
            }
        }
    } else if (body[0] == 3) {
        out.assign(body.begin() + 1, body.end());
    } else {
        EXPECT_TRUE(body.size() >= 3 && body[1] == 0xFF && body[2] == 0xFE) << "UTF-16 without BOM";
        for (std::size_t i = 3; i + 1 < body.size(); i += 2) {
            const unsigned unit = body[i] | body[i + 1] << 8;
            if (unit < 0x80) {
                out += static_cast<char>(unit);
            } else if (unit < 0x800) {
                out += {static_cast<char>(0xC0 | unit >> 6), static_cast<char>(0x80 | (unit & 0x3F))};
            } else {
                out += {static_cast<char>(0xE0 | unit >> 12), static_cast<char>(0x80 | ((unit >> 6) & 0x3F)),
                        static_cast<char>(0x80 | (unit & 0x3F))};
            }
        }
    }
    return out;
}

struct Id3Case {
    const char* name;
    int majorVersion;
    bool utf16;
    bool unsync;
    bool footer;
    int paddingBytes;
};

void PrintTo(const Id3Case& c, std::ostream* os) { *os << c.name; }

const Id3Case kId3Cases[] = {
    {"V22Latin1", 2, false, false, false, 0},         {"V22Unsync", 2, false, true, false, 20},
    {"V23Latin1Padded", 3, false, false, false, 300}, {"V23Utf16", 3, true, false, false, 0},
    {"V23Unsync", 3, false, true, false, 0},          {"V23Utf16Unsync", 3, true, true, false, 10},
    {"V24Utf8", 4, false, false, false, 64},          {"V24Footer", 4, false, false, true, 0},
    {"V24UnsyncFooter", 4, true, true, true, 0},      {"V24Utf8Unsync", 4, false, true, false, 16},
};

// "ÿ" is 0xFF in Latin-1 and "ÿà" gives 0xFF 0xE0, a false frame sync, so unsynchronisation
// has real work to do in every encoding.
Id3v2Spec SpecFor(const Id3Case& c) {
    Id3v2Spec spec;
    spec.majorVersion = c.majorVersion;
    spec.utf16 = c.utf16;
    spec.unsynchronised = c.unsync;
    spec.footer = c.footer;
    spec.paddingBytes = c.paddingBytes;
    spec.title = "Caf\xC3\xA9 \xC3\xBF\xC3\xA0 end\xC3\xBF";
    spec.artist = "Artist";
    spec.album = "Album";
    spec.year = "2026";
    spec.genre = "Rock";
    spec.comment = "A comment";
    spec.track = "07/15";
    return spec;
}

// A short MP3 with the given tag before or after its audio, written into dir.
std::filesystem::path WriteTagged(const TempDir& dir, const Bytes& before, const Bytes& after) {
    EncodeSpec audio;
    audio.seconds = 0.3;
    const auto path = dir / "tagged.mp3";
    WriteFileBytes(path, Concat({before, EncodeMp3(audio), after}));
    return path;
}

class Id3v2TagTest : public testing::TestWithParam<Id3Case> {};

// Header, synchsafe size, footer, padding and frames all agree with each other.
TEST_P(Id3v2TagTest, StructureIsConsistent) {
    const Id3Case& c = GetParam();
    const Bytes tag = MakeId3v2Tag(SpecFor(c));
    const bool footer = c.footer && c.majorVersion == 4;
    ASSERT_GE(tag.size(), 10u);
    EXPECT_EQ(std::string(tag.begin(), tag.begin() + 3), "ID3");
    EXPECT_EQ(tag[3], c.majorVersion);
    EXPECT_EQ(tag[5], (c.unsync ? 0x80 : 0) | (footer ? 0x10 : 0));
    for (int i = 6; i < 10; ++i) EXPECT_LT(tag[i], 0x80) << "size byte " << i << " is not synchsafe";
    const std::uint32_t size = Synchsafe(tag.data() + 6);
    ASSERT_EQ(tag.size(), 10 + size + (footer ? 10u : 0u));
    if (footer) {
        const Bytes foot(tag.end() - 10, tag.end());
        EXPECT_EQ(std::string(foot.begin(), foot.begin() + 3), "3DI");
        EXPECT_TRUE(std::equal(foot.begin() + 3, foot.end(), tag.begin() + 3)) << "footer differs from header";
    }

    const std::uint8_t* body = tag.data() + 10;
    if (c.unsync) {
        EXPECT_FALSE(HasFalseSync(body, size));
    }
    // v2.2/v2.3 unsynchronise the whole tag, v2.4 each frame.
    const bool wholeTag = c.unsync && c.majorVersion < 4;
    const Bytes plain = wholeTag ? Resynchronise(body, size) : Bytes(body, body + size);
    const ParsedTag parsed = ParseFrames(plain, c.majorVersion, c.unsync && c.majorVersion == 4);
    EXPECT_EQ(parsed.frames.size(), 7u);
    EXPECT_EQ(parsed.paddingBytes, static_cast<std::size_t>(c.paddingBytes));
    EXPECT_TRUE(parsed.paddingAllZero);

    const char* titleId = c.majorVersion == 2 ? "TT2" : "TIT2";
    ASSERT_EQ(parsed.frames.count(titleId), 1u);
    EXPECT_EQ(FrameText(parsed.frames.at(titleId)), SpecFor(c).title);
    const std::uint8_t expectedEncoding = c.utf16 ? 1 : c.majorVersion == 4 ? 3 : 0;
    EXPECT_EQ(parsed.frames.at(titleId)[0], expectedEncoding);
    // Without unsynchronisation the tag does hold false syncs (the Latin-1 title, the UTF-16
    // byte order mark); UTF-8 never has a 0xFF byte.
    if (!c.unsync && expectedEncoding != 3) {
        EXPECT_TRUE(HasFalseSync(body, size));
    }
}

// TagLib reads every field back from an MP3 file that starts with the tag.
TEST_P(Id3v2TagTest, TagLibReadsTheFields) {
    const Id3Case& c = GetParam();
    const Id3v2Spec spec = SpecFor(c);
    TempDir dir;
    TagLib::MPEG::File file(WriteTagged(dir, MakeId3v2Tag(spec), {}).c_str());
    ASSERT_TRUE(file.isValid());
    ASSERT_TRUE(file.hasID3v2Tag());
    const TagLib::ID3v2::Tag* tag = file.ID3v2Tag();
    EXPECT_EQ(tag->header()->majorVersion(), static_cast<unsigned>(c.majorVersion));
    EXPECT_EQ(tag->title().to8Bit(true), spec.title);
    EXPECT_EQ(tag->artist().to8Bit(true), spec.artist);
    EXPECT_EQ(tag->album().to8Bit(true), spec.album);
    EXPECT_EQ(tag->year(), 2026u);
    EXPECT_EQ(tag->genre().to8Bit(true), spec.genre);
    EXPECT_EQ(tag->comment().to8Bit(true), spec.comment);
    EXPECT_EQ(tag->track(), 7u);
    // The audio is found right after the tag.
    EXPECT_EQ(file.firstFrameOffset(), static_cast<long>(MakeId3v2Tag(spec).size()));
}

INSTANTIATE_TEST_SUITE_P(Kit, Id3v2TagTest, testing::ValuesIn(kId3Cases),
                         [](const auto& info) { return std::string(info.param.name); });

// Empty fields make no frames; an empty tag is a bare header (plus its padding).
TEST(MakeId3v2Tag, EmptyFieldsMakeNoFrames) {
    Id3v2Spec spec;
    spec.paddingBytes = 5;
    const Bytes tag = MakeId3v2Tag(spec);
    ASSERT_EQ(tag.size(), 15u);
    EXPECT_EQ(Synchsafe(tag.data() + 6), 5u);
}

// ID3v1.1: 128 bytes, fields at their fixed places, the track after a zero byte.
TEST(MakeId3v1Tag, LayoutAndTagLibReadBack) {
    const Bytes tag = MakeId3v1Tag("Title", "Artist", "Album", "1999", "Comment", 9, 17);
    ASSERT_EQ(tag.size(), 128u);
    EXPECT_EQ(std::string(tag.begin(), tag.begin() + 3), "TAG");
    EXPECT_EQ(std::string(tag.begin() + 33, tag.begin() + 39), "Artist");
    EXPECT_EQ(std::string(tag.begin() + 93, tag.begin() + 97), "1999");
    EXPECT_EQ(tag[125], 0);
    EXPECT_EQ(tag[126], 9);
    EXPECT_EQ(tag[127], 17);

    TempDir dir;
    TagLib::MPEG::File file(WriteTagged(dir, {}, tag).c_str());
    ASSERT_TRUE(file.hasID3v1Tag());
    EXPECT_EQ(file.ID3v1Tag()->title().to8Bit(), "Title");
    EXPECT_EQ(file.ID3v1Tag()->album().to8Bit(), "Album");
    EXPECT_EQ(file.ID3v1Tag()->comment().to8Bit(), "Comment");
    EXPECT_EQ(file.ID3v1Tag()->track(), 9u);
    EXPECT_EQ(file.ID3v1Tag()->genre().to8Bit(), "Rock");  // genre 17
}

// APEv2: header and footer with the same size and count; TagLib reads the items back.
TEST(MakeApeTag, HeaderFooterAndItems) {
    const std::vector<std::pair<std::string, std::string>> items = {
        {"Title", "Ape title"}, {"Artist", "Ape artist"},   {"Album", "Ape album"}, {"Year", "2001"},
        {"Genre", "Jazz"},      {"Comment", "Ape comment"}, {"Track", "3"}};
    const Bytes tag = MakeApeTag(items);
    auto le32 = [&](std::size_t at) {
        return std::uint32_t{tag[at]} | tag[at + 1] << 8 | tag[at + 2] << 16 | std::uint32_t{tag[at + 3]} << 24;
    };
    const std::size_t footer = tag.size() - 32;
    EXPECT_EQ(std::string(tag.begin(), tag.begin() + 8), "APETAGEX");
    EXPECT_EQ(std::string(tag.begin() + footer, tag.begin() + footer + 8), "APETAGEX");
    EXPECT_EQ(le32(8), 2000u);
    EXPECT_EQ(le32(12), tag.size() - 32);  // items + footer
    EXPECT_EQ(le32(footer + 12), tag.size() - 32);
    EXPECT_EQ(le32(16), items.size());
    EXPECT_EQ(le32(20), 0xA0000000u);
    EXPECT_EQ(le32(footer + 20), 0x80000000u);

    TempDir dir;
    TagLib::MPEG::File file(WriteTagged(dir, {}, tag).c_str());
    ASSERT_TRUE(file.hasAPETag());
    const TagLib::APE::Tag* ape = file.APETag();
    EXPECT_EQ(ape->title().to8Bit(true), "Ape title");
    EXPECT_EQ(ape->artist().to8Bit(true), "Ape artist");
    EXPECT_EQ(ape->album().to8Bit(true), "Ape album");
    EXPECT_EQ(ape->year(), 2001u);
    EXPECT_EQ(ape->comment().to8Bit(true), "Ape comment");
    EXPECT_EQ(ape->track(), 3u);
}

}  // namespace
}  // namespace qm::fixtures
