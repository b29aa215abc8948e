#include "ui/kit/CResizableSheet.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTabWidget>
#include <QVBoxLayout>

#include "ui/kit/CResizablePage.h"

namespace qm {

CResizableSheet::CResizableSheet(const QString& caption, QWidget* parent)
    : QWidget(parent, Qt::Window), m_tabs(new QTabWidget(this)) {
    setWindowTitle(caption);
    auto* frame = new QVBoxLayout(this);
    // The tabs reach to the window's edges, as they do in a sheet without buttons.
    constexpr int kFrameMargin = 4;
    frame->setContentsMargins(kFrameMargin, kFrameMargin, kFrameMargin, kFrameMargin);
    frame->addWidget(m_tabs);
    m_tabs->setDocumentMode(false);
    m_tabs->setUsesScrollButtons(true);
    connect(m_tabs, &QTabWidget::currentChanged, this, &CResizableSheet::ActivePageChanged);
}

void CResizableSheet::AddPage(CResizablePage* page) { m_tabs->addTab(page, page->Caption()); }

int CResizableSheet::PageCount() const { return m_tabs->count(); }

CResizablePage* CResizableSheet::Page(int index) const { return qobject_cast<CResizablePage*>(m_tabs->widget(index)); }

int CResizableSheet::ActivePageIndex() const { return m_tabs->currentIndex(); }

void CResizableSheet::SetActivePage(int index) {
    if (index >= 0 && index < m_tabs->count()) m_tabs->setCurrentIndex(index);
}

void CResizableSheet::FinishInitialising() {
    QSize wanted = sizeHint();
    // On a screen smaller than the pages' design size the first size is what the screen
    // can show; the pages then keep their controls at design size.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        wanted = wanted.boundedTo(screen->availableSize());
    }
    m_firstSize = wanted;
    setMinimumSize(m_firstSize);
    resize(m_firstSize);
}

}  // namespace qm
