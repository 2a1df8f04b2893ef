// Loaded with LD_PRELOAD into a program under test, it makes chosen reads and writes
// misbehave:
// - PLOVIK_FAIL_PATH, PLOVIK_FAIL_AT: reads of that file that reach byte AT or beyond fail
//   with EIO, as the reads of a failing disk do (copies the kernel makes from it too); with
//   PLOVIK_FAIL_LENGTH, only those that reach into the LENGTH bytes from AT;
// - PLOVIK_STOP_PATH: each read or write of a file whose path begins with it first stops the
//   process (SIGSTOP), so that the test acts while the program stands at a known point, then
//   lets it go on (SIGCONT).
#include <dlfcn.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

using Pread = ssize_t (*)(int, void*, size_t, off_t);
using Write = ssize_t (*)(int, const void*, size_t);
using CopyRange = ssize_t (*)(int, off64_t*, int, off64_t*, size_t, unsigned);

// The path of an open descriptor; false when it has none.
bool PathOf(int fd, char (&path)[4096]) {
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t length = ::readlink(link, path, sizeof path - 1);
    if (length < 0) return false;
    path[length] = '\0';
    return true;
}

bool Fails(int fd, size_t n, off_t position) {
    const char* failPath = std::getenv("PLOVIK_FAIL_PATH");
    const char* at = std::getenv("PLOVIK_FAIL_AT");
    const char* length = std::getenv("PLOVIK_FAIL_LENGTH");
    char path[4096];
    if (failPath == nullptr || at == nullptr || !PathOf(fd, path)) return false;
    const unsigned long long from = std::strtoull(at, nullptr, 10);
    const unsigned long long to = length ? from + std::strtoull(length, nullptr, 10) : ~0ull;
    const auto start = static_cast<unsigned long long>(position);
    return std::strcmp(path, failPath) == 0 && n > 0 && start + n > from && start < to;
}

void StopAt(int fd) {
    const char* prefix = std::getenv("PLOVIK_STOP_PATH");
    char path[4096];
    if (prefix != nullptr && PathOf(fd, path) &&
        std::strncmp(path, prefix, std::strlen(prefix)) == 0) {
        ::raise(SIGSTOP);
    }
}

ssize_t Read(const char* name, int fd, void* buffer, size_t n, off_t position) {
    StopAt(fd);
    if (Fails(fd, n, position)) {
        errno = EIO;
        return -1;
    }
    static const auto next = reinterpret_cast<Pread>(::dlsym(RTLD_NEXT, name));
    return next(fd, buffer, n, position);
}

}  // namespace

extern "C" ssize_t pread(int fd, void* buffer, size_t n, off_t position) {
    return Read("pread", fd, buffer, n, position);
}
extern "C" ssize_t pread64(int fd, void* buffer, size_t n, off_t position) {
    return Read("pread64", fd, buffer, n, position);
}
extern "C" ssize_t copy_file_range(int in, off64_t* inAt, int out, off64_t* outAt, size_t n,
                                   unsigned flags) {
    if (inAt != nullptr && Fails(in, n, *inAt)) {
        errno = EIO;
        return -1;
    }
    static const auto next = reinterpret_cast<CopyRange>(::dlsym(RTLD_NEXT, "copy_file_range"));
    return next(in, inAt, out, outAt, n, flags);
}
extern "C" ssize_t write(int fd, const void* buffer, size_t n) {
    StopAt(fd);
    static const auto next = reinterpret_cast<Write>(::dlsym(RTLD_NEXT, "write"));
    return next(fd, buffer, n);
}
