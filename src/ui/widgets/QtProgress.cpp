#include "ui/widgets/QtProgress.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QProgressBar>
#include <algorithm>

#include "ui/widgets/ElidedLabel.h"

namespace qm {

int QtProgressBar::WidthPixels() const {
    return std::max(1, m_bar->contentsRect().width());
}

void QtProgressBar::SetRange(int low, int high) {
    m_bar->setRange(low, std::max(low, high));
}

void QtProgressBar::SetPosition(int position) {
    // QProgressBar ignores a value outside its range; the engines expect it pinned to an end.
    m_bar->setValue(std::clamp(position, m_bar->minimum(), m_bar->maximum()));
}

void QtProgressBar::StepIt() {
    SetPosition(m_bar->value() + m_step);
}

int QtProgressBar::Position() const {
    return m_bar->value();
}

void QtStatusText::SetText(const std::string& text) {
    m_label->SetFullText(QString::fromStdString(text));
}

void QtMessagePump::PumpMessages() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void PumpMessages() {
    static QtMessagePump eventPump;
    static RateLimitedPump pump(eventPump);
    pump.PumpMessages();
}

OwnerWindowLock::OwnerWindowLock(QWidget* owner) {
    if (owner == nullptr) return;
    m_window = owner->window();
    m_wasEnabled = m_window->isEnabled();
    m_window->setEnabled(false);
    m_window->installEventFilter(this);
}

OwnerWindowLock::~OwnerWindowLock() {
    if (!m_window) return;
    m_window->removeEventFilter(this);
    if (m_wasEnabled) m_window->setEnabled(true);
}

bool OwnerWindowLock::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_window && event->type() == QEvent::Close) {
        event->ignore();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace qm
