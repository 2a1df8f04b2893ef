// One stream's facts below the record of a file: what its stream list's headers say, what the
// index lists of it and what the movie data hold of it. The readers fill it (the header part
// as the stream lists are read, the index part in the one pass over the index, the data part
// in the scan of the movie data); the facts, the check and the repair only read it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "plovik/avi_records.h"
#include "plovik/chunk_ids.h"
#include "plovik/frame_check.h"

namespace plovik {

// Sizes of a kind of chunk.
struct SizeTally {
    std::uint64_t count = 0;
    std::uint64_t min = 0;
    std::uint64_t max = 0;
    std::uint64_t sum = 0;
    void Add(std::uint32_t size) {
        min = count == 0 ? size : std::min<std::uint64_t>(min, size);
        max = std::max<std::uint64_t>(max, size);
        sum += size;
        ++count;
    }
    void Add(const SizeTally& more) {
        if (more.count == 0) return;
        min = count == 0 ? more.min : std::min(min, more.min);
        max = std::max(max, more.max);
        sum += more.sum;
        count += more.count;
    }
};

// A stream's length in its own units: samples of sampleSize bytes where it has a sample
// size, else chunks (a video frame, a compressed audio frame).
constexpr std::uint64_t StreamUnits(std::uint32_t sampleSize, std::uint64_t chunks,
                                    std::uint64_t bytes) {
    return sampleSize != 0 ? bytes / sampleSize : chunks;
}

// A header's length this close to the data's is how muxers round, not a fault: no further
// off than the units of the stream's largest chunk (one frame where it has no sample size).
constexpr bool WithinOneChunk(std::uint64_t headerLength, std::uint64_t dataLength,
                              std::uint32_t sampleSize, std::uint32_t largestChunk) {
    const std::uint64_t slack =
        std::max<std::uint64_t>(1, StreamUnits(sampleSize, 1, largestChunk));
    const std::uint64_t off =
        headerLength > dataLength ? headerLength - dataLength : dataLength - headerLength;
    return off <= slack;
}

// A stream's format is kept up to this many bytes (a codec's private data included).
inline constexpr std::size_t kKeptFormatBytes = 64 * 1024;

struct StreamTally {
    // From the stream list: its header (zeros without one) and format.
    AVISTREAMHEADER header{};
    bool hasHeader = false;
    std::uint32_t formatBytes = 0;     // of its "strf"; 0 without one
    std::vector<std::uint8_t> format;  // the "strf" data (its first kKeptFormatBytes)
    FOURCC compression = 0;            // a video format's biCompression
    std::uint16_t formatTag = 0;       // an audio format's tag (the sub-format's if extensible)
    std::uint16_t bitsPerSample = 0;
    // Its OpenDML super index: where the standard index chunks of its chunks stand.
    bool hasSuperIndex = false;
    std::vector<AVISUPERINDEXENTRY> superIndex;

    // What the index lists of it: frames or sample chunks (palette changes are none).
    struct Index {
        std::uint64_t entries = 0;
        std::uint64_t bytes = 0;
        std::uint64_t keyEntries = 0;
        std::uint32_t largest = 0;
        SizeTally keySizes;  // of the entries that are not empty, by their key flag
        SizeTally deltaSizes;
    } index;

    // What the movie data hold of it: whole chunks the scan took.
    struct Data {
        std::uint64_t chunks = 0;  // frames or sample chunks, empty ones included
        std::uint64_t bytes = 0;
        std::uint64_t emptyChunks = 0;
        std::uint64_t paletteChanges = 0;
        std::uint32_t largest = 0;          // of any chunk of the stream
        std::uint64_t firstPartChunks = 0;  // in the first "movi" list
        FOURCC unitId = 0;                  // the id of its first frame or sample chunk
        // How far its frames' structure was checked, and those that broke it.
        CheckDepth frameCheck = CheckDepth::kNone;
        std::uint64_t damagedFrames = 0;
    } data;

    bool IsVideo() const { return header.fccType == kVids; }
    bool IsAudio() const { return header.fccType == kAuds; }
    std::uint64_t IndexLength() const {
        return StreamUnits(header.dwSampleSize, index.entries, index.bytes);
    }
    std::uint64_t DataLength() const {
        return StreamUnits(header.dwSampleSize, data.chunks, data.bytes);
    }
};

// One per stream list of the header list, in file order (at most kMaxStreamLists).
using StreamTallies = std::vector<StreamTally>;

}  // namespace plovik
