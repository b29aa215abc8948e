#pragma once

// Loading and saving the option groups through a SettingsBackend, and SettingsStore, the one
// holder of every group from start-up to exit.
//
// Loading reads each stored value over the field it belongs to, so the caller sets the
// defaults first; absent or unreadable values keep them, and the load checks correct stored
// values that are out of range. Saving writes a group's values in a fixed order. Every
// failure is silent: a group that cannot be opened keeps its defaults, one that cannot be
// created is not written.

#include "settings/Options.h"
#include "settings/SettingsBackend.h"

namespace qm {

constexpr int kPageCount = 7;  // pages of the main window, in tab order, About last

// The groups of values a working page saves on its own, as flags for its save operation.
enum PageGroupFlags : unsigned {
    kNoGroup = 0,
    kFolderGroup = 1u << 0,    // Folder: written as soon as a folder is picked with "Add Folder"
    kSplitGroup = 1u << 1,     // the values whose names begin with "Split"
    kTagGroup = 1u << 2,       // the values whose names begin with "ID3"
    kJoinTypeGroup = 1u << 3,  // JoinType
};

void LoadAppOptions(SettingsBackend& backend, AppOptions* options);
void LoadSplitterOptions(SettingsBackend& backend, SplitterOptions* options);
void LoadJoinerOptions(SettingsBackend& backend, JoinerOptions* options);
void LoadSplitterPageSettings(SettingsBackend& backend, SplitterPageSettings* settings);
void LoadBatchSplitterSettings(SettingsBackend& backend, BatchSplitterSettings* settings);
void LoadJoinerPageSettings(SettingsBackend& backend, JoinerPageSettings* settings);
void LoadBatchJoinerSettings(SettingsBackend& backend, BatchJoinerSettings* settings);

// Each save returns true when the group's key was created and every value written.
[[nodiscard]] bool SaveAppOptions(SettingsBackend& backend, const AppOptions& options);
bool SaveSplitterOptions(SettingsBackend& backend, const SplitterOptions& options);
[[nodiscard]] bool SaveJoinerOptions(SettingsBackend& backend, const JoinerOptions& options);
// The page saves write only the groups named in `groups` that the page has (manual splitter:
// split; batch splitter: folder, split; joiner: folder, tags; batch joiner: folder, join
// type). With none of them they write nothing and return false.
[[nodiscard]] bool SaveSplitterPageSettings(SettingsBackend& backend, const SplitterPageSettings& settings,
                                            unsigned groups);
[[nodiscard]] bool SaveBatchSplitterSettings(SettingsBackend& backend, const BatchSplitterSettings& settings,
                                             unsigned groups);
[[nodiscard]] bool SaveJoinerPageSettings(SettingsBackend& backend, const JoinerPageSettings& settings,
                                          unsigned groups);
[[nodiscard]] bool SaveBatchJoinerSettings(SettingsBackend& backend, const BatchJoinerSettings& settings,
                                           unsigned groups);

// The first-run step: reads FirstRun from "Options" (1 when absent) and, when it is non-zero,
// stores 0. Returns true when this is the first run, so the caller opens the help once.
[[nodiscard]] bool RunFirstRunStep(SettingsBackend& backend);

// The pages that keep settings, in tab order.
enum class SettingsPage {
    Splitter,
    BatchSplitter,
    Joiner,
    BatchJoiner,
    SplitterOptions,
    JoinerOptions,
};

// Every option group of one run of the program, with the moments of loading and saving:
// the application group and the first-run step at start-up, the page groups after them,
// a page's folder when the user picks one, and at exit the groups of the pages whose window
// was created during the run, then the application group. Engines read the public groups.
class SettingsStore {
public:
    // Sets every group to its defaults; documentsFolder (UTF-8, empty when unknown) is the
    // default specific output folder. Nothing is read until the Load calls.
    SettingsStore(SettingsBackend& backend, const std::string& documentsFolder);
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    // Loads "Options" (start page, window placement).
    void LoadAppGroup();
    // The first-run step; true on the first run of the program.
    [[nodiscard]] bool RunFirstRunStep();
    // Loads the groups of the six working pages.
    void LoadPageGroups();

    // Records that the page's window was created; only such pages save at exit.
    void NotePageWindowCreated(SettingsPage page);
    bool PageWindowCreated(SettingsPage page) const;
    // Writes the page's Folder value at once (after "Add Folder"). False for pages without
    // a folder and when the key cannot be created.
    [[nodiscard]] bool SaveFolder(SettingsPage page);
    // At exit: each page whose window was created saves its window-time groups, in tab
    // order; then "Options" is written.
    void SaveAtExit();

    AppOptions app;
    SplitterOptions splitterOptions;
    JoinerOptions joinerOptions;
    SplitterPageSettings splitterPage;
    BatchSplitterSettings batchSplitter;
    JoinerPageSettings joinerPage;
    BatchJoinerSettings batchJoiner;

private:
    void SavePageAtExit(SettingsPage page);

    SettingsBackend& m_backend;
    unsigned m_windowsCreated = 0;  // one bit per SettingsPage
};

}  // namespace qm
