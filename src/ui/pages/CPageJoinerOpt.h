#pragma once

// The joiner options page: how joined files are encoded, and where the batch joiner puts
// its outputs. Its fields are the joiner options of the settings store. The encoding is
// chosen from presets ("Auto", four common ones, "Customize"); the three lists show the
// values a preset stands for.

#include "ui/pages/COptionsPage.h"

namespace qm {

struct JoinerOptions;

class CPageJoinerOpt : public COptionsPage {
    Q_OBJECT

public:
    static inline const char* kCaption = "Joiner Options";

    struct Controls : OptionsPageControls {
        QComboBox* preset = nullptr;
        QCheckBox* addPostfix = nullptr;
    };

    // The page edits the option values held in settings, which must outlive it.
    explicit CPageJoinerOpt(SettingsStore& settings, QWidget* parent = nullptr);

    const Controls& Ui() const { return m_ui; }

protected:
    OptionsPageControls& SharedUi() override { return m_ui; }
    OptionsPageFields SharedFields() const override;
    void FillOwnControls() override;
    bool TakeOwnFields() override;
    void TakeOwnChoices() override;
    void EncodingChosen() override { ShowCustomize(); }

private:
    JoinerOptions& Options() const;
    void BuildControls();
    void FillPresets();
    void PresetChosen();
    void ShowCustomize();

    Controls m_ui;
    int m_customizeIndex = -1;
};

}  // namespace qm
