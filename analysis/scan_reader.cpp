#include "scan_reader.h"

#include <algorithm>
#include <cstring>

namespace plovik {

namespace {

constexpr std::size_t kSmallestBlock = 16;
// A walk of chunk headers alone reads blocks this small while it passes over this many bytes
// a read on average: beyond that, reading the data passed over costs more than a read of its
// own for each header (and from a disk far more).
constexpr std::size_t kHeaderBlock = 4096;
constexpr std::uint64_t kSparseSkip = 16u << 10;

}  // namespace

std::size_t ScanFile::ReadAt(std::uint64_t position, std::uint8_t* out, std::size_t n) {
    std::size_t got = 0;
    while (got < n) {
        const std::int64_t part = m_file.ReadAt(position + got, out + got, n - got);
        if (part <= 0) {
            m_readFailed = m_readFailed || part < 0;
            break;
        }
        got += static_cast<std::size_t>(part);
    }
    return got;
}

ScanReader::ScanReader(ScanFile& file, std::uint64_t end, std::size_t blockBytes, bool headersOnly)
    : m_file(file),
      m_end(end),
      m_capacity(static_cast<std::size_t>(
          std::clamp<std::uint64_t>(end, kSmallestBlock, std::max(blockBytes, kSmallestBlock)))),
      m_headersOnly(headersOnly),
      m_bytes(file.InMemory().data()) {
    if (m_bytes != nullptr) {
        m_held = static_cast<std::size_t>(std::min<std::uint64_t>(end, file.InMemory().size()));
        return;
    }
    // Not zeroed: only bytes read are ever looked at.
    m_buffer.reset(new std::uint8_t[m_capacity]);
    m_bytes = m_buffer.get();
}

std::size_t ScanReader::Held(std::uint64_t position) const {
    if (position < m_start || position - m_start >= m_held) return 0;
    return m_held - static_cast<std::size_t>(position - m_start);
}

const std::uint8_t* ScanReader::Fetch(std::uint64_t position, std::size_t n) {
    // A file in memory is held whole: what At did not find is not there.
    if (!m_buffer || n > m_capacity || position > m_end || m_end - position < n) return nullptr;
    Refill(position, n);
    if (Held(position) < n) return nullptr;
    return m_bytes + (position - m_start);
}

// Keeps what is held from position on, then fills the rest of the buffer from the file (at
// least n bytes from position on).
void ScanReader::Refill(std::uint64_t position, std::size_t n) {
    const std::size_t kept = Held(position);
    const std::uint64_t heldEnd = m_start + m_held;
    const std::uint64_t skipped = kept == 0 && position > heldEnd ? position - heldEnd : 0;
    m_averageSkip = (3 * m_averageSkip + skipped) / 4;
    if (kept > 0) std::memmove(m_buffer.get(), m_buffer.get() + (position - m_start), kept);
    m_start = position;
    m_held = kept;
    const std::uint64_t from = position + kept;
    const std::size_t room = m_headersOnly && m_averageSkip >= kSparseSkip
                                 ? std::min(m_capacity, std::max(n, kHeaderBlock))
                                 : m_capacity;
    const auto wanted =
        static_cast<std::size_t>(std::min<std::uint64_t>(room - kept, m_end - from));
    m_held += ReadAt(from, m_buffer.get() + kept, wanted);
}

bool ScanReader::Peek(std::uint64_t position, std::uint8_t* out, std::size_t n) {
    if (position > m_end || m_end - position < n) return false;
    if (Held(position) >= n) {
        std::memcpy(out, m_bytes + (position - m_start), n);
        return true;
    }
    return ReadAt(position, out, n) == n;
}

std::size_t ScanReader::ReadAt(std::uint64_t position, std::uint8_t* out, std::size_t n) {
    if (n == 0) return 0;
    const std::size_t got = m_file.ReadAt(position, out, n);
    // The file holds less than it did at opening: its data ends here from now on.
    if (got < n) m_end = std::min(m_end, position + got);
    return got;
}

namespace {

class MemoryRawFile final : public RawFile {
  public:
    MemoryRawFile(std::string_view bytes, std::uint64_t size) : m_bytes(bytes), m_size(size) {}
    std::uint64_t Size() const override { return m_size; }

  protected:
    std::int64_t ReadSome(std::uint64_t position, void* buffer, std::size_t n) override {
        if (position >= m_bytes.size()) return 0;
        const std::size_t count =
            std::min<std::size_t>(n, m_bytes.size() - static_cast<std::size_t>(position));
        std::memcpy(buffer, m_bytes.data() + position, count);
        return static_cast<std::int64_t>(count);
    }
    std::string ErrorText() const override { return {}; }
    // Not for a file that shrank: its reads end short, as a file's do.
    std::span<const std::uint8_t> InMemory() const override {
        if (m_size != m_bytes.size()) return {};
        return {reinterpret_cast<const std::uint8_t*>(m_bytes.data()), m_bytes.size()};
    }

  private:
    std::string_view m_bytes;
    std::uint64_t m_size;
};

}  // namespace

std::unique_ptr<RawFile> MakeMemoryRawFile(std::string_view bytes, std::uint64_t claimedSize) {
    return std::make_unique<MemoryRawFile>(bytes,
                                           std::max<std::uint64_t>(bytes.size(), claimedSize));
}

}  // namespace plovik
