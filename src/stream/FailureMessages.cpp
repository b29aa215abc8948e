#include "stream/FailureMessages.h"

namespace qm {

namespace {

enum class Ending { FullStop, None };

std::string FailedTo(const char* verb, const char* what, const std::string& name, Ending ending) {
    std::string message = "Failed to ";
    message += verb;
    message += ' ';
    message += what;
    message += " \"";
    message += name;
    message += '"';
    if (ending == Ending::FullStop) message += '.';
    return message;
}

std::string FileMessage(const char* verb, const std::filesystem::path& path) {
    return FailedTo(verb, "file", path.string(), Ending::FullStop);
}

}  // namespace

std::string FailedToLoadMessage(const std::filesystem::path& path) { return FileMessage("load", path); }

std::string FailedToOpenMessage(const std::filesystem::path& path) { return FileMessage("open", path); }

std::string FailedToCreateMessage(const std::filesystem::path& path) { return FileMessage("create", path); }

std::string FailedToWriteMessage(const std::filesystem::path& path) { return FileMessage("write", path); }

std::string SourceChangedMessage(const std::filesystem::path& path) {
    return FailedTo("read", "file", path.string(), Ending::None) + ": it changed while it was read.";
}

std::string FailedToEncodeMessage(const std::filesystem::path& path) { return FileMessage("encode", path); }

std::string FailedToStartEncoderMessage(const std::filesystem::path& path) {
    return FileMessage("initialize the MP3 encoder for", path);
}

std::string VerificationFailedMessage(const std::filesystem::path& path, const std::string& problem) {
    return "Verification failed for file \"" + path.string() + "\": " + problem + ".";
}

std::string CreateFileFailedReason(const std::filesystem::path& path) {
    return FailedTo("create", "file", path.string(), Ending::None);
}

std::string CreateFolderFailedReason(const std::string& folder) {
    return FailedTo("create", "folder", folder, Ending::None);
}

std::string QuotedText(std::string_view text) {
    // Built by appending: GCC 12 warns falsely about a literal + string concatenation here.
    std::string quoted;
    quoted.reserve(text.size() + 2);
    quoted += '"';
    quoted += text;
    quoted += '"';
    return quoted;
}

}  // namespace qm
