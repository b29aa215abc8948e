#pragma once

// The progress window of a run over many files: the upper line and bar follow the current
// file (its engine drives them), the lower ones the whole run, stepped once per file. The
// window can be dragged by pressing the left mouse button anywhere in it.

#include <QPoint>

#include "ui/widgets/ProgressWindow.h"

class QProgressBar;

namespace qm {

class ElidedLabel;

class BatchProgressDialog : public ProgressWindow {
    Q_OBJECT
public:
    // owner: a widget of the main window, which is disabled while this window is up.
    explicit BatchProgressDialog(QWidget* owner);

    QtProgressBar& FileBar() { return m_fileBarControl; }
    QtStatusText& FileText() { return m_fileStatus; }
    QtProgressBar& RunBar() { return m_runBarControl; }
    QtStatusText& RunText() { return m_runStatus; }
    QString FileTextShown() const;
    QString RunTextShown() const;
    // What the engine working on one file is handed: the upper bar and line, the pump and
    // the cancel flag.
    LongOperation FileOperation();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    ElidedLabel* m_fileText;
    QProgressBar* m_fileBar;
    ElidedLabel* m_runText;
    QProgressBar* m_runBar;
    QtProgressBar m_fileBarControl;
    QtStatusText m_fileStatus;
    QtProgressBar m_runBarControl;
    QtStatusText m_runStatus;
    bool m_dragging = false;
    QPoint m_grabOffset;  // from the window's top-left corner to the mouse, while dragging
};

}  // namespace qm
