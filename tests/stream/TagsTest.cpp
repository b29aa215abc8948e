// Tag reading (ID3v2.2/2.3/2.4, ID3v1, APE) and the ID3v2.3 tags built for output files.

#include "stream/Tags.h"

#include <gtest/gtest.h>

#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "fixtures/Fixtures.h"
#include "stream/ByteOrder.h"

namespace qm {

// Readable failure messages for whole records.
void PrintTo(const TagInfo& tags, std::ostream* out) {
    *out << "{track " << tags.track << ", title \"" << tags.title << "\", artist \"" << tags.artist << "\", album \""
         << tags.album << "\", year \"" << tags.year << "\", genre \"" << tags.genre << "\", comment \"" << tags.comment
         << "\"}";
}

namespace {

using fixtures::Bytes;

// A short, valid MP3 stream that the tags are put around.
const Bytes& Audio() {
    static const Bytes audio = [] {
        fixtures::EncodeSpec spec;
        spec.seconds = 0.3;
        return fixtures::EncodeMp3(spec);
    }();
    return audio;
}

// One ID3v2.3 frame as LAME lays it out.
struct Frame {
    std::string id;
    Bytes body;
};

std::uint32_t Synchsafe32(const Bytes& data, std::size_t at) {
    return (std::uint32_t{data[at]} << 21) | (std::uint32_t{data[at + 1]} << 14) | (std::uint32_t{data[at + 2]} << 7) |
           std::uint32_t{data[at + 3]};
}

// Splits a built tag into its frames, checking the header on the way: "ID3", version 2.3.0,
// flags 0, a size that covers exactly the frames (no padding).
std::vector<Frame> FramesOf(const Bytes& tag) {
    std::vector<Frame> frames;
    EXPECT_GE(tag.size(), 10u);
    if (tag.size() < 10) return frames;
    EXPECT_EQ(std::string(tag.begin(), tag.begin() + 3), "ID3");
    EXPECT_EQ(tag[3], 3);
    EXPECT_EQ(tag[4], 0);
    EXPECT_EQ(tag[5], 0);
    EXPECT_EQ(Synchsafe32(tag, 6), tag.size() - 10);
    std::size_t at = 10;
    while (at + 10 <= tag.size()) {
        EXPECT_NE(tag[at], 0) << "padding at byte " << at;
        const std::uint32_t bodyBytes = ReadBigEndian32(&tag[at + 4]);
        if (at + 10 + bodyBytes > tag.size()) {
            ADD_FAILURE() << "frame at byte " << at << " runs past the tag";
            break;
        }
        frames.push_back({std::string(tag.begin() + at, tag.begin() + at + 4),
                          Bytes(tag.begin() + at + 10, tag.begin() + at + 10 + bodyBytes)});
        at += 10 + bodyBytes;
    }
    EXPECT_EQ(at, tag.size());
    return frames;
}

std::map<std::string, Bytes> FrameMap(const Bytes& tag) {
    std::map<std::string, Bytes> map;
    for (Frame& frame : FramesOf(tag)) map[frame.id] = std::move(frame.body);
    return map;
}

// Writes the tag and the audio to a file and reads the fields back.
TagInfo RoundTrip(const fixtures::TempDir& dir, const Bytes& tag) {
    const auto path = dir / "tagged.mp3";
    fixtures::WriteFileBytes(path, fixtures::Concat({tag, Audio()}));
    TagInfo read;
    EXPECT_TRUE(ReadTags(path, &read));
    return read;
}

// Every field survives building and reading back, whatever script it is written in, and a
// line break in one field moves nothing into the next.
TEST(BuildId3v2Tag, FieldsSurviveReadingBack) {
    const TagInfo cases[] = {
        {7, "Title", "Artist", "Album", "1999", "Rock", "Comment"},
        {1, "Café Noël", "Ångström", "Façade", "2003", "Jazz", "Ça va très bien"},
        {300, "Ωμέγα", "日本語", "Альбом", "2024", "Έντεχνο", "第一行\n第二行"},
        {12, "Line one\nLine two", "After the title", "Album", "1987", "Pop", "One\nTwo\nThree"},
        {0, "", "", "", "", "", "Only a comment\r\nwith two lines"},
        {2, "Notes 🎵 and 𝄞", "", "Ünïcödé", "", "", ""},
        {65535, "", "Big track", "", "", "Chiptune", ""},
    };
    fixtures::TempDir dir;
    for (const TagInfo& wanted : cases) {
        SCOPED_TRACE(wanted.title + "/" + wanted.artist);
        const Bytes tag = BuildId3v2Tag(wanted);
        ASSERT_FALSE(tag.empty());
        EXPECT_EQ(RoundTrip(dir, tag), wanted);
    }
}

// The frames present follow the fields given: nothing for an empty field, TRCK only for a
// track, and no frame of LAME's own (its encoder name).
TEST(BuildId3v2Tag, HoldsOneFramePerFilledField) {
    struct Case {
        TagInfo tags;
        std::vector<std::string> frameIds;  // in the order LAME writes them
    };
    const Case cases[] = {
        {{5, "T", "A", "L", "2000", "Rock", "C"}, {"TPE1", "TIT2", "TALB", "TCON", "COMM", "TYER", "TRCK"}},
        {{0, "Just a title", "", "", "", "", ""}, {"TIT2"}},
        {{0, "Title", "", "", "", "", "Comment"}, {"TIT2", "COMM"}},
        {{9, "", "", "", "", "", ""}, {"TRCK"}},
        {{0, "", "", "", "1984", "", ""}, {"TYER"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tags.title);
        std::vector<std::string> ids;
        for (const Frame& frame : FramesOf(BuildId3v2Tag(c.tags))) ids.push_back(frame.id);
        EXPECT_EQ(ids, c.frameIds);
    }
}

// With every field empty there is no tag at all, so the output starts with its first frame.
TEST(BuildId3v2Tag, AllFieldsEmptyGiveNoTag) {
    EXPECT_TRUE(BuildId3v2Tag(TagInfo{}).empty());
    TagInfo noTrack;
    noTrack.track = 0;
    EXPECT_TRUE(BuildId3v2Tag(noTrack).empty());
}

// The TRCK text is the track in decimal, with no cut to 8 bits; track 0 (or a nonsense
// negative one) writes no TRCK frame.
TEST(BuildId3v2Tag, TrackText) {
    const std::pair<int, std::string> cases[] = {
        {1, "1"}, {255, "255"}, {256, "256"}, {300, "300"}, {0, ""}, {-4, ""},
    };
    for (const auto& [track, text] : cases) {
        SCOPED_TRACE(track);
        TagInfo tags;
        tags.title = "t";
        tags.track = track;
        const auto frames = FrameMap(BuildId3v2Tag(tags));
        const auto trck = frames.find("TRCK");
        if (text.empty()) {
            EXPECT_EQ(trck, frames.end());
            continue;
        }
        ASSERT_NE(trck, frames.end());
        Bytes expected{0};  // encoding byte: Latin-1
        expected.insert(expected.end(), text.begin(), text.end());
        EXPECT_EQ(trck->second, expected);
    }
}

// A genre is written as text: names as given, and a number LAME knows no genre for kept as
// typed; LAME itself turns a known ID3v1 genre number into its name.
TEST(BuildId3v2Tag, GenreText) {
    const std::pair<std::string, std::string> cases[] = {
        {"Rock", "Rock"}, {"Chiptune", "Chiptune"}, {"2001", "2001"}, {"300", "300"}, {"17", "Rock"},
    };
    for (const auto& [genre, text] : cases) {
        SCOPED_TRACE(genre);
        TagInfo tags;
        tags.genre = genre;
        Bytes expected{0};
        expected.insert(expected.end(), text.begin(), text.end());
        EXPECT_EQ(FrameMap(BuildId3v2Tag(tags))["TCON"], expected);
    }
    // With other fields present the kept number comes along with them.
    const TagInfo withTitle{0, "Title", "", "", "", "1999", ""};
    fixtures::TempDir dir;
    EXPECT_EQ(RoundTrip(dir, BuildId3v2Tag(withTitle)), withTitle);
}

// Texts Latin-1 can hold stay Latin-1 (encoding byte 0, one byte per character); any other
// text is written as UTF-16 with a byte-order mark (encoding byte 1).
TEST(BuildId3v2Tag, TextEncodingFollowsTheText) {
    struct Case {
        std::string title;
        Bytes body;
    };
    const Case cases[] = {
        {"Abc", {0, 'A', 'b', 'c'}},
        {"Café", {0, 'C', 'a', 'f', 0xE9}},
        {"Ωa", {1, 0xFF, 0xFE, 0xA9, 0x03, 'a', 0x00}},
        {"𝄞", {1, 0xFF, 0xFE, 0x34, 0xD8, 0x1E, 0xDD}},  // U+1D11E as a surrogate pair
        // A byte that is not UTF-8 is kept as the Latin-1 character of that value.
        {"a\xE9z", {0, 'a', 0xE9, 'z'}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        TagInfo tags;
        tags.title = c.title;
        EXPECT_EQ(FrameMap(BuildId3v2Tag(tags))["TIT2"], c.body);
    }
}

// A comment keeps its line breaks byte for byte, in an "eng" comment with no description. In
// UTF-16 the empty description carries its byte-order mark like the text (readers that
// require the mark drop the comment otherwise).
TEST(BuildId3v2Tag, CommentBytes) {
    struct Case {
        std::string comment;
        Bytes body;
    };
    const Case cases[] = {
        {"first\nsecond", {0, 'e', 'n', 'g', 0, 'f', 'i', 'r', 's', 't', '\n', 's', 'e', 'c', 'o', 'n', 'd'}},
        {"Ωa", {1, 'e', 'n', 'g', 0xFF, 0xFE, 0, 0, 0xFF, 0xFE, 0xA9, 0x03, 'a', 0x00}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.comment);
        TagInfo tags;
        tags.comment = c.comment;
        tags.title = "Ω";  // a UTF-16 frame before the comment, and the tag's size
        const Bytes tag = BuildId3v2Tag(tags);
        EXPECT_EQ(FrameMap(tag)["COMM"], c.body);
        fixtures::TempDir dir;
        EXPECT_EQ(RoundTrip(dir, tag), tags);
    }
}

// Tags as other programs write them: every ID3v2 version, padding, a footer,
// unsynchronisation, UTF-16 text, and the track read as its leading number.
TEST(ReadTags, ReadsEveryId3v2Layout) {
    struct Case {
        const char* name;
        int majorVersion;
        int paddingBytes;
        bool footer;
        bool unsynchronised;
        bool utf16;
    };
    const Case cases[] = {
        {"v2.2", 2, 0, false, false, false},
        {"v2.2 unsynchronised", 2, 0, false, true, false},
        {"v2.3", 3, 0, false, false, false},
        {"v2.3 padded", 3, 512, false, false, false},
        {"v2.3 unsynchronised", 3, 0, false, true, false},
        {"v2.3 UTF-16", 3, 0, false, false, true},
        {"v2.4", 4, 0, false, false, false},
        {"v2.4 padded with footer", 4, 100, true, false, false},
        {"v2.4 footer", 4, 0, true, false, false},
        {"v2.4 unsynchronised", 4, 0, false, true, false},
        {"v2.4 UTF-16", 4, 0, false, false, true},
    };
    fixtures::TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fixtures::Id3v2Spec spec;
        spec.majorVersion = c.majorVersion;
        spec.paddingBytes = c.paddingBytes;
        spec.footer = c.footer;
        spec.unsynchronised = c.unsynchronised;
        spec.utf16 = c.utf16;
        // Non-Latin text only where the encoding can carry it (UTF-16, or UTF-8 in v2.4).
        const bool unicode = c.utf16 || c.majorVersion == 4;
        // "ÿþ" is 0xFF 0xFE in Latin-1: a false frame sync that unsynchronisation must hide.
        spec.title = unicode ? "Ωμέγα ÿþ" : "Title ÿþ";
        spec.artist = "Artist";
        spec.album = unicode ? "日本語" : "Album";
        spec.year = "2001";
        spec.genre = "Rock";
        spec.comment = "Two\nlines";
        spec.track = "07/15";
        fixtures::WriteFileBytes(dir / "t.mp3", fixtures::Concat({fixtures::MakeId3v2Tag(spec), Audio()}));
        TagInfo read;
        ASSERT_TRUE(ReadTags(dir / "t.mp3", &read));
        const TagInfo expected{7, spec.title, "Artist", spec.album, "2001", "Rock", "Two\nlines"};
        EXPECT_EQ(read, expected);
    }
}

// A frame with no content (as some taggers write an empty TENC or TCOP) does not hide the
// frames behind it, wherever it stands and whatever the tag version.
TEST(ReadTags, EmptyFramesDoNotHideTheRest) {
    struct Case {
        int majorVersion;
        std::size_t emptyFrameAt;  // offset of the empty frame; 0: after the first frame
        bool footer;
    };
    const Case cases[] = {{3, 10, false}, {4, 10, false}, {4, 10, true}, {3, 0, false}};
    fixtures::TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.majorVersion);
        fixtures::Id3v2Spec spec;
        spec.majorVersion = c.majorVersion;
        spec.footer = c.footer;
        spec.title = "Behind the empty frame";
        spec.artist = "Artist";
        spec.track = "5";
        Bytes tag = fixtures::MakeId3v2Tag(spec);
        // Insert "TCOP" with size 0 and no flags after the header or after the first frame.
        const std::size_t at = c.emptyFrameAt != 0 ? c.emptyFrameAt : 10 + 10 + ReadBigEndian32(&tag[14]);
        const Bytes empty{'T', 'C', 'O', 'P', 0, 0, 0, 0, 0, 0};
        tag.insert(tag.begin() + static_cast<std::ptrdiff_t>(at), empty.begin(), empty.end());
        const std::uint32_t size = Synchsafe32(tag, 6) + 10;
        for (int i = 0; i < 4; ++i) tag[6 + i] = static_cast<std::uint8_t>((size >> (7 * (3 - i))) & 0x7F);
        if (c.footer) {
            for (int i = 0; i < 4; ++i) tag[tag.size() - 4 + i] = tag[6 + i];
        }
        fixtures::WriteFileBytes(dir / "t.mp3", fixtures::Concat({tag, Audio()}));
        TagInfo read;
        ASSERT_TRUE(ReadTags(dir / "t.mp3", &read));
        EXPECT_EQ(read, (TagInfo{5, spec.title, "Artist", "", "", "", ""}));
    }
}

// Files carrying tags of other kinds, alone or together: ID3v1, APE, and the order in which
// their fields win (ID3v2, then APE, then ID3v1, field by field).
TEST(ReadTags, ReadsId3v1ApeAndTheirCombinations) {
    fixtures::Id3v2Spec v2;
    v2.title = "From ID3v2";
    v2.track = "3";
    const Bytes id3v2 = fixtures::MakeId3v2Tag(v2);
    const Bytes id3v1 = fixtures::MakeId3v1Tag("From ID3v1", "V1 Artist", "V1 Album", "1995", "V1 comment", 9, 17);
    const Bytes ape = fixtures::MakeApeTag({{"Title", "From APE"},
                                            {"Artist", "Ape Artist"},
                                            {"Year", "2010-05"},
                                            {"Track", "11/12"},
                                            {"Comment", "Ape\nnote"}});
    struct Case {
        const char* name;
        Bytes file;
        TagInfo expected;
    };
    const Case cases[] = {
        {"ID3v1 only",
         fixtures::Concat({Audio(), id3v1}),
         {9, "From ID3v1", "V1 Artist", "V1 Album", "1995", "Rock", "V1 comment"}},
        {"APE only", fixtures::Concat({Audio(), ape}), {11, "From APE", "Ape Artist", "", "2010-05", "", "Ape\nnote"}},
        {"APE then ID3v1",
         fixtures::Concat({Audio(), ape, id3v1}),
         {11, "From APE", "Ape Artist", "V1 Album", "2010-05", "Rock", "Ape\nnote"}},
        {"ID3v2 and ID3v1",
         fixtures::Concat({id3v2, Audio(), id3v1}),
         {3, "From ID3v2", "V1 Artist", "V1 Album", "1995", "Rock", "V1 comment"}},
    };
    fixtures::TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fixtures::WriteFileBytes(dir / "t.mp3", c.file);
        TagInfo read;
        ASSERT_TRUE(ReadTags(dir / "t.mp3", &read));
        EXPECT_EQ(read, c.expected);
    }
}

// The track field takes the leading number of the track text.
TEST(ReadTags, TrackIsTheLeadingNumber) {
    const std::pair<std::string, int> cases[] = {
        {"07/15", 7}, {"3/12", 3}, {"12", 12}, {"300", 300}, {"0042", 42}, {"A side", 0}, {"/9", 0}, {"5 of 9", 5},
    };
    fixtures::TempDir dir;
    for (const auto& [text, track] : cases) {
        SCOPED_TRACE(text);
        fixtures::Id3v2Spec spec;
        spec.title = "t";
        spec.track = text;
        fixtures::WriteFileBytes(dir / "t.mp3", fixtures::Concat({fixtures::MakeId3v2Tag(spec), Audio()}));
        TagInfo read;
        ASSERT_TRUE(ReadTags(dir / "t.mp3", &read));
        EXPECT_EQ(read.track, track);
    }
}

// An ID3v2.4 text frame may hold several values separated by a null character: they read as
// one text joined by " / ", in every encoding, not run together.
TEST(ReadTags, SeveralValuesInOneFrameAreJoined) {
    using namespace std::string_literals;
    fixtures::TempDir dir;
    for (const bool utf16 : {false, true}) {
        SCOPED_TRACE(utf16);
        fixtures::Id3v2Spec spec;
        spec.majorVersion = 4;
        spec.utf16 = utf16;
        spec.title = "some title\0another title\0yet another title"s;
        spec.artist = "One\0Two"s;
        spec.album = "Album";
        fixtures::WriteFileBytes(dir / "t.mp3", fixtures::Concat({fixtures::MakeId3v2Tag(spec), Audio()}));
        TagInfo read;
        ASSERT_TRUE(ReadTags(dir / "t.mp3", &read));
        EXPECT_EQ(read.title, "some title / another title / yet another title");
        EXPECT_EQ(read.artist, "One / Two");
        EXPECT_EQ(read.album, "Album");
    }
}

// Whatever the reason for failing, the result is false and the fields are left empty, even
// when the caller's record held values before.
TEST(ReadTags, FailureLeavesEmptyFields) {
    fixtures::TempDir dir;
    fixtures::WriteFileBytes(dir / "untagged.mp3", Audio());
    fixtures::WriteFileBytes(dir / "empty.mp3", {});
    fixtures::WriteFileBytes(dir / "junk.mp3", fixtures::Junk(5000));
    fixtures::WriteFileBytes(dir / "empty-tag.mp3", fixtures::Concat({fixtures::MakeId3v2Tag({}), Audio()}));
    // "ID3" with version byte 0xFF is not a tag, however well formed the bytes behind it.
    fixtures::Id3v2Spec bogusSpec;
    bogusSpec.title = "Not a title";
    Bytes bogus = fixtures::MakeId3v2Tag(bogusSpec);
    bogus[3] = 0xFF;
    fixtures::WriteFileBytes(dir / "bogus-version.mp3", fixtures::Concat({bogus, Audio()}));
    const std::filesystem::path paths[] = {dir / "untagged.mp3",     dir / "empty.mp3",   dir / "junk.mp3",
                                           dir / "empty-tag.mp3",    dir / "missing.mp3", dir.Path(),
                                           dir / "bogus-version.mp3"};
    for (const auto& path : paths) {
        SCOPED_TRACE(path.filename().string());
        TagInfo read{4, "old", "old", "old", "old", "old", "old"};
        EXPECT_FALSE(ReadTags(path, &read));
        EXPECT_EQ(read, TagInfo{});
    }
}

// Real files written by other programs: tagged files give fields, untagged ones fail, and
// none of them (damaged tags, sizes past the end of the file) upsets the reader.
TEST(ReadTags, CorpusFiles) {
    const std::filesystem::path corpus = fixtures::CorpusDir();
    if (corpus.empty()) GTEST_SKIP() << "corpus not present";
    const std::pair<const char*, bool> cases[] = {
        {"taglib-data/bladeenc.mp3", false},
        {"taglib-data/xing.mp3", false},
        {"taglib-data/id3v2-invalid-version.mp3", false},
        {"mutagen-data/no-tags.mp3", false},
        {"mutagen-data/id3v22-test.mp3", true},
        {"mutagen-data/apev2-lyricsv2.mp3", true},
        {"taglib-data/unsynch.id3", true},
        {"taglib-data/duplicate_id3v2.mp3", true},
        {"taglib-data/ape.mp3", true},
        {"tinytag-samples/id3v1-latin1.mp3", true},
        {"mutagen-data/bad-POPM-frame.mp3", true},  // an empty TENC frame comes first
        {"tinytag-samples/empty_frame.mp3", true},  // an empty TIT2 frame comes first
    };
    for (const auto& [name, tagged] : cases) {
        SCOPED_TRACE(name);
        if (!std::filesystem::exists(corpus / name)) continue;
        TagInfo read;
        EXPECT_EQ(ReadTags(corpus / name, &read), tagged);
        EXPECT_EQ(read == TagInfo{}, !tagged);
    }
    int readCount = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(corpus)) {
        if (!entry.is_regular_file()) continue;
        TagInfo read;
        if (ReadTags(entry.path(), &read))
            ++readCount;
        else
            EXPECT_EQ(read, TagInfo{}) << entry.path();
    }
    EXPECT_GT(readCount, 0);
}

}  // namespace
}  // namespace qm
