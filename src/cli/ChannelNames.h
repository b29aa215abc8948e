#pragma once

// The channel modes' names on the command line: the word --channels takes and the words a
// report prints, kept in one table.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "stream/ChannelMode.h"

namespace qm {

// The --channels words in the order the help lists them: "joint", "stereo", "mono".
std::vector<std::string> ChannelOptionWords();

// The mode a --channels word asks for; empty for any other word.
std::optional<ChannelMode> ChannelModeOfWord(std::string_view word);

// The --channels word of the mode the encoder writes for mode (EncodedChannelMode): dual
// channel has no word of its own and is encoded as stereo.
std::string_view EncodedChannelWord(ChannelMode mode);

// "stereo", "joint stereo", "dual channel" or "mono"; "unknown" for a value outside the four.
std::string_view ChannelModeReportText(ChannelMode mode);

}  // namespace qm
