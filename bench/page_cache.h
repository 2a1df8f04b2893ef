// A file as a program finds it once the file has come from the disk: flushed, dropped from the
// page cache and read back whole, so that read-ahead lays its pages out rather than the many
// small writes that made it. How the pages lie decides how fast the file reads from the cache:
// a freshly written scan movie read up to twice as slowly, and by a different amount in each
// bench. For dense files only: a sparse one's holes would be read back as zeros.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace plovik::bench {

inline void ReadBackFromDisk(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0 || ::fsync(fd) != 0 || ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED) != 0) {
        std::abort();
    }
    static char block[1 << 20];
    while (::read(fd, block, sizeof block) > 0) {
    }
    ::close(fd);
}

}  // namespace plovik::bench
