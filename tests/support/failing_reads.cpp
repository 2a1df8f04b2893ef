// Loaded with LD_PRELOAD into a program under test: reads of the file named by
// PLOVIK_FAIL_PATH that reach byte PLOVIK_FAIL_AT or beyond fail with EIO, as the reads of a
// failing disk do.
#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

using Pread = ssize_t (*)(int, void*, size_t, off_t);

bool Fails(int fd, size_t n, off_t position) {
    const char* path = std::getenv("PLOVIK_FAIL_PATH");
    const char* at = std::getenv("PLOVIK_FAIL_AT");
    if (path == nullptr || at == nullptr) return false;
    char link[64];
    char target[4096];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t length = ::readlink(link, target, sizeof target - 1);
    if (length < 0) return false;
    target[length] = '\0';
    return std::strcmp(target, path) == 0 &&
           static_cast<unsigned long long>(position) + n > std::strtoull(at, nullptr, 10);
}

ssize_t Call(const char* name, int fd, void* buffer, size_t n, off_t position) {
    if (Fails(fd, n, position)) {
        errno = EIO;
        return -1;
    }
    static const auto next = reinterpret_cast<Pread>(::dlsym(RTLD_NEXT, name));
    return next(fd, buffer, n, position);
}

}  // namespace

extern "C" ssize_t pread(int fd, void* buffer, size_t n, off_t position) {
    return Call("pread", fd, buffer, n, position);
}
extern "C" ssize_t pread64(int fd, void* buffer, size_t n, off_t position) {
    return Call("pread64", fd, buffer, n, position);
}
