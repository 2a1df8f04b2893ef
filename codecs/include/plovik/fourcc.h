// Four-character codes: chunk ids, list and stream types, codec codes.
#pragma once

#include <cstdint>

namespace plovik {

using FOURCC = std::uint32_t;

// Four characters in file order, the first in the lowest byte ("DIVX" is 0x58564944).
constexpr FOURCC MakeFourCC(const char (&s)[5]) {
    return static_cast<FOURCC>(static_cast<unsigned char>(s[0])) |
           static_cast<FOURCC>(static_cast<unsigned char>(s[1])) << 8 |
           static_cast<FOURCC>(static_cast<unsigned char>(s[2])) << 16 |
           static_cast<FOURCC>(static_cast<unsigned char>(s[3])) << 24;
}

}  // namespace plovik
