#pragma once

// The small text files that carry marks (cue sheets, label files): read whole up to a size
// limit, cut into lines, and written whole or not at all.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "marks/Marks.h"

namespace qm {

// The largest marks file that is read. A cue sheet of 99 tracks or a label file of a thousand
// labels takes a few tens of kilobytes; a larger file is not a marks file.
inline constexpr std::uintmax_t kMaxMarksFileBytes = std::uintmax_t{1} << 20;

// Reads the whole of a marks file into *bytes. False with *problem = "no such file",
// "cannot be read" or "too large" (above kMaxMarksFileBytes).
bool ReadMarksFile(const std::filesystem::path& path, std::string* bytes, std::string* problem);

// Reads a marks file of the kind named ("cue sheet") and parses its bytes. Nothing, with
// *message = "Failed to read KIND \"PATH\": PROBLEM." where PROBLEM is the read failure or
// the parser's error.
using MarksParser = std::optional<MarkList> (*)(std::string_view bytes, std::string* error);
std::optional<MarkList> ReadMarksWith(const std::filesystem::path& path, const char* kind, MarksParser parse,
                                      std::string* message);

// The lines of text: a line ends at LF, CR LF or a lone CR; a break at the very end does not
// begin another line.
std::vector<std::string_view> TextLines(std::string_view text);

// A parser's error about one line: "line N: WHAT" (lines counted from 1).
std::string LineError(std::size_t lineNumber, const std::string& what);

// Writes text to path whole or not at all (a temporary file renamed over the target). False
// with "Failed to create file \"PATH\"." or "Failed to write file \"PATH\"." in *message.
bool WriteMarksFile(const std::filesystem::path& path, std::string_view text, std::string* message);

}  // namespace qm
