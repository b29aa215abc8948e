#include "cli/JsonReport.h"

#include <cstdint>
#include <ostream>

#include "stream/Utf8.h"

namespace qm::cli {

namespace {

using Json = nlohmann::ordered_json;

}  // namespace

std::string ValidUtf8Text(std::string_view text) {
    if (IsValidUtf8(text)) return std::string(text);
    std::string out;
    out.reserve(text.size() + 8);
    std::size_t at = 0;
    while (at < text.size()) {
        const auto byte = static_cast<unsigned char>(text[at]);
        const std::size_t length = byte < 0x80 ? 1 : Utf8SequenceLength(byte);
        if (length == 1 || (length > 1 && IsWellFormedUtf8Sequence(text, at, length))) {
            out.append(text.substr(at, length));
            at += length;
        } else {
            out += "\xEF\xBF\xBD";
            ++at;
        }
    }
    return out;
}

FileStatus StatusOf(const std::optional<RunResult>& result) {
    if (!result) return FileStatus::NotRun;
    switch (result->outcome) {
        case RunOutcome::Done:
            return FileStatus::Done;
        case RunOutcome::Failed:
            return FileStatus::Failed;
        case RunOutcome::Cancelled:
            return FileStatus::Cancelled;
    }
    return FileStatus::NotRun;
}

const char* FileStatusName(FileStatus status) {
    switch (status) {
        case FileStatus::Done:
            return "done";
        case FileStatus::Failed:
            return "failed";
        case FileStatus::Cancelled:
            return "cancelled";
        case FileStatus::NotRun:
            break;
    }
    return "not run";
}

bool IsValidUtf8(std::string_view text) { return IsWellFormedUtf8(text); }

std::string Base64(std::string_view bytes) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    // Three bytes make four characters of six bits each; a short last group is padded with '='.
    for (std::size_t at = 0; at < bytes.size(); at += 3) {
        const std::size_t left = bytes.size() - at;
        std::uint32_t group = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at])) << 16;
        if (left > 1) group |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8;
        if (left > 2) group |= static_cast<unsigned char>(bytes[at + 2]);
        out += kAlphabet[(group >> 18) & 0x3F];
        out += kAlphabet[(group >> 12) & 0x3F];
        out += left > 1 ? kAlphabet[(group >> 6) & 0x3F] : '=';
        out += left > 2 ? kAlphabet[group & 0x3F] : '=';
    }
    return out;
}

std::string RecordJson(const FileRecord& record) {
    Json json;
    json["file"] = ValidUtf8Text(record.file);
    if (!IsValidUtf8(record.file)) json["fileBase64"] = Base64(record.file);
    json["status"] = FileStatusName(record.status);
    json["outcome"] = ValidUtf8Text(record.outcome);
    Json outputs = Json::array();
    bool allUtf8 = true;
    for (const std::string& output : record.outputs) {
        outputs.push_back(ValidUtf8Text(output));
        allUtf8 = allUtf8 && IsValidUtf8(output);
    }
    json["outputs"] = std::move(outputs);
    if (!allUtf8) {
        Json raw = Json::array();
        for (const std::string& output : record.outputs) raw.push_back(Base64(output));
        json["outputsBase64"] = std::move(raw);
    }
    for (const auto& [name, value] : record.extra) json[name] = value;
    // Texts from elsewhere in the command's own member (tag fields) get the same U+FFFD rule.
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

JsonReport::JsonReport(std::ostream& out, std::string_view command) : m_out(out) {
    m_out << "{\"command\":" << Json(std::string(command)).dump() << ",\"files\":[";
}

void JsonReport::Add(const FileRecord& record) {
    m_out << (m_first ? "\n" : ",\n") << RecordJson(record);
    m_first = false;
    m_out.flush();
}

void JsonReport::Finish(bool cancelled) {
    m_out << (m_first ? "" : "\n") << "],\"cancelled\":" << (cancelled ? "true" : "false") << "}\n";
    m_out.flush();
}

}  // namespace qm::cli
