// The index check of the movie-data scan: every index entry should point at a chunk that
// the walk meets, with the entry's id and size. Internal to the analyser.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "plovik/avi_parser.h"
#include "scan_reader.h"

namespace plovik {

struct ScanIndexEntry {
    std::uint64_t position;  // absolute file position of the chunk header it names
    FOURCC id;               // a list's entry names the list type ("rec ")
    std::uint32_t size;      // the chunk's size field
};

// The entries of one index in index order; Rewind starts again from the first.
class IndexEntrySource {
  public:
    virtual ~IndexEntrySource() = default;
    virtual void Rewind() = 0;
    // Up to max next entries into out; 0 at the end.
    virtual std::size_t Next(ScanIndexEntry* out, std::size_t max) = 0;
    // Entries the file holds (at most this many come).
    virtual std::uint64_t Count() const = 0;
};

// The "idx1" entries of the file avi analysed; null when it has none.
std::unique_ptr<IndexEntrySource> OpenIdx1Entries(ScanFile& file, const CAviParser& avi);

// Fed with the chunks of the walk in file order. An index in file order is compared as a
// merge, reading it alongside the walk. When an entry goes back, the merge stops: the index
// is then copied into memory (16 bytes an entry: never more than the index itself), sorted
// and checked from the start against a second walk.
class IndexCheck {
  public:
    explicit IndexCheck(IndexEntrySource& entries) : m_source(entries) {}
    // Entries before this chunk point between chunks; those at it must name it.
    void Chunk(std::uint64_t position, FOURCC id, std::uint32_t size) {
        for (; HaveEntry() && m_next->position <= position; ++m_next) {
            if (m_next->position < position || m_next->id != id || m_next->size != size) {
                ++m_mismatches;
            }
        }
    }
    // The entries the walk never reached point at no chunk.
    void Finish();

    std::uint64_t Entries() const { return m_entries; }
    std::uint64_t Mismatches() const { return m_mismatches; }
    bool InOrder() const { return m_inOrder; }
    // After a walk that found the index out of order: all of it, sorted, for the next walk.
    void LoadSorted();

  private:
    static constexpr std::size_t kBatch = 256;

    bool HaveEntry() { return m_next != m_end || Refill(); }
    bool Refill();

    IndexEntrySource& m_source;
    bool m_inOrder = true;
    std::array<ScanIndexEntry, kBatch> m_batch{};  // entries read ahead, for one in order
    std::vector<ScanIndexEntry> m_sorted;          // all of them, for one out of order
    const ScanIndexEntry* m_next = nullptr;        // the next entry to compare, up to m_end
    const ScanIndexEntry* m_end = nullptr;
    std::uint64_t m_lastPosition = 0;
    std::uint64_t m_entries = 0;
    std::uint64_t m_mismatches = 0;
};

}  // namespace plovik
