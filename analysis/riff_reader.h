// RIFF reading over a byte source: the chunk ids the analyser knows and the reading
// steps that every reader uses. Each read and skip of chunk data takes the pad byte
// of an odd size. The source's position is the one file position there is.
#pragma once

#include <cstdint>

#include "byte_source.h"
#include "plovik/avi_parser.h"
#include "plovik/chunk_ids.h"

namespace plovik {

// A RIFF size with its pad byte.
constexpr std::uint64_t Padded(std::uint32_t size) { return std::uint64_t{size} + (size & 1); }

// Bytes of a list after its 4-byte type; a list too small for its type has none.
constexpr std::uint32_t ListDataSize(std::uint32_t size) { return size >= 4 ? size - 4 : 0; }

struct ChunkHeader {
    FOURCC id = 0;
    std::uint32_t size = 0;  // of the data, without the header and the pad byte
};

// Reads n bytes and the pad byte of an odd n; the buffer has room for both. On
// failure the position stays where it was.
bool ReadPadded(ByteSource& source, void* buffer, std::uint32_t n);
// Moves past n bytes and the pad byte of an odd n (also past the end of the data).
void SkipPadded(ByteSource& source, std::uint32_t n);
bool ReadChunkHeader(ByteSource& source, ChunkHeader& header);
// Reads a header record of n bytes (and its pad byte). A record cut short by the end
// of the data still takes the bytes that are there, as a plain read leaves them; the
// position then stays where it was, as after any failed read.
void ReadRecord(ByteSource& source, std::uint8_t* record, std::uint32_t n);
// True when n bytes lie between the position and the end of the data.
bool BytesAhead(const ByteSource& source, std::uint64_t n);
// Bytes from the position to end (negative when the position is past it).
inline std::int64_t BytesBefore(const ByteSource& source, std::int64_t end) {
    return end - source.Position();
}
// Moves to position unless that would move back.
void SkipForwardTo(ByteSource& source, std::int64_t position);

}  // namespace plovik
