#include "index_check.h"

#include <algorithm>

#include "index_scan.h"
#include "plovik/movie_scan.h"
#include "riff_reader.h"
#include "scan_reader.h"

namespace plovik {
namespace {

constexpr std::uint64_t kIdx1EntryBytes = 16;

// "idx1" entries: id, flags, offset, size. Offsets are relative to the "movi" type
// FOURCC or absolute; as the common demuxers do, the first entry tells which: one below
// the position of that FOURCC can only be relative.
class Idx1Entries final : public IndexEntrySource {
  public:
    Idx1Entries(ScanFile& file, std::uint64_t dataPos, std::uint64_t count,
                std::uint64_t moviTypePos)
        : m_reader(file, file.Size(), kScanIndexBlockBytes), m_dataPos(dataPos), m_count(count) {
        const std::uint8_t* first = m_reader.At(dataPos, kIdx1EntryBytes);
        if (first != nullptr && LoadLe32(first + 8) < moviTypePos) m_base = moviTypePos;
    }

    void Rewind() override { m_next = 0; }

    // Decodes the entries straight from the buffer, as many at a time as it holds.
    std::size_t Next(ScanIndexEntry* out, std::size_t max) override {
        std::size_t filled = 0;
        while (filled < max && m_next < m_count) {
            const std::uint64_t position = m_dataPos + m_next * kIdx1EntryBytes;
            const std::uint8_t* bytes = m_reader.At(position, kIdx1EntryBytes);
            if (bytes == nullptr) break;  // the file shrank
            const auto run = static_cast<std::size_t>(std::min<std::uint64_t>(
                {m_reader.Held(position) / kIdx1EntryBytes, max - filled, m_count - m_next}));
            for (std::size_t i = 0; i < run; ++i, bytes += kIdx1EntryBytes) {
                out[filled + i] = {m_base + LoadLe32(bytes + 8), LoadLe32(bytes),
                                   LoadLe32(bytes + 12)};
            }
            filled += run;
            m_next += run;
        }
        return filled;
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

std::unique_ptr<IndexEntrySource> OpenIdx1Entries(ScanFile& file, const CAviParser& avi) {
    if (avi.m_llIndexPos <= 0) return nullptr;
    const auto headerPos = static_cast<std::uint64_t>(avi.m_llIndexPos);
    ScanReader header(file, file.Size(), 8);
    const std::uint8_t* bytes = header.At(headerPos, 8);
    if (bytes == nullptr || LoadLe32(bytes) != kIdx1) return nullptr;
    // Only the whole entries that the file holds.
    const std::uint64_t dataPos = headerPos + 8;
    const std::uint64_t count =
        std::min<std::uint64_t>(LoadLe32(bytes + 4), header.End() - dataPos) / kIdx1EntryBytes;
    const std::uint64_t moviTypePos = static_cast<std::uint64_t>(avi.m_llMoviPos) + 8;
    return std::make_unique<Idx1Entries>(file, dataPos, count, moviTypePos);
}

void IndexCheck::LoadSorted() {
    m_source.Rewind();
    m_sorted.resize(static_cast<std::size_t>(m_source.Count()));
    m_sorted.resize(m_source.Next(m_sorted.data(), m_sorted.size()));
    std::sort(
        m_sorted.begin(), m_sorted.end(),
        [](const ScanIndexEntry& a, const ScanIndexEntry& b) { return a.position < b.position; });
    m_next = m_sorted.data();
    m_end = m_next + m_sorted.size();
    m_entries = m_sorted.size();
    m_mismatches = 0;
}

// The next batch of an index in order, or false at its end, at an entry that goes back,
// or once the entries are all in memory.
bool IndexCheck::Refill() {
    if (!m_inOrder || !m_sorted.empty()) return false;
    const std::size_t count = m_source.Next(m_batch.data(), kBatch);
    bool ordered = true;
    for (std::size_t i = 0; i < count; ++i) {
        ordered = ordered && m_batch[i].position >= m_lastPosition;
        m_lastPosition = m_batch[i].position;
    }
    m_inOrder = ordered;
    m_entries += count;
    m_next = m_batch.data();
    m_end = m_next + (ordered ? count : 0);
    return ordered && count > 0;
}

void IndexCheck::Finish() {
    for (; HaveEntry(); ++m_next) ++m_mismatches;
}

}  // namespace plovik
