// The CRC-16 of the LAME extension: its check value, and its two ways of computing agreeing.

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "fixtures/Fixtures.h"
#include "stream/Crc16.h"

namespace qm {
namespace {

using fixtures::Bytes;

// The CRC is the reflected 0x8005 polynomial starting from 0 ("123456789" -> 0xBB3D); eight
// bytes at a time give the same as one bit at a time, for every length and split point.
TEST(Crc16Update, MatchesTheCheckValueAndABitwiseCrc) {
    const char* text = "123456789";
    const std::span<const std::uint8_t> check(reinterpret_cast<const std::uint8_t*>(text), 9);
    EXPECT_EQ(Crc16Update(0, check), 0xBB3D);
    const Bytes data = fixtures::Junk(300, 7);
    for (std::size_t length = 0; length <= data.size(); length += 13) {
        std::uint16_t bitwise = 0;
        for (std::size_t i = 0; i < length; ++i) {
            bitwise ^= data[i];
            for (int bit = 0; bit < 8; ++bit) bitwise = (bitwise & 1) ? (bitwise >> 1) ^ 0xA001 : bitwise >> 1;
        }
        const std::span<const std::uint8_t> bytes(data.data(), length);
        EXPECT_EQ(Crc16Update(0, bytes), bitwise) << length;
        EXPECT_EQ(Crc16Update(Crc16Update(0, bytes.first(length / 3)), bytes.subspan(length / 3)), bitwise) << length;
    }
}

// The carry-less multiplication path gives what the tables give, for every length up to 300
// (around the 16-, 64- and 128-byte steps of its folding), some long inputs, starts that are
// not aligned and start values other than 0.
TEST(Crc16Update, CarryLessPathMatchesTheTables) {
    if (!Crc16ClmulAvailable()) GTEST_SKIP() << "no carry-less multiplication on this processor";
    const Bytes data = fixtures::Junk(70000, 11);
    std::uint32_t state = 12345;
    auto next = [&] { return state = state * 1664525U + 1013904223U; };
    std::vector<std::size_t> lengths;
    for (std::size_t length = 0; length <= 300; ++length) lengths.push_back(length);
    for (const std::size_t length : {417, 418, 1044, 4096, 65535, 69990}) lengths.push_back(length);
    for (const std::size_t length : lengths) {
        for (const std::size_t start : {0, 1, 7, 9}) {
            const std::span<const std::uint8_t> bytes(data.data() + start, length);
            for (const std::uint16_t crc : {std::uint16_t{0}, static_cast<std::uint16_t>(next() >> 16)}) {
                ASSERT_EQ(Crc16UpdateClmul(crc, bytes), Crc16UpdateTable(crc, bytes))
                    << "length " << length << " start " << start << " crc " << crc;
                ASSERT_EQ(Crc16Update(crc, bytes), Crc16UpdateTable(crc, bytes)) << length;
            }
        }
    }
    // All-ones blocks set every bit of the folded registers.
    const Bytes ones(1000, 0xFF);
    EXPECT_EQ(Crc16UpdateClmul(0xFFFF, ones), Crc16UpdateTable(0xFFFF, ones));
}

// A CRC fed in parts of every size (frames, single bytes, parts shorter and longer than the
// 16-byte blocks) gives the CRC of the whole.
TEST(Crc16Stream, PartsGiveTheCrcOfTheWhole) {
    const Bytes data = fixtures::Junk(20000, 5);
    std::uint32_t state = 99;
    auto next = [&] { return state = state * 1664525U + 1013904223U; };
    for (const std::size_t largest : {1, 3, 17, 40, 130, 418, 5000}) {
        Crc16Stream crc;
        EXPECT_EQ(crc.Value(), 0);
        std::size_t at = 0;
        while (at < data.size()) {
            const std::size_t part = std::min<std::size_t>(data.size() - at, 1 + next() % largest);
            crc.Add({data.data() + at, part});
            at += part;
            ASSERT_EQ(crc.Value(), Crc16UpdateTable(0, {data.data(), at})) << largest << " at " << at;
        }
    }
}

}  // namespace
}  // namespace qm
