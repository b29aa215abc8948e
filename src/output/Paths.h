#pragma once

// Path helpers of output placement. Paths are UTF-8 std::filesystem paths without length
// limits; the separator is "/" (on Windows "\" as well).

#include <filesystem>
#include <string>

namespace qm {

// Whether c separates path levels on this platform.
bool IsPathSeparator(char c);

// The text of path up to and including its last separator. False, leaving *folder untouched,
// when the path has no separator.
[[nodiscard]] bool FolderOfPath(const std::filesystem::path& path, std::filesystem::path* folder);

// The file name of path (after its last separator) without its final extension: "song.mp3"
// gives "song", "a.b.mp3" gives "a.b", "song" stays "song".
std::string FileTitleOf(const std::filesystem::path& path);

// name with "_<number>" inserted before its final extension, or appended when it has none:
// ("song-1.mp3", 2) gives "song-1_2.mp3", ("piece7", 1) gives "piece7_1".
std::string InsertNumberBeforeExtension(const std::string& name, int number);

// Whether anything (file, folder, even a dangling symbolic link) exists at path.
bool FileExists(const std::filesystem::path& path);

// Whether a folder (or a link to one) exists at path.
bool IsFolder(const std::filesystem::path& path);

// Creates every missing folder along path, level by level from the left. Fails when a level
// exists but is not a folder, or cannot be created.
[[nodiscard]] bool CreateFolderTree(const std::filesystem::path& path);

enum class CreateMissing { No, Yes };

// True at once when path is an existing folder; otherwise CreateFolderTree with
// CreateMissing::Yes, false without it.
[[nodiscard]] bool EnsureFolder(const std::filesystem::path& path, CreateMissing create);

// The folder text of a source re-created below another folder: doubled separators collapsed to
// one, colons dropped, and leading separators dropped so that the result is relative.
// "/music/a/" gives "music/a/", "C:\Music\" gives "C\Music\" on Windows.
std::string MirroredFolderText(const std::string& sourceFolder);

}  // namespace qm
