// The header list of the copy: the original's bytes with the counts the repair sets, and for
// an OpenDML copy room for a super index in each stream list and a "dmlh" chunk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "plovik/avi_parser.h"
#include "plovik/repair.h"

namespace plovik {

class RawFile;

// What the copy holds of one stream, for its header.
struct StreamCount {
    std::uint32_t length = 0;   // in the stream's units
    std::uint32_t largest = 0;  // its largest chunk
    bool roundingKept = false;  // see HeaderCounts
};

struct HeaderCounts {
    // Video frames of the first RIFF part and of the whole copy; none without video.
    std::optional<std::uint32_t> totalFrames;
    std::optional<std::uint32_t> grandFrames;
    std::uint32_t largest = 0;  // the largest chunk of any stream
    bool indexed = true;        // the copy has an "idx1"
    // Whether a count within one chunk of the copy's stays as the writer rounded it: where
    // the copy holds all the data, and for video only where the index was complete too
    // (the frames a copy's index lists are held against them).
    bool totalRoundingKept = false;
    std::vector<StreamCount> streams;
};

struct SuperIndexEntry {
    std::uint64_t position;  // of the standard index chunk's header
    std::uint32_t bytes;     // that chunk's size with its header
    std::uint32_t duration;  // stream ticks it covers
};

class HeaderList {
  public:
    // Holds no more than this: a list so long is not a header list.
    static constexpr std::uint32_t kMaxBytes = 16u << 20;

    // The list whose chunk header is at position; false (why says so) when the file does not
    // hold it whole or it has no main header.
    bool Read(RawFile& input, std::uint64_t position, std::uint32_t size, std::string& why);

    std::size_t StreamLists() const { return m_strls.size(); }
    std::uint32_t SampleSize(std::size_t stream) const;
    bool HasSuperIndex() const;
    // Gives every stream list a super index with room for entries (one it has keeps its place
    // and, when larger, its size) and the list a "dmlh" chunk when it has none.
    void MakeRoomForSuperIndexes(std::uint32_t entries);
    void SetCounts(const HeaderCounts& counts, std::vector<RepairFieldChange>& changes);
    void SetSuperIndex(std::size_t stream, FOURCC chunkId,
                       std::span<const SuperIndexEntry> entries);

    // The list as it is written, its pad byte included.
    std::string Bytes() const;
    std::uint64_t WrittenBytes() const { return m_bytes.size() + (m_bytes.size() & 1); }

  private:
    struct StreamList {
        std::size_t begin = 0;  // of the "LIST" header
        std::size_t end = 0;    // of its data as its size gives it (within the list)
        std::size_t strh = 0;   // of the "strh" data; 0 without one
        std::size_t strhSize = 0;
        std::size_t indx = 0;       // of the "indx" header; 0 without one
        std::size_t indxBytes = 0;  // with its header and pad
        std::size_t walked = 0;     // where a walk of its chunks looks next (end + 1: past a pad)
    };
    void Parse();
    void AddExtendedHeader();
    void ParseStreamList(std::size_t begin, std::size_t end);
    // The field at offset (where the list holds it whole) to what newValue makes of its value.
    template <typename NewValue>
    void SetField(std::size_t offset, std::size_t available, NewValue newValue,
                  const std::string& name, std::vector<RepairFieldChange>& changes);
    std::string StreamListWithRoom(const StreamList& list, std::uint32_t entries) const;

    std::string m_bytes;     // the list with its header, without a pad byte
    std::size_t m_avih = 0;  // of the "avih" data
    std::size_t m_avihSize = 0;
    std::size_t m_dmlh = 0;  // of the first "dmlh" data that holds a frame count; 0 without
    std::size_t m_dmlhSize = 0;
    std::size_t m_walked = 0;  // where a walk of the list's chunks looks next
    std::vector<StreamList> m_strls;
};

}  // namespace plovik
