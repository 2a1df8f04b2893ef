// Start codes (00 00 01 xx) of the MPEG-style byte streams, found with memchr or sixteen bytes
// at a time: the scan and the checkers look at every byte of every frame, and a byte-by-byte
// search would cost more than the walk itself.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#if defined(__SSE2__) && defined(__GNUC__)
#include <emmintrin.h>
#endif

namespace plovik::frames {

inline constexpr std::size_t kNoStartCode = static_cast<std::size_t>(-1);

// The offset of the code byte of the first start code whose code byte stands at from + 3 or
// later, or kNoStartCode. Searching on from the code byte of one start code finds the next:
// the code byte may begin it (00 00 01 00 00 01).
inline std::size_t FindStartCode(std::span<const std::uint8_t> bytes, std::size_t from) {
    std::size_t i = from + 2;  // where the 01 may stand
    while (i + 1 < bytes.size()) {
        const void* found = std::memchr(bytes.data() + i, 1, bytes.size() - 1 - i);
        if (found == nullptr) return kNoStartCode;
        i = static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - bytes.data());
        if (bytes[i - 1] == 0 && bytes[i - 2] == 0) return i + 1;
        ++i;
    }
    return kNoStartCode;
}

// The offset of the first of two zero bytes in a row from `from` on, or kNoStartCode: every
// start code and every run of zeros opens so. A lone zero, common in coded data, stops no
// search (a memchr for zeros returned at each).
inline std::size_t FindZeroPair(std::span<const std::uint8_t> bytes, std::size_t from) {
    const std::size_t n = bytes.size();
    const std::uint8_t* p = bytes.data();
    std::size_t i = from;
#if defined(__SSE2__) && defined(__GNUC__)
    const __m128i zero = _mm_setzero_si128();
    for (; i + 17 <= n; i += 16) {
        const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 1));
        const int pairs = _mm_movemask_epi8(
            _mm_and_si128(_mm_cmpeq_epi8(here, zero), _mm_cmpeq_epi8(next, zero)));
        if (pairs != 0) return i + static_cast<std::size_t>(__builtin_ctz(pairs));
    }
#endif
    for (; i + 1 < n; ++i) {
        if (p[i] == 0 && p[i + 1] == 0) return i;
    }
    return kNoStartCode;
}

// The offset of the code byte when bytes open with a start code after any zero bytes (the
// stuffing that may stand before a start code), else kNoStartCode.
inline std::size_t LeadingStartCode(std::span<const std::uint8_t> bytes) {
    std::size_t i = 0;
    while (i < bytes.size() && bytes[i] == 0) ++i;
    if (i < 2 || i + 1 >= bytes.size() || bytes[i] != 1) return kNoStartCode;
    return i + 1;
}

// The next start code as FindStartCode finds it, or else the first of three zero bytes or
// more that lead to no start code (nor to the bytes' end). MPEG-1/2 video and MPEG-4 data hold
// no 23 zero bits in a row but before a start code (zero stuffing included), while damage
// often zeroes a run of bytes.
struct StartCodeSearch {
    std::size_t code = kNoStartCode;        // the offset of the code byte
    std::size_t strayZeros = kNoStartCode;  // the offset of the run's first zero
};

inline StartCodeSearch SearchStartCode(std::span<const std::uint8_t> bytes, std::size_t from) {
    const std::size_t n = bytes.size();
    for (std::size_t i = FindZeroPair(bytes, from); i != kNoStartCode;) {
        std::size_t j = i + 2;
        while (j < n && bytes[j] == 0) ++j;
        if (j == n) break;
        if (bytes[j] == 1) return {j + 1 < n ? j + 1 : kNoStartCode, kNoStartCode};
        if (j - i >= 3) return {kNoStartCode, i};
        i = FindZeroPair(bytes, j + 1);
    }
    return {};
}

// Calls each(code, payload, at) for every start code from the one whose code byte is at
// first, until each returns false: at is the code byte's offset, payload the bytes after it
// up to the next start code. The offset of stray zero bytes met (see SearchStartCode), else
// kNoStartCode.
template <class Each>
std::size_t ForEachStartCodeUnit(std::span<const std::uint8_t> bytes, std::size_t first,
                                 Each each) {
    std::size_t code = first;
    while (true) {
        const StartCodeSearch next = SearchStartCode(bytes, code);
        std::size_t end = bytes.size();
        if (next.code != kNoStartCode) end = next.code - 3;
        if (next.strayZeros != kNoStartCode) end = next.strayZeros;
        end = std::max(end, code + 1);
        if (!each(bytes[code], bytes.subspan(code + 1, end - code - 1), code)) return kNoStartCode;
        if (next.code == kNoStartCode) return next.strayZeros;
        code = next.code;
    }
}

}  // namespace plovik::frames
