#pragma once

// Terminal pieces shared by the commands of quillmere-cli: a progress bar and status line
// drawn on stderr (only when stderr is a terminal), Ctrl-C wired to a cancel flag, and the
// escaping of fields of the line output.

#include <cstdio>
#include <string>
#include <string_view>

#include "progress/Progress.h"

namespace qm::cli {

// A one-line progress display: "label [#####.....]  42%". It implements both the bar and
// the status text of the progress contract; with drawing disabled every call is a no-op,
// so a command can hand it to the engines unconditionally.
class TerminalProgress final : public ProgressBar, public StatusText {
public:
    // Draws on out when enabled. ForStderr() enables it only when stderr is a terminal.
    TerminalProgress(std::FILE* out, bool enabled);
    static TerminalProgress ForStderr();
    ~TerminalProgress() override;
    TerminalProgress(TerminalProgress&& other) noexcept;
    TerminalProgress(const TerminalProgress&) = delete;
    TerminalProgress& operator=(const TerminalProgress&) = delete;
    TerminalProgress& operator=(TerminalProgress&&) = delete;

    // The engines treat the width as the number of steps of the bar.
    int WidthPixels() const override { return kSteps; }
    void SetRange(int low, int high) override;
    void SetPosition(int position) override;
    void SetText(const std::string& text) override;
    // Erases the line so that ordinary output starts on a clean line.
    void Clear();
    bool Enabled() const { return m_enabled; }

    // The line as it would be drawn (without the carriage return), for a given state.
    static std::string Render(const std::string& label, int percent, int columns);

private:
    static constexpr int kSteps = 1000;  // fine enough that a one-hour file moves every ~4 s of audio
    static constexpr int kColumns = 78;  // the line fits a classic 80-column terminal
    void Redraw(bool force);

    std::FILE* m_out;
    bool m_enabled;
    bool m_drawn = false;
    int m_low = 0;
    int m_high = kSteps;
    int m_position = 0;
    int m_lastPercent = -1;
    std::string m_label;
};

// Installs a handler for SIGINT (Ctrl-C), SIGTERM, SIGHUP and SIGPIPE (stdout closed by its
// reader) that sets *flag to 1, for the lifetime of the guard; the engines see it after the
// frame in progress and delete what they were writing. The previous handlers come back when
// the guard is destroyed. Only one guard may be alive at a time.
class InterruptGuard {
public:
    explicit InterruptGuard(CancelFlag& flag);
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

    // The exit code of a cancelled run: 128 + the signal that stopped it (130 for Ctrl-C,
    // 143 for SIGTERM, 129 for SIGHUP, 141 for SIGPIPE); 130 when none has arrived.
    int CancelledExitCode() const;
};

// A MessagePump for the terminal: there is no event queue, so it does nothing; Ctrl-C
// reaches the cancel flag through the signal handler.
class NullPump final : public MessagePump {
public:
    void PumpMessages() override {}
};

// A field of the line-oriented output: a backslash, tab, line feed, carriage return and every
// other control character are written as escapes (\\ \t \n \r \xHH), so that a name never
// breaks a line or adds a field.
std::string LineField(std::string_view text);

}  // namespace qm::cli
