#include "ui/pages/CPageBatchSplitterSpin.h"

#include <QLineEdit>
#include <QRegularExpression>
#include <algorithm>

#include "stream/TenthsText.h"

namespace qm {

namespace {

// Long enough for any size or time the planners take; longer input is a typing error.
constexpr int kMaxTextLength = 12;

}  // namespace

QString SteppedText(TextSpinBox::Steps kind, const QString& text, int steps, int low, int high) {
    if (kind == TextSpinBox::Steps::Tenths) {
        const long long tenths = LenientSecondsToTenths(text.trimmed().toStdString());
        const long long stepped = std::max<long long>(0, tenths + steps);
        return QStringLiteral("%1.%2").arg(stepped / 10).arg(stepped % 10);
    }
    static const QRegularExpression leadingNumber(QStringLiteral("^\\s*(\\d+)"));
    const QRegularExpressionMatch match = leadingNumber.match(text);
    long long value = low;
    if (match.hasMatch()) {
        bool ok = false;
        value = match.captured(1).toLongLong(&ok);
        if (!ok) value = high;
        value += steps;
    }
    return QString::number(std::clamp<long long>(value, low, high));
}

TextSpinBox::TextSpinBox(Steps steps, QWidget* parent) : QAbstractSpinBox(parent), m_steps(steps) {
    lineEdit()->setMaxLength(kMaxTextLength);
    setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
    setKeyboardTracking(true);
    connect(lineEdit(), &QLineEdit::textChanged, this, &TextSpinBox::TextEdited);
}

void TextSpinBox::SetRange(int low, int high) {
    m_low = low;
    m_high = high;
}

QString TextSpinBox::Text() const { return lineEdit()->text(); }

void TextSpinBox::SetText(const QString& text) { lineEdit()->setText(text); }

void TextSpinBox::stepBy(int steps) {
    lineEdit()->setText(SteppedText(m_steps, Text(), steps, m_low, m_high));
    lineEdit()->selectAll();
}

QValidator::State TextSpinBox::validate(QString& input, int&) const {
    // Digits with one decimal point; the times take a single decimal digit.
    static const QRegularExpression wholeForm(QStringLiteral("^\\d*\\.?\\d*$"));
    static const QRegularExpression tenthsForm(QStringLiteral("^\\d*\\.?\\d?$"));
    const QRegularExpression& form = m_steps == Steps::Tenths ? tenthsForm : wholeForm;
    return form.match(input).hasMatch() ? QValidator::Acceptable : QValidator::Invalid;
}

QAbstractSpinBox::StepEnabled TextSpinBox::stepEnabled() const {
    if (!isEnabled()) return StepNone;
    return StepUpEnabled | StepDownEnabled;
}

}  // namespace qm
