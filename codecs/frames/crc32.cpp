#include "crc32.h"

#include <array>

#include "frame_bytes.h"

#include "crc_fold.h"

#if defined(PLOVIK_CRC_CLMUL)
#include <cpuid.h>
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

// The reflected CRC's register (inverted at both ends by the caller) after the bytes, by the
// tables.
std::uint32_t Crc32ReflectedTables(const std::uint8_t* p, std::size_t n, std::uint32_t crc) {
    const Tables& t = kReflected;
    for (; n >= 8; p += 8, n -= 8) {
        const std::uint32_t a = Le32(p) ^ crc;
        const std::uint32_t b = Le32(p + 4);
        crc = t[7][a & 0xFF] ^ t[6][(a >> 8) & 0xFF] ^ t[5][(a >> 16) & 0xFF] ^ t[4][a >> 24] ^
              t[3][b & 0xFF] ^ t[2][(b >> 8) & 0xFF] ^ t[1][(b >> 16) & 0xFF] ^ t[0][b >> 24];
    }
    for (; n > 0; ++p, --n) crc = (crc >> 8) ^ t[0][(crc ^ *p) & 0xFF];
    return crc;
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

bool ProcessorHasClmul() {
    unsigned a = 0, b = 0, c = 0, d = 0;
    return __get_cpuid(1, &a, &b, &c, &d) != 0 && (c & bit_PCLMUL) != 0 && (c & bit_SSSE3) != 0;
}

std::uint32_t Crc32MsbClmul(const std::uint8_t* p, std::size_t n, std::uint32_t crc) {
    std::uint8_t block[16];
    FoldMsb<0x104C11DB7u, 32>(p, n, crc, block);
    const std::size_t tail = n % 16;
    return Crc32MsbTables(p + n - tail, tail, Crc32MsbTables(block, sizeof block, 0));
}

// The reflected CRC's register after n >= 64 bytes, folded in the reflected bit order. The
// factors are x^(k-32) and x^(k+32) modulo the polynomial, reflected, for k of 512 and 128.
__attribute__((target("pclmul,ssse3"))) std::uint32_t Crc32ReflectedClmul(const std::uint8_t* p,
                                                                          std::size_t n,
                                                                          std::uint32_t crc) {
    const __m128i x = crc_fold::FoldBlocks<crc_fold::Reflected>(
        p, n, _mm_cvtsi32_si128(static_cast<int>(crc)), _mm_set_epi64x(0x1C6E41596, 0x154442BD4),
        _mm_set_epi64x(0x0CCAA009E, 0x1751997D0));
    std::uint8_t block[16];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(block), x);
    const std::size_t tail = n % 16;
    return Crc32ReflectedTables(p + n - tail, tail, Crc32ReflectedTables(block, sizeof block, 0));
}

#endif

}  // namespace

#if defined(PLOVIK_CRC_CLMUL)
bool HasClmul() {
    static const bool has = ProcessorHasClmul();
    return has;
}
#endif

std::uint32_t Crc32Reflected(std::span<const std::uint8_t> bytes, std::uint32_t crc) {
#if defined(PLOVIK_CRC_CLMUL)
    if (bytes.size() >= 64 && HasClmul())
        return ~Crc32ReflectedClmul(bytes.data(), bytes.size(), ~crc);
#endif
    return ~Crc32ReflectedTables(bytes.data(), bytes.size(), ~crc);
}

std::uint32_t Crc32Msb(std::span<const std::uint8_t> bytes, std::uint32_t crc) {
#if defined(PLOVIK_CRC_CLMUL)
    if (bytes.size() >= 64 && HasClmul()) return Crc32MsbClmul(bytes.data(), bytes.size(), crc);
#endif
    return Crc32MsbTables(bytes.data(), bytes.size(), crc);
}

}  // namespace plovik::frames
