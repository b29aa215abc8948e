#include "ui/widgets/QtProgress.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QProgressBar>
#include <algorithm>

#include "ui/widgets/ElidedLabel.h"

namespace qm {

QtProgressBar::QtProgressBar(QProgressBar* bar)
    : m_bar(bar), m_low(bar->minimum()), m_high(bar->maximum()), m_position(std::max(bar->value(), m_low)) {
    m_pending.setSingleShot(true);
    m_pending.callOnTimeout([this] { Show(); });
}

int QtProgressBar::WidthPixels() const { return std::max(1, m_bar->contentsRect().width()); }

void QtProgressBar::SetRange(int low, int high) {
    m_low = low;
    m_high = std::max(low, high);
    m_bar->setRange(m_low, m_high);
    m_position = std::clamp(m_position, m_low, m_high);
    Request();
}

void QtProgressBar::SetPosition(int position) {
    // QProgressBar ignores a value outside its range; the engines expect it pinned to an end.
    m_position = std::clamp(position, m_low, m_high);
    Request();
}

void QtProgressBar::Request() {
    if (!m_shown.isValid() || m_shown.elapsed() >= kShowIntervalMs) {
        Show();
    } else if (!m_pending.isActive()) {
        m_pending.start(static_cast<int>(kShowIntervalMs - m_shown.elapsed()));
    }
}

void QtProgressBar::Show() {
    m_pending.stop();
    if (m_bar->minimum() != m_low || m_bar->maximum() != m_high) m_bar->setRange(m_low, m_high);
    m_bar->setValue(m_position);
    m_shown.start();
}

void QtProgressBar::StepIt() { SetPosition(m_position + m_step); }

void QtStatusText::SetText(const std::string& text) { m_label->SetFullText(QString::fromStdString(text)); }

void QtMessagePump::PumpMessages() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

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
