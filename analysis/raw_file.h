// The platform's unbuffered file handle: what every reader of an analysed file reads
// through. One open per file; the readers share it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "plovik/file_failure.h"

namespace plovik {

class RawFile {
  public:
    virtual ~RawFile() = default;
    virtual std::uint64_t Size() const = 0;
    // Reads up to n bytes at a position, one system call while the reads succeed; the count
    // read (0 at the end), -1 on error. A read that fails is made again in halves, to give
    // the bytes before the first one the system cannot read (a short count, -1 when that is
    // the first). The first error is kept with the position of that byte and the system's
    // reason.
    std::int64_t ReadAt(std::uint64_t position, void* buffer, std::size_t n);
    // Reads the whole file (Size() bytes) into out; false when a read fails or the file ends
    // first. Such a failure is not kept: the reads that follow meet it at the byte they reach.
    bool ReadWhole(void* out);
    // The first read that failed; none while every read succeeded.
    const std::optional<FileFailure>& Failure() const { return m_failure; }
    // The POSIX descriptor, for copies the kernel makes from it; -1 where there is none.
    virtual int Descriptor() const { return -1; }
    // All of the file's bytes where it is held in memory, to be read in place; else empty.
    virtual std::span<const std::uint8_t> InMemory() const { return {}; }

  protected:
    virtual std::int64_t ReadSome(std::uint64_t position, void* buffer, std::size_t n) = 0;
    // The reason of the read that just failed.
    virtual std::string ErrorText() const = 0;

  private:
    std::size_t ReadableBytes(std::uint64_t position, unsigned char* out, std::size_t n);

    std::optional<FileFailure> m_failure;
};

struct OpenedFile {
    std::unique_ptr<RawFile> file;  // null when it could not be opened
    std::string error;              // then the system's reason, from that one attempt
    std::size_t headBytes = 0;      // the file's first bytes the open read into its head
};

// The bytes of file from start on, as a file of their own: a later movie of files joined end
// to end. A failed read is kept by file too, at its byte there.
std::unique_ptr<RawFile> MakeTailRawFile(RawFile& file, std::uint64_t start);

// Opens an existing regular file for reading (UTF-8 path). Given a head, it reads the file's
// first bytes into it where the platform can do so at no extra cost: a small file that ends
// within the head is then open, read and sized in two system calls.
OpenedFile OpenRawFile(const std::string& utf8Path, std::span<unsigned char> head = {});

}  // namespace plovik
