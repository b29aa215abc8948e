#pragma once

// The pieces the two options pages are built from: an edit with up and down arrows whose
// steps the page decides, the lengths in tenths of a second as the length fields show and
// read them, the volume change field, and the drop-down lists whose entries carry their
// option values.

#include <QAbstractSpinBox>
#include <QString>
#include <functional>
#include <span>

class QComboBox;
class QDoubleSpinBox;
class QLabel;

namespace qm {

// An edit with up and down arrows. The arrows (and the Up and Down keys) call the stepper
// with +1 or -1 per step; the text itself is free unless the edit is digits-only.
class ArrowEdit : public QAbstractSpinBox {
    Q_OBJECT

public:
    enum class Digits { Any, Only };

    explicit ArrowEdit(Digits digits, QWidget* parent = nullptr);

    QString Text() const;
    void SetText(const QString& text);
    // Called with +1 for each step up and -1 for each step down.
    void SetStepper(std::function<void(int)> stepper) { m_stepper = std::move(stepper); }

    void stepBy(int steps) override;
    QValidator::State validate(QString& input, int& pos) const override;

signals:
    void TextChanged(const QString& text);

protected:
    StepEnabled stepEnabled() const override { return StepUpEnabled | StepDownEnabled; }

private:
    Digits m_digits;
    std::function<void(int)> m_stepper;
};

// A length in tenths of a second as the length fields show it: whole seconds, a point and
// the tenths ("1.5", "0.0").
QString FormatTenths(int tenths);

// Reads a length field: an optional sign and whole seconds, then optionally a point and
// digits of which only the first counts ("2.75" is 27 tenths); a text starting with a point
// reads as if a zero stood before it (".5" is 5 tenths). `shown` receives the text as read,
// with that zero. An empty text is 0 when emptyIsZero, else it does not parse. False when
// the text does not start with a number or the number is too large for a length.
bool ParseTenths(const QString& text, bool emptyIsZero, int* tenths, QString* shown = nullptr);

// The "Volume change" field of both options pages: a spin box of -100.0 to +100.0 dB with one
// decimal, its tooltip saying how pieces cut and files joined without re-encoding change.
QDoubleSpinBox* VolumeChangeBox(QWidget* parent);
// Shows a volume change of tenthsDb tenths of a dB in box.
void ShowVolumeChange(QDoubleSpinBox* box, int tenthsDb);
// The volume change box shows, in tenths of a dB.
int VolumeChangeTenthsOf(const QDoubleSpinBox* box);

// One entry of a drop-down list and the option value it carries.
struct ValueEntry {
    QString text;
    int value;
};

// Fills list with the entries, in order, each with its value as item data.
void FillValueList(QComboBox* list, std::span<const ValueEntry> entries);
// Selects the entry carrying value without counting as the user's choice. False (and the
// first entry selected) when no entry carries it.
bool SelectValue(QComboBox* list, int value);
// The value carried by the selected entry; fallback when nothing is selected.
int SelectedValue(const QComboBox* list, int fallback);

// Selects the entry carrying the stored *code; a code no entry carries is replaced by fallback.
template <typename Code>
void SelectCode(QComboBox* list, Code* code, Code fallback) {
    if (!SelectValue(list, static_cast<int>(*code))) *code = fallback;
}
// Stores the code of the selected entry; *code stays when nothing is selected.
template <typename Code>
void TakeCode(const QComboBox* list, Code* code) {
    *code = static_cast<Code>(SelectedValue(list, static_cast<int>(*code)));
}

// The user chose in the sample-rate list (or the bit-rate list) of an options page: the other
// list is brought into what MPEG can encode at that choice and selected, and both values are
// stored. False when the choice is the stored value, so that nothing changes.
bool TakeSampleRateChoice(QComboBox* rates, QComboBox* bitRates, int* rateHz, int* kbps);
bool TakeBitRateChoice(QComboBox* rates, QComboBox* bitRates, int* rateHz, int* kbps);

// The sample rates and bit rates that the encoding lists offer, and the channel modes.
std::span<const ValueEntry> SampleRateEntries();
std::span<const ValueEntry> BitRateEntries();
std::span<const ValueEntry> ChannelEntries();
std::span<const ValueEntry> OutputFolderEntries();

// A section title followed by a line that runs to the right edge.
QWidget* SectionTitle(const QString& title, QWidget* parent);
// A label whose accelerator moves the focus to control.
QLabel* BuddyLabel(const QString& caption, QWidget* control, QWidget* parent);

// The text of the example under the tree-folders box; `what` names the output ("piece(s)").
QString TreeFoldersExample(const QString& what);
// text as a wrapping label shows it: a line breaks between words, never inside a path.
QString KeepPathsWhole(const QString& text);

}  // namespace qm
