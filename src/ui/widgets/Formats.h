#pragma once

// The display formats of lengths and sizes used by every list and page.

#include <cstdint>
#include <string>

namespace qm {

// Whole seconds as "m:ss", or "h:mm:ss" from one hour on: 3599 gives "59:59", 3600 "1:00:00".
std::string FormatDuration(unsigned seconds);

// A byte count in the largest unit that keeps the number below 1000: "999 B", "1.0 KB",
// "2.50 MB", "1.00 GB", "1.00 TB". Units are powers of 1024.
std::string FormatSize(std::int64_t byteCount);

}  // namespace qm
