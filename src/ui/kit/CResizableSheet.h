#pragma once

// The main window's frame: a tab widget that fills the window, one tab per page. The window
// can be made larger, and its pages stretch with it, but never smaller than its first size.

#include <QWidget>

class QTabWidget;

namespace qm {

class CResizablePage;

class CResizableSheet : public QWidget {
    Q_OBJECT

public:
    explicit CResizableSheet(const QString& caption, QWidget* parent = nullptr);

    // Adds page as the next tab, captioned with the page's caption. The sheet owns it.
    void AddPage(CResizablePage* page);
    int PageCount() const;
    CResizablePage* Page(int index) const;
    int ActivePageIndex() const;
    void SetActivePage(int index);
    QTabWidget* Tabs() const { return m_tabs; }

    // Sizes the window to hold the largest page at its design size and makes that the
    // smallest size the window can have. Called once, after the last page was added.
    void FinishInitialising();
    QSize FirstSize() const { return m_firstSize; }

signals:
    // The active page changed (by the user or by SetActivePage).
    void ActivePageChanged(int index);

private:
    QTabWidget* m_tabs;
    QSize m_firstSize;
};

}  // namespace qm
