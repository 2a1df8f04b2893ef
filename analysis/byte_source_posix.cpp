#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

OpenedFile Failed(int error) {
    return {nullptr, SystemErrorText(static_cast<unsigned long>(error))};
}

}  // namespace

OpenedFile OpenRawFile(const std::string& utf8Path) {
    if (utf8Path.empty()) return {nullptr, "empty file name"};
    // O_NONBLOCK keeps a FIFO from stalling the open; regular files ignore it.
    const int fd = ::open(utf8Path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return Failed(errno);
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
    return {std::make_unique<PosixFile>(fd, static_cast<std::uint64_t>(st.st_size)), {}};
}

}  // namespace plovik
