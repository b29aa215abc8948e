#include "ui/pages/COptionsPage.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <array>

#include "settings/Settings.h"
#include "ui/kit/DesktopCalls.h"
#include "ui/pages/OptionFields.h"
#include "ui/pages/PageSizes.h"

namespace qm {

namespace {

std::array<ValueEntry, 3> TargetExistsEntries(const QString& skipCaption) {
    return {{
        {QStringLiteral("Rename automatically (add number at end of file name)"),
         static_cast<int>(TargetExistsCode::Rename)},
        {QStringLiteral("Overwrite"), static_cast<int>(TargetExistsCode::Overwrite)},
        {skipCaption, static_cast<int>(TargetExistsCode::Skip)},
    }};
}

}  // namespace

COptionsPage::COptionsPage(const char* caption, const QString& skipCaption, SettingsStore& settings, QWidget* parent)
    : CResizablePage(QString::fromLatin1(caption), WorkingPageSize(), parent),
      m_settings(settings),
      m_skipCaption(skipCaption) {}

void COptionsPage::showEvent(QShowEvent* event) {
    if (!m_initialised) InitialiseWindow();
    CResizablePage::showEvent(event);
}

void COptionsPage::InitialiseWindow() {
    if (m_initialised) return;
    ShowSharedFields();
    FillOwnControls();
    m_initialised = true;
}

void COptionsPage::AddEncodingRows(QGridLayout* grid, int row, const QString& channelsCaption, QWidget* parent) {
    OptionsPageControls& ui = SharedUi();
    grid->addWidget(BuddyLabel(QStringLiteral("&Sample frequency:"), ui.sampleRate, parent), row, 0);
    grid->addWidget(ui.sampleRate, row, 1);
    grid->addWidget(BuddyLabel(QStringLiteral("Bit &rate:"), ui.bitRate, parent), row, 2);
    grid->addWidget(ui.bitRate, row, 3);
    grid->addWidget(BuddyLabel(channelsCaption, ui.channels, parent), row + 1, 0);
    grid->addWidget(ui.channels, row + 1, 1);
}

void COptionsPage::AddFolderRows(QGridLayout* grid, int row, const FolderRowTexts& texts, QWidget* parent) {
    OptionsPageControls& ui = SharedUi();
    ui.outputFolder = new QComboBox(parent);
    grid->addWidget(BuddyLabel(texts.folderCaption, ui.outputFolder, parent), row, 0);
    grid->addWidget(ui.outputFolder, row, 1, 1, 2);
    ui.specificFolder = new QLineEdit(parent);
    ui.browse = new QPushButton(texts.browseCaption, parent);
    ui.browse->setToolTip(texts.browseTip);
    grid->addWidget(BuddyLabel(QStringLiteral("S&pecific folder:"), ui.specificFolder, parent), row + 1, 0);
    grid->addWidget(ui.specificFolder, row + 1, 1);
    grid->addWidget(ui.browse, row + 1, 2);
}

void COptionsPage::AddTargetExistsRow(QGridLayout* grid, int row, const QString& caption, QWidget* parent) {
    OptionsPageControls& ui = SharedUi();
    ui.targetExists = new QComboBox(parent);
    grid->addWidget(BuddyLabel(caption, ui.targetExists, parent), row, 0);
    grid->addWidget(ui.targetExists, row, 1, 1, 2);
}

void COptionsPage::MakeTreeFolders(const QString& caption, const QString& what, QWidget* parent) {
    OptionsPageControls& ui = SharedUi();
    ui.treeFolders = new QCheckBox(caption, parent);
    ui.treeExample = new QLabel(KeepPathsWhole(TreeFoldersExample(what)), parent);
    ui.treeExample->setWordWrap(true);
    // The example reads as part of the box above it: it starts under the box's caption.
    ui.treeExample->setIndent(parent->style()->pixelMetric(QStyle::PM_IndicatorWidth) +
                              parent->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing));
}

void COptionsPage::ConnectSharedControls() {
    const OptionsPageControls& ui = SharedUi();
    connect(ui.sampleRate, &QComboBox::activated, this, &COptionsPage::SampleRateChosen);
    connect(ui.bitRate, &QComboBox::activated, this, &COptionsPage::BitRateChosen);
    connect(ui.outputFolder, &QComboBox::activated, this, &COptionsPage::EnableSpecificFolder);
    connect(ui.browse, &QPushButton::clicked, this, &COptionsPage::BrowseFolder);
}

void COptionsPage::ShowSharedFields() {
    const OptionsPageControls& ui = SharedUi();
    const OptionsPageFields fields = SharedFields();
    ui.treeFolders->setChecked(*fields.treeFolders);
    ui.browseAfter->setChecked(*fields.browseAfter);
    ui.specificFolder->setText(QString::fromStdString(*fields.specificFolder));

    FillValueList(ui.outputFolder, OutputFolderEntries());
    SelectCode(ui.outputFolder, fields.outputFolder, OutputFolderCode::SameAsSource);
    EnableSpecificFolder();
    FillValueList(ui.targetExists, TargetExistsEntries(m_skipCaption));
    SelectCode(ui.targetExists, fields.targetExists, TargetExistsCode::Rename);

    FillValueList(ui.sampleRate, SampleRateEntries());
    FillValueList(ui.bitRate, BitRateEntries());
    FillValueList(ui.channels, ChannelEntries());
    SelectValue(ui.channels, static_cast<int>(*fields.channelMode));
    ShowEncodablePair(fields.sampleRateHz, fields.bitRateKbps);
}

void COptionsPage::ShowEncodablePair(int* rateHz, int* kbps) {
    const OptionsPageControls& ui = SharedUi();
    // A stored rate or bit rate that no entry carries shows the first entry. The bit rate is
    // then brought into what MPEG can encode at the rate shown, as choosing the rate would
    // bring it, so the page never shows (nor leaving stores) a pair an encoder refuses, such
    // as 8000 Hz at 128 kbit/s.
    if (!SelectValue(ui.sampleRate, *rateHz)) *rateHz = SelectedValue(ui.sampleRate, *rateHz);
    if (!SelectValue(ui.bitRate, *kbps)) *kbps = SelectedValue(ui.bitRate, *kbps);
    const int fitting = BitRateForSampleRate(*rateHz, *kbps);
    if (fitting == *kbps) return;
    *kbps = fitting;
    SelectValue(ui.bitRate, fitting);
}

void COptionsPage::EnableEncodingLists(bool enabled) {
    const OptionsPageControls& ui = SharedUi();
    for (QComboBox* list : {ui.sampleRate, ui.bitRate, ui.channels}) list->setEnabled(enabled);
}

void COptionsPage::EnableSpecificFolder() {
    const OptionsPageControls& ui = SharedUi();
    const bool specific = SelectedValue(ui.outputFolder, 0) == static_cast<int>(OutputFolderCode::Specific);
    for (QWidget* control :
         std::initializer_list<QWidget*>{ui.specificFolder, ui.browse, ui.treeFolders, ui.treeExample}) {
        control->setEnabled(specific);
    }
}

void COptionsPage::SampleRateChosen() {
    const OptionsPageFields fields = SharedFields();
    if (TakeSampleRateChoice(SharedUi().sampleRate, SharedUi().bitRate, fields.sampleRateHz, fields.bitRateKbps)) {
        EncodingChosen();
    }
}

void COptionsPage::BitRateChosen() {
    const OptionsPageFields fields = SharedFields();
    if (TakeBitRateChoice(SharedUi().sampleRate, SharedUi().bitRate, fields.sampleRateHz, fields.bitRateKbps)) {
        EncodingChosen();
    }
}

void COptionsPage::BrowseFolder() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    TakeFolderFields();
    QApplication::restoreOverrideCursor();
    std::string* specificFolder = SharedFields().specificFolder;
    const QString folder = Desktop().ChooseFolder(this, QStringLiteral("Please choose an output folder:"),
                                                  QString::fromStdString(*specificFolder));
    if (folder.isEmpty()) return;
    *specificFolder = folder.toStdString();
    SharedUi().specificFolder->setText(folder);
}

bool COptionsPage::Refuse(QWidget* field, const QString& message) {
    ShowMessage(Desktop(), this, message);
    field->setFocus();
    if (auto* edit = qobject_cast<QLineEdit*>(field)) edit->selectAll();
    if (auto* arrows = qobject_cast<QAbstractSpinBox*>(field)) arrows->selectAll();
    return false;
}

void COptionsPage::TakeFolderFields() {
    const OptionsPageControls& ui = SharedUi();
    const OptionsPageFields fields = SharedFields();
    *fields.treeFolders = ui.treeFolders->isChecked();
    *fields.browseAfter = ui.browseAfter->isChecked();
    *fields.specificFolder = ui.specificFolder->text().toStdString();
}

bool COptionsPage::TakeOutputFolder() {
    const OptionsPageFields fields = SharedFields();
    TakeCode(SharedUi().outputFolder, fields.outputFolder);
    if (*fields.outputFolder == OutputFolderCode::Specific && fields.specificFolder->empty()) {
        return Refuse(SharedUi().specificFolder, QStringLiteral("Please choose an output folder."));
    }
    return true;
}

void COptionsPage::TakeSharedChoices() {
    const OptionsPageControls& ui = SharedUi();
    const OptionsPageFields fields = SharedFields();
    *fields.bitRateKbps = SelectedValue(ui.bitRate, *fields.bitRateKbps);
    *fields.sampleRateHz = SelectedValue(ui.sampleRate, *fields.sampleRateHz);
    TakeCode(ui.channels, fields.channelMode);
    TakeCode(ui.targetExists, fields.targetExists);
}

bool COptionsPage::Validate() {
    if (!m_initialised) return true;
    TakeFolderFields();
    if (!TakeOwnFields() || !TakeOutputFolder()) return false;
    TakeSharedChoices();
    TakeOwnChoices();
    return true;
}

}  // namespace qm
