#include "index_match.h"

#include <algorithm>
#include <optional>
#include <span>

#include "byte_source.h"
#include "idx1_index.h"
#include "index_read.h"
#include "plovik/movie_scan.h"
#include "riff_reader.h"
#include "std_index.h"

namespace plovik {
namespace {

// Decodes entries of a run of raw index entries into out until either ends.
template <std::size_t kEntryBytes, class Decode>
std::size_t TakeFromRun(std::span<const std::uint8_t>& run, ScanIndexEntry* out, std::size_t max,
                        Decode decode) {
    const std::size_t count = std::min(max, run.size() / kEntryBytes);
    for (std::size_t i = 0; i < count; ++i) out[i] = decode(run.data() + i * kEntryBytes);
    run = run.subspan(count * kEntryBytes);
    return count;
}

// Bytes up to end include one a read could not give: what they hold is not judged.
bool PastReadFailure(const RawFile& file, std::uint64_t end) {
    return file.Failure() && file.Failure()->position < end;
}

// "idx1" entries, their offsets taken from the base the first entry tells.
class Idx1Entries final : public IndexEntrySource {
  public:
    // The count entries at dataPos of source.
    Idx1Entries(std::unique_ptr<ByteSource> source, std::uint64_t dataPos, std::uint64_t count,
                std::uint64_t moviTypePos, bool otherBase)
        : m_source(std::move(source)), m_dataPos(dataPos), m_count(count) {
        std::uint8_t first[kIdx1EntryBytes];
        m_source->Seek(static_cast<std::int64_t>(dataPos));
        if (count > 0 && m_source->Read(first, sizeof first)) {
            m_base = Idx1OffsetBase(Idx1Offset(first), moviTypePos);
        }
        if (otherBase) m_base = m_base == 0 ? moviTypePos : 0;
        Rewind();
    }

    void Rewind() override {
        m_source->Seek(static_cast<std::int64_t>(m_dataPos));
        m_reader.emplace(*m_source, m_count);
        m_run = {};
    }

    std::size_t Next(ScanIndexEntry* out, std::size_t max) override {
        std::size_t filled = 0;
        while (filled < max && (!m_run.empty() || !(m_run = m_reader->NextRun()).empty())) {
            filled += TakeFromRun<kIdx1EntryBytes>(
                m_run, out + filled, max - filled, [this](const std::uint8_t* entry) {
                    return ScanIndexEntry{m_base + Idx1Offset(entry), Idx1Id(entry),
                                          Idx1Size(entry), Idx1Flags(entry)};
                });
        }
        return filled;
    }

    std::uint64_t IndexBytes() const override { return m_count * kIdx1EntryBytes; }

  private:
    std::unique_ptr<ByteSource> m_source;
    std::optional<Idx1Reader> m_reader;
    std::span<const std::uint8_t> m_run;  // entries lent by the reader, not yet taken
    std::uint64_t m_dataPos;
    std::uint64_t m_count;
    std::uint64_t m_base = 0;
};

// The entries of the standard index chunks that a super index lists, in its order. A
// listed chunk that is not a standard index of frames whose entries fit in it counts as
// one unreadable entry.
class OpenDmlEntries final : public IndexEntrySource {
  public:
    OpenDmlEntries(RawFile& file, const std::vector<AVISUPERINDEXENTRY>& chunks)
        : m_source(MakeFileSource(file, kScanIndexBlockBytes)),
          m_reader(*m_source),
          m_chunks(chunks) {
        for (const AVISUPERINDEXENTRY& chunk : m_chunks) {
            if (!m_reader.Enter(chunk.qwOffset)) {
                if (!PastReadFailure(file, chunk.qwOffset + kStdIndexHeaderBytes)) ++m_unreadable;
                continue;
            }
            // Only the entries the file holds.
            const std::uint64_t entryPos = chunk.qwOffset + kStdIndexHeaderBytes;
            const std::uint64_t held = std::min<std::uint64_t>(
                m_reader.Header().entriesInUse,
                (m_source->Size() - std::min(m_source->Size(), entryPos)) / kStdIndexEntryBytes);
            m_bytes += kStdIndexHeaderBytes + held * kStdIndexEntryBytes;
        }
        Rewind();
    }

    void Rewind() override {
        m_chunk = 0;
        m_run = {};
        m_entered = false;
    }

    std::size_t Next(ScanIndexEntry* out, std::size_t max) override {
        std::size_t filled = 0;
        while (filled < max && NextRun()) {
            const StdIndexHeader& header = m_reader.Header();
            filled += TakeFromRun<kStdIndexEntryBytes>(
                m_run, out + filled, max - filled, [&header](const std::uint8_t* entry) {
                    return ScanIndexEntry{
                        StdEntryChunkPosition(header.baseOffset, StdEntryOffset(entry)),
                        header.chunkId, StdEntrySize(entry),
                        StdEntryIsKey(entry) ? AVIIF_KEYFRAME : 0};
                });
        }
        return filled;
    }

    std::uint64_t IndexBytes() const override { return m_bytes; }
    std::uint64_t UnreadableEntries() const override { return m_unreadable; }

  private:
    // Entries lent and not yet taken, from the chunk entered or the next ones.
    bool NextRun() {
        while (m_run.empty()) {
            if (m_entered && !(m_run = m_reader.NextRun()).empty()) return true;
            if (m_chunk == m_chunks.size()) return false;
            m_entered = m_reader.Enter(m_chunks[m_chunk++].qwOffset);
        }
        return true;
    }

    std::unique_ptr<ByteSource> m_source;
    StdIndexReader m_reader;
    const std::vector<AVISUPERINDEXENTRY>& m_chunks;
    std::uint64_t m_bytes = 0;
    std::uint64_t m_unreadable = 0;
    std::size_t m_chunk = 0;  // the next chunk to enter
    bool m_entered = false;   // the reader is in a chunk
    std::span<const std::uint8_t> m_run;
};

}  // namespace

std::unique_ptr<IndexEntrySource> OpenIdx1Entries(RawFile& file, const CAviParser& avi,
                                                  std::span<const std::uint8_t> kept,
                                                  bool otherBase) {
    if (avi.m_llIndexPos <= 0) return nullptr;
    const std::uint64_t moviTypePos = static_cast<std::uint64_t>(avi.m_llMoviPos) + 8;
    if (!kept.empty()) {
        const std::string_view bytes(reinterpret_cast<const char*>(kept.data()), kept.size());
        return std::make_unique<Idx1Entries>(MakeMemorySource(bytes), 0,
                                             kept.size() / kIdx1EntryBytes, moviTypePos, otherBase);
    }
    const auto headerPos = static_cast<std::uint64_t>(avi.m_llIndexPos);
    std::uint8_t header[8];
    if (headerPos > file.Size() || file.Size() - headerPos < sizeof header ||
        file.ReadAt(headerPos, header, sizeof header) != sizeof header ||
        LoadLe32(header) != kIdx1) {
        return nullptr;
    }
    // Only the whole entries that the file holds.
    const std::uint64_t dataPos = headerPos + 8;
    const std::uint64_t count =
        std::min<std::uint64_t>(LoadLe32(header + 4), file.Size() - dataPos) / kIdx1EntryBytes;
    return std::make_unique<Idx1Entries>(MakeFileSource(file, kScanIndexBlockBytes), dataPos, count,
                                         moviTypePos, otherBase);
}

std::unique_ptr<IndexEntrySource> OpenOpenDmlEntries(RawFile& file, const CAviParser& avi) {
    if (avi.VideoSuperIndex().empty()) return nullptr;
    return std::make_unique<OpenDmlEntries>(file, avi.VideoSuperIndex());
}

bool IndexMatch::LoadNextSlice() {
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
bool IndexMatch::Refill() {
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

void IndexMatch::EndWalk(std::uint64_t walkedTo) {
    for (; HaveEntry(); ++m_next) {
        if (m_next->position < walkedTo) ++m_mismatches;
    }
}

}  // namespace plovik
