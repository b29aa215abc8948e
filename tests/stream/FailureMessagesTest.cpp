// The wording of the messages an operation leaves when a file lets it down.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "stream/FailureMessages.h"

namespace qm {
namespace {

// Every verb keeps its exact text, with the path as given and the full stop after the quote.
TEST(FailureMessages, FileMessagesNameTheFileAsGiven) {
    struct Case {
        std::function<std::string(const std::filesystem::path&)> message;
        const char* expected;
    };
    const std::filesystem::path path = "music/a b \"c\".mp3";
    const std::vector<Case> cases = {
        {FailedToLoadMessage, "Failed to load file \"music/a b \"c\".mp3\"."},
        {FailedToOpenMessage, "Failed to open file \"music/a b \"c\".mp3\"."},
        {FailedToCreateMessage, "Failed to create file \"music/a b \"c\".mp3\"."},
        {FailedToWriteMessage, "Failed to write file \"music/a b \"c\".mp3\"."},
        {FailedToEncodeMessage, "Failed to encode file \"music/a b \"c\".mp3\"."},
        {FailedToStartEncoderMessage, "Failed to initialize the MP3 encoder for file \"music/a b \"c\".mp3\"."},
        {CreateFileFailedReason, "Failed to create file \"music/a b \"c\".mp3\""},
    };
    for (const Case& c : cases) EXPECT_EQ(c.message(path), c.expected);
}

// The folder reason ends at the quote, and a path's bytes pass through untouched, even
// where they are not UTF-8.
TEST(FailureMessages, FolderReasonAndRawBytes) {
    EXPECT_EQ(CreateFolderFailedReason("/out/"), "Failed to create folder \"/out/\"");
    EXPECT_EQ(FailedToWriteMessage(std::filesystem::path("caf\xE9.mp3")), "Failed to write file \"caf\xE9.mp3\".");
    EXPECT_EQ(FailedToLoadMessage(""), "Failed to load file \"\".");
}

}  // namespace
}  // namespace qm
