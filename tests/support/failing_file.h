// A file in memory whose reads fail from a byte on, as the reads of a failing disk do: a
// read that reaches that byte fails with the system's error, whatever it starts with.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "raw_file.h"

namespace plovik::test {

class FailingFile final : public RawFile {
  public:
    FailingFile(std::string_view bytes, std::uint64_t failFrom)
        : m_bytes(bytes), m_failFrom(failFrom) {}
    std::uint64_t Size() const override { return m_bytes.size(); }
    int reads = 0;  // system calls made

  protected:
    std::int64_t ReadSome(std::uint64_t position, void* buffer, std::size_t n) override {
        ++reads;
        if (position + n > m_failFrom) return -1;
        if (position >= m_bytes.size()) return 0;
        const std::size_t count = std::min<std::size_t>(n, m_bytes.size() - position);
        std::memcpy(buffer, m_bytes.data() + position, count);
        return static_cast<std::int64_t>(count);
    }
    std::string ErrorText() const override { return "Input/output error"; }

  private:
    std::string m_bytes;
    std::uint64_t m_failFrom;
};

}  // namespace plovik::test
