#pragma once

// Shell-link (.lnk) shortcuts: the file a shortcut points at.

#include <filesystem>

namespace qm {

// Reads the shortcut file at shortcutPath and sets *target to the path it points at (the local
// path, else the network path, of its link information; on POSIX backslashes become "/").
// False, with *target emptied, when the file is no readable shortcut, holds no target path, or
// points at a folder.
[[nodiscard]] bool ResolveShortcut(const std::filesystem::path& shortcutPath, std::filesystem::path* target);

}  // namespace qm
