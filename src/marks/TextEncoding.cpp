// Checking UTF-8 and converting the Windows code page 1252 to it.

#include "marks/TextEncoding.h"

#include <array>

namespace qm {

namespace {

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

// Code points of 0x80-0x9F in Windows-1252; the rest of the upper half is Latin-1.
constexpr std::array<char16_t, 32> kWindows1252High = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                                       0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                                       0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                                       0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// The length of the sequence a lead byte begins (2 to 4), or 0 for a byte that cannot lead:
// a continuation byte 10xxxxxx, the overlong leads C0/C1, and F5-FF (past U+10FFFF).
std::size_t SequenceLength(unsigned char lead) {
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

// Whether the sequence of length bytes at `at` is complete and well-formed. The second byte's
// range depends on the lead: E0 must not be overlong (A0-BF), ED must not reach the
// surrogates (80-9F), F0 must not be overlong (90-BF), F4 must stay at or below U+10FFFF.
bool WellFormedSequence(std::string_view bytes, std::size_t at, std::size_t length) {
    if (at + length > bytes.size()) return false;
    const auto lead = static_cast<unsigned char>(bytes[at]);
    const auto second = static_cast<unsigned char>(bytes[at + 1]);
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
    if (second < low || second > high) return false;
    for (std::size_t k = 2; k < length; ++k) {
        if ((static_cast<unsigned char>(bytes[at + k]) & 0xC0) != 0x80) return false;
    }
    return true;
}

void AppendUtf8(char32_t codePoint, std::string* out) {
    if (codePoint < 0x80) {
        out->push_back(static_cast<char>(codePoint));
    } else if (codePoint < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
        out->push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
        out->push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    }
}

}  // namespace

bool IsWellFormedUtf8(std::string_view bytes) {
    std::size_t at = 0;
    while (at < bytes.size()) {
        const auto byte = static_cast<unsigned char>(bytes[at]);
        if (byte < 0x80) {
            ++at;
            continue;
        }
        const std::size_t length = SequenceLength(byte);
        if (length == 0 || !WellFormedSequence(bytes, at, length)) return false;
        at += length;
    }
    return true;
}

std::string_view WithoutByteOrderMark(std::string_view bytes) {
    if (bytes.substr(0, kUtf8ByteOrderMark.size()) == kUtf8ByteOrderMark)
        bytes.remove_prefix(kUtf8ByteOrderMark.size());
    return bytes;
}

std::string Windows1252ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80 && byte <= 0x9F) {
            AppendUtf8(kWindows1252High[byte - 0x80], &out);
        } else {
            AppendUtf8(byte, &out);
        }
    }
    return out;
}

std::string MarksTextToUtf8(std::string_view bytes) {
    const std::string_view text = WithoutByteOrderMark(bytes);
    if (IsWellFormedUtf8(text)) return std::string(text);
    return Windows1252ToUtf8(text);
}

}  // namespace qm
