#pragma once

// Label files as a sound editor exports them: one label a line, "start<TAB>end<TAB>text",
// times in seconds with a decimal point. A region label (end after start) is a piece with
// that title; a point label (start = end) is a cut point: the piece that begins there, titled
// with its text, runs to the next label (the audio before the first point is a piece too,
// untitled, unless a region begins before that point).

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "marks/Marks.h"

namespace qm {

// Nothing, with *error = "line N: WHAT" or "no labels", for text that cannot be used.
std::optional<MarkList> ParseLabels(std::string_view bytes, std::string* error);

// The same for a file; *message is the whole line shown to the user:
// "Failed to read label file \"PATH\": line N: WHAT." (or ": WHAT." without a line).
std::optional<MarkList> ReadLabelFile(const std::filesystem::path& path, std::string* message);

// One region label a mark (a mark with an end keeps it; one that runs to the next mark ends
// at the next mark's begin, or at lastEnd when it is the last).
std::string LabelText(const MarkList& marks, Millis lastEnd);

// Writes LabelText to path whole or not at all; messages as WriteCueSheet's.
bool WriteLabelFile(const std::filesystem::path& path, const MarkList& marks, Millis lastEnd, std::string* message);

}  // namespace qm
