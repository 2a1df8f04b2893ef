#include "index_read.h"
#include "plovik/trace_sink.h"

#include <algorithm>
#include <atomic>
#include <chrono>

#include "tick_clock.h"

namespace plovik {
namespace {

constexpr std::uint32_t kLargestTimeLimit = 0xFFFFFFFF;

std::atomic<TraceSink> g_traceSink{nullptr};
std::atomic<TickSource> g_tickSource{nullptr};

// A millisecond counter that wraps at 32 bits, like the system tick count.
std::uint32_t TickCount() {
    if (TickSource source = g_tickSource.load()) return source();
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

}  // namespace

namespace {

// The stream number of each pair of first id bytes, kMaxStreamLists for a pair that is not
// two decimal digits; and whether each pair of last bytes names a frame or a piece of sound.
const auto kStreamOfFirstBytes = [] {
    std::array<std::uint8_t, 65536> slots{};
    for (std::size_t pair = 0; pair < slots.size(); ++pair) {
        const FOURCC id = static_cast<FOURCC>(pair) | (StreamChunkId(0, "dc") & 0xFFFF0000u);
        slots[pair] = IsStreamChunkId(id) ? static_cast<std::uint8_t>(StreamOfChunk(id))
                                          : static_cast<std::uint8_t>(kMaxStreamLists);
    }
    return slots;
}();
const auto kUnitLastBytes = [] {
    std::array<bool, 65536> units{};
    for (std::size_t pair = 0; pair < units.size(); ++pair) {
        const FOURCC id = static_cast<FOURCC>(pair) << 16 | (StreamChunkId(0, "dc") & 0xFFFFu);
        units[pair] = IsStreamChunkId(id) && StreamChunkKindOf(id) == StreamChunkKind::kUnit;
    }
    return units;
}();

}  // namespace

std::size_t IndexTallies::SlotOf(FOURCC id) {
    return kUnitLastBytes[id >> 16] ? kStreamOfFirstBytes[id & 0xFFFF] : kMaxStreamLists;
}

StreamTally::Index StreamEntryTally::Index() const {
    StreamTally::Index t;
    for (const Bucket& b : m_buckets) {
        t.entries += b.count;
        t.bytes += b.sum;
        t.largest = std::max(t.largest, b.max);
    }
    t.keyEntries = m_buckets[1].count + m_buckets[3].count;
    auto sizes = [](const Bucket& b) {
        return b.count == 0 ? SizeTally{} : SizeTally{b.count, b.min, b.max, b.sum};
    };
    t.deltaSizes = sizes(m_buckets[0]);
    t.keySizes = sizes(m_buckets[1]);
    return t;
}

void SetTraceSink(TraceSink sink) { g_traceSink.store(sink); }

void SetTickSource(TickSource source) { g_tickSource.store(source); }

void TraceTimeOver() {
    if (TraceSink sink = g_traceSink.load()) sink("key frame reading time over..");
}

IndexClock::IndexClock(std::uint32_t limit)
    : m_limit(limit), m_start(TickCount()), m_timed(limit != 0 && limit != kLargestTimeLimit) {}

bool IndexClock::TimeOver() const {
    const std::uint32_t elapsed = TickCount() - m_start;  // correct across the wrap
    return elapsed > m_limit;
}

KeyFrameRecorder::KeyFrameRecorder(CAviParser& avi) : m_avi(avi) {
    m_avi.m_nKeyFrames = 0;
    m_avi.m_arKeyFrames.Restart(avi.m_MainHeader.dwMicroSecPerFrame);
}

}  // namespace plovik
