#include "index_check.h"

#include <algorithm>

#include "plovik/movie_scan.h"
#include "scan_reader.h"

namespace plovik {
namespace {

constexpr FOURCC kIdx1 = MakeFourCC("idx1");
constexpr std::uint64_t kIdx1EntryBytes = 16;

// "idx1" entries: id, flags, offset, size. Offsets are relative to the "movi" type
// FOURCC or absolute; as the common demuxers do, the first entry tells which: one below
// the position of that FOURCC can only be relative.
class Idx1Entries final : public IndexEntrySource {
  public:
    Idx1Entries(RawFile& file, std::uint64_t fileSize, std::uint64_t dataPos, std::uint64_t count,
                std::uint64_t moviTypePos)
        : m_reader(file, fileSize, kScanIndexBlockBytes), m_dataPos(dataPos), m_count(count) {
        const std::uint8_t* first = m_reader.At(dataPos, kIdx1EntryBytes);
        if (first != nullptr && Le32At(first + 8) < moviTypePos) m_base = moviTypePos;
    }

    void Rewind() override { m_next = 0; }

    bool Next(ScanIndexEntry& entry) override {
        if (m_next >= m_count) return false;
        const std::uint8_t* bytes = m_reader.At(m_dataPos + m_next * kIdx1EntryBytes, 16);
        if (bytes == nullptr) return false;  // the file shrank
        ++m_next;
        entry = {m_base + Le32At(bytes + 8), Le32At(bytes), Le32At(bytes + 12)};
        return true;
    }

    std::uint64_t Count() const override { return m_count; }

  private:
    ScanReader m_reader;
    std::uint64_t m_dataPos;
    std::uint64_t m_count;
    std::uint64_t m_base = 0;
    std::uint64_t m_next = 0;
};

}  // namespace

std::unique_ptr<IndexEntrySource> OpenIdx1Entries(RawFile& file, std::uint64_t fileSize,
                                                  const CAviParser& avi) {
    if (avi.m_llIndexPos <= 0) return nullptr;
    const auto headerPos = static_cast<std::uint64_t>(avi.m_llIndexPos);
    ScanReader header(file, fileSize, 8);
    const std::uint8_t* bytes = header.At(headerPos, 8);
    if (bytes == nullptr || Le32At(bytes) != kIdx1) return nullptr;
    // Only the whole entries that the file holds.
    const std::uint64_t dataPos = headerPos + 8;
    const std::uint64_t count =
        std::min<std::uint64_t>(Le32At(bytes + 4), header.End() - dataPos) / kIdx1EntryBytes;
    const std::uint64_t moviTypePos = static_cast<std::uint64_t>(avi.m_llMoviPos) + 8;
    return std::make_unique<Idx1Entries>(file, fileSize, dataPos, count, moviTypePos);
}

IndexCheck::IndexCheck(IndexEntrySource& entries) : m_source(entries) {
    m_inOrder = IsInFileOrder();
    m_source.Rewind();
    if (!m_inOrder) LoadSorted();
    Advance();
}

// One pass over the index, before the walk, so that the walk is never held up.
bool IndexCheck::IsInFileOrder() {
    ScanIndexEntry entry{};
    std::uint64_t last = 0;
    while (m_source.Next(entry)) {
        if (entry.position < last) return false;
        last = entry.position;
    }
    return true;
}

void IndexCheck::LoadSorted() {
    m_sorted.reserve(static_cast<std::size_t>(m_source.Count()));
    ScanIndexEntry entry{};
    while (m_source.Next(entry)) m_sorted.push_back(entry);
    std::sort(
        m_sorted.begin(), m_sorted.end(),
        [](const ScanIndexEntry& a, const ScanIndexEntry& b) { return a.position < b.position; });
}

void IndexCheck::Advance() {
    if (m_inOrder) {
        m_haveEntry = m_source.Next(m_entry);
    } else {
        m_haveEntry = m_nextSorted < m_sorted.size();
        if (m_haveEntry) m_entry = m_sorted[m_nextSorted++];
    }
    if (m_haveEntry) ++m_entries;
}

// Entries before this chunk point between chunks; those at it must name it.
void IndexCheck::Chunk(std::uint64_t position, FOURCC id, std::uint32_t size) {
    for (; m_haveEntry && m_entry.position < position; Advance()) ++m_mismatches;
    for (; m_haveEntry && m_entry.position == position; Advance()) {
        if (m_entry.id != id || m_entry.size != size) ++m_mismatches;
    }
}

void IndexCheck::Finish() {
    for (; m_haveEntry; Advance()) ++m_mismatches;
}

}  // namespace plovik
