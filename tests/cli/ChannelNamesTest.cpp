// The one table of channel-mode names the command line reads and prints.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "cli/ChannelNames.h"

namespace qm {
namespace {

// Each of the four modes: the word --channels takes for it (none for dual channel), the word
// the join reports for what the encoder wrote, and the report's name.
TEST(ChannelNames, EveryModeHasItsWords) {
    struct Case {
        ChannelMode mode;
        std::optional<std::string> optionWord;
        const char* encodedWord;
        const char* reportText;
    };
    const std::vector<Case> cases = {
        {ChannelMode::Stereo, "stereo", "stereo", "stereo"},
        {ChannelMode::JointStereo, "joint", "joint", "joint stereo"},
        {ChannelMode::DualChannel, std::nullopt, "stereo", "dual channel"},
        {ChannelMode::Mono, "mono", "mono", "mono"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reportText);
        if (c.optionWord) {
            EXPECT_EQ(ChannelModeOfWord(*c.optionWord), c.mode);
        }
        EXPECT_EQ(EncodedChannelWord(c.mode), c.encodedWord);
        EXPECT_EQ(ChannelModeReportText(c.mode), c.reportText);
    }
}

// The help lists the words in this order; anything else, the report's longer names and a
// different case included, is no word at all.
TEST(ChannelNames, OnlyTheThreeWordsAreOptions) {
    EXPECT_EQ(ChannelOptionWords(), (std::vector<std::string>{"joint", "stereo", "mono"}));
    for (const char* word : {"", "dual", "dual channel", "joint stereo", "Mono", "JOINT", "stereo "}) {
        EXPECT_EQ(ChannelModeOfWord(word), std::nullopt) << '"' << word << '"';
    }
    EXPECT_EQ(ChannelModeReportText(static_cast<ChannelMode>(4)), "unknown");
    EXPECT_EQ(EncodedChannelWord(static_cast<ChannelMode>(4)), "stereo") << "what the encoder writes for it";
}

}  // namespace
}  // namespace qm
