#pragma once

// The splitter options page: how pieces are encoded, faded, named, tagged and placed. Its
// fields are the splitter options of the settings store, which the split planners and the
// output placement read. The controls are filled the first time the page is shown; until
// then validation passes without looking at anything.

#include "ui/shell/CResizablePage.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace qm {

class ArrowEdit;
class SettingsStore;
struct SplitterOptions;

class CPageSplitterOpt : public CResizablePage {
    Q_OBJECT

public:
    static inline const char* kCaption = "Splitter Options";

    // The controls, top to bottom, in the order of the tab key.
    struct Controls {
        QCheckBox* reencode = nullptr;
        QCheckBox* sameParams = nullptr;
        QComboBox* sampleRate = nullptr;
        QComboBox* bitRate = nullptr;
        QComboBox* channels = nullptr;
        ArrowEdit* fadeIn = nullptr;
        ArrowEdit* fadeOut = nullptr;
        ArrowEdit* forwardOverlap = nullptr;
        ArrowEdit* backwardOverlap = nullptr;
        QCheckBox* keepTag = nullptr;
        QComboBox* trackNumber = nullptr;
        QComboBox* title = nullptr;
        QPushButton* titleHelp = nullptr;
        QLabel* titleSamples = nullptr;
        ArrowEdit* titleDigits = nullptr;
        QCheckBox* firstPieces = nullptr;
        ArrowEdit* firstPiecesNumber = nullptr;
        QComboBox* fileName = nullptr;
        QPushButton* fileNameHelp = nullptr;
        QLabel* fileNameSamples = nullptr;
        ArrowEdit* fileNameDigits = nullptr;
        QComboBox* outputFolder = nullptr;
        QLineEdit* specificFolder = nullptr;
        QPushButton* browse = nullptr;
        QCheckBox* folderPerFile = nullptr;
        QCheckBox* treeFolders = nullptr;
        QLabel* treeExample = nullptr;
        QComboBox* targetExists = nullptr;
        QCheckBox* browseAfter = nullptr;
    };

    // The page edits the option values held in settings, which must outlive it.
    explicit CPageSplitterOpt(SettingsStore& settings, QWidget* parent = nullptr);

    // Fills the controls from the options; runs once, when the page is first shown.
    void InitialiseWindow();
    bool Initialised() const { return m_initialised; }

    // Takes the controls into the options before the page is left or the window closes.
    // Shows a message, puts the focus on the field in question and returns false when a
    // field holds a value that cannot be kept.
    virtual bool Validate();

    const Controls& Ui() const { return m_ui; }

protected:
    // The option values the page edits.
    SettingsStore& Settings() const { return m_settings; }
    void showEvent(QShowEvent* event) override;

private:
    SplitterOptions& Options() const;
    void BuildControls();
    QWidget* BuildSplitSection();
    QWidget* BuildOutputSection();
    void ConnectControls();
    void EnableEncoding();
    void EnableTag();
    void EnableFirstPieces();
    void EnableSpecificFolder();
    void SampleRateChosen();
    void BitRateChosen();
    void StepLength(ArrowEdit* field, int* tenths, int tenthsPerStep, int direction);
    void DigitsChanged(ArrowEdit* field, int* digits);
    void ShowSamples();
    void BrowseFolder();
    bool TakeIntegers();
    bool TakeLength(ArrowEdit* field, bool emptyIsZero, int* tenths);
    bool Refuse(QWidget* field, const QString& message);

    SettingsStore& m_settings;
    Controls m_ui;
    bool m_initialised = false;
};

}  // namespace qm
