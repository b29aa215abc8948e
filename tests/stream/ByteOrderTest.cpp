// The fixed-width integer readers and writers of the file formats.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "stream/ByteOrder.h"

namespace qm {
namespace {

// Each byte lands at its own place: a swapped pair or a shift by the wrong amount shows.
TEST(ByteOrder, ReadsBothOrders) {
    struct Case {
        std::array<std::uint8_t, 4> bytes;
        std::uint32_t bigEndian32;
        std::uint32_t littleEndian32;
        std::uint16_t littleEndian16;
    };
    const std::vector<Case> cases = {
        {{0x12, 0x34, 0x56, 0x78}, 0x12345678u, 0x78563412u, 0x3412},
        {{0xFF, 0x00, 0x00, 0x01}, 0xFF000001u, 0x010000FFu, 0x00FF},
        {{0x00, 0x00, 0x00, 0x00}, 0u, 0u, 0},
        {{0xFF, 0xFF, 0xFF, 0xFF}, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFF},
        {{0x80, 0x7F, 0x01, 0xFE}, 0x807F01FEu, 0xFE017F80u, 0x7F80},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bigEndian32);
        EXPECT_EQ(ReadBigEndian32(c.bytes.data()), c.bigEndian32);
        EXPECT_EQ(ReadLittleEndian32(c.bytes.data()), c.littleEndian32);
        EXPECT_EQ(ReadLittleEndian16(c.bytes.data()), c.littleEndian16);
    }
}

// The writers put the most significant byte first and touch nothing beyond their width.
TEST(ByteOrder, WritesBigEndianInPlace) {
    std::array<std::uint8_t, 8> bytes{};
    bytes.fill(0xAA);
    WriteBigEndian32(bytes.data() + 1, 0x01020304u);
    WriteBigEndian16(bytes.data() + 5, 0xBEEF);
    EXPECT_EQ(bytes, (std::array<std::uint8_t, 8>{0xAA, 0x01, 0x02, 0x03, 0x04, 0xBE, 0xEF, 0xAA}));
    EXPECT_EQ(ReadBigEndian32(bytes.data() + 1), 0x01020304u);
}

}  // namespace
}  // namespace qm
