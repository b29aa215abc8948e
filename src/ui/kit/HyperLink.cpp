#include "ui/kit/HyperLink.h"

#include <QApplication>
#include <QCursor>
#include <QMouseEvent>

#include "ui/kit/DesktopCalls.h"

namespace qm {

namespace {

constexpr int kHoverCheckMs = 100;

}  // namespace

HyperLink::HyperLink(const QString& text, const QString& target, QWidget* parent)
    : QLabel(parent), m_target(target.isEmpty() ? text : target), m_desktop(&SystemDesktop()) {
    setText(text.isEmpty() ? m_target : text);
    setTextFormat(Qt::PlainText);
    setCursor(Qt::PointingHandCursor);
    setToolTip(m_target);
    setFocusPolicy(Qt::NoFocus);
    m_hoverTimer.setInterval(kHoverCheckMs);
    connect(&m_hoverTimer, &QTimer::timeout, this, &HyperLink::CheckPointer);
    ApplyLook();
}

void HyperLink::SetTarget(const QString& target) {
    m_target = target;
    setToolTip(m_target);
}

void HyperLink::SetUnderline(UnderlineMode mode) {
    m_underline = mode;
    ApplyLook();
}

void HyperLink::SetAdjustToFit(bool adjust) {
    m_adjustToFit = adjust;
    ApplyLook();
}

QColor HyperLink::CurrentColour() const {
    if (m_over) return kHoverColour;
    return m_visited ? kVisitedColour : kLinkColour;
}

void HyperLink::Follow() {
    m_over = false;
    m_hoverTimer.stop();
    const int code = m_desktop->OpenWithDesktop(m_target, ShowMode::Normal);
    if (code > kShellSuccessAbove) {
        m_visited = true;
        ApplyLook();
        return;
    }
    ApplyLook();
    QApplication::beep();
    ShowMessage(*m_desktop, window(), QStringLiteral("Unable to open hyperlink:\n\n") + LinkFailureReason(code),
                MessageIcon::Exclamation);
}

void HyperLink::enterEvent(QEnterEvent* event) {
    QLabel::enterEvent(event);
    m_over = true;
    ApplyLook();
    m_hoverTimer.start();
}

void HyperLink::leaveEvent(QEvent* event) {
    QLabel::leaveEvent(event);
    EndHover();
}

void HyperLink::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        Follow();
    }
}

void HyperLink::CheckPointer() {
    if (!rect().contains(mapFromGlobal(QCursor::pos()))) EndHover();
}

void HyperLink::EndHover() {
    m_hoverTimer.stop();
    if (!m_over) return;
    m_over = false;
    ApplyLook();
}

void HyperLink::ApplyLook() {
    QFont look = font();
    look.setUnderline(m_underline == UnderlineMode::Always || (m_underline == UnderlineMode::OnHover && m_over));
    setFont(look);
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, CurrentColour());
    setPalette(colours);
    if (m_adjustToFit) FitToText();
}

void HyperLink::FitToText() {
    // The label keeps the side its alignment names: a right-aligned link grows to the left,
    // a centred one both ways.
    const QRect old = geometry();
    const QSize fitted = sizeHint();
    QRect placed(old.topLeft(), fitted);
    if (alignment() & Qt::AlignRight) placed.moveRight(old.right());
    if (alignment() & Qt::AlignHCenter) placed.moveLeft(old.center().x() - fitted.width() / 2);
    setGeometry(placed);
}

}  // namespace qm
