// The index check of the movie-data scan: every index entry should point at a chunk that
// the walk meets, with the entry's id and size. Internal to the analyser.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "plovik/avi_parser.h"
#include "plovik/movie_scan.h"
#include "scan_reader.h"

namespace plovik {

struct ScanIndexEntry {
    std::uint64_t position;  // absolute file position of the chunk header it names
    FOURCC id;               // a list's entry names the list type ("rec ")
    std::uint32_t size;      // the chunk's size field
    std::uint32_t flags;     // idx1's (AVIIF_*); a standard index's key bit as AVIIF_KEYFRAME
};

// What the index says of a chunk: its mark, and the flags of the entry that names it.
struct IndexSays {
    IndexMark mark = IndexMark::kNone;
    std::uint32_t flags = 0;
};

// The entries of one index in index order; Rewind starts again from the first.
class IndexEntrySource {
  public:
    virtual ~IndexEntrySource() = default;
    virtual void Rewind() = 0;
    // Up to max next entries into out; 0 at the end.
    virtual std::size_t Next(ScanIndexEntry* out, std::size_t max) = 0;
    // Bytes the index takes in the file, as far as the file holds it.
    virtual std::uint64_t IndexBytes() const = 0;
    // Entries that cannot name a chunk at all: each counts as one that does not match.
    virtual std::uint64_t UnreadableEntries() const { return 0; }
};

// The "idx1" entries of the file avi analysed, their offsets read from the base the first
// entry tells (or the other one); null when it has none.
// kept: the entries as the parse kept them, read from memory instead of the file.
std::unique_ptr<IndexEntrySource> OpenIdx1Entries(RawFile& file, const CAviParser& avi,
                                                  std::span<const std::uint8_t> kept,
                                                  bool otherBase = false);
// The entries of the standard index chunks that avi's video super index lists, in its
// order; null without a super index. A listed chunk that is not a standard index of
// frames whose entries fit in it is one unreadable entry.
std::unique_ptr<IndexEntrySource> OpenOpenDmlEntries(RawFile& file, const CAviParser& avi);

// Fed with the chunks of the walk in file order. An index in file order is compared as a
// merge, reading it alongside the walk. When an entry goes back, the merge stops; the
// index is then checked again from the start in slices, each copied into memory, sorted
// and compared during a walk of its own. A slice holds no more entries than the index
// takes bytes at 16 bytes an entry: one slice for "idx1", two or three for OpenDML.
class IndexMatch {
  public:
    explicit IndexMatch(IndexEntrySource& entries) : m_source(entries) {}
    // Entries before this chunk point between chunks; those at it must name it. Returns the
    // mark of an entry that does.
    IndexSays Chunk(std::uint64_t position, FOURCC id, std::uint32_t size) {
        IndexSays says;
        for (; HaveEntry() && m_next->position <= position; ++m_next) {
            if (m_next->position < position || m_next->id != id || m_next->size != size) {
                ++m_mismatches;
            } else {
                const bool key = (m_next->flags & AVIIF_KEYFRAME) != 0;
                says = {key ? IndexMark::kKey : IndexMark::kDelta, m_next->flags};
            }
        }
        return says;
    }
    // After a walk: the entries it never reached point at no chunk, but for those at or past
    // walkedTo, where a failed read ended it (their chunks could not be read).
    void EndWalk(std::uint64_t walkedTo);
    // After a walk that found the index out of order: the next slice of it, sorted, for
    // the next walk; false when no entries are left.
    bool LoadNextSlice();

    std::uint64_t Entries() const { return m_entries + m_source.UnreadableEntries(); }
    std::uint64_t Mismatches() const { return m_mismatches + m_source.UnreadableEntries(); }
    bool InOrder() const { return m_inOrder; }

  private:
    static constexpr std::size_t kBatch = 256;

    bool HaveEntry() { return m_next != m_end || Refill(); }
    bool Refill();

    IndexEntrySource& m_source;
    bool m_inOrder = true;
    bool m_slicing = false;
    std::array<ScanIndexEntry, kBatch> m_batch{};  // entries read ahead, for one in order
    std::vector<ScanIndexEntry> m_slice;           // a sorted slice, for one out of order
    const ScanIndexEntry* m_next = nullptr;        // the next entry to compare, up to m_end
    const ScanIndexEntry* m_end = nullptr;
    std::uint64_t m_lastPosition = 0;
    std::uint64_t m_entries = 0;
    std::uint64_t m_mismatches = 0;
};

}  // namespace plovik
