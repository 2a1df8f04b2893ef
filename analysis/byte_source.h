// Byte-level access to the analysed data: a file read through one fixed buffer,
// or a block of memory. Internal to the analyser (tests, fuzz and bench use it too).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace plovik {

class ByteSource {
  public:
    virtual ~ByteSource() = default;

    // Size in bytes at the time of opening.
    virtual std::uint64_t Size() const = 0;
    std::int64_t Position() const { return m_position; }
    // Reads exactly n bytes from the current position and moves past them.
    // On failure (end of data, read error) the position stays where it was.
    virtual bool Read(void* buffer, std::size_t n) = 0;
    // Moves to an absolute position, which may lie past the end (later reads then
    // fail). Returns the new position, or -1 for a negative one.
    std::int64_t Seek(std::int64_t position) {
        if (position < 0) return -1;
        m_position = position;
        return m_position;
    }
    std::int64_t SeekBy(std::int64_t delta) { return Seek(Position() + delta); }
    // Lends the next bytes in place, as many whole units as are at hand (at least one,
    // at most maxBytes), and moves past them. Empty when not one whole unit is left.
    // The view stays valid until the next call on the source. A file source reads at
    // most maxBytes ahead for it.
    virtual std::string_view View(std::size_t maxBytes, std::size_t unit) = 0;

  protected:
    std::int64_t m_position = 0;  // where the next read starts
};

class RawFile;

// The file source's buffer: an index of a million entries costs a handful of system
// calls, while skips over movie data cost none until the next read.
inline constexpr std::size_t kFileBufferBytes = 64 * 1024;

// Opens a regular file read-only (UTF-8 path); null when it cannot be opened.
std::unique_ptr<ByteSource> OpenFileSource(const std::string& utf8Path);

// Reads a file that the caller opened and keeps open, through a buffer of bufferBytes (or
// of the file's size, when that is less).
std::unique_ptr<ByteSource> MakeFileSource(RawFile& file,
                                           std::size_t bufferBytes = kFileBufferBytes);
// The same through the caller's buffer (as much of it as the file's size), which must outlive
// the source: a batch reads file after file through one. Its first heldBytes hold the file's
// first bytes already.
std::unique_ptr<ByteSource> MakeFileSource(RawFile& file, std::span<unsigned char> buffer,
                                           std::size_t heldBytes = 0);

// A view of bytes in memory; the bytes must outlive the source.
std::unique_ptr<ByteSource> MakeMemorySource(std::string_view bytes);

}  // namespace plovik
