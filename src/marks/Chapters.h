#pragma once

// A file's own chapters: the CHAP frames of its ID3v2 tag, in the order of the top-level CTOC
// table where there is one, else by start time.

#include <filesystem>
#include <optional>
#include <string>

#include "marks/Marks.h"

namespace qm {

// One mark a chapter, with the chapter's begin, end and title. Nothing, with *message =
// "\"PATH\" has no chapters." (or the open failure), when there are none.
std::optional<MarkList> ReadChapterMarks(const std::filesystem::path& source, std::string* message);

}  // namespace qm
