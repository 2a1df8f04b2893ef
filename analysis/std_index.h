// The layout of an OpenDML standard index chunk ("ix00"), as the analyser's OpenDML
// reader and the movie-data scan's index check read it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "plovik/avi_parser.h"
#include "record_cursor.h"

namespace plovik {

inline constexpr FOURCC kStdIndexId = MakeFourCC("ix00");
inline constexpr FOURCC kStdIndexIdSwapped = MakeFourCC("00ix");  // as some writers name it
inline constexpr std::size_t kStdIndexHeaderBytes = 32;           // chunk header included
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

}  // namespace plovik
