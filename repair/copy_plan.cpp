#include "copy_plan.h"

#include <algorithm>

namespace plovik {
namespace {

// The common muxers' part size: the most a part holds, its headers and indexes included.
constexpr std::uint64_t kPartLimit = std::uint64_t{1} << 30;
constexpr std::uint64_t kListHeader = 12;  // "RIFF"/"LIST", size, type
constexpr std::uint64_t kIdx1Entry = 16;

// The stream's units a chunk adds: samples where the stream has a sample size, else one.
std::uint64_t UnitsOf(const KeptChunk& chunk, std::uint32_t sampleSize) {
    if (!chunk.Counted()) return 0;
    return sampleSize != 0 ? chunk.WrittenSize() : 1;
}

class PartSplitter {
  public:
    PartSplitter(CopyPlan& plan, std::uint64_t firstPartFixed)
        : m_plan(plan), m_used(firstPartFixed) {
        m_plan.parts.assign(1, CopyPart{});
    }

    void Add(std::size_t index, const KeptChunk& chunk) {
        std::uint64_t bytes = Cost(chunk);
        CopyPart* part = &m_plan.parts.back();
        if (m_plan.openDml && m_used + bytes > kPartLimit && index > part->first) {
            part->end = index;
            m_plan.parts.push_back(CopyPart{index, index});
            part = &m_plan.parts.back();
            m_used = 2 * kListHeader;
            bytes = Cost(chunk);
        }
        m_used += bytes;
        part->dataBytes += chunk.Bytes();
        if (!chunk.Indexed()) return;
        if (m_plan.parts.size() == 1 && m_plan.withIdx1) ++m_plan.idx1Entries;
        const int stream = chunk.Stream();
        if (!m_plan.openDml || stream >= static_cast<int>(m_plan.header.StreamLists())) return;
        const auto s = static_cast<std::size_t>(stream);
        ++part->entries[s];
        part->units[s] += UnitsOf(chunk, m_plan.header.SampleSize(s));
    }

    void End(std::size_t count) { m_plan.parts.back().end = count; }

  private:
    // What a chunk adds to its part: itself and its index entries (a standard index's
    // header with the first of its stream).
    std::uint64_t Cost(const KeptChunk& chunk) const {
        std::uint64_t bytes = chunk.Bytes();
        if (!chunk.Indexed()) return bytes;
        if (m_plan.parts.size() == 1 && m_plan.withIdx1) bytes += kIdx1Entry;
        const int stream = chunk.Stream();
        if (m_plan.openDml && stream < static_cast<int>(m_plan.header.StreamLists())) {
            const bool first = m_plan.parts.back().entries[static_cast<std::size_t>(stream)] == 0;
            bytes += 8 + (first ? 32 : 0);
        }
        return bytes;
    }

    CopyPlan& m_plan;
    std::uint64_t m_used;
};

std::uint64_t FirstPartFixed(const CopyPlan& plan) {
    std::uint64_t bytes = kListHeader;  // "RIFF" size "AVI "
    for (const TopItem& item : plan.items) {
        if (item.kind == TopItem::kCopy) bytes += item.bytes;
        if (item.kind == TopItem::kHeaderList) bytes += plan.header.WrittenBytes();
        // "movi" and "idx1" headers
        if (item.kind == TopItem::kMovie) bytes += kListHeader + (plan.withIdx1 ? 8 : 0);
    }
    return bytes;
}

std::uint64_t IndexBytes(const CopyPart& part) {
    std::uint64_t bytes = 0;
    for (const std::uint32_t entries : part.entries) bytes += CopyPlan::StandardIndexBytes(entries);
    return bytes;
}

// Positions and sizes from the split; false when a part is too large for its size field.
bool SetPositions(CopyPlan& plan) {
    std::uint64_t position = 0;
    plan.indexEntries = plan.idx1Entries;
    for (std::size_t p = 0; p < plan.parts.size(); ++p) {
        CopyPart& part = plan.parts[p];
        part.position = position;
        const std::uint64_t movi = kListHeader + part.dataBytes + IndexBytes(part);
        if (p == 0) {
            part.bytes = FirstPartFixed(plan) + part.dataBytes + IndexBytes(part) +
                         kIdx1Entry * plan.idx1Entries;
            std::uint64_t before = kListHeader;
            for (const TopItem& item : plan.items) {
                if (item.kind == TopItem::kMovie) break;
                before += item.kind == TopItem::kCopy ? item.bytes : plan.header.WrittenBytes();
            }
            part.moviPosition = position + before;
        } else {
            part.bytes = kListHeader + movi;
            part.moviPosition = position + kListHeader;
        }
        for (const std::uint32_t entries : part.entries) plan.indexEntries += entries;
        if (part.bytes - 8 > UINT32_MAX) return false;
        position += part.bytes;
    }
    plan.outputSize = position;
    return true;
}

void Split(CopyPlan& plan, const std::vector<KeptChunk>& chunks) {
    plan.idx1Entries = 0;
    PartSplitter splitter(plan, FirstPartFixed(plan));
    for (std::size_t i = 0; i < chunks.size(); ++i) splitter.Add(i, chunks[i]);
    splitter.End(chunks.size());
}

// The most parts any stream has chunks in: the entries its super index needs.
std::uint32_t SuperIndexEntries(const CopyPlan& plan) {
    std::array<std::uint32_t, kMaxStreamLists> parts{};
    for (const CopyPart& part : plan.parts) {
        for (std::size_t s = 0; s < kMaxStreamLists; ++s) parts[s] += part.entries[s] != 0;
    }
    return *std::max_element(parts.begin(), parts.end());
}

}  // namespace

bool PlanParts(CopyPlan& plan, const std::vector<KeptChunk>& chunks) {
    plan.openDml = plan.header.HasSuperIndex();
    if (!plan.openDml) {
        Split(plan, chunks);
        if (!SetPositions(plan)) return false;
        if (plan.outputSize <= kPartLimit) return true;
        plan.openDml = true;
    }
    // The header list's size depends on the super indexes' room, the split on that size:
    // grown until the room holds every part (a step or two).
    const HeaderList original = plan.header;
    std::uint32_t room = 1;
    for (;;) {
        plan.header = original;
        plan.header.MakeRoomForSuperIndexes(room);
        Split(plan, chunks);
        const std::uint32_t needed = SuperIndexEntries(plan);
        if (needed <= room) break;
        room = needed;
    }
    return SetPositions(plan);
}

}  // namespace plovik
