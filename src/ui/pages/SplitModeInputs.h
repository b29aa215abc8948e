#pragma once

// What the two splitter pages share in building their mode inputs: a radio button per mode
// with its inputs on one row, the size unit list, number boxes and labels.

#include <initializer_list>

#include "settings/Options.h"

class QButtonGroup;
class QComboBox;
class QGridLayout;
class QLabel;
class QRadioButton;
class QSpinBox;
class QWidget;

namespace qm {

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

}  // namespace qm
