// The values the report derives from the analyser's raw header fields, for every
// output that must show the same numbers as the report.
#pragma once

#include <cstdint>
#include <span>

namespace plovik {

class CAviParser;

// Derived values of the file and video sections, from the raw header fields.
struct Rates {
    std::int32_t runningTime;       // T, whole seconds; -1 when the video rate is 0
    std::uint64_t kiloBytesPerSec;  // K
    std::int32_t framesPerSec;      // F
    std::int32_t videoKbps;         // V, signed view of an unsigned wrap
    std::int32_t audioKbps;         // A
};

Rates ComputeRates(const CAviParser& avi);

struct KeyFrameStats {
    double mean = 0.0;
    double deviation = 0.0;
    double maximum = 0.0;
    bool variable = false;
};

// Statistics of the intervals between the first count key-frame times.
KeyFrameStats ComputeKeyFrameStats(std::span<const double> times, std::uint32_t count);

}  // namespace plovik
