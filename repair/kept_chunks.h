// The chunks of the movie data that the copy keeps, in file order, with the key flag each
// gets in the new index: found by the data scan's walk, told to an observer.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "plovik/avi_parser.h"
#include "plovik/frame_type.h"
#include "plovik/movie_scan.h"

namespace plovik {

// 16 bytes a chunk: the new index's share of the memory grows with the file, nothing else.
struct KeptChunk {
    static constexpr std::uint64_t kPositionBits = (std::uint64_t{1} << 56) - 1;
    static constexpr std::uint64_t kKey = std::uint64_t{1} << 63;
    static constexpr std::uint64_t kIndexed = std::uint64_t{1} << 62;  // a stream's chunk
    // A damaged frame of an intra-only codec, written as an empty (dropped) frame.
    static constexpr std::uint64_t kEmptied = std::uint64_t{1} << 61;
    // The original idx1 entry's other flags that the copy's entry keeps (kKeptIndexFlags).
    static constexpr int kOtherFlagsShift = 56;
    static constexpr std::uint64_t kOtherFlags = std::uint64_t{0xF} << kOtherFlagsShift;

    std::uint64_t word;  // file position of the header, and the flags above
    FOURCC id;
    std::uint32_t size;

    std::uint64_t Position() const { return word & kPositionBits; }
    bool Key() const { return (word & kKey) != 0; }
    bool Indexed() const { return (word & kIndexed) != 0; }
    bool Emptied() const { return (word & kEmptied) != 0; }
    // The flags of its idx1 entry in the copy.
    std::uint32_t Idx1Flags() const;
    // The size the copy gives it: 0 for an emptied frame, else its own.
    std::uint32_t WrittenSize() const { return Emptied() ? 0 : size; }
    int Stream() const;    // from the id; only for an indexed chunk
    bool Counted() const;  // a frame or sample chunk of its stream (a palette change is not)
    // The chunk with its pad byte, as it is written.
    std::uint64_t Bytes() const { return 8 + std::uint64_t{WrittenSize()} + (WrittenSize() & 1); }
};

// Where the video frames' key flags came from.
// The frames whose codec's structure their bytes break: kept as they are (a decoder conceals
// them), or, of an intra-only codec, emptied (a dropped frame: no broken picture).
struct DamagedFrames {
    std::uint64_t kept = 0;
    std::uint64_t emptied = 0;
};

struct KeySources {
    std::uint64_t fromIndex = 0;
    std::uint64_t fromBitstream = 0;
    std::uint64_t assumed = 0;
    std::string assumedFourCC;
};

class ChunkKeeper final : public ScanObserver {
  public:
    // listedOnly: the chunks of stream numbers the header list has no stream for are left out
    // (a rebuilt list leaves out the streams it cannot tell).
    ChunkKeeper(const CAviParser& avi, bool keepDamagedFrames, bool listedOnly = false);

    std::size_t HeadBytes() const override { return m_headBytes; }
    void Chunk(const SCANCHUNK& chunk) override;
    void Damaged(std::uint64_t position, std::uint64_t length) override;
    // After the scan: the frames it found damaged only once their stream had a whole frame
    // (until then it could not tell, and they were kept as they are) are treated now as the
    // frames it told at once.
    void TakeLateDamage(std::span<const DAMAGEDFRAME> frames);

    std::vector<KeptChunk> chunks;
    KeySources keys;
    DamagedFrames damaged;
    std::uint64_t bytesLeftOut = 0;  // of the damaged regions, as far as the file holds them

  private:
    bool VideoKey(int stream, const SCANCHUNK& chunk);
    std::uint64_t DamagedFrameFlags(int stream, const SCANCHUNK& chunk);
    std::uint64_t DamagedFrameFlags(int stream);
    void Keep(const SCANCHUNK& chunk, std::uint64_t flags);

    bool m_keepDamagedFrames;
    int m_listed;  // the streams whose chunks are kept
    std::array<bool, kMaxStreamLists> m_intraOnly{};
    int m_keptVideo;  // the video stream the scan reads frame types of
    std::size_t m_headBytes = 0;
    std::array<VideoFamily, kMaxStreamLists> m_kinds{};  // where the frames tell their type
    std::array<bool, kMaxStreamLists> m_video{};
    std::array<FOURCC, kMaxStreamLists> m_codec{};
    std::vector<std::uint64_t> m_damagedTold;  // positions of the damaged frames told at once
};

}  // namespace plovik
