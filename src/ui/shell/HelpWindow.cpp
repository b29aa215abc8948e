#include "ui/shell/HelpWindow.h"

#include <QAction>
#include <QFile>
#include <QGuiApplication>
#include <QKeySequence>
#include <QScreen>
#include <QTextBrowser>
#include <QTextDocument>
#include <QToolBar>

#include "ui/kit/AppIcon.h"
#include "ui/kit/DesktopCalls.h"

namespace qm {

namespace {

// A help window shown normally is about the size of a page of text.
constexpr int kNormalWidthPx = 860;
constexpr int kNormalHeightPx = 680;

QString LocalName(const QUrl& url) {
    // Qt's file engine reads resources as ":/path" and files by their path.
    if (url.scheme() == QLatin1String("qrc")) return QLatin1Char(':') + url.path();
    return url.toLocalFile();
}

}  // namespace

HelpWindow::HelpWindow(const QUrl& index, DesktopCalls& desktop, QWidget* parent)
    : QMainWindow(parent), m_browser(new QTextBrowser(this)), m_index(index) {
    setWindowTitle(QString::fromLatin1(kHelpTitle));
    setWindowIcon(AppIcon());
    setAttribute(Qt::WA_DeleteOnClose, false);

    // Pages of other sites are opened by the desktop; the browser shows only help pages.
    m_browser->setOpenLinks(false);
    connect(m_browser, &QTextBrowser::anchorClicked, this, [this, &desktop](const QUrl& link) {
        const QUrl target = m_browser->source().resolved(link);
        if (target.scheme() == QLatin1String("qrc") || target.isLocalFile()) {
            m_browser->setSource(target);
        } else {
            desktop.OpenWithDesktop(target.toString(), ShowMode::Normal);
        }
    });
    constexpr qreal kPageMarginPx = 12;
    m_browser->document()->setDocumentMargin(kPageMarginPx);
    setCentralWidget(m_browser);

    QToolBar* bar = addToolBar(QStringLiteral("Navigation"));
    bar->setMovable(false);
    bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    QAction* back = bar->addAction(QStringLiteral("Back"), m_browser, &QTextBrowser::backward);
    back->setShortcut(QKeySequence::Back);
    back->setEnabled(false);
    QAction* forward = bar->addAction(QStringLiteral("Forward"), m_browser, &QTextBrowser::forward);
    forward->setShortcut(QKeySequence::Forward);
    forward->setEnabled(false);
    bar->addAction(QStringLiteral("Contents"), this, [this] { m_browser->setSource(m_index); });
    connect(m_browser, &QTextBrowser::backwardAvailable, back, &QAction::setEnabled);
    connect(m_browser, &QTextBrowser::forwardAvailable, forward, &QAction::setEnabled);

    QSize normal(kNormalWidthPx, kNormalHeightPx);
    // On a small screen the window leaves a margin around it, so its frame stays in sight.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        normal = normal.boundedTo(screen->availableSize() * 0.9);
    }
    resize(normal);
    m_browser->setSource(m_index);
}

bool HelpWindow::Available(const QUrl& index) { return QFile::exists(LocalName(index)); }

QUrl HelpWindow::CurrentPage() const { return m_browser->source(); }

}  // namespace qm
