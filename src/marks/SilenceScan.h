#pragma once

// Splitting at pauses: the scan that finds the pauses of a file and the rules that turn them
// into pieces (threshold, shortest pause, shortest and longest piece, trimming).

#include <filesystem>
#include <optional>
#include <string>

#include "marks/Marks.h"
#include "progress/Progress.h"
#include "settings/Options.h"

namespace qm {

// The marks of source's pieces as options say: each cut at the quietest frame of a pause
// (a frame boundary), pieces contiguous unless TrimSilence leaves the pauses out. Nothing,
// with *message = "No silence found in \"PATH\"." when no pause makes a cut, or the open
// failure; nothing with an empty message when the operation's cancel flag stopped it. The
// operation's bar shows the scan. Memory does not grow with the file.
std::optional<MarkList> FindSilenceMarks(const std::filesystem::path& source, const SilenceOptions& options,
                                         const LongOperation& operation, std::string* message);

}  // namespace qm
