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
    m_avi.m_arKeyFrames.Restart(avi.m_MainHeader.dwMicroSecPerFrame);
}

}  // namespace plovik
