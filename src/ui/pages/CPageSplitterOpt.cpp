#include "ui/pages/CPageSplitterOpt.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <array>

#include "output/Templates.h"
#include "settings/Settings.h"
#include "ui/kit/MessageBoxes.h"
#include "ui/pages/CPageSplitterOptTagHelp.h"
#include "ui/pages/OptionFields.h"

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

// Adds a template row to grid: the caption, then over span columns the template box, its help
// button and its samples. The box and the samples share the row's width half and half, the
// help button between them, so the samples stay readable at the page's smallest size.
void AddTemplateRow(QGridLayout* grid, int row, int span, const QString& caption, const auto& templates,
                    const QString& helpTip, QComboBox** box, QPushButton** help, QLabel** samples) {
    QWidget* parent = grid->parentWidget();
    *box = TemplateBox(templates, parent);
    *help = new QPushButton(QStringLiteral("?"), parent);
    (*help)->setToolTip(helpTip);
    (*help)->setFixedWidth((*help)->fontMetrics().horizontalAdvance(QStringLiteral("???")) + 16);
    *samples = new QLabel(parent);
    (*samples)->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    auto* line = new QHBoxLayout;
    line->addWidget(*box, 1);
    line->addWidget(*help);
    line->addWidget(*samples, 1);
    grid->addWidget(BuddyLabel(caption, *box, parent), row, 0);
    grid->addLayout(line, row, 1, 1, span);
}

ArrowEdit* Arrows(ArrowEdit::Digits digits, QWidget* parent) {
    auto* edit = new ArrowEdit(digits, parent);
    edit->setMinimumWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("00000.0")) + 40);
    edit->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    return edit;
}

}  // namespace

CPageSplitterOpt::CPageSplitterOpt(SettingsStore& settings, QWidget* parent)
    : OptionsPageWith(kCaption, QStringLiteral("Skip (not split)"), settings, settings.splitterOptions, parent) {
    BuildControls();
    ConnectSharedControls();
    ConnectControls();
    ConnectTemplates();
}

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
        fade->setToolTip(
            QStringLiteral("Seconds with one decimal; the arrows step by 0.1 second. With \"Re-encode pieces\" off, "
                           "MP3 (Layer III) pieces fade without re-encoding, by whole 1.5 dB steps of each granule's "
                           "gain; Layer I/II sources are re-encoded to fade"));
    }
    m_ui.volumeChange = VolumeChangeBox(section);
    for (ArrowEdit* overlap : {m_ui.forwardOverlap, m_ui.backwardOverlap}) {
        overlap->setToolTip(QStringLiteral("Seconds with one decimal; the arrows step by 1 second"));
    }
    grid->addWidget(m_ui.reencode, 0, 0, 1, 5);
    grid->addWidget(m_ui.sameParams, 1, 0, 1, 5);
    AddEncodingRows(grid, 2, QStringLiteral("C&hannels:"), section);
    grid->addWidget(BuddyLabel(QStringLiteral("Fade-i&n (sec):"), m_ui.fadeIn, section), 4, 0);
    grid->addWidget(m_ui.fadeIn, 4, 1);
    grid->addWidget(BuddyLabel(QStringLiteral("Fa&de-out (sec):"), m_ui.fadeOut, section), 4, 2);
    grid->addWidget(m_ui.fadeOut, 4, 3);
    auto* volumeRow = new QHBoxLayout;
    // As far from the fade-out's field as the fade-out's label is from the fade-in's.
    volumeRow->addSpacing(grid->horizontalSpacing() > 0 ? grid->horizontalSpacing() * 2 : 12);
    volumeRow->addWidget(BuddyLabel(QStringLiteral("&Volume change:"), m_ui.volumeChange, section));
    volumeRow->addWidget(m_ui.volumeChange);
    volumeRow->addStretch(1);
    grid->addLayout(volumeRow, 4, 4);
    grid->addWidget(BuddyLabel(QStringLiteral("&Forward overlap (sec):"), m_ui.forwardOverlap, section), 5, 0);
    grid->addWidget(m_ui.forwardOverlap, 5, 1);
    grid->addWidget(BuddyLabel(QStringLiteral("&Backward overlap (sec):"), m_ui.backwardOverlap, section), 5, 2);
    grid->addWidget(m_ui.backwardOverlap, 5, 3);

    m_ui.keepTag = new QCheckBox(QStringLiteral("&Keep ID3 tag when splitting"), section);
    m_ui.trackNumber = DropDown(section);
    grid->addWidget(m_ui.keepTag, 6, 0, 1, 5);
    grid->addWidget(BuddyLabel(QStringLiteral("Track &#:"), m_ui.trackNumber, section), 7, 0);
    grid->addWidget(m_ui.trackNumber, 7, 1, 1, 3, Qt::AlignLeft);

    AddTemplateRow(grid, 8, 4, QStringLiteral("T&itle:"), PredefinedTitleTemplates(),
                   QStringLiteral("The tags a title can hold"), &m_ui.title, &m_ui.titleHelp, &m_ui.titleSamples);

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
    AddTemplateRow(grid, 0, 2, QStringLiteral("Outpu&t file name:"), PredefinedFileNameTemplates(),
                   QStringLiteral("The tags a file name can hold"), &m_ui.fileName, &m_ui.fileNameHelp,
                   &m_ui.fileNameSamples);

    m_ui.fileNameDigits = Arrows(ArrowEdit::Digits::Only, section);
    auto* digitsRow = new QHBoxLayout;
    digitsRow->addWidget(m_ui.fileNameDigits);
    digitsRow->addWidget(new QLabel(QString::fromLatin1(kAutoDigitsNote), section), 1);
    grid->addWidget(BuddyLabel(QStringLiteral("Number of digits in file name:"), m_ui.fileNameDigits, section), 1, 0);
    grid->addLayout(digitsRow, 1, 1, 1, 2);

    AddFolderRows(grid, 2,
                  {QStringLiteral("&Output folder:"), QStringLiteral("Bro&wse"),
                   QStringLiteral("Choose the folder the pieces are written to")},
                  section);

    m_ui.folderPerFile = new QCheckBox(QStringLiteral("Create a folder for each &MP3 file"), section);
    MakeTreeFolders(QStringLiteral("&Create tree folders according to path of original file"),
                    QStringLiteral("piece(s)"), section);
    grid->addWidget(m_ui.folderPerFile, 4, 0, 1, 3);
    grid->addWidget(m_ui.treeFolders, 5, 0, 1, 3);
    grid->addWidget(m_ui.treeExample, 6, 0, 1, 3);

    AddTargetExistsRow(grid, 7, QStringLiteral("When tar&get file exists"), section);
    m_ui.browseAfter = new QCheckBox(QStringLiteral("Browse o&utput folder after splitting"), section);
    grid->addWidget(m_ui.browseAfter, 8, 0, 1, 3);
    grid->setColumnStretch(1, 1);
    return section;
}

void CPageSplitterOpt::ConnectControls() {
    // A tick is stored at once and enables the controls that depend on it.
    const struct {
        QCheckBox* box;
        bool SplitterOptions::*option;
        void (CPageSplitterOpt::*enable)();
    } ticks[] = {
        {m_ui.reencode, &SplitterOptions::ReencodePieces, &CPageSplitterOpt::EnableEncoding},
        {m_ui.sameParams, &SplitterOptions::UseSameParams, &CPageSplitterOpt::EnableEncoding},
        {m_ui.keepTag, &SplitterOptions::KeepID3tag, &CPageSplitterOpt::EnableTag},
        {m_ui.firstPieces, &SplitterOptions::SplitFirstNPieces, &CPageSplitterOpt::EnableFirstPieces},
    };
    for (const auto& tick : ticks) {
        connect(tick.box, &QCheckBox::clicked, this, [this, tick](bool on) {
            Options().*tick.option = on;
            (this->*tick.enable)();
        });
    }
    connect(m_ui.firstPieces, &QCheckBox::clicked, this, [this](bool on) {
        if (on) m_ui.firstPiecesNumber->setFocus();
    });
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
    m_ui.firstPiecesNumber->SetStepper([this](int direction) {
        const int current = m_ui.firstPiecesNumber->Text().toInt();
        m_ui.firstPiecesNumber->SetText(QString::number(std::clamp(current + direction, 1, kMaxFirstPieces)));
    });
}

void CPageSplitterOpt::ConnectTemplates() {
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
    connect(m_ui.titleHelp, &QPushButton::clicked, this, [this] { ShowTagHelp(TitleTagHelp()); });
    connect(m_ui.fileNameHelp, &QPushButton::clicked, this, [this] { ShowTagHelp(FileNameTagHelp()); });
}

void CPageSplitterOpt::ShowTagHelp(const std::string& help) {
    if (m_tagHelpViewer) {
        m_tagHelpViewer(help);
        return;
    }
    TagHelpDialog dialog(help, this);
    dialog.exec();
}

void CPageSplitterOpt::FillOwnControls() {
    SplitterOptions& options = Options();
    // The digit handlers only run once the page is initialised, so filling the edits
    // below is not taken as typing.
    m_ui.reencode->setChecked(options.ReencodePieces);
    m_ui.sameParams->setChecked(options.UseSameParams);
    m_ui.keepTag->setChecked(options.KeepID3tag);
    m_ui.firstPieces->setChecked(options.SplitFirstNPieces);
    m_ui.folderPerFile->setChecked(options.CreateFolderForEachMP3);
    m_ui.titleDigits->SetText(QString::number(options.TitleDigitNumber));
    m_ui.fileNameDigits->SetText(QString::number(options.FilenameDigitNumber));
    m_ui.firstPiecesNumber->SetText(QString::number(options.FirstPiecesNumber));

    EnableEncoding();

    m_ui.fadeIn->SetText(FormatTenths(options.FadeInLen));
    m_ui.fadeOut->SetText(FormatTenths(options.FadeOutLen));
    ShowVolumeChange(m_ui.volumeChange, options.VolumeChangeTenthsDb);
    m_ui.forwardOverlap->SetText(FormatTenths(options.ForwardOverlap));
    m_ui.backwardOverlap->SetText(FormatTenths(options.BackwardOverlap));

    EnableFirstPieces();

    FillValueList(m_ui.trackNumber, TrackEntries());
    SelectCode(m_ui.trackNumber, &options.ID3TrackNumType, TrackNumberCode::Source);
    {
        // Showing the stored templates must not write the list's first entry over them.
        const QSignalBlocker quietName(m_ui.fileName);
        const QSignalBlocker quietTitle(m_ui.title);
        m_ui.fileName->setEditText(FromUtf8(options.OutputFileName));
        m_ui.title->setEditText(FromUtf8(options.ID3TitleFormat));
    }
    EnableTag();
    ShowSamples();
}

void CPageSplitterOpt::EnableEncoding() {
    const bool reencode = m_ui.reencode->isChecked();
    m_ui.sameParams->setEnabled(reencode);
    EnableEncodingLists(reencode && !m_ui.sameParams->isChecked());
}

void CPageSplitterOpt::EnableTag() {
    const bool keep = m_ui.keepTag->isChecked();
    for (QWidget* control :
         std::initializer_list<QWidget*>{m_ui.trackNumber, m_ui.title, m_ui.titleHelp, m_ui.titleDigits}) {
        control->setEnabled(keep);
    }
}

void CPageSplitterOpt::EnableFirstPieces() { m_ui.firstPiecesNumber->setEnabled(m_ui.firstPieces->isChecked()); }

void CPageSplitterOpt::StepLength(ArrowEdit* field, int* tenths, int tenthsPerStep, int direction) {
    // The arrows start from what the field shows; an empty field counts as 0, and a text
    // that does not read as a length leaves the stored length as the start.
    int shown = 0;
    if (ParseTenths(field->Text(), /*emptyIsZero=*/true, &shown)) *tenths = shown;
    *tenths = std::max(0, *tenths + direction * tenthsPerStep);
    field->SetText(FormatTenths(*tenths));
}

void CPageSplitterOpt::DigitsChanged(ArrowEdit* field, int* digits) {
    if (!Initialised()) return;
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

bool CPageSplitterOpt::TakeIntegers() {
    // The integer fields in the page's order; an empty one stops the transfer there. An empty
    // field that its box has disabled is passed over: the user cannot reach it to correct it,
    // and its option keeps the sound value it holds (the digit count as typing left it, the
    // number of first pieces as stored).
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
        if (!read && !integer.field->isEnabledTo(this)) continue;
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

bool CPageSplitterOpt::TakeOwnFields() {
    SplitterOptions& options = Options();
    options.CreateFolderForEachMP3 = m_ui.folderPerFile->isChecked();
    options.OutputFileName = m_ui.fileName->currentText().toStdString();
    options.ID3TitleFormat = m_ui.title->currentText().toStdString();
    options.VolumeChangeTenthsDb = VolumeChangeTenthsOf(m_ui.volumeChange);
    // The fields are taken in the page's order; the first that cannot be kept stops there
    // and its message is the one shown.
    bool pass = TakeIntegers();
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
    return pass;
}

void CPageSplitterOpt::TakeOwnChoices() { TakeCode(m_ui.trackNumber, &Options().ID3TrackNumType); }

}  // namespace qm
