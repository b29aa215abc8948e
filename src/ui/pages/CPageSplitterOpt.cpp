#include "ui/pages/CPageSplitterOpt.h"

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

#include "output/Templates.h"
#include "settings/Settings.h"
#include "ui/pages/CPageSplitterOptFields.h"
#include "ui/pages/PageSizes.h"
#include "ui/shell/MessageBoxes.h"
#include "ui/widgets/GatheringDialogs.h"

namespace qm {

namespace {

// A fade steps by a tenth of a second, an overlap by a whole second.
constexpr int kFadeStepTenths = 1;
constexpr int kOverlapStepTenths = 10;
constexpr int kMaxFirstPieces = 32767;
constexpr const char* kAutoDigitsNote = "(0 means the program sets a number according to total pieces automatically)";

const std::array<ValueEntry, 3>& TrackEntries() {
    static const std::array<ValueEntry, 3> entries = {{
        {QStringLiteral("Original ID3 track number"), static_cast<int>(TrackNumberCode::Source)},
        {QStringLiteral("Split sequence number"), static_cast<int>(TrackNumberCode::Piece)},
        {QStringLiteral("None"), static_cast<int>(TrackNumberCode::None)},
    }};
    return entries;
}

const std::array<ValueEntry, 3>& TargetExistsEntries() {
    static const std::array<ValueEntry, 3> entries = {{
        {QStringLiteral("Rename automatically (add number at end of file name)"),
         static_cast<int>(TargetExistsCode::Rename)},
        {QStringLiteral("Overwrite"), static_cast<int>(TargetExistsCode::Overwrite)},
        {QStringLiteral("Skip (not split)"), static_cast<int>(TargetExistsCode::Skip)},
    }};
    return entries;
}

QString FromUtf8(const std::string& text) { return QString::fromStdString(text); }

QComboBox* DropDown(QWidget* parent) {
    auto* list = new QComboBox(parent);
    list->setEditable(false);
    list->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    return list;
}

QComboBox* TemplateBox(const auto& templates, QWidget* parent) {
    auto* box = new QComboBox(parent);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    box->setMinimumContentsLength(16);
    for (const char* text : templates) box->addItem(QString::fromUtf8(text));
    return box;
}

ArrowEdit* Arrows(ArrowEdit::Digits digits, QWidget* parent) {
    auto* edit = new ArrowEdit(digits, parent);
    edit->setMinimumWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("00000.0")) + 40);
    edit->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    return edit;
}

}  // namespace

CPageSplitterOpt::CPageSplitterOpt(SettingsStore& settings, QWidget* parent)
    : CResizablePage(QString::fromLatin1(kCaption), WorkingPageSize(), parent), m_settings(settings) {
    BuildControls();
    ConnectControls();
}

SplitterOptions& CPageSplitterOpt::Options() const { return m_settings.splitterOptions; }

void CPageSplitterOpt::BuildControls() {
    auto* page = new QVBoxLayout(this);
    page->addWidget(SectionTitle(QStringLiteral("Split Options"), this));
    page->addWidget(BuildSplitSection());
    page->addSpacing(6);
    page->addWidget(SectionTitle(QStringLiteral("Output Options"), this));
    page->addWidget(BuildOutputSection());
    page->addStretch(1);
}

QWidget* CPageSplitterOpt::BuildSplitSection() {
    auto* section = new QWidget(this);
    auto* grid = new QGridLayout(section);
    grid->setContentsMargins(12, 0, 0, 0);
    m_ui.reencode = new QCheckBox(QStringLiteral("Re-&encode pieces"), section);
    m_ui.sameParams = new QCheckBox(QStringLiteral("Use same encoding parameters as origina&l MP3 file"), section);
    m_ui.sampleRate = DropDown(section);
    m_ui.bitRate = DropDown(section);
    m_ui.channels = DropDown(section);
    m_ui.fadeIn = Arrows(ArrowEdit::Digits::Any, section);
    m_ui.fadeOut = Arrows(ArrowEdit::Digits::Any, section);
    m_ui.forwardOverlap = Arrows(ArrowEdit::Digits::Any, section);
    m_ui.backwardOverlap = Arrows(ArrowEdit::Digits::Any, section);
    for (ArrowEdit* fade : {m_ui.fadeIn, m_ui.fadeOut}) {
        fade->setToolTip(QStringLiteral("Seconds with one decimal; the arrows step by 0.1 second"));
    }
    for (ArrowEdit* overlap : {m_ui.forwardOverlap, m_ui.backwardOverlap}) {
        overlap->setToolTip(QStringLiteral("Seconds with one decimal; the arrows step by 1 second"));
    }
    grid->addWidget(m_ui.reencode, 0, 0, 1, 5);
    grid->addWidget(m_ui.sameParams, 1, 0, 1, 5);
    grid->addWidget(BuddyLabel(QStringLiteral("&Sample frequency:"), m_ui.sampleRate, section), 2, 0);
    grid->addWidget(m_ui.sampleRate, 2, 1);
    grid->addWidget(BuddyLabel(QStringLiteral("Bit &rate:"), m_ui.bitRate, section), 2, 2);
    grid->addWidget(m_ui.bitRate, 2, 3);
    grid->addWidget(BuddyLabel(QStringLiteral("C&hannels:"), m_ui.channels, section), 3, 0);
    grid->addWidget(m_ui.channels, 3, 1);
    grid->addWidget(BuddyLabel(QStringLiteral("Fade-i&n (sec):"), m_ui.fadeIn, section), 4, 0);
    grid->addWidget(m_ui.fadeIn, 4, 1);
    grid->addWidget(BuddyLabel(QStringLiteral("Fa&de-out (sec):"), m_ui.fadeOut, section), 4, 2);
    grid->addWidget(m_ui.fadeOut, 4, 3);
    grid->addWidget(BuddyLabel(QStringLiteral("&Forward overlap (sec):"), m_ui.forwardOverlap, section), 5, 0);
    grid->addWidget(m_ui.forwardOverlap, 5, 1);
    grid->addWidget(BuddyLabel(QStringLiteral("&Backward overlap (sec):"), m_ui.backwardOverlap, section), 5, 2);
    grid->addWidget(m_ui.backwardOverlap, 5, 3);

    m_ui.keepTag = new QCheckBox(QStringLiteral("&Keep ID3 tag when splitting"), section);
    m_ui.trackNumber = DropDown(section);
    grid->addWidget(m_ui.keepTag, 6, 0, 1, 5);
    grid->addWidget(BuddyLabel(QStringLiteral("Track &#:"), m_ui.trackNumber, section), 7, 0);
    grid->addWidget(m_ui.trackNumber, 7, 1, 1, 3, Qt::AlignLeft);

    // The title box and its samples share the row's width half and half, the help button
    // between them.
    m_ui.title = TemplateBox(PredefinedTitleTemplates(), section);
    m_ui.titleHelp = new QPushButton(QStringLiteral("?"), section);
    m_ui.titleHelp->setToolTip(QStringLiteral("The tags a title can hold"));
    m_ui.titleHelp->setFixedWidth(m_ui.titleHelp->fontMetrics().horizontalAdvance(QStringLiteral("???")) + 16);
    m_ui.titleSamples = new QLabel(section);
    m_ui.titleSamples->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    auto* titleRow = new QHBoxLayout;
    titleRow->addWidget(m_ui.title, 1);
    titleRow->addWidget(m_ui.titleHelp);
    titleRow->addWidget(m_ui.titleSamples, 1);
    grid->addWidget(BuddyLabel(QStringLiteral("T&itle:"), m_ui.title, section), 8, 0);
    grid->addLayout(titleRow, 8, 1, 1, 4);

    m_ui.titleDigits = Arrows(ArrowEdit::Digits::Only, section);
    grid->addWidget(BuddyLabel(QStringLiteral("Number of digits in Title:"), m_ui.titleDigits, section), 9, 0);
    grid->addWidget(m_ui.titleDigits, 9, 1);
    grid->addWidget(new QLabel(QString::fromLatin1(kAutoDigitsNote), section), 9, 2, 1, 3);

    m_ui.firstPieces = new QCheckBox(QStringLiteral("Onl&y split the first "), section);
    m_ui.firstPiecesNumber = Arrows(ArrowEdit::Digits::Only, section);
    auto* firstRow = new QHBoxLayout;
    firstRow->addWidget(m_ui.firstPieces);
    firstRow->addWidget(m_ui.firstPiecesNumber);
    firstRow->addWidget(new QLabel(QStringLiteral("piece(s) for batch splitter"), section));
    firstRow->addStretch(1);
    grid->addLayout(firstRow, 10, 0, 1, 5);
    grid->setColumnStretch(4, 1);
    return section;
}

QWidget* CPageSplitterOpt::BuildOutputSection() {
    auto* section = new QWidget(this);
    auto* grid = new QGridLayout(section);
    grid->setContentsMargins(12, 0, 0, 0);
    // The file-name box and its samples share the row, so the samples stay readable at the
    // page's smallest size.
    m_ui.fileName = TemplateBox(PredefinedFileNameTemplates(), section);
    m_ui.fileNameHelp = new QPushButton(QStringLiteral("?"), section);
    m_ui.fileNameHelp->setToolTip(QStringLiteral("The tags a file name can hold"));
    m_ui.fileNameHelp->setFixedWidth(m_ui.titleHelp->width());
    m_ui.fileNameSamples = new QLabel(section);
    m_ui.fileNameSamples->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(m_ui.fileName, 1);
    nameRow->addWidget(m_ui.fileNameHelp);
    nameRow->addWidget(m_ui.fileNameSamples, 1);
    grid->addWidget(BuddyLabel(QStringLiteral("Outpu&t file name:"), m_ui.fileName, section), 0, 0);
    grid->addLayout(nameRow, 0, 1, 1, 2);

    m_ui.fileNameDigits = Arrows(ArrowEdit::Digits::Only, section);
    auto* digitsRow = new QHBoxLayout;
    digitsRow->addWidget(m_ui.fileNameDigits);
    digitsRow->addWidget(new QLabel(QString::fromLatin1(kAutoDigitsNote), section), 1);
    grid->addWidget(BuddyLabel(QStringLiteral("Number of digits in file name:"), m_ui.fileNameDigits, section), 1, 0);
    grid->addLayout(digitsRow, 1, 1, 1, 2);

    m_ui.outputFolder = new QComboBox(section);
    grid->addWidget(BuddyLabel(QStringLiteral("&Output folder:"), m_ui.outputFolder, section), 2, 0);
    grid->addWidget(m_ui.outputFolder, 2, 1, 1, 2);
    m_ui.specificFolder = new QLineEdit(section);
    m_ui.browse = new QPushButton(QStringLiteral("Bro&wse"), section);
    m_ui.browse->setToolTip(QStringLiteral("Choose the folder the pieces are written to"));
    grid->addWidget(BuddyLabel(QStringLiteral("S&pecific folder:"), m_ui.specificFolder, section), 3, 0);
    grid->addWidget(m_ui.specificFolder, 3, 1);
    grid->addWidget(m_ui.browse, 3, 2);

    m_ui.folderPerFile = new QCheckBox(QStringLiteral("Create a folder for each &MP3 file"), section);
    m_ui.treeFolders =
        new QCheckBox(QStringLiteral("&Create tree folders according to path of original file"), section);
    m_ui.treeExample = new QLabel(TreeFoldersExample(QStringLiteral("piece(s)")), section);
    m_ui.treeExample->setWordWrap(true);
    grid->addWidget(m_ui.folderPerFile, 4, 0, 1, 3);
    grid->addWidget(m_ui.treeFolders, 5, 0, 1, 3);
    grid->addWidget(m_ui.treeExample, 6, 0, 1, 3);

    m_ui.targetExists = new QComboBox(section);
    grid->addWidget(BuddyLabel(QStringLiteral("When tar&get file exists"), m_ui.targetExists, section), 7, 0);
    grid->addWidget(m_ui.targetExists, 7, 1, 1, 2);
    m_ui.browseAfter = new QCheckBox(QStringLiteral("Browse o&utput folder after splitting"), section);
    grid->addWidget(m_ui.browseAfter, 8, 0, 1, 3);
    grid->setColumnStretch(1, 1);
    return section;
}

void CPageSplitterOpt::ConnectControls() {
    connect(m_ui.reencode, &QCheckBox::clicked, this, [this](bool on) {
        Options().ReencodePieces = on;
        EnableEncoding();
    });
    connect(m_ui.sameParams, &QCheckBox::clicked, this, [this](bool on) {
        Options().UseSameParams = on;
        EnableEncoding();
    });
    connect(m_ui.sampleRate, &QComboBox::activated, this, &CPageSplitterOpt::SampleRateChosen);
    connect(m_ui.bitRate, &QComboBox::activated, this, &CPageSplitterOpt::BitRateChosen);
    const struct {
        ArrowEdit* field;
        int SplitterOptions::*tenths;
        int step;
    } lengths[] = {
        {m_ui.fadeIn, &SplitterOptions::FadeInLen, kFadeStepTenths},
        {m_ui.fadeOut, &SplitterOptions::FadeOutLen, kFadeStepTenths},
        {m_ui.forwardOverlap, &SplitterOptions::ForwardOverlap, kOverlapStepTenths},
        {m_ui.backwardOverlap, &SplitterOptions::BackwardOverlap, kOverlapStepTenths},
    };
    for (const auto& length : lengths) {
        length.field->SetStepper([this, length](int direction) {
            StepLength(length.field, &(Options().*length.tenths), length.step, direction);
        });
    }
    connect(m_ui.keepTag, &QCheckBox::clicked, this, [this](bool on) {
        Options().KeepID3tag = on;
        EnableTag();
    });
    connect(m_ui.firstPieces, &QCheckBox::clicked, this, [this](bool on) {
        Options().SplitFirstNPieces = on;
        EnableFirstPieces();
        if (on) m_ui.firstPiecesNumber->setFocus();
    });
    m_ui.firstPiecesNumber->SetStepper([this](int direction) {
        const int current = m_ui.firstPiecesNumber->Text().toInt();
        m_ui.firstPiecesNumber->SetText(QString::number(std::clamp(current + direction, 1, kMaxFirstPieces)));
    });
    connect(m_ui.outputFolder, &QComboBox::activated, this, &CPageSplitterOpt::EnableSpecificFolder);
    connect(m_ui.browse, &QPushButton::clicked, this, &CPageSplitterOpt::BrowseFolder);
    connect(m_ui.fileName, &QComboBox::currentTextChanged, this, [this](const QString& text) {
        Options().OutputFileName = text.toStdString();
        ShowSamples();
    });
    connect(m_ui.title, &QComboBox::currentTextChanged, this, [this](const QString& text) {
        Options().ID3TitleFormat = text.toStdString();
        ShowSamples();
    });
    connect(m_ui.fileNameDigits, &ArrowEdit::TextChanged, this,
            [this] { DigitsChanged(m_ui.fileNameDigits, &Options().FilenameDigitNumber); });
    connect(m_ui.titleDigits, &ArrowEdit::TextChanged, this,
            [this] { DigitsChanged(m_ui.titleDigits, &Options().TitleDigitNumber); });
    for (ArrowEdit* digits : {m_ui.fileNameDigits, m_ui.titleDigits}) {
        digits->SetStepper([digits](int direction) {
            digits->SetText(QString::number(std::clamp(digits->Text().toInt() + direction, 0, kMaxDigitNumber)));
        });
    }
    const auto showHelp = [this](const std::string& help) {
        ShowMessage(this, FromUtf8(help), MessageIcon::Information);
    };
    connect(m_ui.titleHelp, &QPushButton::clicked, this, [showHelp] { showHelp(TitleTagHelp()); });
    connect(m_ui.fileNameHelp, &QPushButton::clicked, this, [showHelp] { showHelp(FileNameTagHelp()); });
}

void CPageSplitterOpt::showEvent(QShowEvent* event) {
    if (!m_initialised) InitialiseWindow();
    CResizablePage::showEvent(event);
}

void CPageSplitterOpt::InitialiseWindow() {
    if (m_initialised) return;
    SplitterOptions& options = Options();
    // The digit handlers only run once the page is initialised, so filling the edits
    // below is not taken as typing.
    m_ui.reencode->setChecked(options.ReencodePieces);
    m_ui.sameParams->setChecked(options.UseSameParams);
    m_ui.keepTag->setChecked(options.KeepID3tag);
    m_ui.firstPieces->setChecked(options.SplitFirstNPieces);
    m_ui.folderPerFile->setChecked(options.CreateFolderForEachMP3);
    m_ui.treeFolders->setChecked(options.CreateTreeDirs);
    m_ui.browseAfter->setChecked(options.BrowseFolder);
    m_ui.specificFolder->setText(FromUtf8(options.SpecifiedOutputFolder));
    m_ui.titleDigits->SetText(QString::number(options.TitleDigitNumber));
    m_ui.fileNameDigits->SetText(QString::number(options.FilenameDigitNumber));
    m_ui.firstPiecesNumber->SetText(QString::number(options.FirstPiecesNumber));

    FillValueList(m_ui.sampleRate, SampleRateEntries());
    FillValueList(m_ui.bitRate, BitRateEntries());
    FillValueList(m_ui.channels, ChannelEntries());
    SelectValue(m_ui.sampleRate, options.MP3SampleRate);
    SelectValue(m_ui.bitRate, options.MP3BitRate);
    SelectValue(m_ui.channels, static_cast<int>(options.MP3ChannelMode));
    EnableEncoding();

    m_ui.fadeIn->SetText(FormatTenths(options.FadeInLen));
    m_ui.fadeOut->SetText(FormatTenths(options.FadeOutLen));
    m_ui.forwardOverlap->SetText(FormatTenths(options.ForwardOverlap));
    m_ui.backwardOverlap->SetText(FormatTenths(options.BackwardOverlap));

    FillValueList(m_ui.outputFolder, OutputFolderEntries());
    if (!SelectValue(m_ui.outputFolder, static_cast<int>(options.OutputFolderOpt))) {
        options.OutputFolderOpt = OutputFolderCode::SameAsSource;
    }
    EnableSpecificFolder();
    FillValueList(m_ui.targetExists, TargetExistsEntries());
    if (!SelectValue(m_ui.targetExists, static_cast<int>(options.TargetExistsOpt))) {
        options.TargetExistsOpt = TargetExistsCode::Rename;
    }
    EnableFirstPieces();

    FillValueList(m_ui.trackNumber, TrackEntries());
    if (!SelectValue(m_ui.trackNumber, static_cast<int>(options.ID3TrackNumType))) {
        options.ID3TrackNumType = TrackNumberCode::Source;
    }
    {
        // Showing the stored templates must not write the list's first entry over them.
        const QSignalBlocker quietName(m_ui.fileName);
        const QSignalBlocker quietTitle(m_ui.title);
        m_ui.fileName->setEditText(FromUtf8(options.OutputFileName));
        m_ui.title->setEditText(FromUtf8(options.ID3TitleFormat));
    }
    EnableTag();
    m_initialised = true;
    ShowSamples();
}

void CPageSplitterOpt::EnableEncoding() {
    const bool reencode = m_ui.reencode->isChecked();
    const bool ownParams = reencode && !m_ui.sameParams->isChecked();
    m_ui.sameParams->setEnabled(reencode);
    for (QComboBox* list : {m_ui.sampleRate, m_ui.bitRate, m_ui.channels}) list->setEnabled(ownParams);
}

void CPageSplitterOpt::EnableTag() {
    const bool keep = m_ui.keepTag->isChecked();
    for (QWidget* control :
         std::initializer_list<QWidget*>{m_ui.trackNumber, m_ui.title, m_ui.titleHelp, m_ui.titleDigits}) {
        control->setEnabled(keep);
    }
}

void CPageSplitterOpt::EnableFirstPieces() { m_ui.firstPiecesNumber->setEnabled(m_ui.firstPieces->isChecked()); }

void CPageSplitterOpt::EnableSpecificFolder() {
    const bool specific = SelectedValue(m_ui.outputFolder, 0) == static_cast<int>(OutputFolderCode::Specific);
    for (QWidget* control :
         std::initializer_list<QWidget*>{m_ui.specificFolder, m_ui.browse, m_ui.treeFolders, m_ui.treeExample}) {
        control->setEnabled(specific);
    }
}

void CPageSplitterOpt::SampleRateChosen() {
    SplitterOptions& options = Options();
    TakeSampleRateChoice(m_ui.sampleRate, m_ui.bitRate, &options.MP3SampleRate, &options.MP3BitRate);
}

void CPageSplitterOpt::BitRateChosen() {
    SplitterOptions& options = Options();
    TakeBitRateChoice(m_ui.sampleRate, m_ui.bitRate, &options.MP3SampleRate, &options.MP3BitRate);
}

void CPageSplitterOpt::StepLength(ArrowEdit* field, int* tenths, int tenthsPerStep, int direction) {
    // The arrows start from what the field shows; an empty field counts as 0, and a text
    // that does not read as a length leaves the stored length as the start.
    int shown = 0;
    if (ParseTenths(field->Text(), /*emptyIsZero=*/true, &shown)) *tenths = shown;
    *tenths = std::max(0, *tenths + direction * tenthsPerStep);
    field->SetText(FormatTenths(*tenths));
}

void CPageSplitterOpt::DigitsChanged(ArrowEdit* field, int* digits) {
    if (!m_initialised) return;
    // The edit takes digits only, so a text that does not read as an int is a number too
    // large for one.
    bool read = false;
    int value = field->Text().toInt(&read);
    if (!read) value = field->Text().isEmpty() ? 0 : kMaxDigitNumber + 1;
    *digits = std::min(value, kMaxDigitNumber);
    if (value > kMaxDigitNumber) field->SetText(QString::number(kMaxDigitNumber));
    ShowSamples();
}

void CPageSplitterOpt::ShowSamples() {
    const SplitterOptions& options = Options();
    m_ui.fileNameSamples->setText(FromUtf8(FileNameSamples(options.OutputFileName, options.FilenameDigitNumber)));
    m_ui.titleSamples->setText(FromUtf8(TitleSamples(options.ID3TitleFormat, options.TitleDigitNumber)));
    m_ui.fileNameSamples->setToolTip(m_ui.fileNameSamples->text());
    m_ui.titleSamples->setToolTip(m_ui.titleSamples->text());
}

void CPageSplitterOpt::BrowseFolder() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    Options().SpecifiedOutputFolder = m_ui.specificFolder->text().toStdString();
    QApplication::restoreOverrideCursor();
    const QString folder = CurrentGatheringDialogs().ChooseFolder(
        this, QStringLiteral("Please choose an output folder:"), m_ui.specificFolder->text());
    if (folder.isEmpty()) return;
    Options().SpecifiedOutputFolder = folder.toStdString();
    m_ui.specificFolder->setText(folder);
}

bool CPageSplitterOpt::Refuse(QWidget* field, const QString& message) {
    ShowMessage(this, message);
    field->setFocus();
    if (auto* edit = qobject_cast<QLineEdit*>(field)) edit->selectAll();
    if (auto* arrows = qobject_cast<QAbstractSpinBox*>(field)) arrows->selectAll();
    return false;
}

bool CPageSplitterOpt::TakeIntegers() {
    // The integer fields in the page's order; an empty one stops the transfer there.
    const struct {
        ArrowEdit* field;
        int* value;
    } integers[] = {
        {m_ui.titleDigits, &Options().TitleDigitNumber},
        {m_ui.firstPiecesNumber, &Options().FirstPiecesNumber},
        {m_ui.fileNameDigits, &Options().FilenameDigitNumber},
    };
    for (const auto& integer : integers) {
        bool read = false;
        const int value = integer.field->Text().toInt(&read);
        if (!read) return Refuse(integer.field, QStringLiteral("Please enter an integer."));
        *integer.value = integer.value == &Options().FirstPiecesNumber ? value : std::min(value, kMaxDigitNumber);
    }
    return true;
}

bool CPageSplitterOpt::TakeLength(ArrowEdit* field, bool emptyIsZero, int* tenths) {
    QString shown;
    if (ParseTenths(field->Text(), emptyIsZero, tenths, &shown)) return true;
    return Refuse(field, QStringLiteral("Invalid number: %1, please enter it again.").arg(shown));
}

bool CPageSplitterOpt::Validate() {
    if (!m_initialised) return true;
    SplitterOptions& options = Options();
    options.CreateFolderForEachMP3 = m_ui.folderPerFile->isChecked();
    options.CreateTreeDirs = m_ui.treeFolders->isChecked();
    options.BrowseFolder = m_ui.browseAfter->isChecked();
    options.SpecifiedOutputFolder = m_ui.specificFolder->text().toStdString();
    options.OutputFileName = m_ui.fileName->currentText().toStdString();
    options.ID3TitleFormat = m_ui.title->currentText().toStdString();
    bool pass = TakeIntegers();
    // Each length is checked even after an earlier field failed, so every parsed value is
    // kept; the first failure's message is the one shown.
    pass = pass && TakeLength(m_ui.fadeIn, /*emptyIsZero=*/true, &options.FadeInLen);
    pass = pass && TakeLength(m_ui.fadeOut, /*emptyIsZero=*/true, &options.FadeOutLen);
    pass = pass && TakeLength(m_ui.forwardOverlap, /*emptyIsZero=*/false, &options.ForwardOverlap);
    pass = pass && TakeLength(m_ui.backwardOverlap, /*emptyIsZero=*/false, &options.BackwardOverlap);
    if (pass && options.SplitFirstNPieces && options.FirstPiecesNumber < 1) {
        pass = Refuse(m_ui.firstPiecesNumber, QStringLiteral("Please enter a positive value."));
    }
    if (pass && options.OutputFileName.empty()) {
        pass = Refuse(m_ui.fileName, QStringLiteral("Please enter output file name or select one."));
    }
    if (pass) {
        options.OutputFolderOpt =
            static_cast<OutputFolderCode>(SelectedValue(m_ui.outputFolder, static_cast<int>(options.OutputFolderOpt)));
        if (options.OutputFolderOpt == OutputFolderCode::Specific && options.SpecifiedOutputFolder.empty()) {
            pass = Refuse(m_ui.specificFolder, QStringLiteral("Please choose an output folder."));
        }
    }
    if (!pass) return false;
    options.MP3BitRate = SelectedValue(m_ui.bitRate, options.MP3BitRate);
    options.MP3SampleRate = SelectedValue(m_ui.sampleRate, options.MP3SampleRate);
    options.MP3ChannelMode =
        static_cast<ChannelModeCode>(SelectedValue(m_ui.channels, static_cast<int>(options.MP3ChannelMode)));
    options.TargetExistsOpt =
        static_cast<TargetExistsCode>(SelectedValue(m_ui.targetExists, static_cast<int>(options.TargetExistsOpt)));
    options.ID3TrackNumType =
        static_cast<TrackNumberCode>(SelectedValue(m_ui.trackNumber, static_cast<int>(options.ID3TrackNumType)));
    return true;
}

}  // namespace qm
