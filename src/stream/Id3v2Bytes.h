#pragma once

// The number fields of an ID3v2 tag, shared by the tag reader and the tag writer.

#include <cstdint>

#include "stream/ByteOrder.h"  // ReadBigEndian32: the frame sizes of version 2.3

namespace qm {

// Seven-bit ("synchsafe") sizes: four bytes of which only the low seven bits count, so that
// no size can contain a false frame sync. The tag size of every version, the frame sizes of
// version 2.4.
inline std::uint32_t ReadSynchsafe32(const std::uint8_t* bytes) {
    return (std::uint32_t{bytes[0]} << 21) | (std::uint32_t{bytes[1]} << 14) | (std::uint32_t{bytes[2]} << 7) |
           std::uint32_t{bytes[3]};
}

// Writes the low 28 bits of value as a seven-bit size.
inline void WriteSynchsafe32(std::uint32_t value, std::uint8_t* bytes) {
    for (int i = 3; i >= 0; --i) {
        bytes[i] = static_cast<std::uint8_t>(value & 0x7F);
        value >>= 7;
    }
}

}  // namespace qm
