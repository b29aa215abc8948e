#include "output/Templates.h"

#include <string_view>
#include <utility>

namespace qm {

namespace {

// Replaces every occurrence of `tag` in *text with `value`, scanning left to right; text brought
// in by the replacement is not scanned again by this call.
void ReplaceAll(std::string* text, std::string_view tag, const std::string& value) {
    std::size_t at = text->find(tag);
    while (at != std::string::npos) {
        text->replace(at, tag.size(), value);
        at = text->find(tag, at + value.size());
    }
}

void ReplaceNumbers(std::string* text, const PieceNumbers& numbers, int width) {
    ReplaceAll(text, "%P%", PadNumber(numbers.piece, width));
    ReplaceAll(text, "%T%", PadNumber(numbers.total, width));
    ReplaceAll(text, "%S%", PadNumber(numbers.sequence, width));
}

constexpr std::string_view kTagFieldTags[] = {"%I%", "%A%", "%L%", "%Y%", "%G%", "%N%", "%R%"};

bool UsesTagFields(const std::string& text) {
    for (std::string_view tag : kTagFieldTags) {
        if (text.find(tag) != std::string::npos) return true;
    }
    return false;
}

// The values that stand in for a source's tag when there is no source (the option page's
// samples).
TagInfo SampleTag() {
    TagInfo tag;
    tag.title = "Title";
    tag.artist = "Artist";
    tag.album = "Album";
    tag.year = "Year";
    tag.genre = "Genre";
    tag.track = 9;
    return tag;
}

// Characters that no file name on Windows may hold; they are replaced on every platform so that
// pieces can be copied anywhere.
constexpr std::string_view kForbiddenNameChars = "\\/:*?\"<>|";

// Control characters (a line feed or tab from a tag, say) make names that shells, file lists
// and line-oriented output cannot show; they are unsafe like the forbidden characters.
bool IsControlChar(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7f;
}

// Sample expansions use the total 9 and the pieces 1 and 2, as if splitting into nine.
constexpr int kSampleTotal = 9;

// A piece's own title, or the file title where its mark gives none.
std::string OwnTitle(const PieceNumbers& numbers, const std::string& fileTitle) {
    return numbers.mark.title.empty() ? fileTitle : numbers.mark.title;
}

// A piece's performer, or the source's artist where its mark gives none.
std::string Performer(const PieceNumbers& numbers, const std::string& sourceArtist) {
    return numbers.mark.performer.empty() ? sourceArtist : numbers.mark.performer;
}

}  // namespace

std::string CleanFileName(std::string name) {
    for (char& c : name) {
        if (kForbiddenNameChars.find(c) != std::string_view::npos || IsControlChar(c)) c = ' ';
    }
    // "." and ".." name the folder itself and its parent, never a file of their own.
    if (name == "." || name == "..") name.assign(name.size(), '_');
    return name;
}

int DigitCount(int n) { return static_cast<int>(std::to_string(static_cast<unsigned>(n)).size()); }

std::string PadNumber(int n, int width) {
    const bool negative = n < 0;
    std::string digits = std::to_string(negative ? -static_cast<long long>(n) : static_cast<long long>(n));
    const std::size_t used = digits.size() + (negative ? 1 : 0);
    if (width > 0 && used < static_cast<std::size_t>(width)) {
        digits.insert(0, static_cast<std::size_t>(width) - used, '0');
    }
    return negative ? "-" + digits : digits;
}

std::string ExpandFileNameTemplate(const std::string& nameTemplate, const std::string& fileTitle,
                                   const std::optional<std::filesystem::path>& sourcePath, const PieceNumbers& numbers,
                                   const TagReader& readTags) {
    std::string name = nameTemplate;
    ReplaceAll(&name, "%F%", fileTitle);
    ReplaceNumbers(&name, numbers, numbers.digits);

    // The source is opened only when a tag field is asked for, and then once.
    if (UsesTagFields(name)) {
        TagInfo tag;
        if (!sourcePath) {
            tag = SampleTag();
        } else if (!readTags || !readTags(*sourcePath, &tag)) {
            tag = TagInfo{};
        }
        const std::string track = tag.track > 0 ? std::to_string(tag.track) : std::string();
        ReplaceAll(&name, "%I%", tag.title);
        ReplaceAll(&name, "%A%", tag.artist);
        ReplaceAll(&name, "%L%", tag.album);
        ReplaceAll(&name, "%Y%", tag.year);
        ReplaceAll(&name, "%G%", tag.genre);
        ReplaceAll(&name, "%N%", track);
        ReplaceAll(&name, "%R%", Performer(numbers, tag.artist));
    }
    // The piece's own title goes in last, so tags inside it stay as they are.
    ReplaceAll(&name, "%C%", OwnTitle(numbers, fileTitle));
    return CleanFileName(std::move(name));
}

std::string ExpandTitleTemplate(const std::string& titleTemplate, const TagInfo& sourceTag,
                                const std::string& fileTitle, const PieceNumbers& numbers) {
    std::string title = titleTemplate;
    ReplaceAll(&title, "%I%", sourceTag.title);
    ReplaceAll(&title, "%R%", Performer(numbers, sourceTag.artist));
    ReplaceNumbers(&title, numbers, numbers.digits > 0 ? numbers.digits : DigitCount(numbers.total));
    // The file title goes in last, so tags inside it stay as they are.
    ReplaceAll(&title, "%C%", OwnTitle(numbers, fileTitle));
    ReplaceAll(&title, "%F%", fileTitle);
    return title;
}

std::string FileNameSamples(const std::string& nameTemplate, int digitNumber) {
    if (nameTemplate.empty()) return {};
    const int width = digitNumber > 0 ? digitNumber : 1;
    const TagReader noReader;
    const std::string first = ExpandFileNameTemplate(nameTemplate, "filename", std::nullopt,
                                                     PieceNumbers{1, kSampleTotal, 1, width}, noReader);
    const std::string second = ExpandFileNameTemplate(nameTemplate, "filename", std::nullopt,
                                                      PieceNumbers{2, kSampleTotal, 2, width}, noReader);
    return "Samples: " + first + ", " + second + "...";
}

std::string TitleSamples(const std::string& titleTemplate, int digitNumber) {
    if (titleTemplate.empty()) return {};
    const std::string first =
        ExpandTitleTemplate(titleTemplate, SampleTag(), "filename", PieceNumbers{1, kSampleTotal, 1, digitNumber});
    const std::string second =
        ExpandTitleTemplate(titleTemplate, SampleTag(), "filename", PieceNumbers{2, kSampleTotal, 2, digitNumber});
    return first + ", " + second + "...";
}

}  // namespace qm
