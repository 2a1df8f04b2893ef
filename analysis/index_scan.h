// What the two index readers ("idx1" and OpenDML) share: which entries are video
// frames, how a key frame is recorded, and the clock of the time limit.
#pragma once

#include <bit>
#include <cstdint>

#include "plovik/avi_parser.h"

namespace plovik {

inline constexpr FOURCC kVideoCompressed = MakeFourCC("00dc");
inline constexpr FOURCC kVideoUncompressed = MakeFourCC("00db");
inline constexpr FOURCC kAudio = MakeFourCC("01wb");
// "00dc" and "00db" differ in one bit of the last character: with it set, both match.
inline constexpr FOURCC kVideoIdMask = 0x01000000;
static_assert((kVideoUncompressed | kVideoIdMask) == kVideoCompressed &&
              (kVideoCompressed | kVideoIdMask) == kVideoCompressed);

// A video frame of stream 0 ("00dc" or "00db"): what both indexes count.
constexpr bool IsVideoEntry(FOURCC id) { return (id | kVideoIdMask) == kVideoCompressed; }

// The clock is read while the video count is a multiple of this step.
inline constexpr std::uint32_t kClockCheckStep = 1000;

// Records the key frames that an index reader finds. While the key-time array has
// room, a key frame is only noted in its slot; Complete turns the notes into times
// and records, so that the records are allocated once, at the size they need.
class KeyFrameRecorder {
  public:
    // Starts the key-frame results afresh.
    explicit KeyFrameRecorder(CAviParser& avi);

    // Key frames from here on come from an OpenDML index chunk that starts after
    // videosBefore video entries and whose frames' data stand at dataBase + offset.
    void StartChunk(std::uint32_t videosBefore, std::uint64_t dataBase);
    // Key frame at video entry number videoCount (the first is 1), with its offset as
    // the index entry gives it.
    void Add(std::uint32_t videoCount, std::uint32_t chunkOffset) {
        if (m_avi.m_nKeyFrames < m_avi.m_arKeyTimes.size()) {
            m_avi.m_arKeyTimes[m_avi.m_nKeyFrames++] = Note(videoCount - m_noteOrigin, chunkOffset);
            return;
        }
        AddPastTheArray(videoCount, chunkOffset);
    }
    // Turns the noted key frames into times and records.
    void Complete();
    // Forgets every key frame after the first count.
    void DropTo(std::uint32_t count);

  private:
    // The note holds the video count (counted from the note origin, so below 2^29:
    // one index chunk has fewer entries) in the high half and the offset in the low
    // half. With bit 62 clear the bits are a finite double: copying never alters them.
    static double Note(std::uint32_t videosSinceOrigin, std::uint32_t chunkOffset) {
        return std::bit_cast<double>(std::uint64_t{videosSinceOrigin} << 32 | chunkOffset);
    }
    void AddPastTheArray(std::uint32_t videoCount, std::uint32_t chunkOffset);
    double KeyFrameTime(std::uint32_t videoCount) const;
    std::uint64_t ChunkPosition(std::uint32_t chunkOffset) const;

    CAviParser& m_avi;
    std::uint32_t m_noteOrigin = 0;
    bool m_hasDataBase = false;
    std::uint64_t m_dataBase = 0;
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
