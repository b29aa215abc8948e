#pragma once

// One file row of a list page: its path and the analysis figures the page works with.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "stream/ChannelMode.h"
#include "stream/Tags.h"

namespace qm {

struct ListItemRecord {
    std::filesystem::path path;
    int durationSeconds = 0;
    int sampleRateHz = 0;
    int bitRateKbps = 0;
    std::optional<ChannelMode> channelMode;          // empty when the file gave none
    bool hasInfoFrame = false;                       // the file carries a Xing/Info frame
    bool variableBitRate = false;                    // bitRateKbps is then the file's average
    TagInfo tags;                                    // as read when the file was added
    std::filesystem::path outputPath;                // joiner lists: the output, once made
    std::vector<std::filesystem::path> outputPaths;  // batch splitter: the pieces of the last run
};

}  // namespace qm
