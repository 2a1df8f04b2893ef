// Carry-less folding of long runs for the CRCs, in either bit order (most significant bit
// first: CRC-32 of FFV1, CRC-16 of AC-3; reflected: CRC-32 of PNG): four 16-byte blocks a
// step, down to one block whose CRC the tables take, since the CRC of a message is that of
// any block congruent to it modulo the polynomial.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#define PLOVIK_CRC_CLMUL 1
#endif

namespace plovik::frames {

#if defined(PLOVIK_CRC_CLMUL)

// Whether this processor multiplies carry-less (asked once, at the first call).
bool HasClmul();

namespace crc_fold {

// x^n modulo the polynomial of degree width (its top bit included): the factor that moves
// bits n places on.
constexpr std::uint64_t PowerMod(std::uint64_t polynomial, int width, int n) {
    std::uint64_t r = 1;
    for (int i = 0; i < n; ++i) {
        r <<= 1;
        if ((r >> width) != 0) r ^= polynomial;
    }
    return r;
}

__attribute__((target("pclmul,ssse3"))) inline __m128i Reverse(__m128i x) {
    return _mm_shuffle_epi8(x, _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15));
}

// Most significant bit first: 16 bytes load as one 128-bit number, the first byte the most
// significant, and a block moves `factor` (its two halves' constants) places on, modulo the
// polynomial, with the low lane of factor for the high half of the block.
struct MsbFirst {
    __attribute__((target("pclmul,ssse3"))) static __m128i Load(const std::uint8_t* p) {
        return Reverse(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
    }
    __attribute__((target("pclmul,ssse3"))) static __m128i Fold(__m128i x, __m128i factor,
                                                                __m128i next) {
        const __m128i high = _mm_clmulepi64_si128(x, factor, 0x01);
        const __m128i low = _mm_clmulepi64_si128(x, factor, 0x10);
        return _mm_xor_si128(_mm_xor_si128(high, low), next);
    }
};

// Least significant bit first (reflected): bytes load as they stand, and each lane of the
// factor multiplies its own half.
struct Reflected {
    __attribute__((target("pclmul,ssse3"))) static __m128i Load(const std::uint8_t* p) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    }
    __attribute__((target("pclmul,ssse3"))) static __m128i Fold(__m128i x, __m128i factor,
                                                                __m128i next) {
        const __m128i low = _mm_clmulepi64_si128(x, factor, 0x00);
        const __m128i high = _mm_clmulepi64_si128(x, factor, 0x11);
        return _mm_xor_si128(_mm_xor_si128(low, high), next);
    }
};

// The first n - n % 16 of n >= 64 bytes, the register so far XORed in as `first`, folded into
// one block: four blocks a step by512, then one by128.
template <class Order>
__attribute__((target("pclmul,ssse3"))) __m128i FoldBlocks(const std::uint8_t* p, std::size_t n,
                                                           __m128i first, __m128i by512,
                                                           __m128i by128) {
    __m128i x0 = _mm_xor_si128(Order::Load(p), first);
    __m128i x1 = Order::Load(p + 16);
    __m128i x2 = Order::Load(p + 32);
    __m128i x3 = Order::Load(p + 48);
    p += 64;
    n -= 64;
    for (; n >= 64; p += 64, n -= 64) {
        x0 = Order::Fold(x0, by512, Order::Load(p));
        x1 = Order::Fold(x1, by512, Order::Load(p + 16));
        x2 = Order::Fold(x2, by512, Order::Load(p + 32));
        x3 = Order::Fold(x3, by512, Order::Load(p + 48));
    }
    __m128i x = Order::Fold(Order::Fold(Order::Fold(x0, by128, x1), by128, x2), by128, x3);
    for (; n >= 16; p += 16, n -= 16) x = Order::Fold(x, by128, Order::Load(p));
    return x;
}

}  // namespace crc_fold

// Folds the first n - n % 16 of n >= 64 bytes, with the register so far (crc) in their first
// Width bits, into block: the CRC from 0 of block, then of the last n % 16 bytes, is theirs.
template <std::uint64_t Polynomial, int Width>
__attribute__((target("pclmul,ssse3"))) void FoldMsb(const std::uint8_t* p, std::size_t n,
                                                     std::uint32_t crc, std::uint8_t (&block)[16]) {
    using namespace crc_fold;
    // Low lane multiplies the high half (x^(k+64)), high lane the low half (x^k).
    constexpr auto kBy512 = static_cast<long long>(PowerMod(Polynomial, Width, 512));
    constexpr auto kBy576 = static_cast<long long>(PowerMod(Polynomial, Width, 576));
    constexpr auto kBy128 = static_cast<long long>(PowerMod(Polynomial, Width, 128));
    constexpr auto kBy192 = static_cast<long long>(PowerMod(Polynomial, Width, 192));
    const __m128i first = _mm_set_epi32(static_cast<int>(crc << (32 - Width)), 0, 0, 0);
    const __m128i x = FoldBlocks<MsbFirst>(p, n, first, _mm_set_epi64x(kBy512, kBy576),
                                           _mm_set_epi64x(kBy128, kBy192));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(block), Reverse(x));
}

#endif

}  // namespace plovik::frames
