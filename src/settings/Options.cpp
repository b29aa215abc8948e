#include "settings/Options.h"

namespace qm {

namespace {

// Outputs go to the documents folder when there is one, else beside their sources.
template <typename Group>
void SetOutputFolderDefaults(Group* group, const std::string& documentsFolder) {
    group->SpecifiedOutputFolder = documentsFolder;
    group->OutputFolderOpt =
        documentsFolder.empty() ? OutputFolderCode::SameAsSource : OutputFolderCode::Specific;
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

}  // namespace qm
