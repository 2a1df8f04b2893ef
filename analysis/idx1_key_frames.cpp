// The "idx1" index: 16-byte entries (id, flags, offset, length) of the first RIFF
// part. Entries are looked at 32 at a time through bit masks, straight from the read
// buffer, and one by one only where a clock check falls.
#include <bit>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#include "idx1_index.h"
#include "index_read.h"
#include "parse_state.h"
#include "riff_reader.h"

namespace plovik {
namespace {

constexpr std::size_t kEntryBytes = kIdx1EntryBytes;
constexpr FOURCC kAudio = StreamChunkId(1, "wb");  // takes part in the clock check only

// The number of set bits, in plain arithmetic: std::popcount becomes a library call
// where the baseline instruction set has no such instruction.
constexpr std::uint32_t CountBits(std::uint32_t x) {
    x = x - ((x >> 1) & 0x55555555u);
    x = (x & 0x33333333u) + ((x >> 2) & 0x33333333u);
    x = (x + (x >> 4)) & 0x0F0F0F0Fu;
    return (x * 0x01010101u) >> 24;
}
static_assert(CountBits(0) == 0 && CountBits(0xFFFFFFFFu) == 32 && CountBits(0x80000101u) == 3);

// The first 8 bytes of an entry: the id in the low half, the flags in the high.
std::uint64_t LoadIdAndFlags(const std::uint8_t* entry) {
    if constexpr (std::endian::native == std::endian::little) {
        std::uint64_t value;
        std::memcpy(&value, entry, sizeof value);
        return value;
    } else {
        return std::uint64_t{LoadLe32(entry + 4)} << 32 | LoadLe32(entry);
    }
}

struct BlockSummary {
    std::uint32_t videos;     // video entries
    std::uint32_t videoMask;  // bit i: entry i is one of them
    std::uint32_t keyMask;    // bit i: entry i is one of them and a key frame
};

// Which entries of a block are video frames, and which of those are key frames.
// Branch-free so that the compiler vectorises it.
BlockSummary SummariseBlock(const std::uint8_t* entries) {
    std::uint32_t videoMask = 0;
    std::uint32_t flagMask = 0;
    for (std::size_t i = 0; i < kIndexBlock; ++i) {
        // Id and flags as one word: the vectoriser gathers them with fewer shuffles.
        const std::uint64_t idAndFlags = LoadIdAndFlags(entries + i * kEntryBytes);
        const std::uint32_t isVideo = IsVideoEntry(static_cast<FOURCC>(idAndFlags));
        const auto isFlagged = static_cast<std::uint32_t>(idAndFlags >> 36) & 1;  // flag 0x10
        videoMask |= kEntryBits[i] & (0u - isVideo);
        flagMask |= kEntryBits[i] & (0u - isFlagged);
    }
    return {CountBits(videoMask), videoMask, videoMask & flagMask};
}

// The first video stream, when stream 0 is not a video stream: an index without "00dc" and
// "00db" entries counts that stream's frames in their place. -1 when there is no such stream.
int SecondChoiceVideo(const CAviParser& avi) {
    const StreamTallies& streams = avi.m_arStreams;
    if (streams.empty() || streams[0].IsVideo()) return -1;
    for (std::size_t s = 1; s < streams.size(); ++s) {
        if (streams[s].IsVideo()) return static_cast<int>(s);
    }
    return -1;
}

// The frames of the second-choice video stream, counted beside stream 0's in the same pass.
struct SecondChoice {
    struct Key {
        std::uint32_t videoCount;
        std::uint32_t offset;
    };
    int stream = -1;
    std::uint32_t frames = 0;
    std::vector<Key> keys;

    void Entry(FOURCC id, std::uint32_t flags, std::uint32_t offset) {
        if (!IsVideoFrameOf(id, stream)) return;
        ++frames;
        if ((flags & AVIIF_KEYFRAME) != 0) keys.push_back({frames, offset});
    }
};

class Idx1KeyFrameReader {
  public:
    Idx1KeyFrameReader(CAviParser& avi, ByteSource& source, const ParseExtras& extras)
        : m_avi(avi),
          m_source(source),
          m_keys(avi),
          m_clock(avi.m_dwTimeout),
          m_kept(extras.keptIdx1) {
        if (extras.indexTallies) m_tallies.emplace();
        m_second.stream = SecondChoiceVideo(avi);
    }

    // Scans nBytes of entries; false when they end early or the time runs out.
    bool Run(std::uint32_t nBytes) {
        const std::size_t entryBytes = nBytes / kEntryBytes * kEntryBytes;
        if (m_kept) {
            m_kept->clear();
            if (entryBytes <= kKeptIdx1Bytes) m_kept->reserve(entryBytes);
        }
        const bool whole = ScanRuns(Idx1Reader(m_source, nBytes / kEntryBytes));
        // Only an index kept whole stands for the one in the file.
        if (m_kept && m_kept->size() != entryBytes) m_kept->clear();
        // Whether the scan ended or stopped early, what it found stands.
        if (m_videoCount == 0 && m_second.frames != 0) {
            for (const SecondChoice::Key& key : m_second.keys)
                m_keys.Add(key.videoCount, key.offset);
            m_videoCount = m_second.frames;
        }
        m_avi.m_nIndexFrames = m_videoCount;
        if (m_tallies) m_tallies->CopyTo(m_avi.m_arStreams);
        if (!whole) return false;
        // Bytes that do not make a whole entry: the index is damaged. Nothing after the
        // chunk is read as an entry.
        if (nBytes % kEntryBytes != 0) return false;
        m_avi.m_bIndexOK = m_videoCount == m_avi.m_dwIndexTotalFrames;
        return true;
    }

  private:
    // Entries are taken in runs straight from the read buffer: the same bytes in the
    // same order as one 16-byte read per entry, without a copy or a call for each.
    bool ScanRuns(Idx1Reader entries) {
        for (std::span<const std::uint8_t> run = entries.NextRun(); !run.empty();
             run = entries.NextRun()) {
            const std::size_t count = run.size() / kEntryBytes;
            std::size_t taken = 0;
            const bool inTime = ScanEntries(run.data(), count, taken);
            TallyEntries(run.data(), taken);
            Keep(run.first(taken * kEntryBytes));
            if (!inTime) {
                // Stop right after the entry that found the time passed.
                entries.GiveBack(count - taken);
                TraceTimeOver();
                return false;
            }
        }
        return !entries.EndedEarly();  // ending early: a failed entry read
    }

    // The entries' bytes, when asked for and while they fit.
    void Keep(std::span<const std::uint8_t> entries) {
        if (m_kept && m_kept->size() + entries.size() <= kKeptIdx1Bytes) {
            m_kept->insert(m_kept->end(), entries.begin(), entries.end());
        }
    }

    // Every stream's tally, when asked for, and the second-choice video stream's frames,
    // from count entries.
    void TallyEntries(const std::uint8_t* entries, std::size_t count) {
        if (m_tallies) {
            for (std::size_t i = 0; i < count; ++i) {
                const std::uint8_t* entry = entries + i * kEntryBytes;
                m_tallies->Add(Idx1Id(entry), Idx1Size(entry),
                               (Idx1Flags(entry) & AVIIF_KEYFRAME) != 0);
            }
        }
        if (m_second.stream < 0) return;
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint8_t* entry = entries + i * kEntryBytes;
            m_second.Entry(Idx1Id(entry), Idx1Flags(entry), Idx1Offset(entry));
        }
    }

    // Scans count entries; false when the time limit has passed, with taken the number
    // of entries up to and including the one whose clock check found it.
    bool ScanEntries(const std::uint8_t* entries, std::size_t count, std::size_t& taken) {
        std::size_t i = 0;
        for (; i + kIndexBlock <= count; i += kIndexBlock) {
            const std::uint8_t* block = entries + i * kEntryBytes;
            const BlockSummary summary = SummariseBlock(block);
            if (m_clock.Timed() && m_videoCount + summary.videos >= m_checkAt) {
                // A clock check falls in this block: its entries are taken one by one.
                for (std::size_t j = 0; j < kIndexBlock; ++j) {
                    if (!ScanEntry(block + j * kEntryBytes)) {
                        taken = i + j + 1;
                        return false;
                    }
                }
                continue;
            }
            if (summary.keyMask != 0) AddBlockKeyFrames(block, summary);
            m_videoCount += summary.videos;
        }
        for (; i < count; ++i) {  // the last few entries of the run
            if (!ScanEntry(entries + i * kEntryBytes)) {
                taken = i + 1;
                return false;
            }
        }
        taken = count;
        return true;
    }

    // One entry: video entries count and may be key frames; they and "01wb" take part
    // in the clock check; any other id is ignored. False when the time has passed.
    bool ScanEntry(const std::uint8_t* entry) {
        const FOURCC id = Idx1Id(entry);
        const bool isVideo = IsVideoEntry(id);
        if (!isVideo && id != kAudio) return true;
        if (isVideo) {
            ++m_videoCount;
            // Past the multiple of the clock step: the next one is due.
            if (m_videoCount > m_checkAt) m_checkAt += kClockCheckStep;
            if (Idx1Flags(entry) & AVIIF_KEYFRAME) m_keys.Add(m_videoCount, Idx1Offset(entry));
        }
        // The clock is read while the video count is a multiple of the step (0 included).
        return !(m_videoCount == m_checkAt && m_clock.Timed() && m_clock.TimeOver());
    }

    // The key frames of a block that starts after m_videoCount video entries.
    void AddBlockKeyFrames(const std::uint8_t* entries, const BlockSummary& summary) {
        for (std::uint32_t keys = summary.keyMask; keys != 0; keys &= keys - 1) {
            const int i = std::countr_zero(keys);
            // Video entries up to and including this one; the shift wraps to all bits at 31.
            const std::uint32_t upToHere = summary.videoMask & ((2u << i) - 1);
            const std::uint8_t* entry = entries + static_cast<std::size_t>(i) * kEntryBytes;
            m_keys.Add(m_videoCount + CountBits(upToHere), Idx1Offset(entry));
        }
    }

    CAviParser& m_avi;
    ByteSource& m_source;
    KeyFrameRecorder m_keys;
    IndexClock m_clock;
    std::optional<IndexTallies> m_tallies;  // when asked for
    SecondChoice m_second;
    std::vector<std::uint8_t>* m_kept;  // where the entries are kept, when asked for
    std::uint32_t m_videoCount = 0;     // video entries so far
    std::uint32_t m_checkAt = 0;        // the multiple of the clock step now or next due
};

}  // namespace

bool ReadIdx1(ParseState& state, std::uint32_t size) {
    CAviParser& avi = state.avi;
    avi.m_llIndexPos = state.source.Position() - 8;
    if (avi.m_llIndexPos % 2 != 0) avi.m_llIndexPos += 1;
    avi.m_llIndexSize = static_cast<std::int64_t>(Padded(size)) + 8;
    avi.m_nIndexKind = INDEX_KIND_IDX1;
    avi.m_dwIndexTotalFrames = avi.m_MainHeader.dwTotalFrames;
    avi.m_nIndexFrames = 0;
    state.idx1Met = true;
    if (state.extras.keptIdx1) state.extras.keptIdx1->clear();  // of an earlier "idx1"
    // A skipped index, or one whose results the whole-file index will replace, is
    // passed with one skip.
    if (avi.m_bSkipIndex || OpenDmlIndexReplacesIdx1(state)) {
        SkipPadded(state.source, size);
        return true;
    }
    avi.m_bIndexOK = false;
    return Idx1KeyFrameReader(avi, state.source, state.extras).Run(size);
}

}  // namespace plovik
