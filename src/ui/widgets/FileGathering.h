#pragma once

// Gathering MP3 paths for the file lists: a folder searched with all its subfolders, shortcut
// files followed to their targets, and the items dropped from a file manager.

#include <filesystem>
#include <vector>

#include "progress/Progress.h"

namespace qm {

using PathList = std::vector<std::filesystem::path>;

// Whether the path's extension (from the last dot of its name on) is ext, ignoring case.
bool HasExtension(const std::filesystem::path& path, const char* ext);

// Appends folder and then every folder below it, depth first, each before its children, in the
// file system's order. Symbolic links to folders are not entered, so a link back up the tree
// cannot make the search endless. Folders that cannot be read contribute nothing.
void CollectFolders(const std::filesystem::path& folder, PathList* folders, const LongOperation& operation = {});

// The MP3 files of folder and its subfolders: per folder, its .mp3 files, then the MP3 targets of
// its .lnk shortcuts, then the next folder. Pumps after every folder; stops early when the
// operation is cancelled.
void SearchFolders(const std::filesystem::path& folder, PathList* files, const LongOperation& operation = {});

// Follows a chain of shortcuts from path (at most a few dozen, so a loop ends); true with the
// final target when it is an MP3 file.
bool FollowShortcutsToMp3(const std::filesystem::path& path, std::filesystem::path* target);

// The MP3 paths of dropped items, in their order: folders searched, .mp3 files taken, shortcuts
// followed; anything else ignored.
PathList GatherDroppedPaths(const PathList& items, const LongOperation& operation = {});

}  // namespace qm
