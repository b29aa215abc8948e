#include "ui/widgets/FileGathering.h"

#include <cctype>
#include <string>
#include <system_error>

#include "output/Shortcut.h"

namespace qm {

namespace fs = std::filesystem;

namespace {

// A chain of shortcuts longer than this is taken for a loop.
constexpr int kMaxShortcutHops = 32;

bool EqualsIgnoringCase(const std::string& a, const char* b) {
    const std::string other(b);
    if (a.size() != other.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(other[i]))) {
            return false;
        }
    }
    return true;
}

// The non-folder entries of folder whose extension is ext, in enumeration order. Symbolic
// links to files count as files.
PathList FilesWithExtension(const fs::path& folder, const char* ext) {
    PathList found;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::error_code typeError;
        if (it->is_directory(typeError) || !HasExtension(it->path(), ext)) continue;
        found.push_back(it->path());
    }
    return found;
}

}  // namespace

bool HasExtension(const fs::path& path, const char* ext) { return EqualsIgnoringCase(path.extension().string(), ext); }

void CollectFolders(const fs::path& folder, PathList* folders, const LongOperation& operation) {
    folders->push_back(folder);
    operation.Pump();
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        if (operation.Cancelled()) return;
        std::error_code typeError;
        if (it->is_symlink(typeError) || !it->is_directory(typeError)) continue;
        CollectFolders(it->path(), folders, operation);
    }
}

void SearchFolders(const fs::path& folder, PathList* files, const LongOperation& operation) {
    PathList folders;
    CollectFolders(folder, &folders, operation);
    for (const fs::path& each : folders) {
        if (operation.PumpAndCheckCancel()) return;
        for (fs::path& path : FilesWithExtension(each, ".mp3")) {
            files->push_back(std::move(path));
        }
        for (const fs::path& shortcut : FilesWithExtension(each, ".lnk")) {
            fs::path target;
            if (ResolveShortcut(shortcut, &target) && HasExtension(target, ".mp3")) {
                files->push_back(std::move(target));
            }
        }
    }
}

bool FollowShortcutsToMp3(const fs::path& path, fs::path* target) {
    fs::path current = path;
    for (int hop = 0; hop < kMaxShortcutHops && HasExtension(current, ".lnk"); ++hop) {
        fs::path next;
        if (!ResolveShortcut(current, &next)) return false;
        if (HasExtension(next, ".mp3")) {
            *target = std::move(next);
            return true;
        }
        current = std::move(next);
    }
    return false;
}

PathList GatherDroppedPaths(const PathList& items, const LongOperation& operation) {
    PathList files;
    for (const fs::path& item : items) {
        if (operation.PumpAndCheckCancel()) break;
        std::error_code error;
        fs::path target;
        if (fs::is_directory(item, error)) {
            SearchFolders(item, &files, operation);
        } else if (HasExtension(item, ".mp3")) {
            files.push_back(item);
        } else if (FollowShortcutsToMp3(item, &target)) {
            files.push_back(std::move(target));
        }
    }
    return files;
}

}  // namespace qm
