#include "ui/pages/CPageJoinerOpt.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <array>

#include "settings/Settings.h"
#include "ui/pages/OptionFields.h"

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

}  // namespace

CPageJoinerOpt::CPageJoinerOpt(SettingsStore& settings, QWidget* parent)
    : OptionsPageWith(kCaption, QStringLiteral("Skip (not join)"), settings, settings.joinerOptions, parent) {
    BuildControls();
    ConnectSharedControls();
    connect(m_ui.preset, &QComboBox::activated, this, &CPageJoinerOpt::PresetChosen);
    connect(m_ui.channels, &QComboBox::activated, this, &CPageJoinerOpt::ShowCustomize);
}

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
    AddEncodingRows(join, 2, QStringLiteral("&Channels:"), this);
    m_ui.volumeChange = VolumeChangeBox(this);
    join->addWidget(BuddyLabel(QStringLiteral("&Volume change:"), m_ui.volumeChange, this), 4, 0);
    join->addWidget(m_ui.volumeChange, 4, 1, Qt::AlignLeft);
    join->setColumnStretch(1, 1);
    join->setColumnStretch(3, 1);
    page->addLayout(join);
    page->addSpacing(6);

    page->addWidget(SectionTitle(QStringLiteral("Output Options"), this));
    auto* output = new QGridLayout;
    output->setContentsMargins(12, 0, 0, 0);
    AddFolderRows(output, 0,
                  {QStringLiteral("Output folder for batch &join:"), QStringLiteral("Brows&e"),
                   QStringLiteral("Choose the folder the batch joiner writes to")},
                  this);
    AddTargetExistsRow(output, 2, QStringLiteral("&When target file exists"), this);
    m_ui.addPostfix = new QCheckBox(QStringLiteral("&Add \"_joined\" at end of target file"), this);
    MakeTreeFolders(QStringLiteral("Create tree &folders according to path of original file"),
                    QStringLiteral("target file"), this);
    m_ui.browseAfter = new QCheckBox(QStringLiteral("&Browse folder of outputted files after joining"), this);
    output->addWidget(m_ui.addPostfix, 3, 0, 1, 3);
    output->addWidget(m_ui.treeFolders, 4, 0, 1, 3);
    output->addWidget(m_ui.treeExample, 5, 0, 1, 3);
    output->addWidget(m_ui.browseAfter, 6, 0, 1, 3);
    output->setColumnStretch(1, 1);
    page->addLayout(output);
    page->addSpacing(6);
    BuildNavigation(page);
    page->addStretch(1);
}

void CPageJoinerOpt::BuildNavigation(QVBoxLayout* page) {
    page->addWidget(SectionTitle(QStringLiteral("Navigation"), this));
    auto* navigation = new QVBoxLayout;
    navigation->setContentsMargins(12, 0, 0, 0);
    m_ui.writeChapters = new QCheckBox(QStringLiteral("Write c&hapters (one per joined file)"), this);
    m_ui.writeChapters->setToolTip(
        QStringLiteral("The joined file's tag lists where each joined file begins, so players and audiobook "
                       "apps can show them and jump to each one"));
    m_ui.writeCueSheet = new QCheckBox(QStringLiteral("Write a c&ue sheet beside the joined file"), this);
    m_ui.writeCueSheet->setToolTip(
        QStringLiteral("NAME.cue next to the joined NAME.mp3, with one track per joined file, for players and "
                       "burners that read cue sheets"));
    navigation->addWidget(m_ui.writeChapters);
    navigation->addWidget(m_ui.writeCueSheet);
    page->addLayout(navigation);
}

void CPageJoinerOpt::FillOwnControls() {
    m_ui.addPostfix->setChecked(Options().AddPostfixAtEndOfFile);
    m_ui.writeChapters->setChecked(Options().WriteChapters);
    m_ui.writeCueSheet->setChecked(Options().WriteCueSheet);
    ShowVolumeChange(m_ui.volumeChange, Options().VolumeChangeTenthsDb);
    FillPresets();
    EnableEncodingLists(!Options().AutoMP3EncodingParam);
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

bool CPageJoinerOpt::TakeOwnFields() {
    Options().AddPostfixAtEndOfFile = m_ui.addPostfix->isChecked();
    Options().WriteChapters = m_ui.writeChapters->isChecked();
    Options().WriteCueSheet = m_ui.writeCueSheet->isChecked();
    Options().VolumeChangeTenthsDb = VolumeChangeTenthsOf(m_ui.volumeChange);
    return true;
}

void CPageJoinerOpt::TakeOwnChoices() {
    Options().AutoMP3EncodingParam = SelectedValue(m_ui.preset, kAutoItem) == kAutoItem;
}

}  // namespace qm
