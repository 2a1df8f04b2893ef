// Values derived from a movie-data scan, for the report's data-check section and for
// machine-readable output.
#pragma once

#include <cstdint>

#include "plovik/avi_parser.h"
#include "plovik/movie_scan.h"

namespace plovik {

struct ScanValues {
    std::uint64_t videoFrames;     // present, empty ones included
    std::uint32_t expectedFrames;  // the video stream header's dwLength
    double presentPercent;         // frames present x 100 / expected; 0.0 without a length
    std::uint64_t audioSeconds;    // audio bytes / nAvgBytesPerSec, truncated; 0 without a rate
    // The smaller of the video time (frames x dwScale / dwRate) and the audio time, in
    // whole seconds. A stream whose time has no rate to it does not limit the other.
    std::uint64_t playableSeconds;
};

ScanValues ComputeScanValues(const CAviParser& avi, const CMovieScan& scan);

}  // namespace plovik
