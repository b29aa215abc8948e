#include "ui/widgets/ProgressDialog.h"

#include <QProgressBar>
#include <QVBoxLayout>

#include "ui/widgets/ElidedLabel.h"

namespace qm {

namespace {

// The window's size in dialog units.
constexpr int kWidthDlu = 410;
constexpr int kHeightDlu = 62;

}  // namespace

ProgressDialog::ProgressDialog(QWidget* owner)
    : ProgressWindow(owner, QStringLiteral("&Cancel"), kWidthDlu, kHeightDlu),
      m_text(new ElidedLabel(this)),
      m_bar(new QProgressBar(this)),
      m_barControl(m_bar),
      m_status(m_text) {
    m_bar->setTextVisible(false);
    m_bar->setRange(0, 100);
    m_bar->setValue(0);
    Body()->addWidget(m_text);
    AddRowWithCancel(m_bar);
    FixSize();
}

void ProgressDialog::SetText(const QString& text) { m_text->SetFullText(text); }

QString ProgressDialog::Text() const { return m_text->FullText(); }

LongOperation ProgressDialog::Operation() { return {&m_barControl, &m_status, &Pump(), Flag()}; }

}  // namespace qm
