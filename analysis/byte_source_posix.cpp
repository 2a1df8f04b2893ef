#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "plovik/system_error.h"
#include "raw_file.h"

namespace plovik {
namespace {

class PosixFile final : public RawFile {
  public:
    PosixFile(int fd, std::uint64_t size) : m_fd(fd), m_size(size) {}
    ~PosixFile() override { ::close(m_fd); }
    PosixFile(const PosixFile&) = delete;
    PosixFile& operator=(const PosixFile&) = delete;

    std::uint64_t Size() const override { return m_size; }
    int Descriptor() const override { return m_fd; }

  protected:
    std::int64_t ReadSome(std::uint64_t position, void* buffer, std::size_t n) override {
        for (;;) {
            const ssize_t got = ::pread(m_fd, buffer, n, static_cast<off_t>(position));
            if (got >= 0 || errno != EINTR) {
                m_errno = got < 0 ? errno : 0;
                return got;
            }
        }
    }
    std::string ErrorText() const override {
        return SystemErrorText(static_cast<unsigned long>(m_errno));
    }

  private:
    int m_fd;
    std::uint64_t m_size;
    int m_errno = 0;
};

// The first bytes of the file into head: their count, or -1 when the read failed.
ssize_t ReadHead(int fd, std::span<unsigned char> head) {
    for (;;) {
        const ssize_t got = ::pread(fd, head.data(), head.size(), 0);
        if (got >= 0 || errno != EINTR) return got;
    }
}

OpenedFile Failed(int error) {
    return {nullptr, SystemErrorText(static_cast<unsigned long>(error))};
}

}  // namespace

OpenedFile OpenRawFile(const std::string& utf8Path, std::span<unsigned char> head) {
    if (utf8Path.empty()) return {nullptr, "empty file name"};
    // O_NONBLOCK keeps a FIFO from stalling the open; regular files ignore it.
    const int fd = ::open(utf8Path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return Failed(errno);
    std::size_t headBytes = 0;
    if (!head.empty()) {
        // A read at a position that ends short of what it asked for met the end of a file
        // (pipes, FIFOs and terminals cannot be read at a position, directories not at all):
        // its size, without a stat. Nothing read, or a failed read, is left to the stat,
        // which tells an empty file from a device and names what is not a file.
        const ssize_t got = ReadHead(fd, head);
        if (got > 0 && static_cast<std::size_t>(got) < head.size()) {
            const auto size = static_cast<std::size_t>(got);
            return {std::make_unique<PosixFile>(fd, size), {}, size};
        }
        if (got > 0) headBytes = head.size();
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        return Failed(error);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return S_ISDIR(st.st_mode) ? Failed(EISDIR) : OpenedFile{nullptr, "not a regular file"};
    }
#if defined(POSIX_FADV_SEQUENTIAL)
    // Sequential reading is worth a hint where there is much to read ahead (a long index);
    // a small file is read in a block or two, and the call would cost more than it saves.
    constexpr off_t kSequentialHintFrom = 1 << 20;
    if (st.st_size >= kSequentialHintFrom) ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
    // A file that grew or shrank between the read and the stat keeps only the bytes of the
    // size it has now.
    headBytes = std::min<std::size_t>(headBytes, static_cast<std::size_t>(st.st_size));
    return {std::make_unique<PosixFile>(fd, static_cast<std::uint64_t>(st.st_size)), {}, headBytes};
}

}  // namespace plovik
