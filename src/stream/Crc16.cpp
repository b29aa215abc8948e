#include "stream/Crc16.h"

#include <array>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define QM_CRC16_CLMUL 1
#include <immintrin.h>
#else
#define QM_CRC16_CLMUL 0
#endif

namespace qm {
namespace {

// Tables for eight bytes at a time: kCrc16Tables[0] is the plain byte table; table k gives
// the effect of a byte followed by k zero bytes. (A byte at a time was a third of the time
// of a direct split.)
using Crc16Tables = std::array<std::array<std::uint16_t, 256>, 8>;
constexpr Crc16Tables MakeCrc16Tables() {
    Crc16Tables tables{};
    for (unsigned n = 0; n < 256; ++n) {
        unsigned crc = n;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1U) != 0 ? (crc >> 1) ^ 0xA001U : crc >> 1;
        tables[0][n] = static_cast<std::uint16_t>(crc);
    }
    for (std::size_t k = 1; k < tables.size(); ++k) {
        for (unsigned n = 0; n < 256; ++n) {
            const std::uint16_t previous = tables[k - 1][n];
            tables[k][n] = static_cast<std::uint16_t>((previous >> 8) ^ tables[0][previous & 0xFF]);
        }
    }
    return tables;
}
constexpr Crc16Tables kCrc16Tables = MakeCrc16Tables();

}  // namespace

std::uint16_t Crc16UpdateTable(std::uint16_t crc, std::span<const std::uint8_t> bytes) {
    const auto& t = kCrc16Tables;
    const std::uint8_t* p = bytes.data();
    std::size_t left = bytes.size();
    for (; left >= 8; left -= 8, p += 8) {
        // The CRC's two bytes meet the first two data bytes; the other six enter as they are.
        const unsigned low = (crc ^ p[0]) & 0xFFU;
        const unsigned high = ((crc >> 8) ^ p[1]) & 0xFFU;
        crc = static_cast<std::uint16_t>(t[7][low] ^ t[6][high] ^ t[5][p[2]] ^ t[4][p[3]] ^ t[3][p[4]] ^ t[2][p[5]] ^
                                         t[1][p[6]] ^ t[0][p[7]]);
    }
    for (; left > 0; --left, ++p) {
        crc = static_cast<std::uint16_t>((crc >> 8) ^ t[0][(crc ^ *p) & 0xFF]);
    }
    return crc;
}

#if QM_CRC16_CLMUL

namespace {

// x^n mod P for the polynomial P = x^16 + x^15 + x^2 + 1 (0x8005), in normal bit order.
constexpr std::uint32_t PowerOfXModP(unsigned n) {
    std::uint32_t r = 1;
    for (unsigned i = 0; i < n; ++i) {
        r <<= 1;
        if ((r & 0x10000U) != 0) r ^= 0x18005U;
    }
    return r;
}

// A remainder of degree < 16 as the reflected CRC sees a 64-bit lane: the coefficient of
// x^i at bit 63 - i (the top 16 bits, in reverse order).
constexpr std::uint64_t ReflectedLaneConstant(unsigned n) {
    const std::uint32_t r = PowerOfXModP(n);
    std::uint64_t lane = 0;
    for (unsigned i = 0; i < 16; ++i) {
        if ((r >> i) & 1U) lane |= std::uint64_t{1} << (63 - i);
    }
    return lane;
}

// The pair of constants that moves a 16-byte register forward over byteCount further bytes.
// Loaded little-endian, the low lane of a register holds the high-degree half of its
// polynomial (x^127..x^64), the high lane the low half; a carry-less product of two
// reflected operands comes out multiplied by x. So the low lane is multiplied by
// x^(8N+64-1) mod P and the high lane by x^(8N-1) mod P.
struct FoldConstants {
    std::uint64_t lowLane;
    std::uint64_t highLane;
};
constexpr FoldConstants FoldBy(unsigned byteCount) {
    return {ReflectedLaneConstant(8 * byteCount + 63), ReflectedLaneConstant(8 * byteCount - 1)};
}
constexpr FoldConstants kFoldBy16 = FoldBy(16);
constexpr FoldConstants kFoldBy32 = FoldBy(32);
constexpr FoldConstants kFoldBy48 = FoldBy(48);
constexpr FoldConstants kFoldBy64 = FoldBy(64);

__attribute__((target("pclmul,sse4.1"))) inline __m128i Constants(FoldConstants k) {
    return _mm_set_epi64x(static_cast<long long>(k.highLane), static_cast<long long>(k.lowLane));
}

// r * x^(8N) mod P (up to 81 bits) plus the next block.
__attribute__((target("pclmul,sse4.1"))) inline __m128i Fold(__m128i r, __m128i k, __m128i next) {
    const __m128i low = _mm_clmulepi64_si128(r, k, 0x00);
    const __m128i high = _mm_clmulepi64_si128(r, k, 0x11);
    return _mm_xor_si128(_mm_xor_si128(low, high), next);
}

__attribute__((target("pclmul,sse4.1"))) inline __m128i Load(const std::uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// first x^(128 blocks) + the blocks of 16 bytes at p: the register of the stream that starts
// with first's 16 bytes and goes on with the blocks.
__attribute__((target("pclmul,sse4.1"))) __m128i FoldBlocks(__m128i first, const std::uint8_t* p, std::size_t blocks) {
    __m128i r0 = first;
    if (blocks >= 7) {
        // Four registers side by side, each folded over 64 bytes, hide the multiplier's latency.
        __m128i r1 = Load(p);
        __m128i r2 = Load(p + 16);
        __m128i r3 = Load(p + 32);
        p += 48;
        blocks -= 3;
        const __m128i k64 = Constants(kFoldBy64);
        for (; blocks >= 4; p += 64, blocks -= 4) {
            r0 = Fold(r0, k64, Load(p));
            r1 = Fold(r1, k64, Load(p + 16));
            r2 = Fold(r2, k64, Load(p + 32));
            r3 = Fold(r3, k64, Load(p + 48));
        }
        // r0 x^384 + r1 x^256 + r2 x^128 + r3: the four become one register again.
        r0 = Fold(r0, Constants(kFoldBy48), Fold(r1, Constants(kFoldBy32), Fold(r2, Constants(kFoldBy16), r3)));
    }
    const __m128i k16 = Constants(kFoldBy16);
    for (; blocks > 0; p += 16, --blocks) r0 = Fold(r0, k16, Load(p));
    return r0;
}

// At least 16 bytes. The register stays congruent modulo P to the message so far, so the
// CRC of its 16 bytes equals the CRC of that message (from a start value of 0, leading zero
// bytes change nothing); the CRC then goes on over the tail through the tables.
__attribute__((target("pclmul,sse4.1"))) std::uint16_t Crc16UpdateClmulImpl(std::uint16_t crc, const std::uint8_t* p,
                                                                            std::size_t left) {
    // A start value is the same as its two bytes added to the first two message bytes.
    alignas(16) std::uint8_t block[16];
    std::memcpy(block, p, sizeof block);
    block[0] ^= static_cast<std::uint8_t>(crc);
    block[1] ^= static_cast<std::uint8_t>(crc >> 8);
    const std::size_t blocks = (left - 16) / 16;
    const __m128i r = FoldBlocks(Load(block), p + 16, blocks);
    _mm_store_si128(reinterpret_cast<__m128i*>(block), r);
    const std::size_t done = 16 * (blocks + 1);
    return Crc16UpdateTable(Crc16UpdateTable(0, block), {p + done, left - done});
}

// Fold constants for moving the register over 1 to 15 bytes (entry 0 unused).
constexpr std::array<FoldConstants, 16> MakeShortFolds() {
    std::array<FoldConstants, 16> folds{};
    for (unsigned n = 1; n < folds.size(); ++n) folds[n] = FoldBy(n);
    return folds;
}
constexpr std::array<FoldConstants, 16> kShortFolds = MakeShortFolds();

// Sixteen zero bytes, then sixteen 0xFF: loaded from offset n, a mask of the last n bytes of
// a block.
constexpr std::array<std::uint8_t, 32> kTailMask{0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,
                                                 0,    0,    0,    0,    0,    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                                 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

// Crc16Stream::Add on the carry-less path: the register goes on over the whole blocks, then
// over the 1 to 15 bytes left, which enter at the register's low end (the last bytes of a
// block) after it has been moved on by as many bytes. So nothing is left pending.
__attribute__((target("pclmul,sse4.1"))) void Crc16StreamAdd(std::uint8_t* state, const std::uint8_t* p,
                                                             std::size_t byteCount) {
    __m128i r = Load(state);
    const std::size_t blocks = byteCount / 16;
    const std::size_t rest = byteCount % 16;
    if (blocks > 0) r = FoldBlocks(r, p, blocks);
    if (rest > 0) {
        __m128i tail;
        if (byteCount >= 16) {
            // The 16 bytes that end with the input, of which only the last `rest` are new.
            tail = _mm_and_si128(Load(p + byteCount - 16), Load(kTailMask.data() + rest));
        } else {
            alignas(16) std::uint8_t block[16] = {};
            std::memcpy(block + 16 - rest, p, rest);
            tail = Load(block);
        }
        r = Fold(r, Constants(kShortFolds[rest]), tail);
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), r);
}

bool CpuHasClmul() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
}

}  // namespace

bool Crc16ClmulAvailable() {
    static const bool available = CpuHasClmul();
    return available;
}

std::uint16_t Crc16UpdateClmul(std::uint16_t crc, std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 16 || !Crc16ClmulAvailable()) return Crc16UpdateTable(crc, bytes);
    return Crc16UpdateClmulImpl(crc, bytes.data(), bytes.size());
}

void Crc16Stream::Add(std::span<const std::uint8_t> bytes) {
    if (!Crc16ClmulAvailable()) {
        m_crc = Crc16UpdateTable(m_crc, bytes);
        return;
    }
    Crc16StreamAdd(m_state, bytes.data(), bytes.size());
}

std::uint16_t Crc16Stream::Value() const {
    // With a start value of 0, the CRC of the register's 16 bytes is that of the stream (an
    // all-zero register, before anything was added, gives 0).
    return Crc16ClmulAvailable() ? Crc16UpdateTable(0, m_state) : m_crc;
}

#else

bool Crc16ClmulAvailable() { return false; }

std::uint16_t Crc16UpdateClmul(std::uint16_t crc, std::span<const std::uint8_t> bytes) {
    return Crc16UpdateTable(crc, bytes);
}

void Crc16Stream::Add(std::span<const std::uint8_t> bytes) { m_crc = Crc16UpdateTable(m_crc, bytes); }

std::uint16_t Crc16Stream::Value() const { return m_crc; }

#endif

std::uint16_t Crc16Update(std::uint16_t crc, std::span<const std::uint8_t> bytes) {
    if (bytes.size() >= kCrc16ClmulMinBytes && Crc16ClmulAvailable()) return Crc16UpdateClmul(crc, bytes);
    return Crc16UpdateTable(crc, bytes);
}

}  // namespace qm
