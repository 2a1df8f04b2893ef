// A file as a program finds it once the file has come from the disk: flushed, dropped from the
// page cache and its data read back (holes skipped), so that read-ahead lays its pages out
// rather than the many small writes that made it. How the pages lie decides how fast the file
// reads from the cache: a freshly written scan movie read up to twice as slowly, and by a
// different amount in each bench.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>

namespace plovik::bench {

inline void ReadBackFromDisk(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0 || ::fsync(fd) != 0 || ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED) != 0) {
        std::abort();
    }
    static char block[1 << 20];
    for (off_t at = ::lseek(fd, 0, SEEK_DATA); at >= 0; at = ::lseek(fd, at, SEEK_DATA)) {
        const off_t hole = ::lseek(fd, at, SEEK_HOLE);
        if (hole <= at) std::abort();
        while (at < hole) {
            const auto want = static_cast<std::size_t>(std::min<off_t>(hole - at, sizeof block));
            const ssize_t got = ::pread(fd, block, want, at);
            if (got <= 0) std::abort();
            at += got;
        }
    }
    ::close(fd);
}

}  // namespace plovik::bench
