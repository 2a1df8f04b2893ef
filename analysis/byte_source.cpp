#include "byte_source.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "raw_file.h"

namespace plovik {
namespace {

class BufferedFileSource final : public ByteSource {
  public:
    BufferedFileSource(RawFile& file, std::size_t bufferBytes, std::unique_ptr<RawFile> owned)
        : m_owned(std::move(owned)),
          m_file(file),
          m_size(file.Size()),
          // No larger than the file: a small file costs a small buffer.
          m_bufferBytes(static_cast<std::size_t>(std::min<std::uint64_t>(bufferBytes, m_size))),
          // Not zeroed: only bytes read into it are ever looked at, and zeroing 64 KiB per
          // file would cost more than analysing a small file.
          m_ownedBuffer(std::make_unique_for_overwrite<unsigned char[]>(m_bufferBytes)),
          m_buffer(m_ownedBuffer.get()) {}
    BufferedFileSource(RawFile& file, std::span<unsigned char> buffer, std::size_t heldBytes)
        : m_file(file),
          m_size(file.Size()),
          m_bufferBytes(static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), m_size))),
          m_buffer(buffer.data()),
          m_bufferLength(std::min(heldBytes, m_bufferBytes)) {}

    std::uint64_t Size() const override { return m_size; }
    bool Read(void* buffer, std::size_t n) override {
        auto* out = static_cast<unsigned char*>(buffer);
        const std::int64_t start = m_position;
        while (n > 0) {
            if (!BufferHolds(m_position)) {
                if (n >= m_bufferBytes) {
                    // Large requests go straight into the caller's memory.
                    if (ReadAt(m_position, out, n) != n) break;
                    m_position += static_cast<std::int64_t>(n);
                    return true;
                }
                if (!Refill(m_bufferBytes)) break;
            }
            const std::size_t count = CopyFromBuffer(out, n);
            out += count;
            n -= count;
        }
        if (n == 0) return true;
        m_position = start;
        return false;
    }

    std::string_view View(std::size_t maxBytes, std::size_t unit) override {
        if (unit == 0 || unit > m_bufferBytes || maxBytes < unit) return {};
        // No more is read ahead than asked for: what follows a view is seldom wanted.
        if (BufferedAhead() < unit) Refill(std::min(maxBytes, m_bufferBytes));
        const std::size_t ahead = BufferedAhead();
        if (ahead < unit) return {};
        const std::size_t count = std::min(ahead, maxBytes) / unit * unit;
        const char* start = reinterpret_cast<const char*>(m_buffer) + (m_position - m_bufferStart);
        m_position += static_cast<std::int64_t>(count);
        return {start, count};
    }

  private:
    // Bytes the buffer holds from the current position on.
    std::size_t BufferedAhead() const {
        if (!BufferHolds(m_position)) return 0;
        return m_bufferLength - static_cast<std::size_t>(m_position - m_bufferStart);
    }

    bool BufferHolds(std::int64_t position) const {
        return position >= m_bufferStart &&
               position < m_bufferStart + static_cast<std::int64_t>(m_bufferLength);
    }

    // Copies what the buffer holds at the current position; returns the count.
    std::size_t CopyFromBuffer(unsigned char* out, std::size_t n) {
        const auto offset = static_cast<std::size_t>(m_position - m_bufferStart);
        const std::size_t count = std::min(n, m_bufferLength - offset);
        std::memcpy(out, m_buffer + offset, count);
        m_position += static_cast<std::int64_t>(count);
        return count;
    }

    // Fills up to n bytes of the buffer from the current position; false when nothing
    // is there.
    bool Refill(std::size_t n) {
        m_bufferStart = m_position;
        // Never asked past the end: a read that could only find the end is not made (a
        // file cut short asked twice more, for nothing, after its last byte).
        const std::uint64_t position = static_cast<std::uint64_t>(m_position);
        n = static_cast<std::size_t>(
            std::min<std::uint64_t>(n, m_size - std::min(position, m_size)));
        m_bufferLength = n == 0 ? 0 : ReadAt(m_position, m_buffer, n);
        return m_bufferLength > 0;
    }

    // Reads up to n bytes at a position (fewer only at the end); 0 on error.
    std::size_t ReadAt(std::int64_t position, unsigned char* out, std::size_t n) {
        std::size_t total = 0;
        while (total < n) {
            const std::int64_t got =
                m_file.ReadAt(static_cast<std::uint64_t>(position) + total, out + total, n - total);
            if (got <= 0) break;
            total += static_cast<std::size_t>(got);
        }
        return total;
    }

    std::unique_ptr<RawFile> m_owned;  // when the source opened the file itself
    RawFile& m_file;
    std::uint64_t m_size;
    const std::size_t m_bufferBytes;
    std::unique_ptr<unsigned char[]> m_ownedBuffer;  // none in the caller's buffer
    unsigned char* m_buffer;
    std::int64_t m_bufferStart = 0;
    std::size_t m_bufferLength = 0;
};

class MemorySource final : public ByteSource {
  public:
    explicit MemorySource(std::string_view bytes) : m_bytes(bytes) {}

    std::uint64_t Size() const override { return m_bytes.size(); }
    bool Read(void* buffer, std::size_t n) override {
        const auto size = static_cast<std::int64_t>(m_bytes.size());
        if (m_position > size || static_cast<std::uint64_t>(size - m_position) < n) return false;
        if (n > 0) std::memcpy(buffer, m_bytes.data() + m_position, n);
        m_position += static_cast<std::int64_t>(n);
        return true;
    }

    std::string_view View(std::size_t maxBytes, std::size_t unit) override {
        const auto size = static_cast<std::int64_t>(m_bytes.size());
        if (unit == 0 || m_position >= size) return {};
        const std::size_t ahead = static_cast<std::size_t>(size - m_position);
        const std::size_t count = std::min(ahead, maxBytes) / unit * unit;
        if (count == 0) return {};
        const std::string_view view = m_bytes.substr(static_cast<std::size_t>(m_position), count);
        m_position += static_cast<std::int64_t>(count);
        return view;
    }

  private:
    std::string_view m_bytes;
};

}  // namespace

std::unique_ptr<ByteSource> OpenFileSource(const std::string& utf8Path) {
    OpenedFile opened = OpenRawFile(utf8Path);
    if (!opened.file) return nullptr;
    RawFile& file = *opened.file;
    return std::make_unique<BufferedFileSource>(file, kFileBufferBytes, std::move(opened.file));
}

std::unique_ptr<ByteSource> MakeFileSource(RawFile& file, std::size_t bufferBytes) {
    return std::make_unique<BufferedFileSource>(file, bufferBytes, nullptr);
}

std::unique_ptr<ByteSource> MakeFileSource(RawFile& file, std::span<unsigned char> buffer,
                                           std::size_t heldBytes) {
    return std::make_unique<BufferedFileSource>(file, buffer, heldBytes);
}

std::unique_ptr<ByteSource> MakeMemorySource(std::string_view bytes) {
    return std::make_unique<MemorySource>(bytes);
}

}  // namespace plovik
