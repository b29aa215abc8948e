#pragma once

// The joiner page: a list of files put in order and joined into one, with the joined file's
// tag typed in or copied from a row.

#include <QStringList>
#include <array>
#include <string>
#include <utility>

#include "ui/pages/ListPage.h"

class QAbstractSpinBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLineEdit;
class QMenu;
class QPushButton;

namespace qm {

struct JoinerControls {
    // The files joined into one, in list order.
    FileListCtrl* list = nullptr;
    QPushButton* join = nullptr;
    QPushButton* addFiles = nullptr;
    QPushButton* addFolder = nullptr;
    QPushButton* remove = nullptr;
    QPushButton* removeAll = nullptr;
    QPushButton* up = nullptr;
    QPushButton* down = nullptr;
    QPushButton* copyTag = nullptr;
    // The joined file's tag.
    QLineEdit* title = nullptr;
    QLineEdit* artist = nullptr;
    QLineEdit* album = nullptr;
    QLineEdit* comment = nullptr;
    QLineEdit* year = nullptr;
    QAbstractSpinBox* track = nullptr;
    QComboBox* genre = nullptr;
};

class CPageJoiner : public ListPageWith<JoinerControls> {
    Q_OBJECT

public:
    static inline const char* kCaption = "MP3 Joiner";

    // The page edits the option values held in settings, which must outlive it. The tag
    // fields start from the stored ones and go back to the store when the page goes.
    explicit CPageJoiner(SettingsStore& settings, QWidget* parent = nullptr);
    ~CPageJoiner() override;

    // The files named on the command line, kept in order for the page's list (absolute paths).
    void SetInitialFiles(const QStringList& paths);
    QStringList InitialFiles() const { return m_initialFiles; }

    // The commands of the buttons and the list's menu that are the page's own (the list
    // removes and moves its rows itself).
    void CopyTagFromSelection();
    void PlaySelected();
    void BrowseSelected();
    // Joins the rows in list order into the file the save dialog names, under a progress
    // window; a failure that was not a Cancel is shown as "Join failure. ..." and the list
    // and the fields stay for another try.
    void JoinNow();

    // The tag fields as the page would save them.
    JoinerPageSettings TagFields() const;

protected:
    // Rows dragged within the list are moved to where they are dropped.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void MakeButtons();
    void BuildTagGroup();
    void AddMenuEntries(QMenu* menu);
    void UpdateButtons() override;
    // The record of the one selected row; null unless exactly one row is selected.
    const ListItemRecord* OnlySelected() const;
    void ShowTagFields(const JoinerPageSettings& fields);
    void StoreTagFields();
    // The one-line tag edits and the field each shows.
    std::array<std::pair<QLineEdit*, std::string JoinerPageSettings::*>, 5> TagEdits() const;
    int DropRowAt(QPoint at) const;
    void ShowDropLine(int row);

    QStringList m_initialFiles;
    QGroupBox* m_tagGroup = nullptr;
    QFrame* m_dropLine = nullptr;  // where dragged rows would land
};

}  // namespace qm
