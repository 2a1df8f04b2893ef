// Values derived from a movie-data scan, for the report's data-check section and for
// machine-readable output.
#pragma once

#include <cstdint>
#include <optional>

#include "plovik/avi_parser.h"
#include "plovik/movie_scan.h"

namespace plovik {

struct ScanValues {
    std::uint64_t videoFrames;     // present, empty ones included
    std::uint32_t expectedFrames;  // the video stream header's dwLength
    double presentPercent;         // frames present x 100 / expected; 0.0 without a length
    // Seconds of the audio present: bytes / nAvgBytesPerSec; none without audio or a rate.
    std::optional<double> audioTime;
    // The smaller of the video time of the frames present (count x dwScale / dwRate) and
    // the audio time. A stream whose time has no rate to it does not limit the other;
    // none when neither has one.
    std::optional<double> playableTime;
    // The same three in whole seconds (truncated), as the report shows them; 0 for none.
    std::uint64_t audioSeconds;
    std::uint64_t playableSeconds;
    // The video header's duration (dwLength x dwScale / dwRate) in whole seconds; none
    // without a rate.
    std::optional<std::uint64_t> headerSeconds;
};

ScanValues ComputeScanValues(const CAviParser& avi, const CMovieScan& scan);

}  // namespace plovik
