#pragma once

// The joiner options page: how joined files are encoded, and where the batch joiner puts
// its outputs. Its fields are the joiner options of the settings store. The encoding is
// chosen from presets ("Auto", four common ones, "Customize"); the three lists show the
// values a preset stands for. The controls are filled the first time the page is shown;
// until then validation passes without looking at anything.

#include "ui/shell/CResizablePage.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace qm {

class SettingsStore;
struct JoinerOptions;

class CPageJoinerOpt : public CResizablePage {
    Q_OBJECT

public:
    static inline const char* kCaption = "Joiner Options";

    struct Controls {
        QComboBox* preset = nullptr;
        QComboBox* sampleRate = nullptr;
        QComboBox* bitRate = nullptr;
        QComboBox* channels = nullptr;
        QComboBox* outputFolder = nullptr;
        QLineEdit* specificFolder = nullptr;
        QPushButton* browse = nullptr;
        QComboBox* targetExists = nullptr;
        QCheckBox* addPostfix = nullptr;
        QCheckBox* treeFolders = nullptr;
        QLabel* treeExample = nullptr;
        QCheckBox* browseAfter = nullptr;
    };

    // The page edits the option values held in settings, which must outlive it.
    explicit CPageJoinerOpt(SettingsStore& settings, QWidget* parent = nullptr);

    // Fills the controls from the options; runs once, when the page is first shown.
    void InitialiseWindow();
    bool Initialised() const { return m_initialised; }

    // Takes the controls into the options before the page is left or the window closes.
    // Shows a message, puts the focus on the folder and returns false when a specific
    // output folder is chosen but none is given.
    virtual bool Validate();

    const Controls& Ui() const { return m_ui; }

protected:
    // The option values the page edits.
    SettingsStore& Settings() const { return m_settings; }
    void showEvent(QShowEvent* event) override;

private:
    JoinerOptions& Options() const;
    void BuildControls();
    void ConnectControls();
    void FillPresets();
    void PresetChosen();
    void SampleRateChosen();
    void BitRateChosen();
    void ShowCustomize();
    void EnableEncodingLists(bool enabled);
    void EnableSpecificFolder();
    void TakeControls();
    void BrowseFolder();

    SettingsStore& m_settings;
    Controls m_ui;
    int m_customizeIndex = -1;
    bool m_initialised = false;
};

}  // namespace qm
