// Probing a frame's own headers: each family's probe in turn, or the hinted one alone.
#include "plovik/stream_probe.h"

#include <numeric>

#include "checkers.h"

namespace plovik {

using namespace frames;

std::optional<ProbedVideo> ProbeVideoFrame(std::span<const std::uint8_t> frame, VideoFamily hint) {
    using Probe = std::optional<ProbedVideo> (*)(Bytes);
    struct Entry {
        VideoFamily family;
        Probe probe;
    };
    // The families with the most distinctive signatures first.
    static constexpr Entry kProbes[] = {
        {VideoFamily::kJpeg, ProbeJpeg},
        {VideoFamily::kDv, ProbeDv},
        {VideoFamily::kH264, ProbeH264},
        {VideoFamily::kMpeg4Part2, ProbeMpeg4},
    };
    for (const Entry& entry : kProbes) {
        if (hint != VideoFamily::kUnknown && hint != entry.family) continue;
        if (auto probed = entry.probe(frame)) return probed;
    }
    return std::nullopt;
}

std::optional<VopTime> ProbeVopTime(std::span<const std::uint8_t> frame, std::uint32_t resolution) {
    return FirstVopTime(frame, resolution);
}

// Each I- or P-VOP's time is its second, counted on from the one before, and its increment.
std::optional<ProbedRate> RateOfVopTimes(std::span<const VopTime> times, std::uint32_t resolution) {
    if (times.size() < 2 || resolution == 0) return std::nullopt;
    std::uint64_t second = 0;
    std::optional<std::uint64_t> last;
    std::optional<std::uint64_t> step;
    for (const VopTime& time : times) {
        if (time.bidirectional) return std::nullopt;
        second += time.seconds;
        const std::uint64_t ticks = second * resolution + time.increment;
        if (last) {
            if (ticks <= *last || (step && ticks - *last != *step)) return std::nullopt;
            step = ticks - *last;
        }
        last = ticks;
    }
    const std::uint64_t common = std::gcd(std::uint64_t{resolution}, *step);
    return ProbedRate{static_cast<std::uint32_t>(resolution / common),
                      static_cast<std::uint32_t>(*step / common), "MPEG-4 VOP time increments"};
}

std::optional<ProbedAudio> ProbeAudioChunk(std::span<const std::uint8_t> data, AudioFamily hint) {
    using Probe = std::optional<ProbedAudio> (*)(Bytes);
    struct Entry {
        AudioFamily family;
        Probe probe;
    };
    static constexpr Entry kProbes[] = {
        {AudioFamily::kAc3, ProbeAc3},
        {AudioFamily::kAac, ProbeAac},
        {AudioFamily::kMpegAudio, ProbeMpegAudio},
    };
    for (const Entry& entry : kProbes) {
        if (hint != AudioFamily::kUnknown && hint != entry.family) continue;
        if (auto probed = entry.probe(data)) return probed;
    }
    return std::nullopt;
}

}  // namespace plovik
