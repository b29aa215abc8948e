#include "settings/Options.h"

#include <algorithm>

namespace qm {

namespace {

// Outputs go to the documents folder when there is one, else beside their sources.
template <typename Group>
void SetOutputFolderDefaults(Group* group, const std::string& documentsFolder) {
    group->SpecifiedOutputFolder = documentsFolder;
    group->OutputFolderOpt = documentsFolder.empty() ? OutputFolderCode::SameAsSource : OutputFolderCode::Specific;
}

}  // namespace

SplitterOptions MakeSplitterOptions(const std::string& documentsFolder) {
    SplitterOptions options;
    SetOutputFolderDefaults(&options, documentsFolder);
    return options;
}

JoinerOptions MakeJoinerOptions(const std::string& documentsFolder) {
    JoinerOptions options;
    SetOutputFolderDefaults(&options, documentsFolder);
    return options;
}

int BitRateForSampleRate(int sampleRateHz, int bitRateKbps) {
    if (sampleRateHz < 16000) return std::min(bitRateKbps, 64);
    if (sampleRateHz < 32000) return std::min(bitRateKbps, 160);
    return std::max(bitRateKbps, 32);
}

int SampleRateForBitRate(int bitRateKbps, int sampleRateHz) {
    if (bitRateKbps <= 24) return std::min(sampleRateHz, 24000);
    if (bitRateKbps >= 192) return std::max(sampleRateHz, 32000);
    if (bitRateKbps >= 80) return std::max(sampleRateHz, 16000);
    return sampleRateHz;
}

}  // namespace qm
