#include "ui/pages/SilenceDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QSpinBox>
#include <QVBoxLayout>
#include <cmath>

#include "stream/TenthsText.h"

namespace qm {

namespace {

// A pause shorter than a tenth cannot be asked for; lengths run to a little over a day,
// longer than any file the splitters meet.
constexpr double kMinSilenceSeconds = 0.1;
constexpr double kMaxLengthSeconds = 99999.9;

QDoubleSpinBox* SecondsSpin(double lowSeconds, int tenths, const char* tip, QWidget* parent) {
    auto* spin = new QDoubleSpinBox(parent);
    spin->setDecimals(1);
    spin->setSingleStep(0.5);
    spin->setRange(lowSeconds, kMaxLengthSeconds);
    spin->setSuffix(QStringLiteral(" s"));
    spin->setAccelerated(true);
    spin->setValue(static_cast<double>(tenths) / kTenthsPerSecond);
    spin->setToolTip(QString::fromUtf8(tip));
    return spin;
}

int TenthsOf(const QDoubleSpinBox* spin) { return static_cast<int>(std::lround(spin->value() * kTenthsPerSecond)); }

}  // namespace

SilenceDialog::SilenceDialog(const QString& title, const SilenceOptions& options, QWidget* parent) : QDialog(parent) {
    setWindowTitle(title);
    m_ui.threshold = new QSpinBox(this);
    m_ui.threshold->setRange(kSilenceThresholdMinDb, kSilenceThresholdMaxDb);
    m_ui.threshold->setSuffix(QStringLiteral(" dB"));
    m_ui.threshold->setValue(options.ThresholdDb);
    m_ui.threshold->setToolTip(QStringLiteral("Audio quieter than this, below full scale, counts as silence"));
    m_ui.minSilence = SecondsSpin(kMinSilenceSeconds, options.MinSilenceTenths,
                                  "A pause must last at least this long to make a cut", this);
    m_ui.minPiece =
        SecondsSpin(0.0, options.MinPieceTenths, "A cut that would leave a shorter piece is not made; 0: off", this);
    m_ui.maxPiece =
        SecondsSpin(0.0, options.MaxPieceTenths, "A longer stretch is cut at its quietest moment; 0: off", this);
    for (QDoubleSpinBox* spin : {m_ui.minPiece, m_ui.maxPiece}) spin->setSpecialValueText(QStringLiteral("off"));
    m_ui.trim = new QCheckBox(QStringLiteral("Lea&ve the silences out of the pieces"), this);
    m_ui.trim->setChecked(options.TrimSilence);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Threshold:"), m_ui.threshold);
    form->addRow(QStringLiteral("Shortest &silence:"), m_ui.minSilence);
    form->addRow(QStringLiteral("Shortest &piece:"), m_ui.minPiece);
    form->addRow(QStringLiteral("&Longest piece:"), m_ui.maxPiece);
    form->addRow(m_ui.trim);

    m_ui.buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(m_ui.buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_ui.buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* body = new QVBoxLayout(this);
    body->addLayout(form);
    body->addWidget(m_ui.buttons);
    setMinimumWidth(fontMetrics().horizontalAdvance(QLatin1Char('x')) * 44);
}

SilenceOptions SilenceDialog::Options() const {
    SilenceOptions options;
    options.ThresholdDb = m_ui.threshold->value();
    options.MinSilenceTenths = TenthsOf(m_ui.minSilence);
    options.MinPieceTenths = TenthsOf(m_ui.minPiece);
    options.MaxPieceTenths = TenthsOf(m_ui.maxPiece);
    options.TrimSilence = m_ui.trim->isChecked();
    return options;
}

bool EditSilenceOptions(QWidget* parent, const QString& title, SilenceOptions* options) {
    SilenceDialog dialog(title, *options, parent);
    if (dialog.exec() != QDialog::Accepted) return false;
    *options = dialog.Options();
    return true;
}

}  // namespace qm
