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

KeyFrameRecorder::KeyFrameRecorder(CAviParser& avi) : m_avi(avi) {
    m_avi.m_nKeyFrames = 0;
    m_avi.m_arKeyFrames.clear();
}

void KeyFrameRecorder::StartChunk(std::uint32_t videosBefore, std::uint64_t dataBase) {
    Complete();
    m_noteOrigin = videosBefore;
    m_hasDataBase = true;
    m_dataBase = dataBase;
}

void KeyFrameRecorder::Complete() {
    std::vector<KEYFRAMEINFO>& records = m_avi.m_arKeyFrames;
    const std::size_t recorded = records.size();
    if (recorded == m_avi.m_nKeyFrames) return;
    records.reserve(m_avi.m_nKeyFrames);
    for (std::size_t k = recorded; k < m_avi.m_nKeyFrames; ++k) {
        const auto note = std::bit_cast<std::uint64_t>(m_avi.m_arKeyTimes[k]);
        const auto videoCount = m_noteOrigin + static_cast<std::uint32_t>(note >> 32);
        const auto chunkOffset = static_cast<std::uint32_t>(note);
        const double seconds = KeyFrameTime(videoCount);
        m_avi.m_arKeyTimes[k] = seconds;
        records.push_back({seconds, chunkOffset, 0, ChunkPosition(chunkOffset)});
    }
}

void KeyFrameRecorder::DropTo(std::uint32_t count) {
    if (count >= m_avi.m_nKeyFrames) return;
    std::fill(m_avi.m_arKeyTimes.begin() + count, m_avi.m_arKeyTimes.begin() + m_avi.m_nKeyFrames,
              0.0);
    if (m_avi.m_arKeyFrames.size() > count) m_avi.m_arKeyFrames.resize(count);
    m_avi.m_nKeyFrames = count;
}

// Past the array's length: it grows by one entry per key frame from here on.
void KeyFrameRecorder::AddPastTheArray(std::uint32_t videoCount, std::uint32_t chunkOffset) {
    Complete();
    const double seconds = KeyFrameTime(videoCount);
    m_avi.m_arKeyTimes.push_back(seconds);
    m_avi.m_arKeyFrames.push_back({seconds, chunkOffset, 0, ChunkPosition(chunkOffset)});
    ++m_avi.m_nKeyFrames;
}

// Time of video entry number videoCount (the first one is at time 0).
double KeyFrameRecorder::KeyFrameTime(std::uint32_t videoCount) const {
    // The product is exact in 64 bits, scaled in extended precision, stored as a double.
    const std::uint64_t micros =
        std::uint64_t{videoCount - 1} * std::uint64_t{m_avi.m_MainHeader.dwMicroSecPerFrame};
    return static_cast<double>(static_cast<long double>(micros) * static_cast<long double>(1e-6));
}

// The frame chunk's header stands 8 bytes before its data.
std::uint64_t KeyFrameRecorder::ChunkPosition(std::uint32_t chunkOffset) const {
    return m_hasDataBase ? m_dataBase + chunkOffset - 8 : 0;
}

}  // namespace plovik
