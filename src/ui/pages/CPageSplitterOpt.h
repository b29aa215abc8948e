#pragma once

// The splitter options page: how pieces are encoded, faded, raised or lowered, named, tagged
// and placed. Its fields are the splitter options of the settings store, which the split
// planners and the output placement read.

#include <functional>
#include <string>

#include "ui/pages/COptionsPage.h"

class QDoubleSpinBox;

namespace qm {

class ArrowEdit;

// The splitter options page's own controls, top to bottom, in the order of the tab key (the
// encoding lists come after sameParams, the folder controls after fileNameDigits).
struct SplitterOptControls : OptionsPageControls {
    QCheckBox* reencode = nullptr;
    QCheckBox* sameParams = nullptr;
    ArrowEdit* fadeIn = nullptr;
    ArrowEdit* fadeOut = nullptr;
    QDoubleSpinBox* volumeChange = nullptr;
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

class CPageSplitterOpt : public OptionsPageWith<SplitterOptControls, SplitterOptions> {
    Q_OBJECT

public:
    static inline const char* kCaption = "Splitter Options";

    explicit CPageSplitterOpt(SettingsStore& settings, QWidget* parent = nullptr);

    // Puts viewer in place of the window the "?" buttons show their help text (UTF-8) in
    // (tests; an empty function restores it).
    void SetTagHelpViewer(std::function<void(const std::string&)> viewer) { m_tagHelpViewer = std::move(viewer); }

private:
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
    void ShowTagHelp(const std::string& help);
    bool TakeIntegers();
    bool TakeLength(ArrowEdit* field, bool emptyIsZero, int* tenths);
    // Every field of the page but the encoding and placement ones is filled and taken here;
    // a field that cannot be kept refuses with its message.
    void FillOwnControls() override;
    bool TakeOwnFields() override;
    void TakeOwnChoices() override;

    std::function<void(const std::string&)> m_tagHelpViewer;
};

}  // namespace qm
