#pragma once

// What the two options pages share: the option values they edit, put into the controls the
// first time the page is shown and taken back when it is left; the three encoding lists
// (sample rate, bit rate, channels), whose choices keep each other encodable; and the output
// placement (output folder, specific folder, tree folders, what happens when the target
// exists, browsing the folder afterwards). Both option groups hold these fields under the
// same names.

#include <QString>
#include <string>

#include "settings/Options.h"
#include "ui/kit/CResizablePage.h"

class QCheckBox;
class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;

namespace qm {

class SettingsStore;

// The controls every options page has. A page's own Controls add theirs to these.
struct OptionsPageControls {
    QComboBox* sampleRate = nullptr;
    QComboBox* bitRate = nullptr;
    QComboBox* channels = nullptr;
    QComboBox* outputFolder = nullptr;
    QLineEdit* specificFolder = nullptr;
    QPushButton* browse = nullptr;
    QCheckBox* treeFolders = nullptr;
    QLabel* treeExample = nullptr;
    QComboBox* targetExists = nullptr;
    QCheckBox* browseAfter = nullptr;
};

// The option fields behind those controls.
struct OptionsPageFields {
    int* sampleRateHz;
    int* bitRateKbps;
    ChannelModeCode* channelMode;
    OutputFolderCode* outputFolder;
    std::string* specificFolder;  // UTF-8
    bool* treeFolders;
    TargetExistsCode* targetExists;
    bool* browseAfter;

    template <typename Options>
    static OptionsPageFields Of(Options& options) {
        return {
            &options.MP3SampleRate,         &options.MP3BitRate,     &options.MP3ChannelMode,  &options.OutputFolderOpt,
            &options.SpecifiedOutputFolder, &options.CreateTreeDirs, &options.TargetExistsOpt, &options.BrowseFolder};
    }
};

// The texts of the output folder rows, which carry each page's own accelerators.
struct FolderRowTexts {
    QString folderCaption;  // "&Output folder:"
    QString browseCaption;  // "Bro&wse"
    QString browseTip;
};

class COptionsPage : public CResizablePage {
    Q_OBJECT

public:
    // Fills the controls from the options; runs once, when the page is first shown.
    void InitialiseWindow();
    bool Initialised() const { return m_initialised; }

    // Takes the controls into the options before the page is left or the window closes.
    // Shows a message, puts the focus on the field in question and returns false when a
    // field holds a value that cannot be kept (the specific folder is chosen but empty, or
    // one of the page's own fields). Passes without looking until the page was shown.
    virtual bool Validate();

protected:
    // The page edits the option values held in settings, which must outlive it. skipCaption
    // is the target-exists list's entry for skipping ("Skip (not split)").
    COptionsPage(const char* caption, const QString& skipCaption, SettingsStore& settings, QWidget* parent);

    // The option values the page edits.
    SettingsStore& Settings() const { return m_settings; }
    void showEvent(QShowEvent* event) override;

    // The page's part: its controls and option fields, filling its own controls, and taking
    // them before (may refuse, with the message shown) and after the shared ones.
    virtual OptionsPageControls& SharedUi() = 0;
    virtual OptionsPageFields SharedFields() const = 0;
    virtual void FillOwnControls() = 0;
    virtual bool TakeOwnFields() = 0;
    virtual void TakeOwnChoices() = 0;
    // A choice in an encoding list was stored.
    virtual void EncodingChosen() {}

    // Puts the rate and bit-rate lists (left and right half) into row of grid and the channel
    // list into the row below it. The lists are made by the page.
    void AddEncodingRows(QGridLayout* grid, int row, const QString& channelsCaption, QWidget* parent);
    // Makes the output folder list into row of grid and the specific folder with its browse
    // button into the row below; spans three columns.
    void AddFolderRows(QGridLayout* grid, int row, const FolderRowTexts& texts, QWidget* parent);
    // Makes the target-exists list into row of grid, over three columns.
    void AddTargetExistsRow(QGridLayout* grid, int row, const QString& caption, QWidget* parent);
    // Makes the tree-folders box and its example; `what` names the output ("piece(s)").
    void MakeTreeFolders(const QString& caption, const QString& what, QWidget* parent);
    // Connects the encoding lists and the folder controls.
    void ConnectSharedControls();

    // Enables the three encoding lists, or not.
    void EnableEncodingLists(bool enabled);
    // Shows a message, puts the focus on field (its text selected) and returns false.
    bool Refuse(QWidget* field, const QString& message);

private:
    void ShowSharedFields();
    void ShowEncodablePair(int* rateHz, int* kbps);
    void EnableSpecificFolder();
    void SampleRateChosen();
    void BitRateChosen();
    void BrowseFolder();
    void TakeFolderFields();
    bool TakeOutputFolder();
    void TakeSharedChoices();

    SettingsStore& m_settings;
    QString m_skipCaption;
    bool m_initialised = false;
};

// An options page with its own Controls (which add to OptionsPageControls) over one option
// group of the settings store.
template <typename PageControls, typename PageOptions>
class OptionsPageWith : public COptionsPage {
public:
    using Controls = PageControls;

    const Controls& Ui() const { return m_ui; }

protected:
    // options is the group of settings the page edits.
    OptionsPageWith(const char* caption, const QString& skipCaption, SettingsStore& settings, PageOptions& options,
                    QWidget* parent)
        : COptionsPage(caption, skipCaption, settings, parent), m_options(options) {}

    PageOptions& Options() const { return m_options; }
    OptionsPageControls& SharedUi() override { return m_ui; }
    OptionsPageFields SharedFields() const override { return OptionsPageFields::Of(m_options); }

    Controls m_ui;

private:
    PageOptions& m_options;
};

}  // namespace qm
