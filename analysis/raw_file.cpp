#include "raw_file.h"

#include <memory>

namespace plovik {

std::int64_t RawFile::ReadAt(std::uint64_t position, void* buffer, std::size_t n) {
    const std::int64_t got = ReadSome(position, buffer, n);
    if (got >= 0) return got;
    // The reason of this failure, before the reads in halves make others.
    std::optional<std::string> reason;
    if (!m_failure) reason = ErrorText();
    const std::size_t good = ReadableBytes(position, static_cast<unsigned char*>(buffer), n);
    if (reason) m_failure = FileFailure{position + good, std::move(*reason)};
    return good > 0 ? static_cast<std::int64_t>(good) : -1;
}

bool RawFile::ReadWhole(void* out) {
    auto* bytes = static_cast<unsigned char*>(out);
    const std::uint64_t size = Size();
    std::uint64_t done = 0;
    while (done < size) {
        const std::int64_t got =
            ReadSome(done, bytes + done, static_cast<std::size_t>(size - done));
        if (got <= 0) return false;
        done += static_cast<std::uint64_t>(got);
    }
    return true;
}

// The bytes of [position, position + n), whose read failed, before the first one that
// cannot be read, read into out. The range that holds it is halved until it is one byte:
// the first half read (then the rest holds it) or not (then the half does), so that a block
// costs at most one read per halving, never one per byte.
std::size_t RawFile::ReadableBytes(std::uint64_t position, unsigned char* out, std::size_t n) {
    std::size_t good = 0;  // read
    std::size_t bad = n;   // [good, bad) holds a byte that cannot be read
    while (bad - good > 1) {
        const std::size_t half = (bad - good) / 2;
        const std::int64_t got = ReadSome(position + good, out + good, half);
        if (got == 0) break;  // the file ends before it
        if (got < 0) {
            bad = good + half;
        } else {
            good += static_cast<std::size_t>(got);
        }
    }
    return good;
}

namespace {

class TailFile final : public RawFile {
  public:
    TailFile(RawFile& file, std::uint64_t start) : m_file(file), m_start(start) {}
    std::uint64_t Size() const override {
        return m_file.Size() > m_start ? m_file.Size() - m_start : 0;
    }

  private:
    std::int64_t ReadSome(std::uint64_t position, void* buffer, std::size_t n) override {
        return m_file.ReadAt(m_start + position, buffer, n);
    }
    std::string ErrorText() const override {
        return m_file.Failure() ? m_file.Failure()->reason : std::string();
    }

    RawFile& m_file;
    const std::uint64_t m_start;
};

}  // namespace

std::unique_ptr<RawFile> MakeTailRawFile(RawFile& file, std::uint64_t start) {
    return std::make_unique<TailFile>(file, start);
}

}  // namespace plovik
