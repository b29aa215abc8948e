#pragma once

// What the two progress windows share: a small window without caption, centred on the main
// window, with a Cancel button that only sets the cancel flag. While the window is up the main
// window is disabled, so Cancel is the one control that takes input; the operation reads the
// flag between its steps, finishes the step in progress, cleans up and ends the window itself.

#include <QDialog>
#include <QPointer>
#include <memory>

#include "progress/Progress.h"
#include "ui/widgets/QtProgress.h"

class QPushButton;
class QVBoxLayout;

namespace qm {

class ProgressWindow : public QDialog {
    Q_OBJECT
public:
    ~ProgressWindow() override;

    // Clears the cancel flag, disables the main window (the window holding owner), centres
    // this window on it and shows it.
    void Start();
    // The close request: hides the window and enables the main window again. Also done at
    // destruction.
    void Finish();
    bool IsRunning() const { return m_lock != nullptr; }

    bool Cancelled() const { return m_cancel.load(std::memory_order_relaxed) != 0; }
    const CancelFlag* Flag() const { return &m_cancel; }
    // Pumps the user-interface events, really doing so at most every ~15 ms.
    MessagePump& Pump() { return m_pump; }
    QPushButton* CancelButton() const { return m_cancelButton; }

protected:
    // widthDlu and heightDlu: the window's size in dialog units of its font.
    ProgressWindow(QWidget* owner, const QString& cancelCaption, int widthDlu, int heightDlu);

    // The layout inside the window's border that the derived window fills.
    QVBoxLayout* Body() const { return m_body; }
    // A row with widget stretched and the Cancel button at its right.
    void AddRowWithCancel(QWidget* widget);
    // Fixes the size once the body is filled.
    void FixSize();

    // Escape, like Cancel, only sets the flag.
    void reject() override;
    // A close not asked for by the operation counts as Cancel.
    void closeEvent(QCloseEvent* event) override;

private:
    void SetCancelFlag();
    void CentreOnOwner();

    QPointer<QWidget> m_owner;
    QVBoxLayout* m_body = nullptr;
    QPushButton* m_cancelButton = nullptr;
    int m_widthDlu;
    int m_heightDlu;
    std::unique_ptr<OwnerWindowLock> m_lock;
    CancelFlag m_cancel{0};
    QtMessagePump m_eventPump;
    RateLimitedPump m_pump{m_eventPump};
    bool m_finishing = false;
};

}  // namespace qm
