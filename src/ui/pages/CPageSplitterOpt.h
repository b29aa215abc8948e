#pragma once

// The splitter options page: how pieces are encoded, faded, named, tagged and placed. Its
// fields are the splitter options of the settings store, which the split planners and the
// output placement read.

#include "ui/pages/COptionsPage.h"

namespace qm {

class ArrowEdit;
struct SplitterOptions;

class CPageSplitterOpt : public COptionsPage {
    Q_OBJECT

public:
    static inline const char* kCaption = "Splitter Options";

    // The page's own controls, top to bottom, in the order of the tab key (the encoding
    // lists come after sameParams, the folder controls after fileNameDigits).
    struct Controls : OptionsPageControls {
        QCheckBox* reencode = nullptr;
        QCheckBox* sameParams = nullptr;
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
        QCheckBox* folderPerFile = nullptr;
    };

    // The page edits the option values held in settings, which must outlive it.
    explicit CPageSplitterOpt(SettingsStore& settings, QWidget* parent = nullptr);

    const Controls& Ui() const { return m_ui; }

protected:
    OptionsPageControls& SharedUi() override { return m_ui; }
    OptionsPageFields SharedFields() const override;
    void FillOwnControls() override;
    bool TakeOwnFields() override;
    void TakeOwnChoices() override;

private:
    SplitterOptions& Options() const;
    void BuildControls();
    QWidget* BuildSplitSection();
    QWidget* BuildOutputSection();
    void ConnectControls();
    void ConnectTemplates();
    void EnableEncoding();
    void EnableTag();
    void EnableFirstPieces();
    void StepLength(ArrowEdit* field, int* tenths, int tenthsPerStep, int direction);
    void DigitsChanged(ArrowEdit* field, int* digits);
    void ShowSamples();
    bool TakeIntegers();
    bool TakeLength(ArrowEdit* field, bool emptyIsZero, int* tenths);

    Controls m_ui;
};

}  // namespace qm
