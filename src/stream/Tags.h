#pragma once

// Tag fields of a file, reading them (TagLib: ID3v2.2/2.3/2.4, ID3v1, APE; TagReader.cpp),
// building an ID3v2.3 tag with LAME's tag writer (TagWriter.cpp), and the genre vocabulary.

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

// Reads the tag fields of a file into *tags, which is cleared first. False when the file
// cannot be read or has no tag (then *tags stays empty): a caller that shows empty fields
// for a file without a tag may leave the result aside.
bool ReadTags(const std::filesystem::path& path, TagInfo* tags);

// Builds an ID3v2.3.0 tag (no ID3v1) holding the non-empty fields; texts Latin-1 cannot
// hold are written as UTF-16 frames. Returns an empty block when every field is empty or
// LAME cannot initialise.
std::vector<std::uint8_t> BuildId3v2Tag(const TagInfo& tags);

constexpr int kGenreCount = 148;
// The 148 genre names, numbered 0..147.
const std::array<const char*, kGenreCount>& GenreNames();

}  // namespace qm
