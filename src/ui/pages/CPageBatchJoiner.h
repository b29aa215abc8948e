#pragma once

// The batch joiner page: a list of main files, each joined with the same added files. The
// joined files go before ("Insert at beginning") or after ("Append to end") every main file;
// each main row's tag columns become its output's tag, and its "Output" column shows what
// became of it.

#include <QVBoxLayout>
#include <functional>
#include <vector>

#include "settings/Options.h"
#include "stream/Tags.h"
#include "ui/kit/CResizablePage.h"
#include "ui/kit/ShellCalls.h"
#include "ui/widgets/FileListCtrl.h"

class QMenu;
class QPushButton;
class QRadioButton;

namespace qm {

class BatchProgressDialog;
class SettingsStore;

class CPageBatchJoiner : public CResizablePage {
    Q_OBJECT

public:
    static inline const char* kCaption = "MP3 Batch Joiner";

    // The page edits the option values held in settings, which must outlive it.
    explicit CPageBatchJoiner(SettingsStore& settings, QWidget* parent = nullptr);
    ~CPageBatchJoiner() override;

    // Where the page's file list and its controls go, top to bottom.
    QVBoxLayout* Body() const { return m_body; }
    // The main files, each joined with every file of the joined list.
    FileListCtrl* MainList() const { return m_mainList; }
    FileListCtrl* JoinedList() const { return m_joinedList; }

    // "&Join Now!": one output per main row; nothing unless both lists have rows.
    void JoinNow();
    // Moves the selected joined rows one place up or down; nothing when the topmost
    // (lowest) selected row is already the first (last).
    void MoveJoinedUp();
    void MoveJoinedDown();
    // Deletes the selected rows, or all rows, of list.
    void RemoveSelected(FileListCtrl* list);
    void RemoveAll(FileListCtrl* list);
    // The tag dialog for the first selected main row.
    void EditTag();
    // A main row's tag columns as a tag (the track column read as a number, empty as 0),
    // and the tag written back (the track as its number when above 0, else empty).
    TagInfo RowTag(int row) const;
    void SetRowTag(int row, const TagInfo& tag);

    // Puts fileManager in place of SelectInExplorer (tests; an empty function restores it).
    void SetFileManager(std::function<bool(const QString&)> fileManager) {
        m_fileManager.Replace(std::move(fileManager));
    }
    // Called with the progress window of each run once it is shown (tests press Cancel).
    void SetRunObserver(std::function<void(BatchProgressDialog*)> observer);

    QRadioButton* InsertButton() const { return m_insert; }
    QRadioButton* AppendButton() const { return m_append; }
    QPushButton* JoinButton() const { return m_join; }
    QPushButton* MainRemoveButton() const { return m_mainRemove; }
    QPushButton* TagButton() const { return m_tag; }
    QPushButton* JoinedRemoveButton() const { return m_joinedRemove; }
    QPushButton* UpButton() const { return m_up; }
    QPushButton* DownButton() const { return m_down; }

protected:
    // The option values the page edits.
    SettingsStore& Settings() const { return m_settings; }

private:
    QWidget* MakeJoinType();
    QVBoxLayout* MakeMainButtons();
    QVBoxLayout* MakeJoinedButtons();
    void AddMainMenuEntries(QMenu* menu);
    void AddJoinedMenuEntries(QMenu* menu);
    void UpdateButtons();
    void StoreJoinType();
    void MoveJoined(int offset);

    SettingsStore& m_settings;
    QVBoxLayout* m_body;
    FileListCtrl* m_mainList;
    FileListCtrl* m_joinedList;
    QRadioButton* m_insert = nullptr;
    QRadioButton* m_append = nullptr;
    QPushButton* m_join = nullptr;
    QPushButton* m_mainRemove = nullptr;
    QPushButton* m_tag = nullptr;
    QPushButton* m_joinedRemove = nullptr;
    QPushButton* m_up = nullptr;
    QPushButton* m_down = nullptr;
    FileManagerCall m_fileManager;
    std::function<void(BatchProgressDialog*)> m_runObserver;
    bool m_running = false;
};

// The rows of list that are selected, in ascending order.
std::vector<int> SelectedRowsOf(const FileListCtrl* list);

}  // namespace qm
