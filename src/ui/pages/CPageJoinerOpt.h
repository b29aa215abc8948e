#pragma once

// The joiner options page: how joined files are encoded, and where the batch joiner puts
// its outputs. Its fields are the joiner options of the settings store. The encoding is
// chosen from presets ("Auto", four common ones, "Customize"); the three lists show the
// values a preset stands for.

#include "ui/pages/COptionsPage.h"

namespace qm {

struct JoinerOptControls : OptionsPageControls {
    QComboBox* preset = nullptr;
    QCheckBox* addPostfix = nullptr;
};

class CPageJoinerOpt : public OptionsPageWith<JoinerOptControls, JoinerOptions> {
    Q_OBJECT

public:
    static inline const char* kCaption = "Joiner Options";

    explicit CPageJoinerOpt(SettingsStore& settings, QWidget* parent = nullptr);

private:
    void BuildControls();
    void FillPresets();
    void PresetChosen();
    // The "Customize" preset is shown once a list's value no longer matches a preset.
    void ShowCustomize();
    void EncodingChosen() override { ShowCustomize(); }

    // The page's part of filling and taking: the preset list and the "_joined" box.
    void FillOwnControls() override;
    bool TakeOwnFields() override;
    void TakeOwnChoices() override;

    int m_customizeIndex = -1;
};

}  // namespace qm
