#include "cli/ChannelNames.h"

#include <array>

namespace qm {

namespace {

struct ChannelNames {
    ChannelMode mode;
    std::string_view word;  // of --channels; empty for a mode the encoder cannot be asked for
    std::string_view text;  // in reports
};

// In the order the help lists the words. Dual channel is only ever read from a file.
constexpr std::array<ChannelNames, 4> kChannelNames{{
    {ChannelMode::JointStereo, "joint", "joint stereo"},
    {ChannelMode::Stereo, "stereo", "stereo"},
    {ChannelMode::Mono, "mono", "mono"},
    {ChannelMode::DualChannel, "", "dual channel"},
}};

const ChannelNames* NamesOf(ChannelMode mode) {
    for (const ChannelNames& names : kChannelNames) {
        if (names.mode == mode) return &names;
    }
    return nullptr;
}

}  // namespace

std::vector<std::string> ChannelOptionWords() {
    std::vector<std::string> words;
    for (const ChannelNames& names : kChannelNames) {
        if (!names.word.empty()) words.emplace_back(names.word);
    }
    return words;
}

std::optional<ChannelMode> ChannelModeOfWord(std::string_view word) {
    for (const ChannelNames& names : kChannelNames) {
        if (!names.word.empty() && names.word == word) return names.mode;
    }
    return std::nullopt;
}

std::string_view EncodedChannelWord(ChannelMode mode) { return NamesOf(EncodedChannelMode(mode))->word; }

std::string_view ChannelModeReportText(ChannelMode mode) {
    const ChannelNames* names = NamesOf(mode);
    return names != nullptr ? names->text : "unknown";
}

}  // namespace qm
