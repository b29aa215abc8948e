#pragma once

// What the two splitter pages share in their mode inputs: a radio button per mode with its
// inputs on one row, the size unit list, number boxes and labels, and the inputs of the size,
// count and time modes with their showing, taking and enabling.

#include <functional>
#include <initializer_list>

#include "settings/Options.h"

class QButtonGroup;
class QComboBox;
class QGridLayout;
class QLabel;
class QRadioButton;
class QObject;
class QSpinBox;
class QWidget;

namespace qm {

class TextSpinBox;

// The arrows' ranges of the mode inputs: counts, sizes and minutes up to 32767, seconds to 59.
inline constexpr int kMaxSpinValue = 32767;
inline constexpr int kMaxSeconds = 59;

// Adds mode's radio button (its id in modes is the mode's code) and its inputs, left to
// right, as row `mode` of grid.
QRadioButton* AddModeRow(QGridLayout* grid, QButtonGroup* modes, SplitTypeCode mode, const char* caption,
                         std::initializer_list<QWidget*> inputs);
// "GB", "MB", "KB" in that order, each with its unit code as item data.
QComboBox* MakeUnitList(QWidget* parent);
// Shows unit in list (MB when the code is unknown).
void ShowUnit(QComboBox* list, SizeUnitCode unit);
// A number box with accelerated arrows over low..high.
QSpinBox* NumberSpin(int low, int high, QWidget* parent);
// A label with its text as UTF-8; buddy (may be null) takes the focus of its mnemonic.
QLabel* TextLabel(const char* text, QWidget* buddy, QWidget* parent);
// The minimum width of a mode input: about eight characters in page's font.
int ModeEditWidth(const QWidget* page);

// The mode buttons and the inputs of the size, count and time modes. The custom mode's inputs
// are each page's own.
struct SplitModeControls {
    QButtonGroup* modes = nullptr;
    TextSpinBox* size = nullptr;
    QComboBox* unit = nullptr;
    QSpinBox* count = nullptr;
    QSpinBox* minutes = nullptr;
    QSpinBox* seconds = nullptr;

    // The radio button of mode.
    QRadioButton* Button(SplitTypeCode mode) const;
    // The mode whose button is checked.
    SplitTypeCode Mode() const;
    // Enables the inputs of the checked mode when `enabled`, and disables all others.
    void EnableInputs(bool enabled) const;
    // The input that takes the focus when mode is chosen; null for the custom mode.
    QWidget* FirstInput(SplitTypeCode mode) const;
    // Checks the stored mode's button (size when no button carries the code) and shows the
    // stored size, unit, count and time.
    void Show(const SplitSettings& inputs) const;
    // The checked mode and the shown size, unit, count and time into *inputs.
    void Take(SplitSettings* inputs) const;
    // Calls changed whenever one of the inputs changes.
    void ConnectChanges(QObject* context, const std::function<void()>& changed) const;
};

// What differs between the pages in the size, count and time rows.
struct SplitModeTexts {
    int minSizeUnits;
    int minCount;
    const char* countTip;
    const char* timeCaption;
    const char* minutesCaption;
    const char* secondsCaption;
};

// Makes the mode button group (owned by owner) and the rows of the size, count and time
// modes in grid, whose parent widget owns the inputs.
SplitModeControls MakeSplitModeRows(QGridLayout* grid, QObject* owner, const SplitModeTexts& texts);

}  // namespace qm
