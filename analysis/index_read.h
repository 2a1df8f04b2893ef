// What the two index readers ("idx1" and OpenDML) share: which entries are video
// frames, how a key frame is recorded, and the clock of the time limit.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "plovik/avi_parser.h"
#include "plovik/chunk_ids.h"

namespace plovik {

// A video frame of stream 0 ("00dc" or "00db"): what both indexes count.
constexpr bool IsVideoEntry(FOURCC id) { return IsVideoFrameOf(id, 0); }

// What an index lists of one stream, in four buckets (delta and key entries, with and without
// data), each a count, a sum and the smallest and largest size: a few operations an entry.
class StreamEntryTally {
  public:
    void Add(std::uint32_t size, bool key) {
        Bucket& b = m_buckets[(key ? 1u : 0u) + (size == 0 ? 2u : 0u)];
        ++b.count;
        b.sum += size;
        b.min = std::min(b.min, size);
        b.max = std::max(b.max, size);
    }
    void Merge(const StreamEntryTally& more) {
        for (std::size_t i = 0; i < m_buckets.size(); ++i) {
            Bucket& b = m_buckets[i];
            const Bucket& m = more.m_buckets[i];
            b.count += m.count;
            b.sum += m.sum;
            b.min = std::min(b.min, m.min);
            b.max = std::max(b.max, m.max);
        }
    }
    StreamTally::Index Index() const;

  private:
    struct Bucket {
        std::uint64_t count = 0;
        std::uint64_t sum = 0;
        std::uint32_t min = UINT32_MAX;
        std::uint32_t max = 0;
    };
    std::array<Bucket, 4> m_buckets{};
};

// What an index lists of each stream, added up entry by entry in the index reader's one
// pass, then handed to the streams' tallies.
class IndexTallies {
  public:
    // One entry of the chunk named id; ids that name no stream's frames or samples go to a
    // tally of their own, never handed over.
    void Add(FOURCC id, std::uint32_t size, bool key) { m_streams[SlotOf(id)].Add(size, key); }
    // The tally of stream number stream (0 to 99).
    StreamEntryTally& Stream(std::size_t stream) { return m_streams[stream]; }
    // Into the tallies of the streams the header list has.
    void CopyTo(StreamTallies& streams) const {
        for (std::size_t s = 0; s < streams.size() && s < kMaxStreamLists; ++s) {
            streams[s].index = m_streams[s].Index();
        }
    }

  private:
    static std::size_t SlotOf(FOURCC id);
    std::array<StreamEntryTally, kMaxStreamLists + 1> m_streams{};
};

// The clock is read while the video count is a multiple of this step.
inline constexpr std::uint32_t kClockCheckStep = 1000;

// Entries are looked at in blocks, one bit of a mask each.
inline constexpr std::size_t kIndexBlock = 32;
// Bit i of a block mask, from a table: a shift by the loop index would not vectorise.
inline constexpr auto kEntryBits = [] {
    std::array<std::uint32_t, kIndexBlock> bits{};
    for (std::size_t i = 0; i < kIndexBlock; ++i) bits[i] = std::uint32_t{1} << i;
    return bits;
}();

// A little-endian 32-bit field of an index entry.
inline std::uint32_t LoadLe32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// Records the key frames that an index reader finds, in the parser's list and count.
class KeyFrameRecorder {
  public:
    // Starts the key-frame results afresh.
    explicit KeyFrameRecorder(CAviParser& avi);

    // Key frames from here on come from an OpenDML index chunk whose frames' data stand at
    // dataBase + offset.
    void StartChunk(std::uint64_t dataBase) { m_avi.m_arKeyFrames.StartChunk(dataBase); }
    // Key frame at video entry number videoCount (the first is 1), with its offset as
    // the index entry gives it.
    void Add(std::uint32_t videoCount, std::uint32_t chunkOffset) {
        m_avi.m_arKeyFrames.Add(videoCount, chunkOffset);
        ++m_avi.m_nKeyFrames;
    }
    // Forgets every key frame after the first count.
    void DropTo(std::uint32_t count) {
        m_avi.m_arKeyFrames.DropTo(count);
        m_avi.m_nKeyFrames = static_cast<std::uint32_t>(m_avi.m_arKeyFrames.size());
    }

  private:
    CAviParser& m_avi;
};

// The time limit of an index scan, measured by polling a millisecond clock. A limit
// of 0 turns the checks off, and no elapsed time exceeds the largest limit (the one
// the report uses): neither needs the clock.
class IndexClock {
  public:
    explicit IndexClock(std::uint32_t limit);
    bool Timed() const { return m_timed; }
    // True when more than the limit has passed since the start.
    bool TimeOver() const;

  private:
    std::uint32_t m_limit;
    std::uint32_t m_start;
    bool m_timed;
};

// Says on the trace channel that an index scan ran out of time.
void TraceTimeOver();

}  // namespace plovik
