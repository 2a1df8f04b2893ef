// The key frames an index lists, in index order, in 8 bytes each: the frame's number among
// the video entries and its offset as the entry gives it. Times and records are made when
// read, so that an index of millions of key frames costs little more than its entries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "plovik/avi_records.h"

namespace plovik {

class KeyFrameList {
  public:
    std::size_t size() const { return m_keys.size(); }
    bool empty() const { return m_keys.empty(); }
    // Seconds from the start: the frames before it, at dwMicroSecPerFrame each.
    double Time(std::size_t i) const;
    KEYFRAMEINFO operator[](std::size_t i) const;

    // Filled by the index readers: emptied with the frame duration its times are counted in,
    // then key frame by key frame (number from 1, offset as the entry gives it).
    void Restart(std::uint32_t microSecPerFrame);
    void Add(std::uint32_t frame, std::uint32_t offset) { m_keys.push_back({frame, offset}); }
    // The key frames added from now on come from an OpenDML index chunk whose frames' data
    // stand at dataBase + offset.
    void StartChunk(std::uint64_t dataBase);
    // Forgets every key frame after the first count.
    void DropTo(std::size_t count);
    // Frees what the list holds beyond its key frames (a batch keeps one list for all files).
    void Clear();

  private:
    struct Key {
        std::uint32_t frame;
        std::uint32_t offset;
    };
    // An OpenDML index chunk and the first of its key frames; "idx1" offsets have no base.
    struct Chunk {
        std::size_t firstKey;
        std::uint64_t dataBase;
    };

    std::vector<Key> m_keys;
    std::vector<Chunk> m_chunks;
    std::uint32_t m_microSecPerFrame = 0;
};

}  // namespace plovik
