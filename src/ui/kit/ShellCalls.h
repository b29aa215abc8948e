#pragma once

// Opening files and addresses the way the desktop would (a double click in the file manager,
// a link in a browser), and showing a file selected in the file manager.

#include <QString>
#include <functional>

namespace qm {

// How the window that opens a target is shown.
enum class ShowMode { Normal, Maximized };

// Result codes of OpenWithShell: above kShellSuccessAbove means the target was opened; the
// failure codes are those the link message explains (see LinkFailureReason).
inline constexpr int kShellSuccessAbove = 32;
inline constexpr int kShellOpened = 42;
inline constexpr int kShellFileNotFound = 2;
inline constexpr int kShellPathNotFound = 3;
inline constexpr int kShellNoAssociation = 31;

// Opens target (an address such as "https://..." or "mailto:...", or a local file path) with
// the application the desktop associates with it. Returns a code above 32 on success; 2 when
// a local file does not exist, 3 when its folder does not exist either, 31 when no
// application accepted it.
int OpenWithShell(const QString& target, ShowMode mode = ShowMode::Normal);

// Shows path selected in the file manager (the freedesktop FileManager1 ShowItems call over
// D-Bus); when no file manager answers it, opens the file's folder with openFolder instead
// (which returns an OpenWithShell code). False when neither worked.
bool SelectInExplorer(const QString& path, const std::function<int(const QString& folder)>& openFolder);

// The reason a link message gives for an OpenWithShell failure code: the fixed text of the
// known codes, "Unknown Error (%d) occurred." for any other.
QString LinkFailureReason(int code);

}  // namespace qm
