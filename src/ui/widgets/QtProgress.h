#pragma once

// The engines' long-operation contract over Qt widgets: a QProgressBar as the bar, a label
// as the status text, and the event loop as the message pump.

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <string>

#include "progress/Progress.h"

class QProgressBar;
class QWidget;

namespace qm {

class ElidedLabel;

// A progress bar with a range, a position and a step, as the engines and the file lists
// drive it.
class QtProgressBar final : public ProgressBar {
public:
    explicit QtProgressBar(QProgressBar* bar);
    int WidthPixels() const override;
    void SetRange(int low, int high) override;
    void SetPosition(int position) override;
    // The amount StepIt advances by (1 at first).
    void SetStep(int step) { m_step = step; }
    // Advances the position by the step, staying inside the range.
    void StepIt();
    int Position() const { return m_position; }

private:
    // QProgressBar redraws itself at once, not at the next round of the event loop, whenever
    // its range or percentage changes, and the engines report after every frame and set a new
    // range for every file: the bar is given a new state at most this often, and a state that
    // came too soon is given to it once the interval has passed, so the last one is always
    // shown.
    static constexpr qint64 kShowIntervalMs = 40;
    void Request();
    void Show();

    QProgressBar* m_bar;
    int m_step = 1;
    int m_low = 0;
    int m_high = 100;
    int m_position = 0;
    QTimer m_pending;
    QElapsedTimer m_shown;
};

// A status line; the text is UTF-8.
class QtStatusText final : public StatusText {
public:
    explicit QtStatusText(ElidedLabel* label) : m_label(label) {}
    void SetText(const std::string& text) override;

private:
    ElidedLabel* m_label;
};

// Delivers every pending event of the user-interface thread and returns when none is left;
// never waits for one.
class QtMessagePump final : public MessagePump {
public:
    void PumpMessages() override;
};

// The program's message pump for work outside a progress window: delivers the pending events,
// really doing so at most every ~15 ms, so that it may be called after every small step.
void PumpMessages();

// While alive, the window holding owner is disabled, so that only a progress window takes
// input, and a request to close it is refused (the operation running under the progress
// window still uses it). The window is enabled again at destruction unless it was disabled
// before.
class OwnerWindowLock final : public QObject {
    Q_OBJECT
public:
    explicit OwnerWindowLock(QWidget* owner);
    ~OwnerWindowLock() override;
    OwnerWindowLock(const OwnerWindowLock&) = delete;
    OwnerWindowLock& operator=(const OwnerWindowLock&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> m_window;
    bool m_wasEnabled = false;
};

}  // namespace qm
