#pragma once

// The text of marks files as other programs write it: UTF-8 with or without a byte-order
// mark, or the Windows code page 1252 of older tools, read into UTF-8.

#include <string>
#include <string_view>

namespace qm {

// bytes without a leading UTF-8 byte-order mark (EF BB BF).
std::string_view WithoutByteOrderMark(std::string_view bytes);

// Windows-1252 bytes as UTF-8. 0x80-0x9F follow the Windows table (0x80 is the euro sign,
// 0x93/0x94 the curly double quotes); its five unassigned codes (0x81, 0x8D, 0x8F, 0x90,
// 0x9D) map to the control characters of the same value, as Windows maps them.
std::string Windows1252ToUtf8(std::string_view bytes);

// The text of a marks file in UTF-8: without its byte-order mark, as it is when it is
// well-formed UTF-8, else read as Windows-1252.
std::string MarksTextToUtf8(std::string_view bytes);

}  // namespace qm
