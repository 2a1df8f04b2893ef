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

// The open file that the scan's readers share, read at positions.
class ScanFile {
  public:
    explicit ScanFile(RawFile& file) : m_file(file), m_size(file.Size()) {}
    std::uint64_t Size() const { return m_size; }  // at opening
    std::span<const std::uint8_t> InMemory() const { return m_file.InMemory(); }
    // Reads up to n bytes at position into out; fewer when the data ends there.
    std::size_t ReadAt(std::uint64_t position, std::uint8_t* out, std::size_t n);
    bool ReadFailed() const { return m_readFailed; }

  private:
    RawFile& m_file;
    std::uint64_t m_size;
    bool m_readFailed = false;
};

class ScanReader {
  public:
    // Reads the first `end` bytes of file through a buffer of blockBytes (less for a
    // smaller file, 16 at least); a file held in memory is read in place, as a buffer that
    // holds it all. headersOnly: the caller looks at the few bytes after each chunk header
    // alone, so that where it passes over much data between reads, it reads a small block
    // at each place, not a whole buffer's worth of the data between.
    ScanReader(ScanFile& file, std::uint64_t end, std::size_t blockBytes, bool headersOnly = false);

    // The bytes from position on, at least n of them (n at most BlockBytes()), or
    // nullptr when the data ends first. Positions asked for never go back: bytes before
    // the last position asked for may already be gone.
    const std::uint8_t* At(std::uint64_t position, std::size_t n) {
        const std::uint64_t offset = position - m_start;  // wraps below the buffer
        if (position >= m_start && offset <= m_held && m_held - offset >= n) {
            return m_bytes + offset;
        }
        return Fetch(position, n);
    }
    // Bytes held from position on (0 when position is outside the buffer).
    std::size_t Held(std::uint64_t position) const;
    // Copies n bytes at any position ahead without moving the buffer: from it where it holds
    // them, else read on their own.
    bool Peek(std::uint64_t position, std::uint8_t* out, std::size_t n);

    // Where the data ends: the size at opening, or less once the file turned out
    // shorter (it shrank while read, or a read failed).
    std::uint64_t End() const { return m_end; }
    // A read failed: the data end where it did (the file holds more).
    bool ReadFailed() const { return m_file.ReadFailed(); }
    std::size_t BlockBytes() const { return m_capacity; }

  private:
    const std::uint8_t* Fetch(std::uint64_t position, std::size_t n);
    void Refill(std::uint64_t position, std::size_t n);
    std::size_t ReadAt(std::uint64_t position, std::uint8_t* out, std::size_t n);

    ScanFile& m_file;
    std::uint64_t m_end;
    std::size_t m_capacity;
    const bool m_headersOnly;
    std::unique_ptr<std::uint8_t[]> m_buffer;  // none for a file in memory
    const std::uint8_t* m_bytes;               // the buffer, or the file in memory
    std::uint64_t m_start = 0;                 // file position of m_bytes[0]
    std::size_t m_held = 0;
    std::uint64_t m_averageSkip = 0;  // bytes passed over before a read, a running average
};

// A file held in memory (a small file read whole, tests, fuzzing); the bytes must outlive it. With
// a larger claimedSize it acts as a file that shrank after opening: its reads end at its bytes.
std::unique_ptr<RawFile> MakeMemoryRawFile(std::string_view bytes, std::uint64_t claimedSize = 0);

}  // namespace plovik
