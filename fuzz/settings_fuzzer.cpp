// Loading the settings file of the desktop program when it holds random values: every group is
// loaded through the QSettings backend from the input as an INI file, saved to a second file and
// loaded again. The load checks must leave values that survive that round trip unchanged, and
// the values they guard must lie in their ranges.

#include <string>

#include "fuzz/FuzzSupport.h"
#include "settings/QSettingsBackend.h"
#include "settings/Settings.h"

namespace {

using qm::fuzz::Require;

constexpr const char* kDocumentsFolder = "/home/user/Documents";

void LoadAll(qm::SettingsStore& store) {
    store.LoadAppGroup();
    store.LoadPageGroups();
}

void SaveAll(qm::SettingsBackend& backend, const qm::SettingsStore& store) {
    constexpr unsigned kAllGroups = qm::kFolderGroup | qm::kSplitGroup | qm::kTagGroup | qm::kJoinTypeGroup;
    // A write the backend refuses would show as a difference below; the results need no look.
    static_cast<void>(qm::SaveAppOptions(backend, store.app));
    static_cast<void>(qm::SaveSplitterOptions(backend, store.splitterOptions));
    static_cast<void>(qm::SaveJoinerOptions(backend, store.joinerOptions));
    static_cast<void>(qm::SaveSplitterPageSettings(backend, store.splitterPage, kAllGroups));
    static_cast<void>(qm::SaveBatchSplitterSettings(backend, store.batchSplitter, kAllGroups));
    static_cast<void>(qm::SaveJoinerPageSettings(backend, store.joinerPage, kAllGroups));
    static_cast<void>(qm::SaveBatchJoinerSettings(backend, store.batchJoiner, kAllGroups));
}

void CheckRanges(const qm::SettingsStore& store) {
    Require(store.app.StartPage >= 0 && store.app.StartPage < qm::kPageCount, "start page");
    const qm::SplitterOptions& split = store.splitterOptions;
    Require(split.FadeInLen >= 0 && split.FadeOutLen >= 0, "fade lengths");
    Require(split.ForwardOverlap >= 0 && split.BackwardOverlap >= 0, "overlaps");
    Require(split.FirstPiecesNumber >= 1, "first pieces");
    Require(split.FilenameDigitNumber >= 0 && split.FilenameDigitNumber <= qm::kMaxDigitNumber, "name digits");
    Require(split.TitleDigitNumber >= 0 && split.TitleDigitNumber <= qm::kMaxDigitNumber, "title digits");
    Require(!split.OutputFileName.empty() && !split.ID3TitleFormat.empty(), "empty template");
    for (const qm::SplitSettings* s : {&store.splitterPage.split, &store.batchSplitter.split}) {
        Require(s->SplitFileAmount >= 1 && s->SplitTimeMin >= 0 && s->SplitTimeSec >= 0, "split numbers");
        Require(qm::SizeUnitBytes(s->SplitFileUnit) > 0, "size unit");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const qm::fuzz::InputFile input("Quillmere.conf");
    // QSettings keeps the files it has read; a new name per input keeps each reading fresh.
    static unsigned long long count = 0;
    const std::string name = std::to_string(++count);
    const std::filesystem::path loaded = input.Folder() / ("in-" + name + ".conf");
    const std::filesystem::path saved = input.Folder() / ("out-" + name + ".conf");
    std::filesystem::rename(input.Write({data, size}), loaded);

    qm::QSettingsBackend fromInput(loaded.string());
    qm::SettingsStore first(fromInput, kDocumentsFolder);
    LoadAll(first);
    CheckRanges(first);
    {
        qm::QSettingsBackend out(saved.string());
        SaveAll(out, first);
    }
    qm::QSettingsBackend fromSaved(saved.string());
    qm::SettingsStore second(fromSaved, kDocumentsFolder);
    LoadAll(second);
    Require(second.app == first.app, "Options changes in a save and load");
    Require(second.splitterOptions == first.splitterOptions, "splitter options change in a save and load");
    Require(second.joinerOptions == first.joinerOptions, "joiner options change in a save and load");
    Require(second.splitterPage == first.splitterPage, "splitter page changes in a save and load");
    Require(second.batchSplitter == first.batchSplitter, "batch splitter page changes in a save and load");
    Require(second.joinerPage == first.joinerPage, "joiner page changes in a save and load");
    Require(second.batchJoiner == first.batchJoiner, "batch joiner page changes in a save and load");

    std::error_code ec;
    std::filesystem::remove(loaded, ec);
    std::filesystem::remove(saved, ec);
    return 0;
}
