#pragma once

// The joiner options page: how joined files are encoded and raised or lowered (the volume
// change), where the batch joiner puts its outputs, and whether a joined file carries a
// chapter per source and a cue sheet beside it. Its fields are the joiner options of the
// settings store. The encoding is chosen from presets ("Auto", four common ones,
// "Customize"); the three lists show the values a preset stands for.

#include "ui/pages/COptionsPage.h"

class QDoubleSpinBox;
class QVBoxLayout;

namespace qm {

struct JoinerOptControls : OptionsPageControls {
    QComboBox* preset = nullptr;
    QDoubleSpinBox* volumeChange = nullptr;
    QCheckBox* addPostfix = nullptr;
    QCheckBox* writeChapters = nullptr;
    QCheckBox* writeCueSheet = nullptr;
};

class CPageJoinerOpt : public OptionsPageWith<JoinerOptControls, JoinerOptions> {
    Q_OBJECT

public:
    static inline const char* kCaption = "Joiner Options";

    explicit CPageJoinerOpt(SettingsStore& settings, QWidget* parent = nullptr);

private:
    void BuildControls();
    // The "Navigation" group: the chapters and cue sheet boxes.
    void BuildNavigation(QVBoxLayout* page);
    void FillPresets();
    void PresetChosen();
    // The "Customize" preset is shown once a list's value no longer matches a preset.
    void ShowCustomize();
    void EncodingChosen() override { ShowCustomize(); }

    // The page's part of filling and taking: the preset list, the volume change, the "_joined"
    // box and the navigation boxes.
    void FillOwnControls() override;
    bool TakeOwnFields() override;
    void TakeOwnChoices() override;

    int m_customizeIndex = -1;
};

}  // namespace qm
