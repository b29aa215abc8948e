#include "cli/Terminal.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>

namespace qm::cli {

TerminalProgress::TerminalProgress(std::FILE* out, bool enabled) : m_out(out), m_enabled(enabled && out != nullptr) {}

TerminalProgress TerminalProgress::ForStderr() { return TerminalProgress(stderr, ::isatty(::fileno(stderr)) == 1); }

TerminalProgress::TerminalProgress(TerminalProgress&& other) noexcept
    : m_out(other.m_out),
      m_enabled(other.m_enabled),
      m_drawn(other.m_drawn),
      m_low(other.m_low),
      m_high(other.m_high),
      m_position(other.m_position),
      m_lastPercent(other.m_lastPercent),
      m_label(std::move(other.m_label)) {
    other.m_enabled = false;
    other.m_drawn = false;
}

TerminalProgress::~TerminalProgress() { Clear(); }

void TerminalProgress::SetRange(int low, int high) {
    m_low = low;
    m_high = high;
    m_position = low;
    Redraw(false);
}

void TerminalProgress::SetPosition(int position) {
    m_position = position;
    Redraw(false);
}

void TerminalProgress::SetText(const std::string& text) {
    m_label = text;
    Redraw(true);
}

void TerminalProgress::Clear() {
    if (!m_enabled || !m_drawn) return;
    // Carriage return, then "erase to end of line".
    std::fputs("\r\x1b[K", m_out);
    std::fflush(m_out);
    m_drawn = false;
    m_lastPercent = -1;
}

std::string TerminalProgress::Render(const std::string& label, int percent, int columns) {
    percent = std::clamp(percent, 0, 100);
    // Layout: label, a space, "[" bar "]", a space, "100%". The label gives way to the bar.
    constexpr int kBarCells = 30;
    constexpr int kTailChars = 2 + kBarCells + 5;  // " [" bar "] " and up to "100%"
    std::string shownLabel = label;
    const int labelRoom = std::max(0, columns - kTailChars);
    if (static_cast<int>(shownLabel.size()) > labelRoom) {
        shownLabel = labelRoom > 3 ? shownLabel.substr(0, labelRoom - 3) + "..." : std::string();
    }
    const int filled = percent * kBarCells / 100;
    std::string line = shownLabel;
    line += " [";
    line.append(static_cast<std::size_t>(filled), '#');
    line.append(static_cast<std::size_t>(kBarCells - filled), '.');
    line += "] ";
    line += std::to_string(percent);
    line += '%';
    return line;
}

void TerminalProgress::Redraw(bool force) {
    if (!m_enabled) return;
    const long long span = static_cast<long long>(m_high) - m_low;
    const long long done = static_cast<long long>(m_position) - m_low;
    const int percent = span > 0 ? static_cast<int>(std::clamp(done * 100 / span, 0LL, 100LL)) : 0;
    // Redrawing only when the percentage changes keeps the cost per frame to a division.
    if (!force && percent == m_lastPercent) return;
    m_lastPercent = percent;
    const std::string line = Render(m_label, percent, kColumns);
    std::fputs("\r\x1b[K", m_out);
    std::fputs(line.c_str(), m_out);
    std::fflush(m_out);
    m_drawn = true;
}

namespace {

// The flag the signal handler writes. std::atomic<int> is lock-free on every platform we
// build for, so storing to it is safe inside a handler.
CancelFlag* g_interruptFlag = nullptr;
volatile std::sig_atomic_t g_signal = 0;

// The signals that stop a run as Ctrl-C does. SIGPIPE arrives when whoever reads our stdout
// has gone: nobody wants the rest of the run, and being killed by it would leave the output
// being written behind as a temporary file.
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
constexpr std::size_t kStopSignalCount = sizeof kStopSignals / sizeof kStopSignals[0];
struct sigaction g_previous[kStopSignalCount];

constexpr int kSignalExitBase = 128;  // the shell's exit code for a signal: 128 + its number

extern "C" void OnInterrupt(int signal) {
    g_signal = signal;
    if (g_interruptFlag != nullptr) g_interruptFlag->store(1, std::memory_order_relaxed);
}

}  // namespace

InterruptGuard::InterruptGuard(CancelFlag& flag) {
    static_assert(CancelFlag::is_always_lock_free, "the cancel flag must be usable from a signal handler");
    g_interruptFlag = &flag;
    g_signal = 0;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    // SA_RESTART: a write interrupted by Ctrl-C is resumed rather than failing with EINTR,
    // which an engine would otherwise report as a write failure instead of a cancel.
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < kStopSignalCount; ++i) sigaction(kStopSignals[i], &action, &g_previous[i]);
}

InterruptGuard::~InterruptGuard() {
    for (std::size_t i = 0; i < kStopSignalCount; ++i) sigaction(kStopSignals[i], &g_previous[i], nullptr);
    g_interruptFlag = nullptr;
}

int InterruptGuard::CancelledExitCode() const {
    const int signal = g_signal;
    return kSignalExitBase + (signal != 0 ? signal : SIGINT);
}

std::string LineField(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '\\':
                escaped += "\\\\";
                break;
            case '\t':
                escaped += "\\t";
                break;
            case '\n':
                escaped += "\\n";
                break;
            case '\r':
                escaped += "\\r";
                break;
            default:
                if (byte < 0x20 || byte == 0x7f) {
                    escaped += "\\x";
                    escaped += kHex[byte >> 4];
                    escaped += kHex[byte & 0x0f];
                } else {
                    escaped += c;
                }
        }
    }
    return escaped;
}

}  // namespace qm::cli
