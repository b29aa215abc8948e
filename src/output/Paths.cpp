#include "output/Paths.h"

#include <system_error>

namespace qm {

namespace {

// Position of the dot that begins the final extension of a file name, or npos without one.
// A leading dot counts too, so that a name made of nothing but ".mp3" keeps ".mp3" as its
// extension.
std::size_t ExtensionDot(const std::string& name) { return name.rfind('.'); }

std::size_t LastSeparator(const std::string& text) {
    for (std::size_t i = text.size(); i > 0; --i) {
        if (IsPathSeparator(text[i - 1])) return i - 1;
    }
    return std::string::npos;
}

}  // namespace

bool IsPathSeparator(char c) {
#ifdef _WIN32
    return c == '/' || c == '\\';
#else
    return c == '/';
#endif
}

bool FolderOfPath(const std::filesystem::path& path, std::filesystem::path* folder) {
    const std::string text = path.string();
    const std::size_t last = LastSeparator(text);
    if (last == std::string::npos) return false;
    *folder = text.substr(0, last + 1);
    return true;
}

std::string FileTitleOf(const std::filesystem::path& path) {
    const std::string text = path.string();
    const std::size_t last = LastSeparator(text);
    std::string name = last == std::string::npos ? text : text.substr(last + 1);
    const std::size_t dot = ExtensionDot(name);
    if (dot != std::string::npos) name.erase(dot);
    return name;
}

std::string InsertNumberBeforeExtension(const std::string& name, int number) {
    std::string suffix = "_";
    suffix += std::to_string(number);
    const std::size_t dot = ExtensionDot(name);
    std::string numbered = name.substr(0, dot);
    numbered += suffix;
    if (dot != std::string::npos) numbered.append(name, dot, std::string::npos);
    return numbered;
}

bool FileExists(const std::filesystem::path& path) {
    std::error_code error;
    // symlink_status: a dangling link is something that exists, and writing "through" it
    // would create a file elsewhere.
    return std::filesystem::exists(std::filesystem::symlink_status(path, error));
}

bool IsFolder(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::is_directory(path, error);
}

namespace {

// One level of CreateFolderTree: an existing level must be a folder, a missing one is made.
bool EnsureLevel(const std::filesystem::path& level) {
    if (FileExists(level)) return IsFolder(level);
    std::error_code error;
    if (std::filesystem::create_directory(level, error)) return true;
    // Someone else may have made it in the meantime.
    return IsFolder(level);
}

}  // namespace

bool CreateFolderTree(const std::filesystem::path& path) {
    const std::string text = path.string();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!IsPathSeparator(text[i])) continue;
        const std::string prefix = text.substr(0, i);
        // The empty prefix before the leading separator of an absolute path is the root,
        // which always exists.
        if (prefix.empty()) continue;
        if (!EnsureLevel(prefix)) return false;
    }
    if (text.empty() || IsPathSeparator(text.back())) return true;
    return EnsureLevel(text);
}

bool EnsureFolder(const std::filesystem::path& path, CreateMissing create) {
    if (IsFolder(path)) return true;
    return create == CreateMissing::Yes && CreateFolderTree(path);
}

std::string MirroredFolderText(const std::string& sourceFolder) {
    std::string mirrored;
    mirrored.reserve(sourceFolder.size());
    for (char c : sourceFolder) {
        // A drive letter's colon is no valid folder-name character below another folder.
        if (c == ':') continue;
        const bool separator = IsPathSeparator(c);
        if (separator && (mirrored.empty() || IsPathSeparator(mirrored.back()))) continue;
        mirrored += c;
    }
    return mirrored;
}

}  // namespace qm
