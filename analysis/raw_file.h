// The platform's unbuffered file handle, used only by the buffered file source.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace plovik {

class RawFile {
  public:
    virtual ~RawFile() = default;
    virtual std::uint64_t Size() const = 0;
    // Reads up to n bytes at a position, one system call; the count read (0 at the
    // end), -1 on error.
    virtual std::int64_t ReadAt(std::uint64_t position, void* buffer, std::size_t n) = 0;
};

// Opens an existing regular file for reading (UTF-8 path); null on failure.
std::unique_ptr<RawFile> OpenRawFile(const std::string& utf8Path);

}  // namespace plovik
