#pragma once

// The --json output of every command: one document per run, in one shape.
//
//   {"command":"split","files":[
//   {"file":"a.mp3","status":"done","outcome":"2 piece(s)","outputs":["a-1.mp3","a-2.mp3"]},
//   {"file":"b.mp3","status":"failed","outcome":"Failure: ...","outputs":[]}
//   ],"cancelled":false}
//
// Each file is one line, written as soon as it is known, so a long run can be read as it goes
// and memory does not grow with the number of files. A command adds its own members to a
// record (info: "info", the figures of the file; join: "join", how it joined; split and join
// with --gain: "gainDb" and "clampedGranules"). Texts are UTF-8; a path, which may hold any
// bytes, is shown with each byte that is not part of valid UTF-8 as U+FFFD, and then carries
// its exact bytes in base64 as well: "fileBase64" beside "file", and "outputsBase64" (every
// output, in order) beside "outputs".

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "progress/RunResult.h"

namespace qm::cli {

// What became of one file of a run.
enum class FileStatus { Done, Failed, Cancelled, NotRun };

// The "status" text of a record: "done", "failed", "cancelled" or "not run".
const char* FileStatusName(FileStatus status);

// The status of a file whose run ended in result; NotRun for a file the run did not reach.
FileStatus StatusOf(const std::optional<RunResult>& result);

// One file of a run as its record shows it.
struct FileRecord {
    std::string file;
    FileStatus status = FileStatus::NotRun;
    std::string outcome;               // the outcome text of the command's line output, or the error
    std::vector<std::string> outputs;  // the files written for it
    std::vector<std::pair<std::string, nlohmann::ordered_json>> extra;  // the command's own members, in order
};

// The record as one line of JSON (no line feed).
std::string RecordJson(const FileRecord& record);

// Writes one run's document to out: the head at construction, a line per Add, the tail at
// Finish.
class JsonReport {
public:
    JsonReport(std::ostream& out, std::string_view command);
    JsonReport(const JsonReport&) = delete;
    JsonReport& operator=(const JsonReport&) = delete;

    void Add(const FileRecord& record);
    // Closes the document; cancelled says whether the run was stopped by the user.
    void Finish(bool cancelled);

private:
    std::ostream& m_out;
    bool m_first = true;
};

// text with every byte that is not part of valid UTF-8 replaced by U+FFFD (one for each bad
// byte, so that the valid characters after it come back unchanged).
std::string ValidUtf8Text(std::string_view text);
// Whether text is valid UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool IsValidUtf8(std::string_view text);
// The bytes in base64 (RFC 4648, with padding).
std::string Base64(std::string_view bytes);

}  // namespace qm::cli
