// The caller's read callback as the file every reader of the analysis reads through.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

#include "plovik/plovik.h"
#include "raw_file.h"

namespace plovik::capi {

class ReaderFile final : public RawFile {
  public:
    explicit ReaderFile(const plovik_reader& reader) : m_reader(reader) {}
    std::uint64_t Size() const override { return m_reader.size; }

  protected:
    // The callback is held to the bytes asked for and to the size it gave.
    std::int64_t ReadSome(std::uint64_t position, void* buffer, std::size_t n) override {
        if (position >= m_reader.size) return 0;
        n = static_cast<std::size_t>(std::min<std::uint64_t>(n, m_reader.size - position));
        const std::int64_t got = m_reader.read(m_reader.user, position, buffer, n);
        if (got < 0) return -1;
        return std::min<std::int64_t>(got, static_cast<std::int64_t>(n));
    }
    std::string ErrorText() const override { return "the read callback failed"; }

  private:
    plovik_reader m_reader;
};

}  // namespace plovik::capi
