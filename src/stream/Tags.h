#pragma once

// Tag fields of a file, reading them and its chapters (TagLib: ID3v2.2/2.3/2.4, ID3v1, APE;
// TagReader.cpp), building an ID3v2.3 tag with LAME's tag writer (TagWriter.cpp), and the
// genre vocabulary.

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace qm {

// Tag fields of one file. Text is UTF-8; comment may hold line breaks; track 0 = none.
struct TagInfo {
    int track = 0;
    std::string title;
    std::string artist;
    std::string album;
    std::string year;
    std::string genre;
    std::string comment;

    bool operator==(const TagInfo&) const = default;
};

// A picture of a tag: its MIME type ("image/jpeg") and its encoded image bytes.
struct TagPicture {
    std::string mimeType;
    std::vector<std::uint8_t> bytes;

    bool operator==(const TagPicture&) const = default;
};

// The largest picture carried over from a source to its outputs. Covers are rarely above a
// few megabytes; a larger one is left out (the output is written without it), so that the
// memory a split holds for it stays bounded and every output does not copy it.
constexpr std::size_t kMaxPictureBytes = std::size_t{16} << 20;

// Reads the front-cover picture of a file's ID3v2 tag (an APIC frame marked as the front
// cover, or the first picture when none is) into *picture, which is cleared first. False
// when the file has no such picture, it is empty or larger than kMaxPictureBytes, or the
// file cannot be read.
bool ReadFrontCover(const std::filesystem::path& path, TagPicture* picture);

// Reads the tag fields of a file into *tags, which is cleared first. False when the file
// cannot be read or has no tag (then *tags stays empty): a caller that shows empty fields
// for a file without a tag may leave the result aside.
bool ReadTags(const std::filesystem::path& path, TagInfo* tags);

// A CHAP frame's byte offset that says nothing: players go by the times.
constexpr std::uint32_t kNoChapterOffset = 0xFFFFFFFF;

// One chapter of a file's ID3v2 tag (a CHAP frame): its element id, its start and end in
// milliseconds from the start of the audio, the title of its TIT2 sub-frame (UTF-8), and
// the byte offsets from the start of the file of its first frame and of the frame after its
// last (kNoChapterOffset: not given).
struct Chapter {
    std::string id;
    std::uint32_t startMs = 0;
    std::uint32_t endMs = 0;
    std::string title;
    std::uint32_t startOffset = kNoChapterOffset;
    std::uint32_t endOffset = kNoChapterOffset;

    bool operator==(const Chapter&) const = default;
};

// Reads the chapters of a file's ID3v2 tag into *chapters, which is cleared first: in the
// order of the top-level table of contents (CTOC) where there is one (a child table is
// followed into its own children; ids no CHAP frame carries are skipped; chapters it does
// not list follow by start time), else by start time. False when the file cannot be opened;
// true with no chapters for a file without them.
bool ReadChapters(const std::filesystem::path& path, std::vector<Chapter>* chapters);

// Builds an ID3v2.3.0 tag (no ID3v1) holding the non-empty fields and, when given and not
// empty, the picture as the front cover; texts Latin-1 cannot hold are written as UTF-16
// frames. Returns an empty block when there is nothing to hold or LAME cannot initialise.
std::vector<std::uint8_t> BuildId3v2Tag(const TagInfo& tags, const TagPicture* frontCover = nullptr);

// Appends one CHAP frame per chapter (with a TIT2 sub-frame where it has a title) and one
// top-level, ordered CTOC frame listing them ("toc") to an ID3v2.3 tag built by
// BuildId3v2Tag; an empty tag gets its header first. The frames' sizes do not depend on the
// times and offsets, so a tag rebuilt with the real ones over a placeholder's place fits it
// exactly. Nothing is added for no chapters. False when the tag is not version 2.3.
bool AppendChapterFrames(const std::vector<Chapter>& chapters, std::vector<std::uint8_t>* tag);

// Pads a tag to totalBytes with zeros (ID3v2 padding) and sets its size; false when the
// tag is already longer or is not an ID3v2 tag.
bool PadId3v2Tag(std::size_t totalBytes, std::vector<std::uint8_t>* tag);

constexpr int kGenreCount = 148;
// The 148 genre names, numbered 0..147.
const std::array<const char*, kGenreCount>& GenreNames();

}  // namespace qm
