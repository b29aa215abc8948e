#pragma once

// The batch joiner page: a list of main files, each joined with the same added files. The
// joined files go before ("Insert at beginning") or after ("Append to end") every main file;
// each main row's tag columns become its output's tag, and its "Output" column shows what
// became of it.

#include "settings/Options.h"
#include "stream/Tags.h"
#include "ui/pages/ListPage.h"

class QMenu;
class QPushButton;
class QRadioButton;

namespace qm {

struct BatchJoinerControls {
    // The main files, each joined with every file of the joined list.
    FileListCtrl* mainList = nullptr;
    FileListCtrl* joinedList = nullptr;
    QRadioButton* insert = nullptr;
    QRadioButton* append = nullptr;
    QPushButton* join = nullptr;
    QPushButton* mainRemove = nullptr;
    QPushButton* tag = nullptr;
    QPushButton* joinedRemove = nullptr;
    QPushButton* up = nullptr;
    QPushButton* down = nullptr;
};

class CPageBatchJoiner : public ListPageWith<BatchJoinerControls> {
    Q_OBJECT

public:
    static inline const char* kCaption = "MP3 Batch Joiner";

    // The page edits the option values held in settings, which must outlive it.
    explicit CPageBatchJoiner(SettingsStore& settings, QWidget* parent = nullptr);
    ~CPageBatchJoiner() override;

    // "&Join Now!": one output per main row; nothing unless both lists have rows.
    void JoinNow();
    // The tag dialog for the first selected main row.
    void EditTag();
    // A main row's tag columns as a tag (the track column read as a number, empty as 0),
    // and the tag written back (the track as its number when above 0, else empty).
    TagInfo RowTag(int row) const;
    void SetRowTag(int row, const TagInfo& tag);

private:
    QWidget* MakeJoinType();
    QVBoxLayout* MakeMainButtons();
    QVBoxLayout* MakeJoinedButtons();
    void AddMainMenuEntries(QMenu* menu);
    void AddJoinedMenuEntries(QMenu* menu);
    // The entries both lists' menus have: "&Play" and "&Browse" for one selected row, and
    // the two that remove rows.
    void AddPlayAndBrowse(QMenu* menu, FileListCtrl* list);
    static void AddRemoveEntries(QMenu* menu, FileListCtrl* list);
    void UpdateButtons() override;
    void StoreJoinType();

    bool m_running = false;
};

}  // namespace qm
