#pragma once

// The messages an operation leaves when a file or folder lets it down, worded one way
// everywhere: "Failed to write file \"x.mp3\".", the path as the caller gave it.

#include <filesystem>
#include <string>
#include <string_view>

namespace qm {

// "Failed to load file \"<path>\".": the source could not be opened or analysed as MPEG audio.
std::string FailedToLoadMessage(const std::filesystem::path& path);
// "Failed to open file \"<path>\".": the file could not be opened or decoded.
std::string FailedToOpenMessage(const std::filesystem::path& path);
// "Failed to create file \"<path>\".": the output could not be created.
std::string FailedToCreateMessage(const std::filesystem::path& path);
// "Failed to write file \"<path>\".": a write, the close or the rename of an output failed.
std::string FailedToWriteMessage(const std::filesystem::path& path);
// "Failed to read file \"<path>\": it changed while it was read.": another program cut the
// source short, rewrote or extended it during the operation.
std::string SourceChangedMessage(const std::filesystem::path& path);
// "Failed to encode file \"<path>\".": the encoder refused the audio of an output.
std::string FailedToEncodeMessage(const std::filesystem::path& path);
// "Failed to initialize the MP3 encoder for file \"<path>\".": the encoder refused its settings.
std::string FailedToStartEncoderMessage(const std::filesystem::path& path);
// "Verification failed for file \"<path>\": <problem>.": a complete output did not pass its
// check (decoded, its frames counted); problem is the end of the sentence, without a full stop.
std::string VerificationFailedMessage(const std::filesystem::path& path, const std::string& problem);

// The reasons the output placement gives, without a full stop, as the pages show them inside
// their own sentences: "Failed to create file \"<path>\"" and "Failed to create folder \"<folder>\"".
std::string CreateFileFailedReason(const std::filesystem::path& path);
std::string CreateFolderFailedReason(const std::string& folder);

// text between double quotes, as messages name files and values: "\"text\"".
std::string QuotedText(std::string_view text);

}  // namespace qm
