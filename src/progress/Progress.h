#pragma once

// The long-operation contract between the engines and whoever runs them: a progress bar,
// a status line, the message pump and the caller's cancel flag. An engine runs on the thread
// that called it and makes every one of these calls from that thread (a worker thread an
// engine keeps inside, such as a decoder or a writer, never touches them); the engines pump
// after every frame or PCM block and then read the cancel flag.

#include <atomic>
#include <chrono>
#include <string>

namespace qm {

// A horizontal progress bar measured in pixels.
class ProgressBar {
public:
    virtual ~ProgressBar() = default;
    // Width of the bar in pixels; the engines use it as the number of steps.
    virtual int WidthPixels() const = 0;
    virtual void SetRange(int low, int high) = 0;
    virtual void SetPosition(int position) = 0;
};

// The one-line status text above a progress bar.
class StatusText {
public:
    virtual ~StatusText() = default;
    virtual void SetText(const std::string& text) = 0;
};

// Handles pending user-interface events so that the window stays responsive and the
// Cancel button can be pressed while an engine runs on the same thread.
class MessagePump {
public:
    virtual ~MessagePump() = default;
    virtual void PumpMessages() = 0;
};

// Forwards to another pump at most once per interval, so that calling it after every MPEG
// frame costs one clock read. The first call always pumps.
class RateLimitedPump final : public MessagePump {
public:
    explicit RateLimitedPump(MessagePump& inner, std::chrono::microseconds interval = std::chrono::milliseconds(15))
        : m_inner(inner), m_interval(interval) {}
    void PumpMessages() override {
        const auto now = std::chrono::steady_clock::now();
        if (m_pumped && now - m_last < m_interval) return;
        m_pumped = true;
        m_last = now;
        m_inner.PumpMessages();
    }

private:
    MessagePump& m_inner;
    std::chrono::microseconds m_interval;
    std::chrono::steady_clock::time_point m_last{};
    bool m_pumped = false;
};

// The caller's cancel flag: non-zero means the user asked to stop. The CLI sets it from its
// SIGINT handler, the GUI from the Cancel button.
using CancelFlag = std::atomic<int>;

// What a long operation is handed by its caller. Every member may be null.
struct LongOperation {
    ProgressBar* bar = nullptr;
    StatusText* status = nullptr;
    MessagePump* pump = nullptr;
    const CancelFlag* cancel = nullptr;

    void Pump() const {
        if (pump != nullptr) pump->PumpMessages();
    }
    bool Cancelled() const { return cancel != nullptr && cancel->load(std::memory_order_relaxed) != 0; }
    // Pumps, then reports whether the user asked to stop.
    bool PumpAndCheckCancel() const {
        Pump();
        return Cancelled();
    }
    void SetStatus(const std::string& text) const {
        if (status != nullptr) status->SetText(text);
    }
};

}  // namespace qm
