#pragma once

// The batch splitter page: a list of files, each cut by the same rule. One of six modes (by
// size, by count, by time, one custom range, at silences, by each file's cue sheet or
// chapters) with its inputs; "Split All" or "Split Selected"
// runs the mode's batch planner on each file in turn under a two-line progress window, and
// each row's "Output" column shows what became of its file.

#include <vector>

#include "settings/Options.h"
#include "ui/pages/ListPage.h"
#include "ui/pages/SplitModeInputs.h"

class QMenu;
class QPushButton;

namespace qm {

class TextSpinBox;

struct BatchSplitterControls {
    // The source files, each split on its own.
    FileListCtrl* list = nullptr;
    // The mode buttons and the size, count and time inputs; the custom range's two edits;
    // the button of the silence options.
    SplitModeControls mode;
    TextSpinBox* begin = nullptr;
    TextSpinBox* length = nullptr;
    QPushButton* silenceSettings = nullptr;
    QPushButton* addFiles = nullptr;
    QPushButton* addFolder = nullptr;
    QPushButton* remove = nullptr;
    QPushButton* removeAll = nullptr;
    QPushButton* splitAll = nullptr;
    QPushButton* splitSelected = nullptr;
};

class CPageBatchSplitter : public ListPageWith<BatchSplitterControls> {
    Q_OBJECT

public:
    static inline const char* kCaption = "MP3 Batch Splitter";

    // The page edits the option values held in settings, which must outlive it.
    explicit CPageBatchSplitter(SettingsStore& settings, QWidget* parent = nullptr);
    ~CPageBatchSplitter() override;

    // Splits every row, top to bottom ("&Split All").
    void SplitAll();
    // Splits the selected rows in list order ("Split Selecte&d"); nothing without a selection.
    void SplitSelected();
    // The desktop's "open" on the first selected file; the file manager with the first
    // selected file, or with the first output of the selected row.
    void PlaySelected();
    void BrowseSourceFolder();
    void BrowseOutputFolder();
    // "S&ettings..." of the silence mode: the silence options dialog over the page's own.
    void EditSilenceSettings();

    // The mode and its inputs as the controls hold them.
    SplitSettings Inputs() const;

private:
    QWidget* MakeModeInputs();
    QWidget* MakeButtons();
    void AddMenuEntries(QMenu* menu);
    void ShowInputs(const SplitSettings& inputs);
    void StoreInputs();
    void EnableByMode();
    void ModeChosen(int mode);
    void UpdateButtons() override;
    // The record of the first selected row; null without a selection.
    const ListItemRecord* FirstSelected() const;
    void RunOver(const std::vector<int>& rows);

    bool m_running = false;
    bool m_showingInputs = false;
};

}  // namespace qm
