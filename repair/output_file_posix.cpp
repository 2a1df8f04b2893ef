#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "output_file.h"
#include "plovik/system_error.h"
#include "raw_file.h"

namespace plovik {
namespace {

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

class PosixTempOutput final : public TempOutput {
  public:
    PosixTempOutput(int fd, std::string path) : m_fd(fd) { m_path = std::move(path); }
    ~PosixTempOutput() override {
        if (m_fd >= 0) ::close(m_fd);
        if (!m_renamed) ::unlink(m_path.c_str());
    }
    PosixTempOutput(const PosixTempOutput&) = delete;
    PosixTempOutput& operator=(const PosixTempOutput&) = delete;

    bool Write(const std::uint8_t* bytes, std::size_t n) override {
        while (n > 0) {
            const ssize_t wrote = ::write(m_fd, bytes, n);
            if (wrote < 0 && errno == EINTR) continue;
            if (wrote <= 0) return Fail(wrote < 0 ? errno : ENOSPC);
            bytes += wrote;
            n -= static_cast<std::size_t>(wrote);
        }
        return true;
    }
    std::string Error() const override { return m_error; }

    std::int64_t CopyFrom(const RawFile& from, std::uint64_t position, std::uint64_t n) override {
        if (from.Descriptor() < 0 || !m_kernelCopies) return 0;
        auto offset = static_cast<off_t>(position);
        for (;;) {
            const ssize_t copied = ::copy_file_range(from.Descriptor(), &offset, m_fd, nullptr,
                                                     static_cast<std::size_t>(n), 0);
            if (copied >= 0) return copied;
            if (errno == EINTR) continue;
            // Not between these two files (another file system, an old kernel): read and write.
            // So too after EIO: reading and writing tell whether the input (a read error at its
            // byte) or the output failed.
            if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP ||
                errno == EIO) {
                m_kernelCopies = false;
                return 0;
            }
            Fail(errno);
            return -1;
        }
    }

    bool Sync() override {
        if (::fsync(m_fd) != 0) return Fail(errno);
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0 || Fail(errno);
    }
    bool RenameTo(const std::string& finalPath) override {
        if (::rename(m_path.c_str(), finalPath.c_str()) != 0) return Fail(errno);
        m_renamed = true;
        // The new name on the disk too: the folder's entry is flushed as the file was.
        const int folder = ::open(FolderOf(finalPath).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folder >= 0) {
            ::fsync(folder);
            ::close(folder);
        }
        return true;
    }

  private:
    bool Fail(int error) {
        m_error = SystemErrorText(static_cast<unsigned long>(error));
        return false;
    }

    int m_fd;
    bool m_renamed = false;
    bool m_kernelCopies = true;
    std::string m_error;
};

}  // namespace

std::unique_ptr<TempOutput> TempOutput::CreateBeside(const std::string& finalPath,
                                                     std::string& why) {
    std::string name = finalPath + ".XXXXXX";
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        why = LastSystemError();
        return nullptr;
    }
    // mkstemp's 0600 is for secrets; the copy gets the mode any new file would.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    return std::make_unique<PosixTempOutput>(fd, std::move(name));
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat first {};
    struct stat second {};
    if (::stat(a.c_str(), &first) != 0 || ::stat(b.c_str(), &second) != 0) return false;
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

bool PathExists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

}  // namespace plovik
