// Reading the tag fields of a file with TagLib: ID3v2 (2.2, 2.3, 2.4), APE and ID3v1, their
// fields merged in that order of precedence.

#include "stream/Tags.h"

#include <taglib/apetag.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/chapterframe.h>
#include <taglib/fileref.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tableofcontentsframe.h>
#include <taglib/tag.h>
#include <taglib/tbytevectorstream.h>
#include <taglib/tfilestream.h>
#include <taglib/tpropertymap.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <exception>
#include <fstream>
#include <optional>
#include <set>
#include <string_view>
#include <system_error>

#include "stream/Id3v2Bytes.h"

namespace qm {

namespace {

// The leading decimal integer of a track text: "07/15" gives 7, "12" gives 12, text without
// leading digits gives 0. Leading blanks are skipped; absurdly long numbers saturate.
int LeadingTrackNumber(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
    long long value = 0;
    for (; at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])); ++at) {
        value = value * 10 + (text[at] - '0');
        if (value > INT_MAX) return INT_MAX;
    }
    return static_cast<int>(value);
}

std::string Utf8(const TagLib::String& text) { return text.to8Bit(true); }

// The first value of a property, or empty.
std::string FirstProperty(const TagLib::PropertyMap& properties, const char* key) {
    const auto found = properties.find(key);
    if (found == properties.end() || found->second.isEmpty()) return {};
    return Utf8(found->second.front());
}

// Every value of a property, joined by " / " (an ID3v2.4 text frame may hold several,
// separated by a null character, which TagLib's own field readers join with spaces); empty
// when there is none.
std::string JoinedProperty(const TagLib::PropertyMap& properties, const char* key) {
    const auto found = properties.find(key);
    if (found == properties.end() || found->second.isEmpty()) return {};
    return Utf8(found->second.toString(" / "));
}

// One tag and its property map. TagLib's Tag::properties() is not virtual, so the map is
// taken from the concrete tag (or the file) that knows its own keys.
struct TagSource {
    const TagLib::Tag* tag;
    TagLib::PropertyMap properties;
};

// Fields of one tag. Year and track come from the property map so that they keep the text
// as stored ("2001-05", "07/15") rather than TagLib's numeric view of them.
TagInfo FieldsOf(const TagSource& source) {
    const TagLib::Tag& tag = *source.tag;
    TagInfo fields;
    const auto text = [&source](const char* key, const TagLib::String& single) {
        std::string joined = JoinedProperty(source.properties, key);
        return joined.empty() ? Utf8(single) : joined;
    };
    fields.title = text("TITLE", tag.title());
    fields.artist = text("ARTIST", tag.artist());
    fields.album = text("ALBUM", tag.album());
    fields.genre = text("GENRE", tag.genre());
    fields.comment = Utf8(tag.comment());
    fields.year = FirstProperty(source.properties, "DATE");
    fields.track = LeadingTrackNumber(FirstProperty(source.properties, "TRACKNUMBER"));
    if (fields.year.empty() && tag.year() > 0) fields.year = std::to_string(tag.year());
    if (fields.track == 0 && tag.track() > 0 && tag.track() <= INT_MAX) fields.track = static_cast<int>(tag.track());
    return fields;
}

// Fills every field of *into that is still empty from `from`.
void MergeMissing(const TagInfo& from, TagInfo* into) {
    auto fill = [](const std::string& source, std::string& target) {
        if (target.empty()) target = source;
    };
    fill(from.title, into->title);
    fill(from.artist, into->artist);
    fill(from.album, into->album);
    fill(from.year, into->year);
    fill(from.genre, into->genre);
    fill(from.comment, into->comment);
    if (into->track == 0) into->track = from.track;
}

// The tags of an MPEG file in the order their fields win: ID3v2, then APE, then ID3v1.
std::vector<TagSource> MpegTags(TagLib::MPEG::File& file) {
    std::vector<TagSource> tags;
    if (const TagLib::ID3v2::Tag* id3v2 = file.hasID3v2Tag() ? file.ID3v2Tag(false) : nullptr)
        tags.push_back({id3v2, id3v2->properties()});
    if (const TagLib::APE::Tag* ape = file.hasAPETag() ? file.APETag(false) : nullptr)
        tags.push_back({ape, ape->properties()});
    if (const TagLib::ID3v1::Tag* id3v1 = file.hasID3v1Tag() ? file.ID3v1Tag(false) : nullptr)
        tags.push_back({id3v1, id3v1->properties()});
    return tags;
}

TagInfo MergeTags(const std::vector<TagSource>& tags) {
    TagInfo merged;
    for (const TagSource& source : tags) {
        if (source.tag != nullptr && !source.tag->isEmpty()) MergeMissing(FieldsOf(source), &merged);
    }
    return merged;
}

// A leading "ID3" whose header is not an ID3v2 header: the major version must be 2, 3 or 4,
// the revision is never 0xFF, and the four size bytes are seven-bit bytes (top bit clear).
// TagLib takes such a header for a tag and can spend minutes on the bytes behind it.
bool HasBogusLeadingId3v2Header(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::array<unsigned char, 10> header{};
    if (!file.read(reinterpret_cast<char*>(header.data()), header.size())) return false;
    if (header[0] != 'I' || header[1] != 'D' || header[2] != '3') return false;
    const bool sizeBytesValid = ((header[6] | header[7] | header[8] | header[9]) & 0x80) == 0;
    return header[3] < 2 || header[3] > 4 || header[4] == 0xFF || !sizeBytesValid;
}

// A read-only file stream that shows zeros in place of the first bytes of the file, so that
// a bogus leading "ID3" is not parsed as a tag.
class MaskedHeadStream final : public TagLib::FileStream {
public:
    MaskedHeadStream(const std::filesystem::path& path, long maskedBytes)
        : TagLib::FileStream(path.c_str(), true), m_maskedBytes(maskedBytes) {}

    TagLib::ByteVector readBlock(unsigned long length) override {
        const long start = tell();
        TagLib::ByteVector data = TagLib::FileStream::readBlock(length);
        for (long at = start; at < m_maskedBytes && at - start < static_cast<long>(data.size()); ++at)
            data[static_cast<unsigned int>(at - start)] = 0;
        return data;
    }

private:
    long m_maskedBytes;
};

// Some taggers write frames with no content (an empty TENC or TCOP). TagLib stops reading a
// tag at the first such frame and loses every frame behind it, so a leading ID3v2.3/2.4 tag
// holding one is rebuilt without its empty frames. Returns nothing when the tag needs no
// repair or is laid out in a way this does not handle (unsynchronised or extended header).
std::optional<TagLib::ByteVector> LeadingTagWithoutEmptyFrames(const std::filesystem::path& path) {
    constexpr std::uint32_t kMaxTagBytes = 16 * 1024 * 1024;
    constexpr unsigned char kUnsynchronisedFlag = 0x80;
    constexpr unsigned char kExtendedHeaderFlag = 0x40;
    constexpr unsigned char kFooterFlag = 0x10;
    std::ifstream file(path, std::ios::binary);
    std::array<unsigned char, 10> header{};
    if (!file.read(reinterpret_cast<char*>(header.data()), header.size())) return std::nullopt;
    if (header[0] != 'I' || header[1] != 'D' || header[2] != '3' || (header[3] != 3 && header[3] != 4) ||
        (header[5] & (kUnsynchronisedFlag | kExtendedHeaderFlag)) != 0 ||
        ((header[6] | header[7] | header[8] | header[9]) & 0x80) != 0)
        return std::nullopt;
    const std::uint32_t tagBytes = ReadSynchsafe32(header.data() + 6);
    std::vector<char> body(std::min(tagBytes, kMaxTagBytes));
    file.read(body.data(), static_cast<std::streamsize>(body.size()));
    body.resize(static_cast<std::size_t>(file.gcount()));

    const bool synchsafeFrameSizes = header[3] == 4;
    TagLib::ByteVector frames;
    bool droppedEmptyFrame = false;
    std::size_t at = 0;
    while (at + 10 <= body.size() && body[at] != 0) {
        const auto* frame = reinterpret_cast<const std::uint8_t*>(&body[at]);
        const std::uint32_t frameBytes = synchsafeFrameSizes ? ReadSynchsafe32(frame + 4) : ReadBigEndian32(frame + 4);
        if (frameBytes == 0) {
            droppedEmptyFrame = true;
            at += 10;
            continue;
        }
        const std::size_t end = std::min<std::size_t>(body.size(), at + 10 + std::size_t{frameBytes});
        frames.append(TagLib::ByteVector(&body[at], static_cast<unsigned int>(end - at)));
        at = end;
    }
    if (!droppedEmptyFrame || frames.isEmpty()) return std::nullopt;
    header[5] = static_cast<unsigned char>(header[5] & ~kFooterFlag);
    WriteSynchsafe32(frames.size(), header.data() + 6);
    TagLib::ByteVector tag(reinterpret_cast<const char*>(header.data()), header.size());
    tag.append(frames);
    return tag;
}

// The fields of an MPEG file's tags; a leading ID3v2 tag that TagLib would cut short at an
// empty frame is read from its repaired copy.
TagInfo ReadMpegTags(TagLib::MPEG::File& file, const std::filesystem::path& path) {
    std::vector<TagSource> tags = MpegTags(file);
    const std::optional<TagLib::ByteVector> repaired = LeadingTagWithoutEmptyFrames(path);
    if (!repaired) return MergeTags(tags);
    TagLib::ByteVectorStream tagOnly(*repaired);
    TagLib::MPEG::File tagFile(&tagOnly, TagLib::ID3v2::FrameFactory::instance(), false);
    const TagLib::ID3v2::Tag* id3v2 = tagFile.ID3v2Tag(false);
    if (id3v2 == nullptr) return MergeTags(tags);
    if (file.hasID3v2Tag() && !tags.empty()) tags.erase(tags.begin());
    tags.insert(tags.begin(), {id3v2, id3v2->properties()});
    return MergeTags(tags);
}

// The bytes of a bogus leading "ID3" that TagLib is shown as zeros.
constexpr long kId3MagicBytes = 3;

// The front cover among a tag's pictures, or its first picture when none is marked so.
const TagLib::ID3v2::AttachedPictureFrame* FrontCoverFrame(const TagLib::ID3v2::Tag& tag) {
    const TagLib::ID3v2::AttachedPictureFrame* first = nullptr;
    for (const TagLib::ID3v2::Frame* frame : tag.frameList("APIC")) {
        const auto* picture = dynamic_cast<const TagLib::ID3v2::AttachedPictureFrame*>(frame);
        if (picture == nullptr || picture->picture().isEmpty()) continue;
        if (picture->type() == TagLib::ID3v2::AttachedPictureFrame::FrontCover) return picture;
        if (first == nullptr) first = picture;
    }
    return first;
}

TagPicture ReadFrontCoverOf(const std::filesystem::path& path) {
    MaskedHeadStream stream(path, HasBogusLeadingId3v2Header(path) ? kId3MagicBytes : 0);
    if (!stream.isOpen()) return {};
    // Version 2.2 PIC frames come out of TagLib as APIC frames too.
    TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
    if (!file.isOpen() || !file.hasID3v2Tag()) return {};
    const TagLib::ID3v2::AttachedPictureFrame* frame = FrontCoverFrame(*file.ID3v2Tag(false));
    if (frame == nullptr || frame->picture().size() > kMaxPictureBytes) return {};
    const TagLib::ByteVector& bytes = frame->picture();
    TagPicture picture;
    picture.mimeType = frame->mimeType().to8Bit(false);
    picture.bytes.assign(bytes.begin(), bytes.end());
    return picture;
}

TagInfo ReadTagFields(const std::filesystem::path& path) {
    MaskedHeadStream stream(path, HasBogusLeadingId3v2Header(path) ? kId3MagicBytes : 0);
    if (!stream.isOpen()) return {};
    // TagLib picks the file type by extension; an MP3 file under another name is tried as
    // MPEG directly.
    {
        TagLib::FileRef ref(&stream, false);
        if (!ref.isNull()) {
            if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(ref.file())) return ReadMpegTags(*mpeg, path);
            return MergeTags({{ref.tag(), ref.file()->properties()}});
        }
    }
    stream.seek(0);
    TagLib::MPEG::File mpeg(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
    if (!mpeg.isOpen()) return {};
    return ReadMpegTags(mpeg, path);
}

Chapter ChapterOf(const TagLib::ID3v2::ChapterFrame& frame) {
    Chapter chapter;
    const TagLib::ByteVector id = frame.elementID();
    chapter.id.assign(id.begin(), id.end());
    chapter.startMs = frame.startTime();
    chapter.endMs = frame.endTime();
    chapter.startOffset = frame.startOffset();
    chapter.endOffset = frame.endOffset();
    const TagLib::ID3v2::FrameList& titles = frame.embeddedFrameList("TIT2");
    if (!titles.isEmpty()) chapter.title = Utf8(titles.front()->toString());
    return chapter;
}

// The table of contents that the others hang from: the one flagged top-level.
const TagLib::ID3v2::TableOfContentsFrame* TopLevelTable(const TagLib::ID3v2::Tag& tag) {
    for (const TagLib::ID3v2::Frame* frame : tag.frameList("CTOC")) {
        const auto* table = dynamic_cast<const TagLib::ID3v2::TableOfContentsFrame*>(frame);
        if (table != nullptr && table->isTopLevel()) return table;
    }
    return nullptr;
}

// Appends the chapters a table lists, in its order, to *ordered, following child tables into
// their own children. visited holds every element id taken so far, so that a table listed
// twice (or listing itself) is read once.
void AppendListedChapters(const TagLib::ID3v2::Tag& tag, const TagLib::ID3v2::TableOfContentsFrame& table,
                          std::set<TagLib::ByteVector>* visited, std::vector<Chapter>* ordered) {
    for (const TagLib::ByteVector& child : table.childElements()) {
        if (!visited->insert(child).second) continue;
        if (const auto* chapter = TagLib::ID3v2::ChapterFrame::findByElementID(&tag, child)) {
            ordered->push_back(ChapterOf(*chapter));
        } else if (const auto* subTable = TagLib::ID3v2::TableOfContentsFrame::findByElementID(&tag, child)) {
            AppendListedChapters(tag, *subTable, visited, ordered);
        }
    }
}

std::vector<Chapter> ChaptersOf(const TagLib::ID3v2::Tag& tag) {
    std::vector<Chapter> listed;
    std::set<TagLib::ByteVector> visited;
    if (const TagLib::ID3v2::TableOfContentsFrame* top = TopLevelTable(tag)) {
        visited.insert(top->elementID());
        AppendListedChapters(tag, *top, &visited, &listed);
    }
    std::vector<Chapter> unlisted;
    for (const TagLib::ID3v2::Frame* frame : tag.frameList("CHAP")) {
        const auto* chapter = dynamic_cast<const TagLib::ID3v2::ChapterFrame*>(frame);
        if (chapter != nullptr && visited.count(chapter->elementID()) == 0) unlisted.push_back(ChapterOf(*chapter));
    }
    std::stable_sort(unlisted.begin(), unlisted.end(),
                     [](const Chapter& a, const Chapter& b) { return a.startMs < b.startMs; });
    listed.insert(listed.end(), unlisted.begin(), unlisted.end());
    return listed;
}

}  // namespace

bool ReadChapters(const std::filesystem::path& path, std::vector<Chapter>* chapters) {
    chapters->clear();
    try {
        std::error_code error;
        if (!std::filesystem::is_regular_file(path, error)) return false;
        MaskedHeadStream stream(path, HasBogusLeadingId3v2Header(path) ? kId3MagicBytes : 0);
        if (!stream.isOpen()) return false;
        TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
        if (!file.isOpen()) return false;
        if (file.hasID3v2Tag()) *chapters = ChaptersOf(*file.ID3v2Tag(false));
        return true;
    } catch (const std::exception&) {
        chapters->clear();
        return false;
    }
}

bool ReadFrontCover(const std::filesystem::path& path, TagPicture* picture) {
    *picture = TagPicture{};
    try {
        *picture = ReadFrontCoverOf(path);
    } catch (const std::exception&) {
        *picture = TagPicture{};
    }
    return !picture->bytes.empty();
}

bool ReadTags(const std::filesystem::path& path, TagInfo* tags) {
    *tags = TagInfo{};
    try {
        TagInfo fields = ReadTagFields(path);
        if (fields == TagInfo{}) return false;
        *tags = std::move(fields);
        return true;
    } catch (const std::exception&) {
        *tags = TagInfo{};
        return false;
    }
}

}  // namespace qm
