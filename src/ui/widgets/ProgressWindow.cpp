#include "ui/widgets/ProgressWindow.h"

#include <QCloseEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>

namespace qm {

namespace {

// Dialog units are a quarter of the font's average character width across and an eighth of
// its height down; the average is taken over the 52 letters, as the classic dialog layouts do.
constexpr const char* kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
constexpr int kAlphabetLetters = 52;

int DluToPixelsX(const QFontMetrics& metrics, int dlu) {
    const int averageWidth =
        (metrics.horizontalAdvance(QString::fromLatin1(kAlphabet)) + kAlphabetLetters / 2) / kAlphabetLetters;
    return dlu * averageWidth / 4;
}

int DluToPixelsY(const QFontMetrics& metrics, int dlu) { return dlu * metrics.height() / 8; }

}  // namespace

ProgressWindow::ProgressWindow(QWidget* owner, const QString& cancelCaption, int widthDlu, int heightDlu)
    : QDialog(nullptr, Qt::Dialog | Qt::FramelessWindowHint),
      m_owner(owner),
      m_widthDlu(widthDlu),
      m_heightDlu(heightDlu) {
    // The window has no parent, so that disabling the main window leaves it usable; it is
    // kept above the main window as its transient window when shown.
    setModal(false);
    if (owner != nullptr) setFont(owner->font());
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* border = new QFrame(this);
    border->setFrameShape(QFrame::Panel);
    border->setFrameShadow(QFrame::Raised);
    border->setLineWidth(1);
    outer->addWidget(border);
    m_body = new QVBoxLayout(border);
    m_cancelButton = new QPushButton(cancelCaption, this);
    m_cancelButton->setAutoDefault(false);
    connect(m_cancelButton, &QPushButton::clicked, this, &ProgressWindow::SetCancelFlag);
}

ProgressWindow::~ProgressWindow() { Finish(); }

void ProgressWindow::AddRowWithCancel(QWidget* widget) {
    auto* row = new QHBoxLayout;
    row->addWidget(widget, 1);
    row->addWidget(m_cancelButton);
    m_body->addLayout(row);
}

void ProgressWindow::FixSize() {
    const QFontMetrics metrics(font());
    const int width = DluToPixelsX(metrics, m_widthDlu);
    const int height = std::max(DluToPixelsY(metrics, m_heightDlu), sizeHint().height());
    setFixedSize(width, height);
}

void ProgressWindow::Start() {
    m_cancel.store(0);
    m_finishing = false;
    if (!m_lock) m_lock = std::make_unique<OwnerWindowLock>(m_owner);
    if (m_owner != nullptr) {
        winId();  // creates the native window, so that it can be tied to the main window
        if (QWindow* ownerWindow = m_owner->window()->windowHandle()) windowHandle()->setTransientParent(ownerWindow);
    }
    CentreOnOwner();
    show();
    // The offscreen platform of the tests has no stacking order.
    if (QGuiApplication::platformName() != QLatin1String("offscreen")) raise();
    activateWindow();
    m_cancelButton->setFocus();
}

void ProgressWindow::Finish() {
    m_finishing = true;
    // The keyboard goes back to the main window when this window had it.
    const bool hadFocus = isVisible() && isActiveWindow();
    hide();
    m_lock.reset();
    if (hadFocus && m_owner != nullptr) m_owner->window()->activateWindow();
}

void ProgressWindow::CentreOnOwner() {
    QRect area;
    if (m_owner != nullptr && m_owner->window()->isVisible()) {
        area = m_owner->window()->frameGeometry();
    } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        area = screen->availableGeometry();
    }
    if (area.isValid()) move(area.center() - QPoint(width() / 2, height() / 2));
}

void ProgressWindow::SetCancelFlag() { m_cancel.store(1); }

void ProgressWindow::reject() { SetCancelFlag(); }

void ProgressWindow::closeEvent(QCloseEvent* event) {
    if (m_finishing) {
        QDialog::closeEvent(event);
        return;
    }
    SetCancelFlag();
    event->ignore();
}

}  // namespace qm
