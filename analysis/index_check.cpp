#include "index_check.h"

#include <algorithm>

#include "index_scan.h"
#include "plovik/movie_scan.h"
#include "riff_reader.h"
#include "std_index.h"

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

    std::uint64_t IndexBytes() const override { return m_count * kIdx1EntryBytes; }

  private:
    ScanReader m_reader;
    std::uint64_t m_dataPos;
    std::uint64_t m_count;
    std::uint64_t m_base = 0;
    std::uint64_t m_next = 0;
};

// The entries of the standard index chunks that a super index lists. An entry's frame
// data stand at qwBaseOffset + dwOffset, its chunk header 8 bytes before; bit 31 of
// dwSize is the key-frame flag, not part of the size.
class OpenDmlEntries final : public IndexEntrySource {
  public:
    OpenDmlEntries(ScanFile& file, const std::vector<AVISUPERINDEXENTRY>& chunks)
        : m_file(file), m_chunks(chunks), m_reader(file, file.Size(), kScanIndexBlockBytes) {
        for (std::size_t i = 0; i < m_chunks.size(); ++i) {
            if (ReadChunk(i)) {
                m_bytes += kStdIndexHeaderBytes + m_left * kStdIndexEntryBytes;
            } else {
                ++m_unreadable;
            }
        }
        Rewind();
    }

    void Rewind() override {
        m_chunk = 0;
        m_left = 0;
    }

    std::size_t Next(ScanIndexEntry* out, std::size_t max) override {
        std::size_t filled = 0;
        while (filled < max && (m_left > 0 || EnterNextChunk())) {
            const std::uint8_t* bytes = m_reader.At(m_entryPos, kStdIndexEntryBytes);
            if (bytes == nullptr) {  // the file shrank
                m_left = 0;
                continue;
            }
            const auto run = static_cast<std::size_t>(std::min<std::uint64_t>(
                {m_reader.Held(m_entryPos) / kStdIndexEntryBytes, max - filled, m_left}));
            for (std::size_t i = 0; i < run; ++i, bytes += kStdIndexEntryBytes) {
                out[filled + i] = {m_header.baseOffset + LoadLe32(bytes) - 8, m_header.chunkId,
                                   LoadLe32(bytes + 4) & ~kDeltaFrame};
            }
            filled += run;
            m_left -= run;
            m_entryPos += run * kStdIndexEntryBytes;
        }
        return filled;
    }

    std::uint64_t IndexBytes() const override { return m_bytes; }
    std::uint64_t UnreadableEntries() const override { return m_unreadable; }

  private:
    bool EnterNextChunk() {
        while (m_chunk < m_chunks.size()) {
            if (ReadChunk(m_chunk++) && m_left > 0) return true;
        }
        return false;
    }

    // Reads the header of chunk i; its entries that the file holds are then next.
    bool ReadChunk(std::size_t i) {
        const std::uint64_t position = m_chunks[i].qwOffset;
        std::uint8_t bytes[kStdIndexHeaderBytes];
        m_left = 0;
        if (position > m_file.Size() || m_file.Size() - position < sizeof bytes ||
            m_file.ReadAt(position, bytes, sizeof bytes) != sizeof bytes) {
            return false;
        }
        m_header = DecodeStdIndexHeader(RecordCursor(bytes));
        if (!IsFrameIndex(m_header) || !EntriesFitChunk(m_header)) return false;
        m_entryPos = position + kStdIndexHeaderBytes;
        m_left = std::min<std::uint64_t>(m_header.entriesInUse,
                                         (m_file.Size() - m_entryPos) / kStdIndexEntryBytes);
        return true;
    }

    ScanFile& m_file;
    const std::vector<AVISUPERINDEXENTRY>& m_chunks;
    ScanReader m_reader;
    std::uint64_t m_bytes = 0;
    std::uint64_t m_unreadable = 0;
    std::size_t m_chunk = 0;  // the next chunk to enter
    StdIndexHeader m_header{};
    std::uint64_t m_entryPos = 0;  // of the next entry of the chunk entered
    std::uint64_t m_left = 0;      // its entries still to come
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

std::unique_ptr<IndexEntrySource> OpenOpenDmlEntries(ScanFile& file, const CAviParser& avi) {
    if (avi.m_arSuperIndex.empty()) return nullptr;
    return std::make_unique<OpenDmlEntries>(file, avi.m_arSuperIndex);
}

bool IndexCheck::LoadNextSlice() {
    if (!m_slicing) {
        m_slicing = true;
        m_source.Rewind();
        m_entries = 0;
        m_mismatches = 0;
    }
    const std::uint64_t limit =
        std::max<std::uint64_t>(1, m_source.IndexBytes() / sizeof(ScanIndexEntry));
    m_slice.resize(static_cast<std::size_t>(limit));
    m_slice.resize(m_source.Next(m_slice.data(), m_slice.size()));
    std::sort(m_slice.begin(), m_slice.end(), [](const ScanIndexEntry& a, const ScanIndexEntry& b) {
        return a.position < b.position;
    });
    m_next = m_slice.data();
    m_end = m_next + m_slice.size();
    m_entries += m_slice.size();
    return !m_slice.empty();
}

// The next batch of an index in order, or false at its end, at an entry that goes back,
// or while it is checked in slices.
bool IndexCheck::Refill() {
    if (!m_inOrder || m_slicing) return false;
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

void IndexCheck::EndWalk() {
    for (; HaveEntry(); ++m_next) ++m_mismatches;
}

}  // namespace plovik
