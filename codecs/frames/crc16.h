// CRC-16 with the polynomial 0x8005, most significant bit first, no final XOR: the check
// words of MPEG audio (register starts at 0xFFFF) and AC-3 (starts at 0). Eight bytes a step
// through eight tables, or folded sixty-four at a time (crc16.cpp), since AC-3's check
// covers every byte of the stream.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace plovik::frames {

namespace crc16_detail {

constexpr std::uint16_t kPolynomial = 0x8005;

// kTables[k][v]: the register after v in its top byte is followed by k zero bytes.
constexpr std::array<std::array<std::uint16_t, 256>, 8> MakeTables() {
    std::array<std::array<std::uint16_t, 256>, 8> tables{};
    for (unsigned v = 0; v < 256; ++v) {
        auto reg = static_cast<std::uint16_t>(v << 8);
        for (int bit = 0; bit < 8; ++bit) {
            reg = static_cast<std::uint16_t>(reg & 0x8000 ? reg << 1 ^ kPolynomial : reg << 1);
        }
        tables[0][v] = reg;
    }
    for (std::size_t k = 1; k < 8; ++k) {
        for (unsigned v = 0; v < 256; ++v) {
            const std::uint16_t prev = tables[k - 1][v];
            tables[k][v] = static_cast<std::uint16_t>(prev << 8 ^ tables[0][prev >> 8]);
        }
    }
    return tables;
}

inline constexpr auto kTables = MakeTables();

}  // namespace crc16_detail

// The register after the bytes, from crc, by the tables.
inline std::uint16_t Crc16Tables(std::uint16_t crc, std::span<const std::uint8_t> bytes) {
    using crc16_detail::kTables;
    const std::uint8_t* p = bytes.data();
    std::size_t n = bytes.size();
    for (; n >= 8; n -= 8, p += 8) {
        crc = static_cast<std::uint16_t>(kTables[7][(crc >> 8 ^ p[0]) & 0xFF] ^
                                         kTables[6][(crc ^ p[1]) & 0xFF] ^ kTables[5][p[2]] ^
                                         kTables[4][p[3]] ^ kTables[3][p[4]] ^ kTables[2][p[5]] ^
                                         kTables[1][p[6]] ^ kTables[0][p[7]]);
    }
    for (; n > 0; --n, ++p) {
        crc = static_cast<std::uint16_t>(crc << 8 ^ kTables[0][(crc >> 8 ^ *p) & 0xFF]);
    }
    return crc;
}

// The register after the bytes, from crc: runs of 64 bytes or more folded by carry-less
// multiplication where the processor has it.
std::uint16_t Crc16(std::uint16_t crc, std::span<const std::uint8_t> bytes);

// The register after the first bits of the bytes (bits <= 8 * bytes.size()).
inline std::uint16_t Crc16Bits(std::uint16_t crc, std::span<const std::uint8_t> bytes,
                               std::size_t bits) {
    crc = Crc16(crc, bytes.first(bits / 8));
    const std::uint8_t last = bits % 8 ? bytes[bits / 8] : 0;
    for (std::size_t i = 0; i < bits % 8; ++i) {
        const bool in = (last >> (7 - i) & 1) != 0;
        const bool top = (crc & 0x8000) != 0;
        crc = static_cast<std::uint16_t>(crc << 1);
        if (in != top) crc ^= crc16_detail::kPolynomial;
    }
    return crc;
}

}  // namespace plovik::frames
