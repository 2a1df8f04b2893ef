// Probing a frame's own headers: each family's probe in turn, or the hinted one alone.
#include "plovik/stream_probe.h"

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
