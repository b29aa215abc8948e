#pragma once

// The progress window of one operation: one text line, one bar and "&Cancel".

#include "ui/widgets/ProgressWindow.h"

class QProgressBar;

namespace qm {

class ElidedLabel;

class ProgressDialog : public ProgressWindow {
    Q_OBJECT
public:
    // owner: a widget of the main window, which is disabled while this window is up.
    explicit ProgressDialog(QWidget* owner);

    void SetText(const QString& text);
    QString Text() const;
    QtProgressBar& Bar() { return m_barControl; }
    QtStatusText& Status() { return m_status; }
    // What an engine is handed: this window's bar, text line, pump and cancel flag.
    LongOperation Operation();

private:
    ElidedLabel* m_text;
    QProgressBar* m_bar;
    QtProgressBar m_barControl;
    QtStatusText m_status;
};

}  // namespace qm
