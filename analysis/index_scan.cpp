#include "index_scan.h"

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

KeyFrameRecorder::KeyFrameRecorder(CAviParser& avi) : m_avi(avi), m_chunks{{0, 0, false, 0}} {
    m_avi.m_nKeyFrames = 0;
    m_avi.m_arKeyFrames.clear();
}

void KeyFrameRecorder::StartChunk(std::uint32_t videosBefore, std::uint64_t dataBase) {
    if (m_chunks.back().firstKey == m_avi.m_nKeyFrames) m_chunks.pop_back();  // it has none
    m_chunks.push_back({m_avi.m_nKeyFrames, videosBefore, true, dataBase});
}

void KeyFrameRecorder::Complete() {
    std::vector<KEYFRAMEINFO>& records = m_avi.m_arKeyFrames;
    const std::uint32_t count = m_avi.m_nKeyFrames;
    if (records.size() == count) return;
    records.reserve(count);
    for (std::size_t c = 0; c < m_chunks.size(); ++c) {
        const Chunk chunk = m_chunks[c];
        const std::size_t end = c + 1 < m_chunks.size() ? m_chunks[c + 1].firstKey : count;
        for (std::size_t k = std::max<std::size_t>(records.size(), chunk.firstKey); k < end; ++k) {
            const auto note = std::bit_cast<std::uint64_t>(m_avi.m_arKeyTimes[k]);
            const std::uint32_t videoCount =
                chunk.videosBefore + static_cast<std::uint32_t>(note >> 32);
            records.push_back(Record(chunk, videoCount, static_cast<std::uint32_t>(note)));
            m_avi.m_arKeyTimes[k] = records.back().dTime;
        }
    }
}

void KeyFrameRecorder::DropTo(std::uint32_t count) {
    if (count >= m_avi.m_nKeyFrames) return;
    std::fill(m_avi.m_arKeyTimes.begin() + count, m_avi.m_arKeyTimes.begin() + m_avi.m_nKeyFrames,
              0.0);
    if (m_avi.m_arKeyFrames.size() > count) m_avi.m_arKeyFrames.resize(count);
    m_avi.m_nKeyFrames = count;
    while (m_chunks.size() > 1 && m_chunks.back().firstKey > count) m_chunks.pop_back();
}

// Past the array's length: it grows by one entry per key frame from here on.
void KeyFrameRecorder::AddPastTheArray(std::uint32_t videoCount, std::uint32_t chunkOffset) {
    Complete();
    m_avi.m_arKeyFrames.push_back(Record(m_chunks.back(), videoCount, chunkOffset));
    m_avi.m_arKeyTimes.push_back(m_avi.m_arKeyFrames.back().dTime);
    ++m_avi.m_nKeyFrames;
}

// Key frame of video entry number videoCount: the first one is at time 0. The frame
// chunk's header stands 8 bytes before its data.
KEYFRAMEINFO KeyFrameRecorder::Record(const Chunk& chunk, std::uint32_t videoCount,
                                      std::uint32_t chunkOffset) const {
    // The product is exact in 64 bits, scaled in extended precision, stored as a double.
    const std::uint64_t micros =
        std::uint64_t{videoCount - 1} * std::uint64_t{m_avi.m_MainHeader.dwMicroSecPerFrame};
    const auto seconds =
        static_cast<double>(static_cast<long double>(micros) * static_cast<long double>(1e-6));
    return {seconds, chunkOffset, 0, chunk.hasDataBase ? chunk.dataBase + chunkOffset - 8 : 0};
}

}  // namespace plovik
