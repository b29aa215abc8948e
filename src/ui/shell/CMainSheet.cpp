#include "ui/shell/CMainSheet.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QShortcut>
#include <QTabBar>
#include <QTabWidget>

#include "ui/kit/AppIcon.h"
#include "ui/pages/CPageJoinerOpt.h"
#include "ui/pages/CPageSplitterOpt.h"

namespace qm {

CMainSheet::CMainSheet(QWidget* parent) : CResizableSheet(QString::fromLatin1(kSheetCaption), parent) {
    setWindowIcon(AppIcon());
#ifdef Q_OS_WIN
    // The pages are laid out for Tahoma at 11 pixels on Windows; elsewhere the desktop's
    // own font is used.
    constexpr int kDialogFontPx = 11;
    QFont dialogFont(QStringLiteral("Tahoma"));
    dialogFont.setPixelSize(kDialogFontPx);
    setFont(dialogFont);
#endif
    connect(this, &CResizableSheet::ActivePageChanged, this, &CMainSheet::PageChanged);
    // A click on another tab asks the page first, so that a page that refuses stays in
    // sight behind its message; other ways of switching are turned back afterwards.
    Tabs()->tabBar()->installEventFilter(this);
    // Ctrl+PgDown and Ctrl+PgUp go to the next and the previous page from anywhere in the
    // window, as in other desktop programs, and go round at the ends as Ctrl+Tab does.
    const auto pageKey = [this](QKeyCombination keys, int step) {
        auto* shortcut = new QShortcut(QKeySequence(keys), this);
        connect(shortcut, &QShortcut::activated, this, [this, step] { StepPage(step); });
    };
    pageKey(Qt::CTRL | Qt::Key_PageDown, 1);
    pageKey(Qt::CTRL | Qt::Key_PageUp, -1);
}

void CMainSheet::StepPage(int step) {
    const int count = PageCount();
    if (count < 2) return;
    SetActivePage(((ActivePageIndex() + step) % count + count) % count);
}

bool CMainSheet::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Tabs()->tabBar() && event->type() == QEvent::MouseButtonPress) {
        const auto* press = static_cast<QMouseEvent*>(event);
        const int clicked = Tabs()->tabBar()->tabAt(press->position().toPoint());
        const int current = ActivePageIndex();
        if (press->button() == Qt::LeftButton && clicked >= 0 && clicked != current &&
            OptionsPageRefuses(Page(current))) {
            return true;
        }
    }
    return CResizableSheet::eventFilter(watched, event);
}

bool CMainSheet::OptionsPageRefuses(CResizablePage* page) {
    if (page == nullptr) return false;
    if (page == m_splitterOptions) return !m_splitterOptions->Validate();
    if (page == m_joinerOptions) return !m_joinerOptions->Validate();
    return false;
}

void CMainSheet::PageChanged(int index) {
    if (m_returning) return;
    const int left = m_shownPage;
    if (left >= 0 && left != index && OptionsPageRefuses(Page(left))) {
        // The page showed its message and put the focus on the field in question.
        m_returning = true;
        SetActivePage(left);
        m_returning = false;
        return;
    }
    m_shownPage = index;
}

void CMainSheet::SetOptionsPages(CPageSplitterOpt* splitterOptions, CPageJoinerOpt* joinerOptions) {
    m_splitterOptions = splitterOptions;
    m_joinerOptions = joinerOptions;
}

void CMainSheet::CapturePlacement() {
    m_closedPage = ActivePageIndex();
    const Qt::WindowStates state = windowState();
    // A maximized window that was then minimised restores to maximized, but the window is
    // shown as it was closed: not maximized.
    m_maximized = state.testFlag(Qt::WindowMaximized) && !state.testFlag(Qt::WindowMinimized);
    const QRect normal = normalGeometry().isValid() ? normalGeometry() : geometry();
    if (normal.isEmpty()) {
        m_normalRect = {};
        m_maximized = true;
    } else {
        m_normalRect = {normal.left(), normal.top(), normal.left() + normal.width(), normal.top() + normal.height()};
    }
    m_captured = true;
}

void CMainSheet::RestoreNormalRect(const WindowRect& rect) {
    if (rect.IsEmpty()) return;
    const QRect wanted(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
    // A rectangle on a screen that is no longer attached would put the window out of sight;
    // the system places it instead.
    bool onScreen = false;
    for (const QScreen* screen : QGuiApplication::screens()) {
        onScreen = onScreen || screen->availableGeometry().intersects(wanted);
    }
    if (!onScreen) return;
    setGeometry(QRect(wanted.topLeft(), wanted.size().expandedTo(minimumSize())));
}

void CMainSheet::closeEvent(QCloseEvent* event) {
    // Each options page shows its own message when it refuses; the window then shows that
    // page so that the field in question is in sight.
    const auto refuses = [this](CResizablePage* page, bool accepted) {
        if (accepted) return false;
        SetActivePage(Tabs()->indexOf(page));
        return true;
    };
    if ((m_splitterOptions && refuses(m_splitterOptions, m_splitterOptions->Validate())) ||
        (m_joinerOptions && refuses(m_joinerOptions, m_joinerOptions->Validate()))) {
        event->ignore();
        return;
    }
    CapturePlacement();
    event->accept();
    emit Closed();
}

}  // namespace qm
