// Byte reads shared by the frame checkers. The callers check the bounds: each read names the
// first byte of a field that lies wholly inside the span.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>

namespace plovik::frames {

inline std::uint32_t Be16(const std::uint8_t* p) { return std::uint32_t{p[0]} << 8 | p[1]; }
inline std::uint32_t Be24(const std::uint8_t* p) { return Be16(p) << 8 | p[2]; }
inline std::uint32_t Be32(const std::uint8_t* p) { return Be16(p) << 16 | Be16(p + 2); }

// What writers put after a frame's logical end to round a chunk up: zero or FF bytes.
inline bool IsPadding(std::span<const std::uint8_t> rest) {
    return std::all_of(rest.begin(), rest.end(),
                       [](std::uint8_t b) { return b == 0x00 || b == 0xFF; });
}

// A FourCC with its letters in upper case, for codes that writers spell in either case.
inline std::uint32_t UpperFourCC(std::uint32_t fcc) {
    std::uint32_t out = 0;
    for (int i = 0; i < 32; i += 8) {
        auto c = static_cast<std::uint8_t>(fcc >> i);
        if (c >= 'a' && c <= 'z') c = static_cast<std::uint8_t>(c - 'a' + 'A');
        out |= std::uint32_t{c} << i;
    }
    return out;
}

}  // namespace plovik::frames
