// The one place that talks to liblnk.

#include "output/Shortcut.h"

// liblnk's feature header announces libbfio handles, whose header Debian does not install with
// it; the handle-based calls are not used here, so that part of the interface is left out.
#include <liblnk/features.h>
#undef LIBLNK_HAVE_BFIO
#include <liblnk.h>

#include <memory>
#include <string>
#include <vector>

namespace qm {

namespace {

// Owner of a liblnk error record; liblnk allocates one on every failure.
struct LnkError {
    liblnk_error_t* error = nullptr;
    LnkError() = default;
    LnkError(const LnkError&) = delete;
    LnkError& operator=(const LnkError&) = delete;
    ~LnkError() {
        if (error != nullptr) liblnk_error_free(&error);
    }
    liblnk_error_t** Out() {
        if (error != nullptr) liblnk_error_free(&error);
        return &error;
    }
};

// Owner of an open liblnk file.
class LnkFile {
public:
    LnkFile() = default;
    LnkFile(const LnkFile&) = delete;
    LnkFile& operator=(const LnkFile&) = delete;
    ~LnkFile() {
        LnkError error;
        if (m_open) liblnk_file_close(m_file, error.Out());
        if (m_file != nullptr) liblnk_file_free(&m_file, error.Out());
    }

    [[nodiscard]] bool Open(const std::string& path) {
        LnkError error;
        if (liblnk_file_initialize(&m_file, error.Out()) != 1) return false;
        m_open = liblnk_file_open(m_file, path.c_str(), LIBLNK_OPEN_READ, error.Out()) == 1;
        return m_open;
    }
    liblnk_file_t* Handle() const { return m_file; }

private:
    liblnk_file_t* m_file = nullptr;
    bool m_open = false;
};

using SizeGetter = int (*)(liblnk_file_t*, size_t*, liblnk_error_t**);
using TextGetter = int (*)(liblnk_file_t*, uint8_t*, size_t, liblnk_error_t**);

// One UTF-8 string value of the link, or empty when the link does not hold it.
std::string ReadText(liblnk_file_t* file, SizeGetter getSize, TextGetter getText) {
    LnkError error;
    size_t size = 0;
    if (getSize(file, &size, error.Out()) != 1 || size <= 1) return {};
    std::vector<uint8_t> text(size);
    if (getText(file, text.data(), size, error.Out()) != 1) return {};
    // size counts the terminating zero.
    return std::string(reinterpret_cast<const char*>(text.data()), size - 1);
}

bool PointsAtFolder(liblnk_file_t* file) {
    LnkError error;
    uint32_t attributes = 0;
    if (liblnk_file_get_file_attribute_flags(file, &attributes, error.Out()) != 1) return false;
    return (attributes & LIBLNK_FILE_ATTRIBUTE_FLAG_DIRECTORY) != 0;
}

}  // namespace

namespace {

bool ReadShortcut(const std::filesystem::path& shortcutPath, std::filesystem::path* target) {
    LnkFile link;
    if (!link.Open(shortcutPath.string())) return false;
    if (PointsAtFolder(link.Handle())) return false;
    std::string path = ReadText(link.Handle(), liblnk_file_get_utf8_local_path_size, liblnk_file_get_utf8_local_path);
    if (path.empty()) {
        path = ReadText(link.Handle(), liblnk_file_get_utf8_network_path_size, liblnk_file_get_utf8_network_path);
    }
    if (path.empty()) return false;
#ifndef _WIN32
    // Shortcuts store Windows paths; "/" is the separator here.
    for (char& c : path) {
        if (c == '\\') c = '/';
    }
#endif
    *target = path;
    return true;
}

}  // namespace

bool ResolveShortcut(const std::filesystem::path& shortcutPath, std::filesystem::path* target) {
    target->clear();
    try {
        return ReadShortcut(shortcutPath, target);
    } catch (const std::exception&) {  // out of memory: no target
        target->clear();
        return false;
    }
}

}  // namespace qm
