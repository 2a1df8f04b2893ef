#include "plovik/report_values.h"

#include <cmath>
#include <cstdint>

#include "plovik/avi_parser.h"
#include "plovik/format.h"

namespace plovik {

Rates ComputeRates(const CAviParser& avi) {
    const AVISTREAMHEADER& video = avi.m_VideoHeader;
    Rates r{};
    r.runningTime =
        MulDiv(static_cast<std::int32_t>(video.dwLength), static_cast<std::int32_t>(video.dwScale),
               static_cast<std::int32_t>(video.dwRate));
    // T is taken unsigned, so -1 divides by 4294967295; a T of 0 has no rate at all.
    const auto seconds = static_cast<std::uint32_t>(r.runningTime);
    r.kiloBytesPerSec = seconds == 0 ? 0 : avi.m_qwDataSize / seconds / 1000;
    r.framesPerSec = MulDiv(static_cast<std::int32_t>(video.dwRate), 1,
                            static_cast<std::int32_t>(video.dwScale));
    const std::uint32_t avgBytes = avi.m_AudioFormat.nAvgBytesPerSec;
    r.videoKbps = static_cast<std::int32_t>(
        (static_cast<std::uint32_t>(r.kiloBytesPerSec) - avgBytes / 1000) * 8u);
    r.audioKbps = static_cast<std::int32_t>(avgBytes * 8u / 1000);
    return r;
}

// Intervals between key frames: the first one is measured from 0.0, not from the
// first key frame. A single key frame has no interval and reads as all zeros.
KeyFrameStats ComputeKeyFrameStats(std::span<const double> times, std::uint32_t count) {
    KeyFrameStats stats;
    if (count < 2 || times.size() < count) return stats;
    const std::uint32_t n = count - 1;
    auto interval = [&](std::uint32_t k) { return times[k] - (k == 1 ? 0.0 : times[k - 1]); };
    double sum = 0.0;
    for (std::uint32_t k = 1; k <= n; ++k) {
        sum += interval(k);
        // As fmax for these values (never NaN, never below 0), without a call into libm.
        if (interval(k) > stats.maximum) stats.maximum = interval(k);
    }
    stats.mean = sum / n;
    double squares = 0.0;
    for (std::uint32_t k = 1; k <= n; ++k) {
        const double d = interval(k) - stats.mean;
        squares += d * d;
    }
    stats.deviation = std::sqrt(squares / n);
    stats.variable = stats.deviation > 0.1;
    return stats;
}

}  // namespace plovik
