#include "stream/Utf8.h"

namespace qm {

std::size_t Utf8SequenceLength(unsigned char lead) {
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

bool IsWellFormedUtf8Sequence(std::string_view bytes, std::size_t at, std::size_t length) {
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

bool IsWellFormedUtf8(std::string_view bytes) {
    std::size_t at = 0;
    while (at < bytes.size()) {
        const auto byte = static_cast<unsigned char>(bytes[at]);
        if (byte < 0x80) {
            ++at;
            continue;
        }
        const std::size_t length = Utf8SequenceLength(byte);
        if (length == 0 || !IsWellFormedUtf8Sequence(bytes, at, length)) return false;
        at += length;
    }
    return true;
}

}  // namespace qm
