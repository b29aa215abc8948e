#pragma once

// The batch splitter page: a list of files, each cut by the same rule. One of four modes (by
// size, by count, by time, one custom range) with its inputs; "Split All" or "Split Selected"
// runs the mode's batch planner on each file in turn under a two-line progress window, and
// each row's "Output" column shows what became of its file.

#include <QVBoxLayout>
#include <functional>
#include <vector>

#include "settings/Options.h"
#include "ui/pages/SplitModeInputs.h"
#include "ui/kit/CResizablePage.h"
#include "ui/kit/ShellCalls.h"
#include "ui/widgets/FileListCtrl.h"

class QButtonGroup;
class QComboBox;
class QMenu;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace qm {

class BatchProgressDialog;
class SettingsStore;
class TextSpinBox;

class CPageBatchSplitter : public CResizablePage {
    Q_OBJECT

public:
    static inline const char* kCaption = "MP3 Batch Splitter";

    // The page edits the option values held in settings, which must outlive it.
    explicit CPageBatchSplitter(SettingsStore& settings, QWidget* parent = nullptr);
    ~CPageBatchSplitter() override;

    // Where the page's file list and its controls go, top to bottom.
    QVBoxLayout* Body() const { return m_body; }
    // The source files, each split on its own.
    FileListCtrl* List() const { return m_list; }

    // Splits every row, top to bottom ("&Split All").
    void SplitAll();
    // Splits the selected rows in list order ("Split Selecte&d"); nothing without a selection.
    void SplitSelected();
    // Deletes the selected rows ("&Remove") or all rows ("Remove A&ll").
    void RemoveSelected();
    void RemoveAll();
    // The shell's "open" on the first selected file; the file manager with the first selected
    // file, or with the first output of the selected row.
    void PlaySelected();
    void BrowseSourceFolder();
    void BrowseOutputFolder();

    // Puts fileManager in place of SelectInExplorer (tests; an empty function restores it).
    void SetFileManager(std::function<bool(const QString&)> fileManager) {
        m_fileManager.Replace(std::move(fileManager));
    }
    // Called with the progress window of each run once it is shown (tests press Cancel).
    void SetRunObserver(std::function<void(BatchProgressDialog*)> observer);

    // The mode and its inputs as the controls hold them.
    SplitSettings Inputs() const;
    QPushButton* SplitAllButton() const { return m_splitAll; }
    QPushButton* SplitSelectedButton() const { return m_splitSelected; }
    QPushButton* RemoveButton() const { return m_remove; }
    QPushButton* RemoveAllButton() const { return m_removeAll; }
    // The mode buttons and the size, count and time inputs; the custom range's two edits.
    const SplitModeControls& ModeInputs() const { return m_mode; }
    TextSpinBox* BeginEdit() const { return m_begin; }
    TextSpinBox* LengthEdit() const { return m_length; }
    // The context menu's entries for the current selection, before the list's own.
    void AddMenuEntries(QMenu* menu);

protected:
    // The option values the page edits.
    SettingsStore& Settings() const { return m_settings; }

private:
    QWidget* MakeModeInputs();
    QWidget* MakeButtons();
    void ShowInputs(const SplitSettings& inputs);
    void StoreInputs();
    void EnableByMode();
    void ModeChosen(int mode);
    void UpdateButtons();
    std::vector<int> SelectedRows() const;
    void RunOver(const std::vector<int>& rows);

    SettingsStore& m_settings;
    QVBoxLayout* m_body;
    FileListCtrl* m_list;
    SplitModeControls m_mode;
    TextSpinBox* m_begin = nullptr;
    TextSpinBox* m_length = nullptr;
    QPushButton* m_addFiles = nullptr;
    QPushButton* m_addFolder = nullptr;
    QPushButton* m_remove = nullptr;
    QPushButton* m_removeAll = nullptr;
    QPushButton* m_splitAll = nullptr;
    QPushButton* m_splitSelected = nullptr;
    FileManagerCall m_fileManager;
    std::function<void(BatchProgressDialog*)> m_runObserver;
    bool m_running = false;
    bool m_showingInputs = false;
};

}  // namespace qm
