#include "ui/pages/CPageJoinerOpt.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <array>

#include "settings/Settings.h"
#include "ui/pages/CPageSplitterOptFields.h"
#include "ui/pages/PageSizes.h"
#include "ui/shell/MessageBoxes.h"
#include "ui/widgets/GatheringDialogs.h"

namespace qm {

namespace {

// The encoding presets. The item values only tell the entries apart; they are never stored.
struct Preset {
    const char* text;
    int itemValue;
    int kbps;
    int hz;
    ChannelModeCode mode;
};

constexpr int kAutoItem = 392;
constexpr int kCustomizeItem = 2440;
constexpr std::array<Preset, 4> kPresets = {{
    {"11025 Hz, 16 kbps, Mono (low quality, smaller file size)", 648, 16, 11025, ChannelModeCode::Mono},
    {"22050 Hz, 32 kbps, Joint Stereo (OK quality, small size)", 904, 32, 22050, ChannelModeCode::JointStereo},
    {"32000 Hz, 96 kbps, Joint Stereo (medium quality, normal size)", 1160, 96, 32000, ChannelModeCode::JointStereo},
    {"44100Hz, 128 kbps, Joint Stereo (close to CD-quality, large size)", 1416, 128, 44100,
     ChannelModeCode::JointStereo},
}};

const Preset* PresetOfItem(int itemValue) {
    for (const Preset& preset : kPresets) {
        if (preset.itemValue == itemValue) return &preset;
    }
    return nullptr;
}

const std::array<ValueEntry, 3>& TargetExistsEntries() {
    static const std::array<ValueEntry, 3> entries = {{
        {QStringLiteral("Rename automatically (add number at end of file name)"),
         static_cast<int>(TargetExistsCode::Rename)},
        {QStringLiteral("Overwrite"), static_cast<int>(TargetExistsCode::Overwrite)},
        {QStringLiteral("Skip (not join)"), static_cast<int>(TargetExistsCode::Skip)},
    }};
    return entries;
}

}  // namespace

CPageJoinerOpt::CPageJoinerOpt(SettingsStore& settings, QWidget* parent)
    : CResizablePage(QString::fromLatin1(kCaption), WorkingPageSize(), parent), m_settings(settings) {
    BuildControls();
    ConnectControls();
}

JoinerOptions& CPageJoinerOpt::Options() const { return m_settings.joinerOptions; }

void CPageJoinerOpt::BuildControls() {
    auto* page = new QVBoxLayout(this);
    page->addWidget(SectionTitle(QStringLiteral("Join Options"), this));
    auto* join = new QGridLayout;
    join->setContentsMargins(12, 0, 0, 0);
    m_ui.preset = new QComboBox(this);
    m_ui.sampleRate = new QComboBox(this);
    m_ui.bitRate = new QComboBox(this);
    m_ui.channels = new QComboBox(this);
    join->addWidget(BuddyLabel(QStringLiteral("Encoding options of target &MP3 file:"), m_ui.preset, this), 0, 0, 1, 4);
    join->addWidget(m_ui.preset, 1, 0, 1, 4);
    // The rate and channel lists fill the left half, the bit rate the right half.
    join->addWidget(BuddyLabel(QStringLiteral("&Sample frequency:"), m_ui.sampleRate, this), 2, 0);
    join->addWidget(m_ui.sampleRate, 2, 1);
    join->addWidget(BuddyLabel(QStringLiteral("Bit &rate:"), m_ui.bitRate, this), 2, 2);
    join->addWidget(m_ui.bitRate, 2, 3);
    join->addWidget(BuddyLabel(QStringLiteral("&Channels:"), m_ui.channels, this), 3, 0);
    join->addWidget(m_ui.channels, 3, 1);
    join->setColumnStretch(1, 1);
    join->setColumnStretch(3, 1);
    page->addLayout(join);
    page->addSpacing(6);

    page->addWidget(SectionTitle(QStringLiteral("Output Options"), this));
    auto* output = new QGridLayout;
    output->setContentsMargins(12, 0, 0, 0);
    m_ui.outputFolder = new QComboBox(this);
    output->addWidget(BuddyLabel(QStringLiteral("Output folder for batch &join:"), m_ui.outputFolder, this), 0, 0);
    output->addWidget(m_ui.outputFolder, 0, 1, 1, 2);
    m_ui.specificFolder = new QLineEdit(this);
    m_ui.browse = new QPushButton(QStringLiteral("Brows&e"), this);
    m_ui.browse->setToolTip(QStringLiteral("Choose the folder the batch joiner writes to"));
    output->addWidget(BuddyLabel(QStringLiteral("S&pecific folder:"), m_ui.specificFolder, this), 1, 0);
    output->addWidget(m_ui.specificFolder, 1, 1);
    output->addWidget(m_ui.browse, 1, 2);
    m_ui.targetExists = new QComboBox(this);
    output->addWidget(BuddyLabel(QStringLiteral("&When target file exists"), m_ui.targetExists, this), 2, 0);
    output->addWidget(m_ui.targetExists, 2, 1, 1, 2);
    m_ui.addPostfix = new QCheckBox(QStringLiteral("&Add \"_joined\" at end of target file"), this);
    m_ui.treeFolders = new QCheckBox(QStringLiteral("Create tree &folders according to path of original file"), this);
    m_ui.treeExample = new QLabel(TreeFoldersExample(QStringLiteral("target file")), this);
    m_ui.treeExample->setWordWrap(true);
    m_ui.browseAfter = new QCheckBox(QStringLiteral("&Browse folder of outputted files after joining"), this);
    output->addWidget(m_ui.addPostfix, 3, 0, 1, 3);
    output->addWidget(m_ui.treeFolders, 4, 0, 1, 3);
    output->addWidget(m_ui.treeExample, 5, 0, 1, 3);
    output->addWidget(m_ui.browseAfter, 6, 0, 1, 3);
    output->setColumnStretch(1, 1);
    page->addLayout(output);
    page->addStretch(1);
}

void CPageJoinerOpt::ConnectControls() {
    connect(m_ui.preset, &QComboBox::activated, this, &CPageJoinerOpt::PresetChosen);
    connect(m_ui.sampleRate, &QComboBox::activated, this, &CPageJoinerOpt::SampleRateChosen);
    connect(m_ui.bitRate, &QComboBox::activated, this, &CPageJoinerOpt::BitRateChosen);
    connect(m_ui.channels, &QComboBox::activated, this, &CPageJoinerOpt::ShowCustomize);
    connect(m_ui.outputFolder, &QComboBox::activated, this, &CPageJoinerOpt::EnableSpecificFolder);
    connect(m_ui.browse, &QPushButton::clicked, this, &CPageJoinerOpt::BrowseFolder);
}

void CPageJoinerOpt::showEvent(QShowEvent* event) {
    if (!m_initialised) InitialiseWindow();
    CResizablePage::showEvent(event);
}

void CPageJoinerOpt::InitialiseWindow() {
    if (m_initialised) return;
    JoinerOptions& options = Options();
    m_ui.addPostfix->setChecked(options.AddPostfixAtEndOfFile);
    m_ui.treeFolders->setChecked(options.CreateTreeDirs);
    m_ui.browseAfter->setChecked(options.BrowseFolder);
    m_ui.specificFolder->setText(QString::fromStdString(options.SpecifiedOutputFolder));
    m_initialised = true;

    FillValueList(m_ui.outputFolder, OutputFolderEntries());
    if (!SelectValue(m_ui.outputFolder, static_cast<int>(options.OutputFolderOpt))) {
        options.OutputFolderOpt = OutputFolderCode::SameAsSource;
    }
    EnableSpecificFolder();
    FillValueList(m_ui.targetExists, TargetExistsEntries());
    if (!SelectValue(m_ui.targetExists, static_cast<int>(options.TargetExistsOpt))) {
        options.TargetExistsOpt = TargetExistsCode::Rename;
    }

    FillPresets();
    EnableEncodingLists(!options.AutoMP3EncodingParam);
    FillValueList(m_ui.bitRate, BitRateEntries());
    FillValueList(m_ui.sampleRate, SampleRateEntries());
    FillValueList(m_ui.channels, ChannelEntries());
    SelectValue(m_ui.bitRate, options.MP3BitRate);
    SelectValue(m_ui.sampleRate, options.MP3SampleRate);
    SelectValue(m_ui.channels, static_cast<int>(options.MP3ChannelMode));
}

void CPageJoinerOpt::FillPresets() {
    const JoinerOptions& options = Options();
    const QSignalBlocker quiet(m_ui.preset);
    m_ui.preset->clear();
    int selected = -1;
    m_ui.preset->addItem(QStringLiteral("Auto"), kAutoItem);
    if (options.AutoMP3EncodingParam) selected = 0;
    // Without "Auto" the preset whose three values are the options is shown.
    for (const Preset& preset : kPresets) {
        if (!options.AutoMP3EncodingParam && selected < 0 && preset.kbps == options.MP3BitRate &&
            preset.hz == options.MP3SampleRate && preset.mode == options.MP3ChannelMode) {
            selected = m_ui.preset->count();
        }
        m_ui.preset->addItem(QString::fromLatin1(preset.text), preset.itemValue);
    }
    m_customizeIndex = m_ui.preset->count();
    m_ui.preset->addItem(QStringLiteral("Customize"), kCustomizeItem);
    m_ui.preset->setCurrentIndex(selected >= 0 ? selected : m_customizeIndex);
}

void CPageJoinerOpt::EnableEncodingLists(bool enabled) {
    for (QComboBox* list : {m_ui.sampleRate, m_ui.bitRate, m_ui.channels}) list->setEnabled(enabled);
}

void CPageJoinerOpt::PresetChosen() {
    const int item = SelectedValue(m_ui.preset, kAutoItem);
    if (item == kAutoItem) {
        EnableEncodingLists(false);
        return;
    }
    EnableEncodingLists(true);
    const Preset* preset = PresetOfItem(item);
    if (preset == nullptr) return;  // "Customize" keeps the values the lists show
    JoinerOptions& options = Options();
    options.MP3BitRate = preset->kbps;
    options.MP3SampleRate = preset->hz;
    options.MP3ChannelMode = preset->mode;
    SelectValue(m_ui.bitRate, preset->kbps);
    SelectValue(m_ui.sampleRate, preset->hz);
    SelectValue(m_ui.channels, static_cast<int>(preset->mode));
}

void CPageJoinerOpt::ShowCustomize() {
    if (m_customizeIndex >= 0 && m_ui.preset->currentIndex() != m_customizeIndex) {
        const QSignalBlocker quiet(m_ui.preset);
        m_ui.preset->setCurrentIndex(m_customizeIndex);
    }
}

void CPageJoinerOpt::SampleRateChosen() {
    JoinerOptions& options = Options();
    if (TakeSampleRateChoice(m_ui.sampleRate, m_ui.bitRate, &options.MP3SampleRate, &options.MP3BitRate)) {
        ShowCustomize();
    }
}

void CPageJoinerOpt::BitRateChosen() {
    JoinerOptions& options = Options();
    if (TakeBitRateChoice(m_ui.sampleRate, m_ui.bitRate, &options.MP3SampleRate, &options.MP3BitRate)) {
        ShowCustomize();
    }
}

void CPageJoinerOpt::EnableSpecificFolder() {
    const bool specific = SelectedValue(m_ui.outputFolder, 0) == static_cast<int>(OutputFolderCode::Specific);
    for (QWidget* control :
         std::initializer_list<QWidget*>{m_ui.specificFolder, m_ui.browse, m_ui.treeFolders, m_ui.treeExample}) {
        control->setEnabled(specific);
    }
}

void CPageJoinerOpt::TakeControls() {
    JoinerOptions& options = Options();
    options.AddPostfixAtEndOfFile = m_ui.addPostfix->isChecked();
    options.CreateTreeDirs = m_ui.treeFolders->isChecked();
    options.BrowseFolder = m_ui.browseAfter->isChecked();
    options.SpecifiedOutputFolder = m_ui.specificFolder->text().toStdString();
}

void CPageJoinerOpt::BrowseFolder() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    TakeControls();
    QApplication::restoreOverrideCursor();
    const QString folder =
        CurrentGatheringDialogs().ChooseFolder(this, QStringLiteral("Please choose an output folder:"),
                                               QString::fromStdString(Options().SpecifiedOutputFolder));
    if (folder.isEmpty()) return;
    Options().SpecifiedOutputFolder = folder.toStdString();
    m_ui.specificFolder->setText(folder);
}

bool CPageJoinerOpt::Validate() {
    if (!m_initialised) return true;
    TakeControls();
    JoinerOptions& options = Options();
    options.OutputFolderOpt =
        static_cast<OutputFolderCode>(SelectedValue(m_ui.outputFolder, static_cast<int>(options.OutputFolderOpt)));
    if (options.OutputFolderOpt == OutputFolderCode::Specific && options.SpecifiedOutputFolder.empty()) {
        ShowMessage(this, QStringLiteral("Please choose an output folder."));
        m_ui.specificFolder->setFocus();
        return false;
    }
    options.AutoMP3EncodingParam = SelectedValue(m_ui.preset, kAutoItem) == kAutoItem;
    options.MP3BitRate = SelectedValue(m_ui.bitRate, options.MP3BitRate);
    options.MP3SampleRate = SelectedValue(m_ui.sampleRate, options.MP3SampleRate);
    options.MP3ChannelMode =
        static_cast<ChannelModeCode>(SelectedValue(m_ui.channels, static_cast<int>(options.MP3ChannelMode)));
    options.TargetExistsOpt =
        static_cast<TargetExistsCode>(SelectedValue(m_ui.targetExists, static_cast<int>(options.TargetExistsOpt)));
    return true;
}

}  // namespace qm
