#include "header_list.h"

#include "plovik/chunk_ids.h"
#include "plovik/stream_tally.h"

#include <algorithm>

#include "raw_file.h"

namespace plovik {
namespace {

constexpr std::size_t kDmlhBytes = 248;  // as the common muxers write it
constexpr std::size_t kSuperIndexHeader = 32;
constexpr std::size_t kSuperIndexEntry = 16;

std::uint32_t Load32(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = value << 8 | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    }
    return value;
}

void Store(std::string& bytes, std::size_t at, std::uint64_t value, int width) {
    for (int i = 0; i < width; ++i) {
        bytes[at + static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * i));
    }
}

void Append(std::string& bytes, std::uint64_t value, int width) {
    bytes.append(static_cast<std::size_t>(width), '\0');
    Store(bytes, bytes.size() - static_cast<std::size_t>(width), value, width);
}

bool IsIdByte(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == ' ';
}

// Whether a chunk header can stand at: an id of letters, digits and spaces whose size fits.
bool IsChunkAt(const std::string& bytes, std::size_t at, std::size_t end) {
    if (at + 8 > end) return false;
    for (std::size_t i = 0; i < 4; ++i) {
        if (!IsIdByte(bytes[at + i])) return false;
    }
    return Load32(bytes, at + 4) <= end - at - 8;
}

// Where the chunk after one whose data end at `at` begins: after its pad byte when its size is
// odd, unless a chunk stands at `at` and none after the pad (some writers leave it out).
std::size_t NextChunkAt(const std::string& bytes, std::size_t at, std::size_t size,
                        std::size_t end) {
    if ((size & 1) == 0) return at;
    const bool unpadded = IsChunkAt(bytes, at, end) && !IsChunkAt(bytes, at + 1, end);
    return unpadded ? at : at + 1;
}

// Each chunk between begin and end (header positions; a chunk that runs past end ends the
// walk), told to visit with its id, its data's offset and its size. Returns where the walk
// looks next: end (end + 1 when the last chunk's pad byte lies past it), or the first header
// that is not a chunk's.
template <class Visit>
std::size_t ForEachChunk(const std::string& bytes, std::size_t begin, std::size_t end,
                         Visit visit) {
    std::size_t at = begin;
    while (at + 8 <= end) {
        const std::size_t size = Load32(bytes, at + 4);
        if (size > end - at - 8) return at;
        visit(Load32(bytes, at), at, size);
        at = NextChunkAt(bytes, at + 8 + size, size, end);
    }
    return at;
}

// An empty super index with room for entries: wLongsPerEntry 4, AVI_INDEX_OF_INDEXES.
std::string EmptySuperIndex(std::size_t bytes) {
    std::string chunk;
    Append(chunk, kIndx, 4);
    Append(chunk, bytes - 8, 4);
    Append(chunk, 4, 2);
    chunk.resize(bytes, '\0');
    return chunk;
}

}  // namespace

bool HeaderList::Read(RawFile& input, std::uint64_t position, std::uint32_t size,
                      std::string& why) {
    const std::uint64_t bytes = 8 + std::uint64_t{size};
    if (size < 4 || bytes > kMaxBytes || position + bytes > input.Size()) {
        why = "the header list is not whole";
        return false;
    }
    m_bytes.assign(static_cast<std::size_t>(bytes), '\0');
    for (std::size_t done = 0; done < m_bytes.size();) {
        const std::int64_t got =
            input.ReadAt(position + done, m_bytes.data() + done, m_bytes.size() - done);
        if (got <= 0) {
            why = "the header list could not be read";
            return false;
        }
        done += static_cast<std::size_t>(got);
    }
    Parse();
    if (m_avihSize < 32) {
        why = "the header list has no main header";
        return false;
    }
    return true;
}

void HeaderList::Parse() {
    m_avih = m_avihSize = m_dmlh = m_dmlhSize = 0;
    m_strls.clear();
    m_walked =
        ForEachChunk(m_bytes, 12, m_bytes.size(), [&](FOURCC id, std::size_t at, std::size_t size) {
            if (id == kAvih && m_avihSize == 0) {
                m_avih = at + 8;
                m_avihSize = size;
            } else if (id == kList && size >= 4 && Load32(m_bytes, at + 8) == kStrl) {
                ParseStreamList(at, at + 8 + size);
            } else if (id == kList && size >= 4 && Load32(m_bytes, at + 8) == kOdml) {
                ForEachChunk(m_bytes, at + 12, at + 8 + size,
                             [&](FOURCC inner, std::size_t innerAt, std::size_t innerSize) {
                                 if (inner != kDmlh || innerSize < 4 || m_dmlhSize != 0) return;
                                 m_dmlh = innerAt + 8;
                                 m_dmlhSize = innerSize;
                             });
            }
        });
}

void HeaderList::ParseStreamList(std::size_t begin, std::size_t end) {
    StreamList list{begin, end, 0, 0, 0, 0, end};
    list.walked =
        ForEachChunk(m_bytes, begin + 12, end, [&](FOURCC id, std::size_t at, std::size_t size) {
            if (id == kStrh && list.strh == 0) {
                list.strh = at + 8;
                list.strhSize = size;
            } else if (id == kIndx && list.indx == 0) {
                list.indx = at;
                list.indxBytes = std::min(8 + size + (size & 1), end - at);
            }
        });
    m_strls.push_back(list);
}

std::uint32_t HeaderList::SampleSize(std::size_t stream) const {
    const StreamList& list = m_strls[stream];
    return list.strhSize >= 48 ? Load32(m_bytes, list.strh + 44) : 0;
}

bool HeaderList::HasSuperIndex() const {
    return std::any_of(m_strls.begin(), m_strls.end(),
                       [](const StreamList& list) { return list.indx != 0; });
}

void HeaderList::MakeRoomForSuperIndexes(std::uint32_t entries) {
    std::string rebuilt = m_bytes.substr(0, 12);
    std::size_t copied = 12;
    for (const StreamList& list : m_strls) {
        rebuilt.append(m_bytes, copied, list.begin - copied);
        const std::string withRoom = StreamListWithRoom(list, entries);
        rebuilt += withRoom;
        // Padded in the copy, whether or not the writer left its pad byte out.
        if ((withRoom.size() & 1) != 0) rebuilt += '\0';
        const std::size_t size = list.end - list.begin - 8;
        copied = std::min(NextChunkAt(m_bytes, list.end, size, m_bytes.size()), m_bytes.size());
    }
    rebuilt.append(m_bytes, copied, std::string::npos);
    Store(rebuilt, 4, rebuilt.size() - 8, 4);
    m_bytes = std::move(rebuilt);
    Parse();
    if (m_dmlhSize < 4) AddExtendedHeader();
}

// A "dmlh" in an "odml" list after the last chunk a reader finds in the header list.
void HeaderList::AddExtendedHeader() {
    // Where a reader's walk looks next; past the end, after the pad byte the list lacks.
    const std::size_t at = std::min(m_walked, m_bytes.size());
    std::string list(m_walked - at, '\0');
    Append(list, kList, 4);
    Append(list, 4 + 8 + kDmlhBytes, 4);
    Append(list, kOdml, 4);
    Append(list, kDmlh, 4);
    Append(list, kDmlhBytes, 4);
    list.append(kDmlhBytes, '\0');
    m_bytes.insert(at, list);
    Store(m_bytes, 4, m_bytes.size() - 8, 4);
    Parse();
}

// The stream list with a super index of at least the room asked for, where it had one or
// at its end.
std::string HeaderList::StreamListWithRoom(const StreamList& list, std::uint32_t entries) const {
    const std::size_t wanted = kSuperIndexHeader + kSuperIndexEntry * std::size_t{entries};
    std::string out = m_bytes.substr(list.begin, 12);
    if (list.indx != 0) {
        out.append(m_bytes, list.begin + 12, list.indx - list.begin - 12);
        out += EmptySuperIndex(std::max(wanted, list.indxBytes & ~std::size_t{1}));
        out.append(m_bytes, list.indx + list.indxBytes, list.end - list.indx - list.indxBytes);
    } else {
        // Where a reader's walk looks next (bytes that are no chunk would hide it); past the
        // end, after the pad byte the list lacks.
        const std::size_t at = std::min(list.walked, list.end);
        out.append(m_bytes, list.begin + 12, at - list.begin - 12);
        out.append(list.walked - at, '\0');
        out += EmptySuperIndex(wanted);
        out.append(m_bytes, at, list.end - at);
    }
    Store(out, 4, out.size() - 8, 4);
    return out;
}

template <typename NewValue>
void HeaderList::SetField(std::size_t offset, std::size_t available, NewValue newValue,
                          const std::string& name, std::vector<RepairFieldChange>& changes) {
    if (available < 4) return;
    const std::uint32_t old = Load32(m_bytes, offset);
    const std::uint32_t value = newValue(old);
    if (value == old) return;
    Store(m_bytes, offset, value, 4);
    changes.push_back({name, old, value});
}

namespace {

auto To(std::uint32_t value) {
    return [value](std::uint32_t) { return value; };
}

// A count within one chunk of the copy's stays as the writer rounded it: the check accepts
// it, and an intact file repairs into itself.
auto CountOf(std::uint32_t counted, std::uint32_t sampleSize, std::uint32_t largest,
             bool roundingKept) {
    return [=](std::uint32_t old) {
        return roundingKept && WithinOneChunk(old, counted, sampleSize, largest) ? old : counted;
    };
}

// A suggested buffer of 0 leaves the size to the reader; only one too small is raised.
auto BufferFor(std::uint32_t largest) {
    return [largest](std::uint32_t old) { return old == 0 ? 0 : std::max(old, largest); };
}

}  // namespace

void HeaderList::SetCounts(const HeaderCounts& counts, std::vector<RepairFieldChange>& changes) {
    const auto field = [&](std::size_t base, std::size_t size, std::size_t at) {
        return std::pair{base + at, size >= at ? size - at : 0};
    };
    auto [flags, flagsRoom] = field(m_avih, m_avihSize, 12);
    if (counts.indexed)
        SetField(
            flags, flagsRoom, [](std::uint32_t old) { return old | AVIF_HASINDEX; }, "avih.dwFlags",
            changes);
    if (counts.totalFrames) {
        auto [total, totalRoom] = field(m_avih, m_avihSize, 16);
        SetField(total, totalRoom, CountOf(*counts.totalFrames, 0, 0, counts.totalRoundingKept),
                 "avih.dwTotalFrames", changes);
    }
    auto [buffer, bufferRoom] = field(m_avih, m_avihSize, 28);
    SetField(buffer, bufferRoom, BufferFor(counts.largest), "avih.dwSuggestedBufferSize", changes);
    const std::size_t streams = std::min(m_strls.size(), counts.streams.size());
    for (std::size_t s = 0; s < streams; ++s) {
        const StreamList& list = m_strls[s];
        if (list.strh == 0) continue;
        const StreamCount& count = counts.streams[s];
        const std::string name = "strh[" + std::to_string(s) + "].";
        auto [length, lengthRoom] = field(list.strh, list.strhSize, 32);
        SetField(length, lengthRoom,
                 CountOf(count.length, SampleSize(s), count.largest, count.roundingKept),
                 name + "dwLength", changes);
        auto [largest, largestRoom] = field(list.strh, list.strhSize, 36);
        SetField(largest, largestRoom, BufferFor(count.largest), name + "dwSuggestedBufferSize",
                 changes);
    }
    if (m_dmlhSize >= 4 && counts.grandFrames) {
        SetField(m_dmlh, m_dmlhSize, To(*counts.grandFrames), "dmlh.dwGrandFrames", changes);
    }
}

void HeaderList::SetSuperIndex(std::size_t stream, FOURCC chunkId,
                               std::span<const SuperIndexEntry> entries) {
    const StreamList& list = m_strls[stream];
    if (list.indx == 0 || list.indxBytes < kSuperIndexHeader) return;
    const std::size_t room = (list.indxBytes - kSuperIndexHeader) / kSuperIndexEntry;
    const std::size_t used = std::min(room, entries.size());
    std::size_t at = list.indx + 8;
    Store(m_bytes, at, 4, 2);      // wLongsPerEntry
    Store(m_bytes, at + 2, 0, 2);  // bIndexSubType, bIndexType: an index of indexes
    Store(m_bytes, at + 4, used, 4);
    Store(m_bytes, at + 8, chunkId, 4);
    at = list.indx + kSuperIndexHeader;
    std::fill(m_bytes.begin() + static_cast<std::ptrdiff_t>(at),
              m_bytes.begin() + static_cast<std::ptrdiff_t>(list.indx + list.indxBytes), '\0');
    for (std::size_t i = 0; i < used; ++i, at += kSuperIndexEntry) {
        Store(m_bytes, at, entries[i].position, 8);
        Store(m_bytes, at + 8, entries[i].bytes, 4);
        Store(m_bytes, at + 12, entries[i].duration, 4);
    }
}

std::string HeaderList::Bytes() const {
    std::string bytes = m_bytes;
    if ((bytes.size() & 1) != 0) bytes += '\0';
    return bytes;
}

}  // namespace plovik
