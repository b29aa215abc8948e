#pragma once

// File-name and ID3-title templates of split pieces: the tags %F% %P% %T% %S% %I% %A% %L% %Y%
// %G% %N% %C% %R%, zero-padding of piece numbers, the cleaning of file names, the predefined template
// lists, the live samples and the tag help texts.

#include <array>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "output/PieceNumbers.h"
#include "stream/Tags.h"

namespace qm {

// Reads the tag of a source file; same contract as ReadTags. Injected so that callers and tests
// can choose how (and observe how often) a source's tag is read.
using TagReader = std::function<bool(const std::filesystem::path& path, TagInfo* tags)>;

// Number of characters of n written as an unsigned decimal: 1 for 0..9, 2 for 10..99, ...
int DigitCount(int n);

// n in decimal with leading zeros up to at least width digits (printf "%0*d"); never cut.
std::string PadNumber(int n, int width);

// name made safe as one file or folder name: each of \ / : * ? " < > | and every control
// character becomes a space, and a name of "." or ".." becomes "_" or "__".
std::string CleanFileName(std::string name);

// Expands a file-name template. fileTitle fills %F%; the piece (%P%), total (%T%) and sequence
// (%S%) numbers are padded to numbers.digits as given (0 adds no zeros); %C% is the piece's own title (fileTitle
// where its mark gives none). When the text holds %I% %A% %L% %Y% %G% %N% or %R% (the piece's performer, else the
// source's artist), the tag of sourcePath is read once through readTags (an unreadable or untagged source gives empty
// values); without a source path the sample values "Title", "Artist", "Album", "Year", "Genre" and track "9" stand in.
// Finally the name is cleaned with CleanFileName. Never fails.
std::string ExpandFileNameTemplate(const std::string& nameTemplate, const std::string& fileTitle,
                                   const std::optional<std::filesystem::path>& sourcePath, const PieceNumbers& numbers,
                                   const TagReader& readTags);

// The same, reading the source's tag with ReadTags.
std::string ExpandFileNameTemplate(const std::string& nameTemplate, const std::string& fileTitle,
                                   const std::optional<std::filesystem::path>& sourcePath, const PieceNumbers& numbers);

// Expands an ID3-title template: %I% = the source's title, %R% = the piece's performer (the
// source's artist where its mark gives none), %P% %T% %S% padded to numbers.digits (0 or less
// means DigitCount(total)), then %C% = the piece's own title (fileTitle where its mark gives
// none) and %F% = fileTitle. No characters are replaced. Never fails.
std::string ExpandTitleTemplate(const std::string& titleTemplate, const TagInfo& sourceTag,
                                const std::string& fileTitle, const PieceNumbers& numbers);

// The sample label shown beside the file-name template: "Samples: %s, %s..." with pieces 1 and 2
// of 9 of a file titled "filename" (digitNumber 0 gives 1 digit); empty for an empty template.
std::string FileNameSamples(const std::string& nameTemplate, int digitNumber);
// The sample label shown beside the title template: "%s, %s..." with pieces 1 and 2 of 9,
// source title "Title" and file title "filename"; empty for an empty template.
std::string TitleSamples(const std::string& titleTemplate, int digitNumber);

inline constexpr int kFileNameTemplateCount = 21;
inline constexpr int kTitleTemplateCount = 24;
// The predefined templates offered in the two drop-down lists, in their listed order.
const std::array<const char*, kFileNameTemplateCount>& PredefinedFileNameTemplates();
const std::array<const char*, kTitleTemplateCount>& PredefinedTitleTemplates();

// The help texts of the two template boxes (lines joined by line feeds).
const std::string& FileNameTagHelp();
const std::string& TitleTagHelp();

}  // namespace qm
