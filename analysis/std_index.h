// The OpenDML standard index chunk ("ix00"): its layout, and the one reader of its
// entries, which the key-frame scan and the movie-data scan's index check both read
// through.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "byte_source.h"
#include "index_read.h"
#include "plovik/avi_parser.h"
#include "record_cursor.h"

namespace plovik {

inline constexpr std::size_t kStdIndexHeaderBytes = 32;  // chunk header included
inline constexpr std::size_t kStdIndexEntryBytes = 8;
inline constexpr std::uint16_t kStdIndexLongsPerEntry = 2;
inline constexpr std::uint8_t kIndexOfChunks = 1;
inline constexpr std::uint32_t kDeltaFrame = 0x80000000;  // bit of dwSize: NOT a key frame

struct StdIndexHeader {
    FOURCC id;
    std::uint32_t size;
    std::uint16_t longsPerEntry;
    std::uint8_t subType;
    std::uint8_t type;
    std::uint32_t entriesInUse;
    FOURCC chunkId;
    std::uint64_t baseOffset;
};

inline StdIndexHeader DecodeStdIndexHeader(RecordCursor c) {
    StdIndexHeader h{};
    h.id = c.U32();
    h.size = c.U32();
    h.longsPerEntry = c.U16();
    h.subType = c.U8();
    h.type = c.U8();
    h.entriesInUse = c.U32();
    h.chunkId = c.U32();
    h.baseOffset = c.U64();
    return h;
}

// A standard index of frames: its id, type, entry size, and a size that holds its header.
inline bool IsFrameIndex(const StdIndexHeader& h) {
    return (h.id == kStdIndexId || h.id == kStdIndexIdSwapped) &&
           h.longsPerEntry == kStdIndexLongsPerEntry && h.subType == 0 &&
           h.type == kIndexOfChunks && h.size >= kStdIndexHeaderBytes - 8;
}

// Bytes of the entries in use; they must fit in the chunk's size.
inline std::uint64_t StdIndexEntryBytes(const StdIndexHeader& h) {
    return std::uint64_t{h.entriesInUse} * kStdIndexEntryBytes;
}
inline bool EntriesFitChunk(const StdIndexHeader& h) {
    return StdIndexEntryBytes(h) <= h.size - (kStdIndexHeaderBytes - 8);
}

// An entry: the offset of the frame's data from the chunk's base offset, and its size,
// whose bit 31 marks a frame that is not a key frame.
inline std::uint32_t StdEntryOffset(const std::uint8_t* entry) { return LoadLe32(entry); }
inline bool StdEntryIsKey(const std::uint8_t* entry) {
    return (LoadLe32(entry + 4) & kDeltaFrame) == 0;
}
inline std::uint32_t StdEntrySize(const std::uint8_t* entry) {
    return LoadLe32(entry + 4) & ~kDeltaFrame;
}
// The file position of the frame chunk's header: 8 bytes before its data.
constexpr std::uint64_t StdEntryChunkPosition(std::uint64_t baseOffset, std::uint32_t offset) {
    return baseOffset + offset - 8;
}

// Reads standard index chunks through a source: a chunk's header, then its entries in
// runs lent straight from the source's buffer.
class StdIndexReader {
  public:
    explicit StdIndexReader(ByteSource& source) : m_source(source) {}

    // Reads the header of the chunk at position: true for a standard index of frames whose
    // entries fit in its size. Its entries are then next.
    bool Enter(std::uint64_t position) {
        m_left = 0;
        m_endedEarly = false;
        std::uint8_t bytes[kStdIndexHeaderBytes];
        if (position >= m_source.Size() || m_source.Seek(static_cast<std::int64_t>(position)) < 0 ||
            !m_source.Read(bytes, sizeof bytes)) {
            return false;
        }
        m_header = DecodeStdIndexHeader(RecordCursor(bytes));
        if (!IsFrameIndex(m_header) || !EntriesFitChunk(m_header)) return false;
        m_left = m_header.entriesInUse;
        return true;
    }
    const StdIndexHeader& Header() const { return m_header; }

    // The next whole entries of the chunk entered that the buffer holds; empty at its end,
    // or where the data end first (then EndedEarly()).
    std::span<const std::uint8_t> NextRun() {
        if (m_left == 0) return {};
        const std::string_view run =
            m_source.View(std::size_t{m_left} * kStdIndexEntryBytes, kStdIndexEntryBytes);
        if (run.empty()) {
            m_endedEarly = true;
            return {};
        }
        m_left -= static_cast<std::uint32_t>(run.size() / kStdIndexEntryBytes);
        return {reinterpret_cast<const std::uint8_t*>(run.data()), run.size()};
    }
    // Gives the last count entries of the last run back: they come again next.
    void GiveBack(std::size_t count) {
        m_source.SeekBy(-static_cast<std::int64_t>(count * kStdIndexEntryBytes));
        m_left += static_cast<std::uint32_t>(count);
    }
    bool EndedEarly() const { return m_endedEarly; }

  private:
    ByteSource& m_source;
    StdIndexHeader m_header{};
    std::uint32_t m_left = 0;
    bool m_endedEarly = false;
};

}  // namespace plovik
