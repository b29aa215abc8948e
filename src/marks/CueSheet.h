#pragma once

// Cue sheets: FILE, TRACK nn AUDIO, TITLE, PERFORMER, INDEX 00/01 (mm:ss:ff, 75 frames a
// second), REM GENRE and REM DATE, values quoted or not. A piece begins at its track's
// INDEX 01; a pregap (INDEX 00) stays with the track before. The first piece begins at 0
// even when the first INDEX 01 is later: the audio before the first track is kept with it.
// Text is UTF-8 (with or without a byte-order mark); a sheet that is not valid UTF-8 is read
// as Windows-1252.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "marks/Marks.h"

namespace qm {

// The marks of a sheet's bytes: one mark a track, titled and performed as the sheet says
// (a track without PERFORMER takes the sheet's), the album, genre and year from the sheet.
// The FILE line's name is not checked: the sheet is used for whatever source it is given.
// Nothing, with *error = "line N: WHAT" (or "WHAT" for the sheet as a whole, such as "no
// tracks"), for a sheet that cannot be used.
std::optional<MarkList> ParseCueSheet(std::string_view bytes, std::string* error);

// The same for a file; *message is the whole line shown to the user:
// "Failed to read cue sheet \"PATH\": line N: WHAT." (or ": WHAT." without a line).
std::optional<MarkList> ReadCueSheet(const std::filesystem::path& path, std::string* message);

// The sheet of the marks for the audio file named audioFileName (its FILE line), in UTF-8:
// one TRACK a mark with its TITLE and PERFORMER where it has them and its INDEX 01.
std::string CueSheetText(const MarkList& marks, const std::string& audioFileName);

// Writes CueSheetText to path whole or not at all; false with "Failed to create file
// \"PATH\"." or "Failed to write file \"PATH\"." in *message.
bool WriteCueSheet(const std::filesystem::path& path, const MarkList& marks, const std::string& audioFileName,
                   std::string* message);

// The sheet a source keeps beside it: NAME.cue for NAME.mp3.
std::filesystem::path CueSheetBeside(const std::filesystem::path& source);

}  // namespace qm
