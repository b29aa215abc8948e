#include "ui/widgets/BatchProgressDialog.h"

#include <QMouseEvent>
#include <QProgressBar>
#include <QVBoxLayout>
#include <QWindow>

#include "ui/widgets/ElidedLabel.h"

namespace qm {

namespace {

// The window's size in dialog units.
constexpr int kWidthDlu = 410;
constexpr int kHeightDlu = 94;

QProgressBar* MakeBar(QWidget* parent) {
    auto* bar = new QProgressBar(parent);
    bar->setTextVisible(false);
    bar->setRange(0, 100);
    bar->setValue(0);
    return bar;
}

}  // namespace

BatchProgressDialog::BatchProgressDialog(QWidget* owner)
    : ProgressWindow(owner, QStringLiteral("Cancel"), kWidthDlu, kHeightDlu),
      m_fileText(new ElidedLabel(this)),
      m_fileBar(MakeBar(this)),
      m_runText(new ElidedLabel(this)),
      m_runBar(MakeBar(this)),
      m_fileBarControl(m_fileBar),
      m_fileStatus(m_fileText),
      m_runBarControl(m_runBar),
      m_runStatus(m_runText) {
    Body()->addWidget(m_fileText);
    Body()->addWidget(m_fileBar);
    Body()->addWidget(m_runText);
    AddRowWithCancel(m_runBar);
    FixSize();
}

QString BatchProgressDialog::FileTextShown() const { return m_fileText->FullText(); }

QString BatchProgressDialog::RunTextShown() const { return m_runText->FullText(); }

LongOperation BatchProgressDialog::FileOperation() { return {&m_fileBarControl, &m_fileStatus, &Pump(), Flag()}; }

void BatchProgressDialog::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        ProgressWindow::mousePressEvent(event);
        return;
    }
    // The window manager moves the window as if its caption were dragged; where it cannot,
    // the window follows the mouse itself.
    if (windowHandle() != nullptr && windowHandle()->startSystemMove()) return;
    m_dragging = true;
    m_grabOffset = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void BatchProgressDialog::mouseMoveEvent(QMouseEvent* event) {
    if (m_dragging && (event->buttons() & Qt::LeftButton)) {
        move(event->globalPosition().toPoint() - m_grabOffset);
        return;
    }
    ProgressWindow::mouseMoveEvent(event);
}

void BatchProgressDialog::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) m_dragging = false;
    ProgressWindow::mouseReleaseEvent(event);
}

}  // namespace qm
