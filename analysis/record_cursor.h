// Decodes the fields of a record one after another from its little-endian bytes.
// The cursor never reads beyond the bytes it was given: past their end a field reads
// as 0 and the cursor remembers that it ran short.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace plovik {

class RecordCursor {
  public:
    explicit RecordCursor(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}

    std::uint8_t U8() { return static_cast<std::uint8_t>(Take(1)); }
    std::uint16_t U16() { return static_cast<std::uint16_t>(Take(2)); }
    std::uint32_t U32() { return static_cast<std::uint32_t>(Take(4)); }
    std::int32_t I32() { return static_cast<std::int32_t>(U32()); }
    std::uint64_t U64() { return Take(8); }
    void Skip(std::size_t n) {
        if (Left() < n) m_ranShort = true;
        m_offset += Left() < n ? Left() : n;
    }

    std::size_t Left() const { return m_bytes.size() - m_offset; }
    bool RanShort() const { return m_ranShort; }

  private:
    std::uint64_t Take(std::size_t n) {
        if (Left() < n) {
            m_ranShort = true;
            m_offset = m_bytes.size();
            return 0;
        }
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < n; ++i) {
            value |= std::uint64_t{m_bytes[m_offset + i]} << (8 * i);
        }
        m_offset += n;
        return value;
    }

    std::span<const std::uint8_t> m_bytes;
    std::size_t m_offset = 0;
    bool m_ranShort = false;
};

}  // namespace plovik
