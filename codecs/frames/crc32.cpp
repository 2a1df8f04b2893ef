#include "crc32.h"

#include <array>

#include "frame_bytes.h"

#if defined(__GNUC__) && defined(__x86_64__)
#include <cpuid.h>
#include <immintrin.h>
#define PLOVIK_CRC_CLMUL 1
#endif

namespace plovik::frames {
namespace {

using Tables = std::array<std::array<std::uint32_t, 256>, 8>;

// tables[k][b]: the CRC of byte b followed by k zero bytes, for slicing by eight.
constexpr Tables ReflectedTables() {
    Tables t{};
    for (std::uint32_t b = 0; b < 256; ++b) {
        std::uint32_t c = b;
        for (int i = 0; i < 8; ++i) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        t[0][b] = c;
    }
    for (std::size_t k = 1; k < 8; ++k) {
        for (std::size_t b = 0; b < 256; ++b)
            t[k][b] = (t[k - 1][b] >> 8) ^ t[0][t[k - 1][b] & 0xFF];
    }
    return t;
}

constexpr Tables MsbTables() {
    Tables t{};
    for (std::uint32_t b = 0; b < 256; ++b) {
        std::uint32_t c = b << 24;
        for (int i = 0; i < 8; ++i) c = (c & 0x80000000u) ? (c << 1) ^ 0x04C11DB7u : c << 1;
        t[0][b] = c;
    }
    for (std::size_t k = 1; k < 8; ++k) {
        for (std::size_t b = 0; b < 256; ++b)
            t[k][b] = (t[k - 1][b] << 8) ^ t[0][t[k - 1][b] >> 24];
    }
    return t;
}

constexpr Tables kReflected = ReflectedTables();
constexpr Tables kMsb = MsbTables();

std::uint32_t Le32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}

// The MSB-first CRC by the tables, from crc on.
std::uint32_t Crc32MsbTables(const std::uint8_t* p, std::size_t n, std::uint32_t crc) {
    const Tables& t = kMsb;
    for (; n >= 8; p += 8, n -= 8) {
        const std::uint32_t a = Be32(p) ^ crc;
        const std::uint32_t b = Be32(p + 4);
        crc = t[7][a >> 24] ^ t[6][(a >> 16) & 0xFF] ^ t[5][(a >> 8) & 0xFF] ^ t[4][a & 0xFF] ^
              t[3][b >> 24] ^ t[2][(b >> 16) & 0xFF] ^ t[1][(b >> 8) & 0xFF] ^ t[0][b & 0xFF];
    }
    for (; n > 0; ++p, --n) crc = (crc << 8) ^ t[0][(crc >> 24) ^ *p];
    return crc;
}

#if defined(PLOVIK_CRC_CLMUL)

// x^n mod the polynomial, MSB-first: the factor that moves bits n places on, folded.
constexpr std::uint64_t PowerMod(int n) {
    std::uint64_t r = 1;
    for (int i = 0; i < n; ++i) {
        r <<= 1;
        if ((r >> 32) != 0) r ^= 0x104C11DB7u;
    }
    return r;
}

bool HasClmul() {
    unsigned a = 0, b = 0, c = 0, d = 0;
    return __get_cpuid(1, &a, &b, &c, &d) != 0 && (c & bit_PCLMUL) != 0 && (c & bit_SSSE3) != 0;
}

// The 128-bit block x moved `factor` (its two halves' constants) places on, modulo the
// polynomial, plus the next block: low lane of factor for the high half of x.
__attribute__((target("pclmul,ssse3"))) __m128i Fold(__m128i x, __m128i factor, __m128i next) {
    const __m128i high = _mm_clmulepi64_si128(x, factor, 0x01);
    const __m128i low = _mm_clmulepi64_si128(x, factor, 0x10);
    return _mm_xor_si128(_mm_xor_si128(high, low), next);
}

// 16 bytes as one 128-bit number, the first byte the most significant.
__attribute__((target("pclmul,ssse3"))) __m128i LoadBig(const std::uint8_t* p) {
    const __m128i reverse = _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), reverse);
}

// Carry-less folding, four blocks of 16 bytes a step, down to one block whose CRC the tables
// take (the CRC of a message is that of any block congruent to it), then the tail. n >= 64.
__attribute__((target("pclmul,ssse3"))) std::uint32_t Crc32MsbClmul(const std::uint8_t* p,
                                                                    std::size_t n,
                                                                    std::uint32_t crc) {
    // Low lane multiplies the high half (x^(k+64)), high lane the low half (x^k).
    const __m128i by512 = _mm_set_epi64x(static_cast<long long>(PowerMod(512)),
                                         static_cast<long long>(PowerMod(576)));
    const __m128i by128 = _mm_set_epi64x(static_cast<long long>(PowerMod(128)),
                                         static_cast<long long>(PowerMod(192)));
    // The CRC so far goes into the message's first 32 bits.
    __m128i x0 = _mm_xor_si128(LoadBig(p), _mm_set_epi32(static_cast<int>(crc), 0, 0, 0));
    __m128i x1 = LoadBig(p + 16);
    __m128i x2 = LoadBig(p + 32);
    __m128i x3 = LoadBig(p + 48);
    p += 64;
    n -= 64;
    for (; n >= 64; p += 64, n -= 64) {
        x0 = Fold(x0, by512, LoadBig(p));
        x1 = Fold(x1, by512, LoadBig(p + 16));
        x2 = Fold(x2, by512, LoadBig(p + 32));
        x3 = Fold(x3, by512, LoadBig(p + 48));
    }
    __m128i x = Fold(Fold(Fold(x0, by128, x1), by128, x2), by128, x3);
    for (; n >= 16; p += 16, n -= 16) x = Fold(x, by128, LoadBig(p));
    alignas(16) std::uint8_t block[16];
    const __m128i reverse = _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    _mm_store_si128(reinterpret_cast<__m128i*>(block), _mm_shuffle_epi8(x, reverse));
    return Crc32MsbTables(p, n, Crc32MsbTables(block, sizeof block, 0));
}

const bool kHasClmul = HasClmul();

#endif

}  // namespace

std::uint32_t Crc32Reflected(std::span<const std::uint8_t> bytes, std::uint32_t crc) {
    const Tables& t = kReflected;
    const std::uint8_t* p = bytes.data();
    std::size_t n = bytes.size();
    crc = ~crc;
    for (; n >= 8; p += 8, n -= 8) {
        const std::uint32_t a = Le32(p) ^ crc;
        const std::uint32_t b = Le32(p + 4);
        crc = t[7][a & 0xFF] ^ t[6][(a >> 8) & 0xFF] ^ t[5][(a >> 16) & 0xFF] ^ t[4][a >> 24] ^
              t[3][b & 0xFF] ^ t[2][(b >> 8) & 0xFF] ^ t[1][(b >> 16) & 0xFF] ^ t[0][b >> 24];
    }
    for (; n > 0; ++p, --n) crc = (crc >> 8) ^ t[0][(crc ^ *p) & 0xFF];
    return ~crc;
}

std::uint32_t Crc32Msb(std::span<const std::uint8_t> bytes, std::uint32_t crc) {
#if defined(PLOVIK_CRC_CLMUL)
    if (kHasClmul && bytes.size() >= 64) return Crc32MsbClmul(bytes.data(), bytes.size(), crc);
#endif
    return Crc32MsbTables(bytes.data(), bytes.size(), crc);
}

}  // namespace plovik::frames
