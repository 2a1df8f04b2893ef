#include "kept_chunks.h"
#include "plovik/chunk_ids.h"

#include <algorithm>

namespace plovik {
namespace {

std::string CodecName(FOURCC fcc) {
    std::string name = FourCCToString(fcc);
    while (!name.empty() && name.back() == ' ') name.pop_back();
    return name;
}

// The idx1 flags besides the key flag that writers set and the copy keeps, one bit each of
// KeptChunk::kOtherFlags: AVIIF_TWOCC, AVIIF_FIRSTPART, AVIIF_LASTPART, AVIIF_NOTIME.
constexpr std::array<std::uint32_t, 4> kKeptIndexFlags = {0x02, 0x20, 0x40, 0x100};

std::uint64_t OtherIndexFlags(std::uint32_t indexFlags) {
    std::uint64_t bits = 0;
    for (std::size_t i = 0; i < kKeptIndexFlags.size(); ++i) {
        if ((indexFlags & kKeptIndexFlags[i]) != 0) bits |= std::uint64_t{1} << i;
    }
    return bits << KeptChunk::kOtherFlagsShift;
}

}  // namespace

int KeptChunk::Stream() const { return StreamOfChunk(id); }

bool KeptChunk::Counted() const {
    return Indexed() && StreamChunkKindOf(id) == StreamChunkKind::kUnit;
}

ChunkKeeper::ChunkKeeper(const CAviParser& avi, bool keepDamagedFrames, bool listedOnly)
    : m_keepDamagedFrames(keepDamagedFrames),
      m_listed(listedOnly ? static_cast<int>(avi.m_arStreams.size()) : kMaxStreamLists),
      m_keptVideo(avi.m_Layout.nVideoStream) {
    const StreamTallies& streams = avi.m_arStreams;
    const std::size_t count = std::min<std::size_t>(streams.size(), kMaxStreamLists);
    for (std::size_t s = 0; s < count; ++s) {
        const StreamTally& stream = streams[s];
        if (!stream.IsVideo()) continue;
        m_video[s] = true;
        const VideoFamily family = VideoFamilyOf(stream.header.fccHandler, stream.compression);
        m_kinds[s] = TellsFrameType(family) ? family : VideoFamily::kUnknown;
        m_intraOnly[s] = IsIntraOnly(family);
        m_codec[s] = stream.compression != 0 ? stream.compression : stream.header.fccHandler;
        const bool kept = static_cast<int>(s) == m_keptVideo;
        if (!kept && m_kinds[s] != VideoFamily::kUnknown && !IsIntraOnly(m_kinds[s])) {
            m_headBytes = kFramePeekBytes;
        }
    }
}

void ChunkKeeper::Chunk(const SCANCHUNK& chunk) {
    if (chunk.fccId == kList) {
        // A "rec " list is kept as its chunks, which the walk tells next; another whole.
        if (chunk.fccListType != kRec) Keep(chunk, 0);
        return;
    }
    // The old index chunks point into the old layout: the copy gets new ones.
    if (IsIndexChunkId(chunk.fccId)) return;
    if (!IsStreamChunkId(chunk.fccId)) return Keep(chunk, 0);  // "JUNK" and the like
    const int stream = StreamOfChunk(chunk.fccId);
    if (stream >= m_listed) return;
    const bool video = m_video[static_cast<std::size_t>(stream)];
    // Other streams' chunks keep the original index's flag (writers clear it on empty audio
    // chunks); without one every chunk is where playback can start.
    const bool key =
        video ? chunk.dwSize != 0 && VideoKey(stream, chunk) : chunk.mark != IndexMark::kDelta;
    Keep(chunk, KeptChunk::kIndexed | (key ? KeptChunk::kKey : 0) |
                    OtherIndexFlags(chunk.indexFlags) | DamagedFrameFlags(stream, chunk));
}

// A damaged frame of an intra-only codec is emptied unless asked to be kept; any other is
// kept (its decoder conceals it).
std::uint64_t ChunkKeeper::DamagedFrameFlags(int stream, const SCANCHUNK& chunk) {
    if (chunk.frame != FrameState::kDamaged) return 0;
    m_damagedTold.push_back(chunk.qwPosition);
    return DamagedFrameFlags(stream);
}

std::uint64_t ChunkKeeper::DamagedFrameFlags(int stream) {
    if (m_keepDamagedFrames || !m_intraOnly[static_cast<std::size_t>(stream)]) {
        ++damaged.kept;
        return 0;
    }
    ++damaged.emptied;
    return KeptChunk::kEmptied;
}

// The original index's entry for the same chunk, else the frame's own bytes, else key.
bool ChunkKeeper::VideoKey(int stream, const SCANCHUNK& chunk) {
    if (chunk.mark != IndexMark::kNone) {
        ++keys.fromIndex;
        return chunk.mark == IndexMark::kKey;
    }
    const VideoFamily kind = m_kinds[static_cast<std::size_t>(stream)];
    std::optional<bool> key = chunk.frameKey;
    if (IsIntraOnly(kind)) {
        key = true;
    } else if (!key && stream != m_keptVideo && kind != VideoFamily::kUnknown) {
        key = PeekFrame(kind, chunk.head).key;  // the scan reads the kept video stream's only
    }
    if (key) {
        ++keys.fromBitstream;
        return *key;
    }
    if (keys.assumed++ == 0) {
        keys.assumedFourCC = CodecName(m_codec[static_cast<std::size_t>(stream)]);
    }
    return true;
}

std::uint32_t KeptChunk::Idx1Flags() const {
    std::uint32_t flags = Key() ? AVIIF_KEYFRAME : 0;
    const std::uint64_t bits = (word & kOtherFlags) >> kOtherFlagsShift;
    for (std::size_t i = 0; i < kKeptIndexFlags.size(); ++i) {
        if ((bits >> i) & 1) flags |= kKeptIndexFlags[i];
    }
    return flags;
}

void ChunkKeeper::Keep(const SCANCHUNK& chunk, std::uint64_t flags) {
    chunks.push_back(
        {(chunk.qwPosition & KeptChunk::kPositionBits) | flags, chunk.fccId, chunk.dwSize});
}

void ChunkKeeper::Damaged(std::uint64_t, std::uint64_t length) { bytesLeftOut += length; }

void ChunkKeeper::TakeLateDamage(std::span<const DAMAGEDFRAME> frames) {
    auto byPosition = [](const KeptChunk& chunk, std::uint64_t at) {
        return chunk.Position() < at;
    };
    for (const DAMAGEDFRAME& frame : frames) {
        if (std::binary_search(m_damagedTold.begin(), m_damagedTold.end(), frame.qwPosition)) {
            continue;
        }
        const auto chunk =
            std::lower_bound(chunks.begin(), chunks.end(), frame.qwPosition, byPosition);
        if (chunk == chunks.end() || chunk->Position() != frame.qwPosition || !chunk->Indexed() ||
            chunk->Stream() != static_cast<int>(frame.nStream)) {
            continue;
        }
        chunk->word |= DamagedFrameFlags(static_cast<int>(frame.nStream));
    }
}

}  // namespace plovik
