#pragma once

// CRC-16 as MP3 files use it: the LAME extension of a Xing/Info frame carries one over the
// audio frames (the music CRC) and one over the frame itself (the tag CRC).

#include <cstddef>
#include <cstdint>
#include <span>

namespace qm {

// CRC-16 as the LAME extension uses it (polynomial 0x8005, bit-reflected, start value 0),
// continued from crc over bytes. Inputs of kCrc16ClmulMinBytes and more go through
// carry-less multiplication on x86-64 processors that have it, the rest through tables.
std::uint16_t Crc16Update(std::uint16_t crc, std::span<const std::uint8_t> bytes);

// The two ways Crc16Update computes, for testing one against the other.
constexpr std::size_t kCrc16ClmulMinBytes = 64;
std::uint16_t Crc16UpdateTable(std::uint16_t crc, std::span<const std::uint8_t> bytes);
// Whether this processor (and build) has the carry-less multiplication path.
bool Crc16ClmulAvailable();
// That path (the tables for fewer than 16 bytes, or where it is not available).
std::uint16_t Crc16UpdateClmul(std::uint16_t crc, std::span<const std::uint8_t> bytes);

// Crc16Update over a stream given in parts (the frames of a piece, one after the other),
// without finishing the sum after every part: the carry-less path keeps its 16-byte register
// from one part to the next.
class Crc16Stream {
public:
    void Add(std::span<const std::uint8_t> bytes);
    // The CRC of every byte added so far.
    std::uint16_t Value() const;

private:
    std::uint8_t m_state[16] = {};  // congruent modulo the polynomial to the bytes so far
    std::uint16_t m_crc = 0;        // the table path's running CRC
};

}  // namespace qm
