// The OpenDML index of a file in several RIFF parts: the standard index chunks
// ("ix00") that the video stream's super index lists, read in its order. Their
// entries count every video frame of the file; the frame total they are compared
// with is the video stream header's length (the main header counts the first part).
#include <bit>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <iterator>
#include <map>
#include <span>

#include "index_read.h"
#include "parse_state.h"
#include "record_cursor.h"
#include "riff_reader.h"
#include "std_index.h"

namespace plovik {
namespace {

// Bit i set: entry i of a block is a key frame.
std::uint32_t KeyMask(const std::uint8_t* entries) {
#if defined(__SSE2__) && !defined(__BIG_ENDIAN__)
    // The delta-frame flag is the top bit of each little-endian 8-byte entry: the sign
    // bit of the odd 32-bit lanes, which one movemask takes four at a time.
    std::uint32_t deltas = 0;
    for (std::size_t i = 0; i < kIndexBlock; i += 4) {
        const auto* p = entries + i * kStdIndexEntryBytes;
        const __m128 low = _mm_castsi128_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
        const __m128 high =
            _mm_castsi128_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)));
        const __m128 sizes = _mm_shuffle_ps(low, high, _MM_SHUFFLE(3, 1, 3, 1));
        deltas |= static_cast<std::uint32_t>(_mm_movemask_ps(sizes)) << i;
    }
    return ~deltas;
#else
    // Branch-free so that it vectorises.
    std::uint32_t mask = 0;
    for (std::size_t i = 0; i < kIndexBlock; ++i) {
        const std::uint32_t isKey = (LoadLe32(entries + i * kStdIndexEntryBytes + 4) >> 31) ^ 1;
        mask |= kEntryBits[i] & (0u - isKey);
    }
    return mask;
#endif
}

// The entries of a run of a standard index chunk.
void TallyEntries(StreamEntryTally& tally, std::span<const std::uint8_t> entries) {
    for (std::size_t i = 0; i + kStdIndexEntryBytes <= entries.size(); i += kStdIndexEntryBytes) {
        tally.Add(StdEntrySize(&entries[i]), StdEntryIsKey(&entries[i]));
    }
}

// The file ranges read so far, so that no index chunk is read twice.
class ReadRanges {
  public:
    bool Overlaps(std::uint64_t start, std::uint64_t end) const {
        // The one range that can overlap is the last that starts before end.
        const auto after = m_ranges.lower_bound(end);
        return after != m_ranges.begin() && std::prev(after)->second > start;
    }
    void Add(std::uint64_t start, std::uint64_t end) { m_ranges.emplace(start, end); }

  private:
    std::map<std::uint64_t, std::uint64_t> m_ranges;  // start -> end, disjoint
};

enum class ChunkResult { Whole, Damaged, TimedOut };

class OpenDmlKeyFrameReader {
  public:
    explicit OpenDmlKeyFrameReader(ParseState& state)
        : m_state(state),
          m_avi(state.avi),
          m_source(state.source),
          m_keys(state.avi),
          m_clock(state.avi.m_dwTimeout) {}

    ChunkResult Run() {
        ChunkResult result = ChunkResult::Whole;
        for (const AVISUPERINDEXENTRY& entry : m_avi.VideoSuperIndex()) {
            result = ReadChunk(entry.qwOffset);
            if (result != ChunkResult::Whole) break;
        }
        // Whether the scan ended or stopped, what the chunks read gave stands.
        m_avi.m_nIndexFrames = m_videoCount;
        if (!m_state.extras.indexTallies) return result;
        if (result == ChunkResult::Whole) TallyOtherStreams();
        m_tallies.CopyTo(m_avi.m_arStreams);
        return result;
    }

  private:
    // The index chunks of the streams other than the video (each stream's own super index),
    // for their tallies alone: a chunk that cannot be read adds nothing.
    void TallyOtherStreams() {
        for (std::size_t s = 0; s < m_avi.m_arStreams.size(); ++s) {
            if (static_cast<int>(s) == m_avi.m_Layout.nVideoStream) continue;
            for (const AVISUPERINDEXENTRY& entry : m_avi.m_arStreams[s].superIndex) {
                if (!EnterNewChunk(entry.qwOffset)) continue;
                StreamEntryTally chunk;
                for (auto run = m_chunk.NextRun(); !run.empty(); run = m_chunk.NextRun()) {
                    TallyEntries(chunk, run);
                }
                if (!m_chunk.EndedEarly()) m_tallies.Stream(s).Merge(chunk);
            }
        }
    }

    // Enters the index chunk at position unless it stands in the headers, cannot be read
    // whole or overlaps one read before.
    bool EnterNewChunk(std::uint64_t position) {
        if (position < static_cast<std::uint64_t>(m_state.headersEnd) || !m_chunk.Enter(position)) {
            return false;
        }
        const std::uint64_t entryBytes = StdIndexEntryBytes(m_chunk.Header());
        const std::uint64_t end = position + kStdIndexHeaderBytes + entryBytes;
        if (!BytesAhead(m_source, entryBytes) || m_read.Overlaps(position, end)) return false;
        m_read.Add(position, end);
        return true;
    }

    // An index chunk adds its entries only when it can be read whole.
    ChunkResult ReadChunk(std::uint64_t position) {
        if (!EnterNewChunk(position)) return ChunkResult::Damaged;
        const StdIndexHeader& header = m_chunk.Header();
        // The count of the whole file must fit its 32 bits.
        if (header.entriesInUse > 0xFFFFFFFFu - m_videoCount) return ChunkResult::Damaged;
        m_chunkTally = {};
        const std::uint32_t videosBefore = m_videoCount;
        const std::uint32_t keysBefore = m_avi.m_nKeyFrames;
        m_keys.StartChunk(header.baseOffset);
        const ChunkResult result = ScanEntries();
        if (result == ChunkResult::Damaged) {  // the entries could not be read after all
            m_videoCount = videosBefore;
            m_keys.DropTo(keysBefore);
        } else {
            const auto video = static_cast<std::size_t>(m_avi.m_Layout.nVideoStream);
            m_tallies.Stream(video).Merge(m_chunkTally);
        }
        return result;
    }

    // Every entry is one video frame. Entries are taken in runs straight from the read
    // buffer.
    ChunkResult ScanEntries() {
        for (std::span<const std::uint8_t> run = m_chunk.NextRun(); !run.empty();
             run = m_chunk.NextRun()) {
            const std::size_t inRun = run.size() / kStdIndexEntryBytes;
            const std::size_t taken = ScanRun(run.data(), inRun);
            if (m_state.extras.indexTallies) {
                TallyEntries(m_chunkTally, run.first(taken * kStdIndexEntryBytes));
            }
            if (m_timedOut) {
                // Stop right after the entry that found the time passed.
                m_chunk.GiveBack(inRun - taken);
                TraceTimeOver();
                return ChunkResult::TimedOut;
            }
        }
        return m_chunk.EndedEarly() ? ChunkResult::Damaged : ChunkResult::Whole;
    }

    // Scans n entries, 32 at a time through a bit mask and one by one where a clock
    // check falls; returns the number taken, fewer when the time ran out.
    std::size_t ScanRun(const std::uint8_t* entries, std::size_t n) {
        std::size_t i = 0;
        for (; i + kIndexBlock <= n; i += kIndexBlock) {
            const std::uint8_t* block = entries + i * kStdIndexEntryBytes;
            if (m_checkAt != 0 && m_videoCount + kIndexBlock >= m_checkAt) {
                for (std::size_t j = 0; j < kIndexBlock; ++j) {
                    if (!ScanEntry(block + j * kStdIndexEntryBytes)) return i + j + 1;
                }
                continue;
            }
            for (std::uint32_t keys = KeyMask(block); keys != 0; keys &= keys - 1) {
                const int k = std::countr_zero(keys);
                const std::uint8_t* entry =
                    block + static_cast<std::size_t>(k) * kStdIndexEntryBytes;
                m_keys.Add(m_videoCount + static_cast<std::uint32_t>(k) + 1, StdEntryOffset(entry));
            }
            m_videoCount += kIndexBlock;
        }
        for (; i < n; ++i) {  // the last few entries of the run
            if (!ScanEntry(entries + i * kStdIndexEntryBytes)) return i + 1;
        }
        return n;
    }

    // One entry; false when its clock check finds the time passed. The clock is read
    // after each entry that brings the count to a multiple of the step.
    bool ScanEntry(const std::uint8_t* entry) {
        ++m_videoCount;
        if (StdEntryIsKey(entry)) m_keys.Add(m_videoCount, StdEntryOffset(entry));
        if (m_videoCount != m_checkAt) return true;
        m_checkAt += kClockCheckStep;
        m_timedOut = m_clock.TimeOver();
        return !m_timedOut;
    }

    ParseState& m_state;
    CAviParser& m_avi;
    ByteSource& m_source;
    KeyFrameRecorder m_keys;
    IndexClock m_clock;
    ReadRanges m_read;
    IndexTallies m_tallies;
    StreamEntryTally m_chunkTally;  // of the index chunk being read
    std::uint32_t m_videoCount = 0;
    // The next multiple of the clock step; 0, which no count after an entry equals,
    // when there is no clock to check.
    std::uint32_t m_checkAt = m_clock.Timed() ? kClockCheckStep : 0;
    bool m_timedOut = false;
    StdIndexReader m_chunk{m_source};
};

}  // namespace

namespace {

bool HasVideoSuperIndex(const CAviParser& avi) {
    const int video = avi.m_Layout.nVideoStream;
    return video >= 0 && static_cast<std::size_t>(video) < avi.m_arStreams.size() &&
           avi.m_arStreams[static_cast<std::size_t>(video)].hasSuperIndex;
}

}  // namespace

bool OpenDmlIndexReplacesIdx1(ParseState& state) {
    return HasVideoSuperIndex(state.avi) && CountRiffParts(state) > 1;
}

bool OpenDmlIndexApplies(ParseState& state) {
    return HasVideoSuperIndex(state.avi) && (!state.idx1Met || CountRiffParts(state) > 1);
}

bool ReadOpenDmlIndex(ParseState& state) {
    CAviParser& avi = state.avi;
    avi.m_nIndexKind = INDEX_KIND_OPENDML;
    avi.m_dwIndexTotalFrames = avi.m_VideoHeader.dwLength;
    avi.m_nIndexFrames = 0;
    avi.m_bIndexOK = false;
    avi.m_nKeyFrames = 0;
    avi.m_arKeyFrames.Restart(avi.m_MainHeader.dwMicroSecPerFrame);
    if (avi.m_bSkipIndex) return true;
    const ChunkResult result = OpenDmlKeyFrameReader(state).Run();
    if (result != ChunkResult::Whole) return false;
    avi.m_bIndexOK = avi.m_nIndexFrames == avi.m_dwIndexTotalFrames;
    return true;
}

}  // namespace plovik
