#include "stream/TenthsText.h"

#include <algorithm>
#include <climits>
#include <cstdio>

namespace qm {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

// The digit after a point at text[at], if there is one.
int TenthAfterPoint(std::string_view text, std::size_t at) {
    if (at + 1 < text.size() && text[at] == '.' && IsDigit(text[at + 1])) return text[at + 1] - '0';
    return 0;
}

}  // namespace

int LenientSecondsToTenths(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size() && text[at] == ' ') ++at;
    if (at < text.size() && text[at] == '-') return 0;
    long long whole = 0;
    while (at < text.size() && IsDigit(text[at])) {
        whole = std::min<long long>(whole * 10 + (text[at] - '0'), INT_MAX / 10);
        ++at;
    }
    // One digit after the point counts; further digits are ignored.
    return static_cast<int>(whole * 10 + TenthAfterPoint(text, at));
}

std::optional<int> FieldSecondsToTenths(std::string_view text, EmptyText empty) {
    if (text.empty()) return empty == EmptyText::IsZero ? std::optional<int>(0) : std::nullopt;
    // ".5" is read as "0.5": the point stands where the first digit would.
    const bool pointFirst = text.front() == '.';
    std::size_t at = 0;
    if (!pointFirst) {
        while (at < text.size() && IsBlank(text[at])) ++at;
    }
    bool negative = false;
    if (!pointFirst && at < text.size() && (text[at] == '-' || text[at] == '+')) {
        negative = text[at] == '-';
        ++at;
    }
    // A length of more than 2^31 tenths cannot be held; such a text is refused.
    constexpr long long kMaxTenths = INT_MAX;
    long long seconds = 0;
    const std::size_t digitsStart = at;
    while (at < text.size() && IsDigit(text[at])) {
        seconds = seconds * 10 + (text[at] - '0');
        if (seconds * 10 + 9 > kMaxTenths) return std::nullopt;
        ++at;
    }
    if (at == digitsStart && !pointFirst) return std::nullopt;
    // Only the first digit after the point counts; a point without digits adds nothing.
    const long long value = seconds * 10 + TenthAfterPoint(text, at);
    return static_cast<int>(negative ? -value : value);
}

std::optional<int> StrictTimeToTenths(std::string_view text) {
    std::size_t at = 0;
    auto readNumber = [&](long long* value) {
        const std::size_t start = at;
        *value = 0;
        while (at < text.size() && IsDigit(text[at])) {
            *value = *value * 10 + (text[at] - '0');
            if (*value > 100000000) return false;  // over three years: surely a typing error
            ++at;
        }
        return at > start;
    };
    long long minutes = 0;
    long long seconds = 0;
    if (!readNumber(&seconds)) return std::nullopt;
    if (at < text.size() && text[at] == ':') {
        ++at;
        minutes = seconds;
        const std::size_t secondsStart = at;
        if (!readNumber(&seconds) || at - secondsStart != 2 || seconds > 59) return std::nullopt;
    }
    int tenths = 0;
    if (at < text.size() && text[at] == '.') {
        ++at;
        if (at + 1 != text.size() || !IsDigit(text[at])) return std::nullopt;
        tenths = text[at] - '0';
        ++at;
    }
    if (at != text.size()) return std::nullopt;
    const long long total = (minutes * 60 + seconds) * kTenthsPerSecond + tenths;
    if (total > INT_MAX / 2) return std::nullopt;
    return static_cast<int>(total);
}

std::string SecondsText(int tenths) {
    const char* sign = tenths < 0 ? "-" : "";
    const long long magnitude = tenths < 0 ? -static_cast<long long>(tenths) : tenths;
    char text[32];
    std::snprintf(text, sizeof text, "%s%lld.%lld", sign, magnitude / kTenthsPerSecond, magnitude % kTenthsPerSecond);
    return text;
}

std::string PositionText(int tenths, int totalTenths) {
    char text[48];
    if (totalTenths > kTenthsPerHour - 1) {
        std::snprintf(text, sizeof text, "%d:%02d:%02d.%d", tenths / kTenthsPerHour,
                      (tenths % kTenthsPerHour) / kTenthsPerMinute, (tenths % kTenthsPerMinute) / kTenthsPerSecond,
                      tenths % kTenthsPerSecond);
    } else {
        std::snprintf(text, sizeof text, "%d:%02d.%d", tenths / kTenthsPerMinute,
                      (tenths % kTenthsPerMinute) / kTenthsPerSecond, tenths % kTenthsPerSecond);
    }
    return text;
}

}  // namespace qm
