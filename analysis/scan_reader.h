// Forward reading in large blocks for the movie-data scan: one fixed buffer, refilled
// from where the caller needs bytes next, so that data the caller passes over beyond the
// buffer is never read. Internal to the analyser (tests and fuzzing use it too).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "raw_file.h"

namespace plovik {

class ScanReader {
  public:
    // Reads the first `end` bytes of file (its size at opening) through a buffer of
    // blockBytes. Several readers may share one file: each seeks before it reads.
    ScanReader(RawFile& file, std::uint64_t end, std::size_t blockBytes);

    // The bytes from position on, at least n of them (n at most the block size), or
    // nullptr when the data ends first. Positions asked for never go back: bytes before
    // the last position asked for may already be gone.
    const std::uint8_t* At(std::uint64_t position, std::size_t n);
    // Bytes held from position on (0 when position is outside the buffer).
    std::size_t Held(std::uint64_t position) const;
    // Copies n bytes (at most 16) at any position ahead without moving the buffer.
    bool Peek(std::uint64_t position, std::uint8_t* out, std::size_t n);

    // Where the data ends: the size at opening, or less once the file turned out
    // shorter (it shrank while read, or a read failed).
    std::uint64_t End() const { return m_end; }
    bool ReadFailed() const { return m_readFailed; }
    std::size_t BlockBytes() const { return m_capacity; }

  private:
    void Refill(std::uint64_t position);
    // Reads up to n bytes at position into out; fewer mean the data ends there.
    std::size_t ReadAt(std::uint64_t position, std::uint8_t* out, std::size_t n);

    RawFile& m_file;
    std::uint64_t m_end;
    std::size_t m_capacity;
    std::unique_ptr<std::uint8_t[]> m_buffer;
    std::uint64_t m_start = 0;  // file position of m_buffer[0]
    std::size_t m_held = 0;
    bool m_readFailed = false;
};

// A little-endian 32-bit value of the file.
inline std::uint32_t Le32At(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// A file held in memory, for tests and fuzzing; the bytes must outlive it.
std::unique_ptr<RawFile> MakeMemoryRawFile(std::string_view bytes);

}  // namespace plovik
