#include "ui/pages/OptionFields.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <array>
#include <cmath>
#include <optional>

#include "output/Paths.h"
#include "settings/Options.h"
#include "stream/TenthsText.h"

namespace qm {

ArrowEdit::ArrowEdit(Digits digits, QWidget* parent) : QAbstractSpinBox(parent), m_digits(digits) {
    setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    setAccelerated(false);
    setKeyboardTracking(true);
    connect(lineEdit(), &QLineEdit::textChanged, this, &ArrowEdit::TextChanged);
}

QString ArrowEdit::Text() const { return lineEdit()->text(); }

void ArrowEdit::SetText(const QString& text) {
    if (lineEdit()->text() != text) lineEdit()->setText(text);
}

void ArrowEdit::stepBy(int steps) {
    if (!m_stepper) return;
    const int one = steps > 0 ? 1 : -1;
    for (int i = 0; i != steps; i += one) m_stepper(one);
}

QValidator::State ArrowEdit::validate(QString& input, int&) const {
    if (m_digits == Digits::Any) return QValidator::Acceptable;
    for (const QChar c : input) {
        if (!c.isDigit() || c.unicode() > 0x7f) return QValidator::Invalid;
    }
    return QValidator::Acceptable;
}

QString FormatTenths(int tenths) { return QString::fromStdString(SecondsText(tenths)); }

namespace {

// The widest volume change the options take, either way, in tenths of a dB.
constexpr int kMaxVolumeChangeTenthsDb = 1000;
constexpr double kTenthsPerDb = 10.0;

}  // namespace

QDoubleSpinBox* VolumeChangeBox(QWidget* parent) {
    auto* box = new QDoubleSpinBox(parent);
    box->setRange(-kMaxVolumeChangeTenthsDb / kTenthsPerDb, kMaxVolumeChangeTenthsDb / kTenthsPerDb);
    box->setDecimals(1);
    box->setSingleStep(0.5);
    box->setSuffix(QStringLiteral(" dB"));
    box->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    box->setToolTip(
        QStringLiteral("Raises or lowers every piece (every joined file) by this many decibels; pieces cut without "
                       "re-encoding change by whole 1.5 dB steps, losslessly"));
    return box;
}

void ShowVolumeChange(QDoubleSpinBox* box, int tenthsDb) { box->setValue(tenthsDb / kTenthsPerDb); }

int VolumeChangeTenthsOf(const QDoubleSpinBox* box) {
    return static_cast<int>(std::lround(box->value() * kTenthsPerDb));
}

bool ParseTenths(const QString& text, bool emptyIsZero, int* tenths, QString* shown) {
    // The field shows ".5" as it is read, with the zero before the point.
    if (shown) *shown = text.startsWith(QLatin1Char('.')) ? QLatin1Char('0') + text : text;
    const std::optional<int> read =
        FieldSecondsToTenths(text.toStdString(), emptyIsZero ? EmptyText::IsZero : EmptyText::Refused);
    if (!read) return false;
    *tenths = *read;
    return true;
}

void FillValueList(QComboBox* list, std::span<const ValueEntry> entries) {
    const QSignalBlocker quiet(list);
    list->clear();
    for (const ValueEntry& entry : entries) list->addItem(entry.text, entry.value);
}

bool SelectValue(QComboBox* list, int value) {
    const QSignalBlocker quiet(list);
    const int index = list->findData(value);
    list->setCurrentIndex(index >= 0 ? index : 0);
    return index >= 0;
}

int SelectedValue(const QComboBox* list, int fallback) {
    const QVariant data = list->currentData();
    return data.isValid() ? data.toInt() : fallback;
}

namespace {

template <std::size_t N>
std::array<ValueEntry, N> Entries(const std::array<int, N>& values, const char* format) {
    std::array<ValueEntry, N> entries;
    for (std::size_t i = 0; i < N; ++i) entries[i] = {QString::asprintf(format, values[i]), values[i]};
    return entries;
}

constexpr std::array<int, 9> kSampleRatesHz = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
constexpr std::array<int, 18> kBitRatesKbps = {8,  16,  24,  32,  40,  48,  56,  64,  80,
                                               96, 112, 128, 144, 160, 192, 224, 256, 320};

}  // namespace

std::span<const ValueEntry> SampleRateEntries() {
    static const auto entries = Entries(kSampleRatesHz, "%d Hz");
    return entries;
}

std::span<const ValueEntry> BitRateEntries() {
    static const auto entries = Entries(kBitRatesKbps, "%d kbps");
    return entries;
}

std::span<const ValueEntry> ChannelEntries() {
    static const std::array<ValueEntry, 3> entries = {{
        {QStringLiteral("Joint Stereo"), static_cast<int>(ChannelModeCode::JointStereo)},
        {QStringLiteral("Stereo"), static_cast<int>(ChannelModeCode::Stereo)},
        {QStringLiteral("Mono"), static_cast<int>(ChannelModeCode::Mono)},
    }};
    return entries;
}

std::span<const ValueEntry> OutputFolderEntries() {
    static const std::array<ValueEntry, 2> entries = {{
        {QStringLiteral("Same as source file"), static_cast<int>(OutputFolderCode::SameAsSource)},
        {QStringLiteral("Specific folder"), static_cast<int>(OutputFolderCode::Specific)},
    }};
    return entries;
}

QWidget* SectionTitle(const QString& title, QWidget* parent) {
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* label = new QLabel(title, row);
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    auto* line = new QFrame(row);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    layout->addWidget(label);
    layout->addWidget(line, 1);
    return row;
}

QLabel* BuddyLabel(const QString& caption, QWidget* control, QWidget* parent) {
    auto* label = new QLabel(caption, parent);
    label->setBuddy(control);
    return label;
}

QString TreeFoldersExample(const QString& what) {
    // A source in the user's music folder and an output folder beside it; the folder the
    // example names is the one the tree-folders rule makes of them.
    constexpr const char* kSourceFolder = "/home/user/Music/";
    constexpr const char* kSourceName = "sample.mp3";
    constexpr const char* kOutputFolder = "/home/user/Output";
    const std::string created = std::string(kOutputFolder) + "/" + MirroredFolderText(kSourceFolder);
    return QStringLiteral(
               "For example: original MP3 file is \"%1%2\", specified output folder is \"%3\". If the option "
               "is checked, then the program will create folder \"%4\" and output %5 at the folder.")
        .arg(QString::fromLatin1(kSourceFolder), QString::fromLatin1(kSourceName), QString::fromLatin1(kOutputFolder),
             QString::fromStdString(created), what);
}

QString KeepPathsWhole(const QString& text) {
    // A word joiner after each separator leaves a line no place to break inside a path; the
    // spaces between words stay the only places.
    QString kept = text;
    kept.replace(QLatin1Char('/'), QStringLiteral("/\u2060"));
    return kept;
}

namespace {

// The user chose in `chosen`: the value of `other` is brought to what fits the choice
// (fit(choice, other value)) and selected, and both values are stored.
bool TakeCoupledChoice(QComboBox* chosen, int* chosenValue, QComboBox* other, int* otherValue,
                       int (*fit)(int choice, int otherValue)) {
    const int choice = SelectedValue(chosen, *chosenValue);
    if (choice == *chosenValue) return false;
    const int fitting = fit(choice, *otherValue);
    if (fitting != *otherValue) SelectValue(other, fitting);
    *chosenValue = choice;
    *otherValue = fitting;
    return true;
}

}  // namespace

bool TakeSampleRateChoice(QComboBox* rates, QComboBox* bitRates, int* rateHz, int* kbps) {
    return TakeCoupledChoice(rates, rateHz, bitRates, kbps, &BitRateForSampleRate);
}

bool TakeBitRateChoice(QComboBox* rates, QComboBox* bitRates, int* rateHz, int* kbps) {
    return TakeCoupledChoice(bitRates, kbps, rates, rateHz, &SampleRateForBitRate);
}

}  // namespace qm
