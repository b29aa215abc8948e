#pragma once

// Where the marks of one file of a run come from: its pauses, a cue sheet or label file the
// user named, the cue sheet beside it, or its chapters; and the planner that splits by them.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "batch/BatchSplit.h"
#include "marks/Marks.h"
#include "settings/Options.h"

namespace qm {

// The marks of source; nothing with *message saying why when it has none or they cannot be
// read, or with an empty message when the operation was cancelled.
using MarkReader = std::function<std::optional<MarkList>(const LongOperation& operation,
                                                         const std::filesystem::path& source, std::string* message)>;

// The pauses of each file (FindSilenceMarks with options).
MarkReader SilenceMarks(const SilenceOptions& options);
// One sheet or label file for every source the reader is given.
MarkReader CueSheetMarks(const std::filesystem::path& sheet);
MarkReader LabelFileMarks(const std::filesystem::path& labels);
// Each file's own NAME.cue beside it; a file without one fails with NoCueSheetBesideMessage.
MarkReader CueSheetBesideMarks();
// Each file's chapters.
MarkReader ChapterMarks();
// Each file's own NAME.cue beside it, else its chapters; a file with neither fails with
// NoCueSheetOrChaptersMessage.
MarkReader CueSheetOrChapterMarks();

// "No cue sheet beside \"PATH\" (NAME.cue)."
std::string NoCueSheetBesideMessage(const std::filesystem::path& source);
// "\"PATH\" has no cue sheet beside it (NAME.cue) and no chapters."
std::string NoCueSheetOrChaptersMessage(const std::filesystem::path& source);

// Splits each file by the marks read returns for it (mark_plans::PlanMarks with the run's
// sequence number and the first-pieces option); a file whose marks cannot be read fails with
// the reader's message, nothing written.
BatchFilePlanner MakeMarksFilePlanner(MarkReader read);

}  // namespace qm
