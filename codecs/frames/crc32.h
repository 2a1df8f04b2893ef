// CRC-32 with the polynomial 0x04C11DB7 in its two bit orders, eight bytes a step, or runs of
// 64 bytes and more folded by carry-less multiplication where the processor has it: the
// checkers run a CRC over every byte of a frame.
#pragma once

#include <cstdint>
#include <span>

namespace plovik::frames {

// Reflected, initial value and final XOR 0xFFFFFFFF (zlib's crc32, PNG chunks). Continues from
// crc, the value of the bytes before.
std::uint32_t Crc32Reflected(std::span<const std::uint8_t> bytes, std::uint32_t crc = 0);

// Most significant bit first, initial value 0, no final XOR (FFV1 slices and configuration
// record): the residue over data followed by its stored parity is 0.
std::uint32_t Crc32Msb(std::span<const std::uint8_t> bytes, std::uint32_t crc = 0);

}  // namespace plovik::frames
