// The index check of the movie-data scan: every index entry should point at a chunk that
// the walk meets, with the entry's id and size. Internal to the analyser.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "plovik/avi_parser.h"
#include "raw_file.h"

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
    virtual bool Next(ScanIndexEntry& entry) = 0;
    // Entries the file holds (at most this many come).
    virtual std::uint64_t Count() const = 0;
};

// The "idx1" entries of the file avi analysed; null when it has none.
std::unique_ptr<IndexEntrySource> OpenIdx1Entries(RawFile& file, std::uint64_t fileSize,
                                                  const CAviParser& avi);

// Fed with the chunks of the walk in file order. An index in file order is compared as a
// merge, reading it alongside the walk; one out of order is first copied into memory
// (16 bytes an entry: never more than the index itself) and sorted.
class IndexCheck {
  public:
    explicit IndexCheck(IndexEntrySource& entries);
    void Chunk(std::uint64_t position, FOURCC id, std::uint32_t size);
    // The entries the walk never reached point at no chunk.
    void Finish();

    std::uint64_t Entries() const { return m_entries; }
    std::uint64_t Mismatches() const { return m_mismatches; }
    bool InOrder() const { return m_inOrder; }

  private:
    bool IsInFileOrder();
    void LoadSorted();
    void Advance();

    IndexEntrySource& m_source;
    bool m_inOrder = true;
    std::vector<ScanIndexEntry> m_sorted;  // only for an index out of order
    std::size_t m_nextSorted = 0;
    bool m_haveEntry = false;
    ScanIndexEntry m_entry{};
    std::uint64_t m_entries = 0;
    std::uint64_t m_mismatches = 0;
};

}  // namespace plovik
