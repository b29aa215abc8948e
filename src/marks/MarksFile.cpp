// Reading and writing the text files of marks.

#include "marks/MarksFile.h"

#include <exception>
#include <system_error>

#include "stream/FailureMessages.h"
#include "stream/File.h"

namespace qm {

namespace {

// Reads up to limit + 1 bytes, so that a file above the limit (or one that grew past it since
// its size was taken) shows as too large.
bool ReadUpTo(File& file, std::uintmax_t limit, std::string* bytes) {
    constexpr std::size_t kChunkBytes = 64 * 1024;
    bytes->clear();
    while (bytes->size() <= limit) {
        const std::size_t at = bytes->size();
        bytes->resize(at + kChunkBytes);
        const std::int64_t got = file.Read(bytes->data() + at, kChunkBytes);
        if (got < 0) return false;
        bytes->resize(at + static_cast<std::size_t>(got));
        if (got == 0) break;
    }
    return true;
}

}  // namespace

bool ReadMarksFile(const std::filesystem::path& path, std::string* bytes, std::string* problem) {
    bytes->clear();
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (status.type() == std::filesystem::file_type::not_found) {
        *problem = "no such file";
        return false;
    }
    File file;
    std::uint64_t byteCount = 0;
    if (error || !file.OpenRead(path) || !file.Size(&byteCount)) {
        *problem = "cannot be read";
        return false;
    }
    if (byteCount > kMaxMarksFileBytes) {
        *problem = "too large";
        return false;
    }
    if (!ReadUpTo(file, kMaxMarksFileBytes, bytes)) {
        bytes->clear();
        *problem = "cannot be read";
        return false;
    }
    if (bytes->size() > kMaxMarksFileBytes) {
        bytes->clear();
        *problem = "too large";
        return false;
    }
    return true;
}

std::optional<MarkList> ReadMarksWith(const std::filesystem::path& path, const char* kind, MarksParser parse,
                                      std::string* message) {
    std::string bytes;
    std::string problem;
    std::optional<MarkList> marks;
    if (ReadMarksFile(path, &bytes, &problem)) marks = parse(bytes, &problem);
    if (!marks) *message = std::string("Failed to read ") + kind + " \"" + path.string() + "\": " + problem + ".";
    return marks;
}

std::vector<std::string_view> TextLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t begin = 0;
    while (begin < text.size()) {
        const std::size_t end = text.find_first_of("\r\n", begin);
        if (end == std::string_view::npos) {
            lines.push_back(text.substr(begin));
            break;
        }
        lines.push_back(text.substr(begin, end - begin));
        // CR LF is one break; a lone CR (old Mac text) is one too.
        begin = end + 1;
        if (text[end] == '\r' && begin < text.size() && text[begin] == '\n') ++begin;
    }
    return lines;
}

std::string LineError(std::size_t lineNumber, const std::string& what) {
    return "line " + std::to_string(lineNumber) + ": " + what;
}

bool WriteMarksFile(const std::filesystem::path& path, std::string_view text, std::string* message) {
    try {
        AtomicOutputFile output;
        if (!output.Create(path)) {
            *message = FailedToCreateMessage(path);
            return false;
        }
        if (!output.Out().Write(text.data(), text.size()) || !output.Commit()) {
            output.Discard();
            *message = FailedToWriteMessage(path);
            return false;
        }
        return true;
    } catch (const std::exception&) {
        *message = FailedToWriteMessage(path);
        return false;
    }
}

}  // namespace qm
