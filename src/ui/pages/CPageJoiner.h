#pragma once

// The joiner page: a list of files put in order and joined into one, with the joined file's
// tag typed in or copied from a row.

#include <QStringList>
#include <QVBoxLayout>
#include <array>
#include <functional>
#include <utility>

#include "ui/kit/CResizablePage.h"
#include "ui/widgets/FileListCtrl.h"

class QAbstractSpinBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLineEdit;
class QMenu;
class QPushButton;

namespace qm {

class SettingsStore;

// The two desktop calls of a join: the save dialog that names the joined file and showing it
// in the file manager afterwards. Tests put their own in place.
class JoinerTargetDialogs {
public:
    virtual ~JoinerTargetDialogs() = default;
    // The joined file's full path, the dialog opening in startFolder; empty when the user
    // cancelled.
    virtual QString ChooseTarget(QWidget* parent, const QString& startFolder) = 0;
    virtual void ShowInFileManager(const QString& path) = 0;
};

// The calls in use: the system's unless a replacement was set (nullptr restores them; not owned).
JoinerTargetDialogs& CurrentJoinerTargetDialogs();
void SetJoinerTargetDialogs(JoinerTargetDialogs* dialogs);

class CPageJoiner : public CResizablePage {
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

    // Where the page's file list and its controls go, top to bottom.
    QVBoxLayout* Body() const { return m_body; }
    // The files joined into one, in list order.
    FileListCtrl* List() const { return m_list; }

    // The commands of the buttons and the list's menu.
    void MoveUp();
    void MoveDown();
    // Moves the selected rows, in their order, to stand together before row (RowCount():
    // after the last row), as dragging them there does.
    void MoveSelectedRowsTo(int row);
    void RemoveSelected();
    void RemoveAll();
    void CopyTagFromSelection();
    void PlaySelected();
    void BrowseSelected();
    // Joins the rows in list order into the file the save dialog names, under a progress
    // window; a failure that was not a Cancel is shown as "Join failure. ..." and the list
    // and the fields stay for another try.
    void JoinNow();

    // The tag fields as the page would save them.
    JoinerPageSettings TagFields() const;

    // The controls, for tests and the tab order.
    QPushButton* JoinButton() const { return m_join; }
    QPushButton* AddFilesButton() const { return m_addFiles; }
    QPushButton* AddFolderButton() const { return m_addFolder; }
    QPushButton* RemoveButton() const { return m_remove; }
    QPushButton* RemoveAllButton() const { return m_removeAll; }
    QPushButton* UpButton() const { return m_up; }
    QPushButton* DownButton() const { return m_down; }
    QPushButton* CopyTagButton() const { return m_copyTag; }
    QLineEdit* TitleEdit() const { return m_title; }
    QLineEdit* ArtistEdit() const { return m_artist; }
    QLineEdit* AlbumEdit() const { return m_album; }
    QLineEdit* CommentEdit() const { return m_comment; }
    QLineEdit* YearEdit() const { return m_year; }
    QAbstractSpinBox* TrackEdit() const { return m_track; }
    QComboBox* GenreBox() const { return m_genre; }

protected:
    // Rows dragged within the list are moved to where they are dropped.
    bool eventFilter(QObject* watched, QEvent* event) override;
    // The option values the page edits.
    SettingsStore& Settings() const { return m_settings; }

private:
    void BuildTagGroup();
    void AddMenuEntries(QMenu* menu);
    void UpdateEnabling();
    QList<int> SelectedRows() const;
    void SwapRows(int upper);
    void ShowTagFields(const JoinerPageSettings& fields);
    void StoreTagFields();
    // The one-line tag edits and the field each shows.
    std::array<std::pair<QLineEdit*, std::string JoinerPageSettings::*>, 5> TagEdits() const;
    int DropRowAt(QPoint at) const;
    void ShowDropLine(int row);
    void RestoreSelection(const QList<QTreeWidgetItem*>& selected, QTreeWidgetItem* current);

    SettingsStore& m_settings;
    QStringList m_initialFiles;
    QVBoxLayout* m_body;
    FileListCtrl* m_list;
    QPushButton* m_join = nullptr;
    QPushButton* m_addFiles = nullptr;
    QPushButton* m_addFolder = nullptr;
    QPushButton* m_remove = nullptr;
    QPushButton* m_removeAll = nullptr;
    QPushButton* m_up = nullptr;
    QPushButton* m_down = nullptr;
    QPushButton* m_copyTag = nullptr;
    QGroupBox* m_tagGroup = nullptr;
    QLineEdit* m_title = nullptr;
    QLineEdit* m_artist = nullptr;
    QLineEdit* m_album = nullptr;
    QLineEdit* m_comment = nullptr;
    QLineEdit* m_year = nullptr;
    QAbstractSpinBox* m_track = nullptr;
    QComboBox* m_genre = nullptr;
    QFrame* m_dropLine = nullptr;  // where dragged rows would land
};

}  // namespace qm
