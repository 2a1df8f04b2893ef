// Bits of a video header, most significant first, with the Exp-Golomb codes of H.264 and the
// removal of its emulation prevention bytes (00 00 03). Reading past the end gives zero bits
// and marks the reader short: a header cut off never reads outside the bytes given. And what
// a checker finds wrong in a header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace plovik::frames {

class HeaderBits {
  public:
    // unescape: the bytes are an H.264 NAL unit's payload, whose 03 after 00 00 is dropped.
    explicit HeaderBits(std::span<const std::uint8_t> bytes, bool unescape = false)
        : m_bytes(bytes), m_unescape(unescape) {}

    std::uint32_t Bit() {
        if (m_left == 0 && !NextByte()) {
            m_short = true;
            return 0;
        }
        --m_left;
        return (m_byte >> m_left) & 1u;
    }

    // count <= 32.
    std::uint32_t Bits(int count) {
        std::uint32_t value = 0;
        for (int i = 0; i < count; ++i) value = value << 1 | Bit();
        return value;
    }

    void Skip(int count) {
        for (int i = 0; i < count; ++i) Bit();
    }

    bool Flag() { return Bit() != 0; }

    // A marker bit: true when it is 1, as it must be.
    bool Marker() { return Bit() == 1; }

    // ue(v). More than 31 leading zeros is no code of a header field: the reader is short then.
    std::uint32_t Ue() {
        int zeros = 0;
        while (Bit() == 0) {
            if (m_short || ++zeros > 31) {
                m_short = true;
                return 0;
            }
        }
        return static_cast<std::uint32_t>((std::uint64_t{1} << zeros) - 1 + Bits(zeros));
    }

    // se(v): 1, 2, 3, 4 ... read as 1, -1, 2, -2 ...
    std::int32_t Se() {
        const std::uint32_t code = Ue();
        const auto half = static_cast<std::int32_t>((code >> 1) + (code & 1));
        return (code & 1) != 0 ? half : -half;
    }

    // A read went past the end (or met an overlong code).
    bool Short() const { return m_short; }

    // The offset, in the bytes given, of the byte the last bit came from.
    std::size_t Offset() const { return m_pos == 0 ? 0 : m_pos - 1; }

  private:
    bool NextByte() {
        if (m_unescape && m_zeros >= 2 && m_pos < m_bytes.size() && m_bytes[m_pos] == 3) {
            ++m_pos;
            m_zeros = 0;
        }
        if (m_pos >= m_bytes.size()) return false;
        m_byte = m_bytes[m_pos++];
        m_zeros = m_byte == 0 ? m_zeros + 1 : 0;
        m_left = 8;
        return true;
    }

    std::span<const std::uint8_t> m_bytes;
    bool m_unescape;
    std::size_t m_pos = 0;
    std::uint8_t m_byte = 0;
    int m_left = 0;   // bits of m_byte not read yet
    int m_zeros = 0;  // zero bytes just read, for the escapes
    bool m_short = false;
};

// Where a header breaks: what is wrong, and the offset, in the bytes read, where it shows.
struct HeaderFault {
    const char* what = nullptr;
    std::size_t at = 0;
    explicit operator bool() const { return what != nullptr; }
};

inline HeaderFault FaultAt(const HeaderBits& bits, const char* what) {
    return {what, bits.Offset()};
}

// A damaged frame's reason as a check line shows it: "H.264 SPS cut short at +12".
inline std::string ReasonAt(std::string_view what, std::size_t offset) {
    return std::string(what) + " at +" + std::to_string(offset);
}

}  // namespace plovik::frames
