#include "ui/widgets/Formats.h"

#include <cinttypes>
#include <cstdio>

namespace qm {

std::string FormatDuration(unsigned seconds) {
    char text[32];
    if (seconds >= 3600) {
        std::snprintf(text, sizeof text, "%u:%02u:%02u", seconds / 3600, seconds / 60 % 60, seconds % 60);
    } else {
        std::snprintf(text, sizeof text, "%u:%02u", seconds / 60, seconds % 60);
    }
    return text;
}

std::string FormatSize(std::int64_t byteCount) {
    constexpr std::int64_t kKiB = 1024;
    constexpr std::int64_t kMiB = kKiB * 1024;
    constexpr std::int64_t kGiB = kMiB * 1024;
    constexpr double kTiB = 1099511627776.0;
    // Each unit is used below 1000 of it, so 1000 bytes already read as "1.0 KB".
    char text[48];
    const auto v = static_cast<double>(byteCount);
    if (byteCount < 1000) {
        std::snprintf(text, sizeof text, "%" PRId64 " B", byteCount);
    } else if (byteCount < 1000 * kKiB) {
        std::snprintf(text, sizeof text, "%.1f KB", v / kKiB);
    } else if (byteCount < 1000 * kMiB) {
        std::snprintf(text, sizeof text, "%.2f MB", v / kMiB);
    } else if (byteCount < 1000 * kGiB) {
        std::snprintf(text, sizeof text, "%.2f GB", v / kGiB);
    } else {
        std::snprintf(text, sizeof text, "%.2f TB", v / kTiB);
    }
    return text;
}

}  // namespace qm
