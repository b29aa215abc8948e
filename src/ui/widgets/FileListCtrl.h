#pragma once

// The file list of the list pages: a SortListCtrl with the columns of one of the four lists,
// filled by the open-file dialog, by a searched folder, by dropped files and folders, each
// file analysed on the way in under a progress window. Files that fail are reported together
// in one message at the end. The list also holds the commands the pages give its rows:
// removing the selected rows and moving them up, down or to another place.

#include <QPointer>
#include <filesystem>
#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

#include "settings/Settings.h"
#include "ui/widgets/FileGathering.h"
#include "ui/widgets/ListColumns.h"
#include "ui/widgets/SortListCtrl.h"

class QMenu;
class QMimeData;

namespace qm {

class DesktopCalls;
class ProgressDialog;

enum class AddOutcome { Added, Duplicate, Failed };

class FileListCtrl : public SortListCtrl {
    Q_OBJECT
public:
    // The failure message lists at most this many paths.
    static constexpr int kMaxListedFailures = 30;

    explicit FileListCtrl(ListKind kind, QWidget* parent = nullptr);
    ~FileListCtrl() override;

    ListKind Kind() const { return m_kind; }

    // Where the list's messages, its open-file dialog and its folder browser go: the system
    // desktop until the page hands the list its own.
    void SetDesktop(DesktopCalls& desktop) { m_desktop = &desktop; }

    // Where "Add Folder" keeps the folder last chosen: the Folder value of page in store,
    // written to the settings at once when a folder is chosen. Without a store the folder is
    // only remembered while the list lives.
    void SetFolderSettings(SettingsStore* store, SettingsPage page);
    // The folder "Add Folder" starts at (with its trailing separator, as stored).
    QString RememberedFolder() const;
    // The list that "Add Folder" and dropped files fill (the batch joiner's main list for its
    // joined list); this list when not set.
    void SetGatheringTarget(FileListCtrl* target);
    // The page's own context-menu entries, put before "&Add Files..." and "Add &Folder...".
    void SetMenuEntries(std::function<void(QMenu*)> addEntries);

    // The open-file dialog, then the chosen files loaded into this list.
    void AddFiles();
    // The folder browser, then the MP3 files of the folder and its subfolders loaded.
    void AddFolder();
    // Whether mime holds local files or folders that a drop could load.
    static bool HoldsLocalFiles(const QMimeData* mime);
    // Loads the MP3 files of dropped items (folders searched, shortcuts followed) into the
    // gathering target. The work starts once the drop event has returned, so the file
    // manager is not kept waiting.
    void HandleDrop(const QMimeData* mime);
    // Takes files dropped anywhere on page (its buttons, fields and empty space, which would
    // otherwise refuse them or take a path as text) as dropped on this list. The page's
    // widgets must exist; other lists on the page keep their own drop handling.
    void TakeDropsAnywhereOn(QWidget* page);
    // Searches the dropped items and loads what they hold, under one progress window.
    void GatherAndLoad(const PathList& items);
    // Adds each path under a progress window (progress, when given and started, else a new
    // one), keeping the main window disabled meanwhile. Cancel stops after the file in work
    // and keeps what was added. Failed files are reported in one message at the end.
    void LoadFileList(const PathList& paths, ProgressDialog* progress = nullptr);
    // Analyses path and appends its row. Duplicate: the list already holds this file and
    // takes each file once. Failed: not an .mp3 file, or it cannot be analysed.
    AddOutcome AddFile(const std::filesystem::path& path);

    // The selected rows, in ascending order.
    std::vector<int> SelectedRows() const;
    // Deletes the selected rows.
    void RemoveSelected();
    // Move the selected rows as a block one place up or down (nothing when the selection
    // touches the end it moves towards), or together before row (RowCount(): after the last
    // row) as a drag does; see RowMoves.h. The rows keep their records, the same rows stay
    // selected and current, and the moved row nearest the way they went is brought into view.
    void MoveSelectedUp();
    void MoveSelectedDown();
    void MoveSelectedTo(int row);

signals:
    // After rows were added or removed.
    void RowCountChanged(int rowCount);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    FileListCtrl* Target();
    std::string* FolderField();
    bool HoldsFile(const std::filesystem::path& path);
    void ForgetIdentities() { m_identitiesValid = false; }
    // Puts the rows in order (for each place, the row that was at that index) and then
    // brings shown into view.
    void Reorder(const std::vector<int>& order, QTreeWidgetItem* shown);

    ListKind m_kind;
    DesktopCalls* m_desktop;
    SettingsStore* m_store = nullptr;
    SettingsPage m_page = SettingsPage::BatchSplitter;
    std::string m_folder;  // the remembered folder when there is no store
    QPointer<FileListCtrl> m_target;
    std::function<void(QMenu*)> m_menuEntries;
    // Identities (resolved absolute paths) of the files in the list, for the lists that take
    // each file once; rebuilt after rows were removed.
    std::unordered_set<std::string> m_identities;
    bool m_identitiesValid = true;
};

}  // namespace qm
