#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "file_system.h"
#include "plovik/system_error.h"

namespace plovik {
namespace {

std::string SystemReason(int error) { return SystemErrorText(static_cast<unsigned long>(error)); }

EntryKind KindOfLink(const std::string& path) {
    struct stat target {};
    const bool toDirectory = ::stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
    return toDirectory ? EntryKind::kLinkToDirectory : EntryKind::kOther;
}

// d_type when the file system gives it, else one lstat. The entry's path is made only
// then, or for a link: a walk meets mostly plain files.
EntryKind KindOf(const std::string& directory, const dirent& entry) {
    unsigned char type = entry.d_type;
    if (type == DT_REG) return EntryKind::kOther;
    if (type == DT_DIR) return EntryKind::kDirectory;
    const std::string path = directory + kPathSeparator + entry.d_name;
    if (type == DT_UNKNOWN) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) return EntryKind::kOther;
        type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISLNK(st.st_mode) ? DT_LNK : DT_REG;
    }
    if (type == DT_DIR) return EntryKind::kDirectory;
    if (type == DT_LNK) return KindOfLink(path);
    return EntryKind::kOther;
}

}  // namespace

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

DirectoryListing ListDirectory(const std::string& path) {
    DirectoryListing listing;
    // O_NONBLOCK: should path have become a FIFO since it was seen, the open must not wait.
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
    DIR* dir = fd < 0 ? nullptr : ::fdopendir(fd);
    if (dir == nullptr) {
        listing.error = SystemReason(errno);
        if (fd >= 0) ::close(fd);
        return listing;
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0) {
        listing.id = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    }
    const std::string base =
        !path.empty() && path.back() == kPathSeparator ? path.substr(0, path.size() - 1) : path;
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") {
            listing.entries.push_back({std::string(name), KindOf(base, *entry)});
        }
        errno = 0;
    }
    if (errno != 0) listing.error = SystemReason(errno);
    ::closedir(dir);
    return listing;
}

std::string OpenFailureReason(const std::string& path) {
    if (path.empty()) return "empty file name";
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return SystemReason(errno);
    if (S_ISDIR(st.st_mode)) return SystemReason(EISDIR);
    if (!S_ISREG(st.st_mode)) return "not a regular file";
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return SystemReason(errno);
    ::close(fd);
    return "cannot be read";
}

}  // namespace plovik
