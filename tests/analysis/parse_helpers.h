// Runs the analyser on test bytes: from a temporary file, or from memory through a source
// that can stop short and counts what is read.
#pragma once

#include <memory>
#include <string>

#include "byte_source.h"
#include "plovik/avi_parser.h"
#include "support/avi_writer.h"
#include "support/temp_dir.h"

namespace plovik::test {

inline bool ParseFileBytes(CAviParser& parser, const Bytes& bytes,
                           std::uint32_t timeout = 0xFFFFFFFF, bool skipIndex = false) {
    TempDir dir;
    return parser.Parse(dir.Write("clip.avi", bytes), timeout, skipIndex);
}

// Position of the first occurrence of a FOURCC in the bytes (test files are built so
// that it is unambiguous).
inline std::int64_t PosOf(const Bytes& bytes, std::string_view fourChars) {
    return static_cast<std::int64_t>(bytes.find(fourChars));
}

// What was read through a MeteredSource.
struct ReadCounts {
    std::uint64_t reads = 0;
    std::uint64_t bytes = 0;
};

// Bytes in memory of which only the first `readable` can be read, while the size says all;
// each read is counted, with the bytes it took.
class MeteredSource final : public ByteSource {
  public:
    MeteredSource(std::string_view bytes, std::size_t readable, ReadCounts* counts = nullptr)
        : m_size(bytes.size()),
          m_readable(MakeMemorySource(bytes.substr(0, readable))),
          m_counts(counts) {}
    std::uint64_t Size() const override { return m_size; }
    bool Read(void* buffer, std::size_t n) override {
        const bool read = Delegate([&] { return m_readable->Read(buffer, n); });
        Count(read ? n : 0);
        return read;
    }
    std::string_view View(std::size_t maxBytes, std::size_t unit) override {
        const std::string_view view = Delegate([&] { return m_readable->View(maxBytes, unit); });
        Count(view.size());
        return view;
    }

  private:
    template <class Step>
    auto Delegate(Step step) -> decltype(step()) {
        m_readable->Seek(m_position);
        const auto result = step();
        m_position = m_readable->Position();
        return result;
    }
    void Count(std::size_t bytes) {
        if (m_counts == nullptr) return;
        ++m_counts->reads;
        m_counts->bytes += bytes;
    }

    std::uint64_t m_size;
    std::unique_ptr<ByteSource> m_readable;
    ReadCounts* m_counts;
};

}  // namespace plovik::test
