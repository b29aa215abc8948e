#include "settings/Settings.h"

namespace qm {

namespace {

unsigned PageBit(SettingsPage page) { return 1u << static_cast<unsigned>(page); }

constexpr SettingsPage kPagesInTabOrder[] = {
    SettingsPage::Splitter,    SettingsPage::BatchSplitter,   SettingsPage::Joiner,
    SettingsPage::BatchJoiner, SettingsPage::SplitterOptions, SettingsPage::JoinerOptions,
};

}  // namespace

SettingsStore::SettingsStore(SettingsBackend& backend, const std::string& documentsFolder)
    : splitterOptions(MakeSplitterOptions(documentsFolder)),
      joinerOptions(MakeJoinerOptions(documentsFolder)),
      m_backend(backend) {}

void SettingsStore::LoadAppGroup() { LoadAppOptions(m_backend, &app); }

bool SettingsStore::RunFirstRunStep() { return qm::RunFirstRunStep(m_backend); }

void SettingsStore::LoadPageGroups() {
    LoadSplitterPageSettings(m_backend, &splitterPage);
    LoadBatchSplitterSettings(m_backend, &batchSplitter);
    LoadJoinerPageSettings(m_backend, &joinerPage);
    LoadBatchJoinerSettings(m_backend, &batchJoiner);
    LoadSplitterOptions(m_backend, &splitterOptions);
    LoadJoinerOptions(m_backend, &joinerOptions);
}

void SettingsStore::NotePageWindowCreated(SettingsPage page) { m_windowsCreated |= PageBit(page); }

bool SettingsStore::PageWindowCreated(SettingsPage page) const { return (m_windowsCreated & PageBit(page)) != 0; }

bool SettingsStore::SaveFolder(SettingsPage page) {
    switch (page) {
        case SettingsPage::BatchSplitter:
            return SaveBatchSplitterSettings(m_backend, batchSplitter, kFolderGroup);
        case SettingsPage::Joiner:
            return SaveJoinerPageSettings(m_backend, joinerPage, kFolderGroup);
        case SettingsPage::BatchJoiner:
            return SaveBatchJoinerSettings(m_backend, batchJoiner, kFolderGroup);
        default:
            return false;
    }
}

// At exit there is no one left to tell: a group that cannot be written keeps the values it
// had, and the next run starts from those.
void SettingsStore::SavePageAtExit(SettingsPage page) {
    switch (page) {
        case SettingsPage::Splitter:
            static_cast<void>(SaveSplitterPageSettings(m_backend, splitterPage, kSplitGroup));
            break;
        case SettingsPage::BatchSplitter:
            static_cast<void>(SaveBatchSplitterSettings(m_backend, batchSplitter, kSplitGroup));
            break;
        case SettingsPage::Joiner:
            static_cast<void>(SaveJoinerPageSettings(m_backend, joinerPage, kTagGroup));
            break;
        case SettingsPage::BatchJoiner:
            static_cast<void>(SaveBatchJoinerSettings(m_backend, batchJoiner, kJoinTypeGroup));
            break;
        case SettingsPage::SplitterOptions:
            static_cast<void>(SaveSplitterOptions(m_backend, splitterOptions));
            break;
        case SettingsPage::JoinerOptions:
            static_cast<void>(SaveJoinerOptions(m_backend, joinerOptions));
            break;
    }
}

void SettingsStore::SaveAtExit() {
    // The page windows are destroyed before the application writes its own group.
    for (SettingsPage page : kPagesInTabOrder) {
        if (PageWindowCreated(page)) {
            SavePageAtExit(page);
        }
    }
    static_cast<void>(SaveAppOptions(m_backend, app));  // as for the pages above
}

}  // namespace qm
