// Runs the analyser and then the movie-data scan on arbitrary bytes held in memory, once
// as they are and once as a file that shrank after opening (its reads end three quarters
// in). Every input must end in time, without a crash, a leak or a sanitizer report, and
// the results must hold together.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "byte_source.h"
#include "plovik/avi_parser.h"
#include "plovik/movie_scan.h"
#include "scan_reader.h"

namespace {

// Regions in file order, apart from one another; counts that contain each other.
bool HoldsTogether(const plovik::CMovieScan& scan) {
    std::uint64_t keptBytes = 0;
    std::uint64_t lastEnd = 0;
    for (const plovik::DAMAGEDREGION& region : scan.m_arDamagedRegions) {
        if (region.qwLength == 0 || (keptBytes > 0 && region.qwPosition <= lastEnd)) return false;
        keptBytes += region.qwLength;
        lastEnd = region.qwPosition + region.qwLength;
    }
    return scan.m_arDamagedRegions.size() <= plovik::kScanKeptRegions &&
           scan.m_arDamagedRegions.size() ==
               std::min<std::uint64_t>(scan.m_qwDamagedRegions, plovik::kScanKeptRegions) &&
           keptBytes <= scan.m_qwDamagedBytes && scan.m_qwEmptyFrames <= scan.m_qwVideoFrames &&
           scan.m_qwIndexMismatches <= scan.m_qwIndexEntries;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // One parser serves every input: a new one (with its 800 KB key-time array) would
    // dominate the time of each run.
    static plovik::CAviParser parser;
    parser.ParseFrom(plovik::MakeMemorySource(bytes), "input.avi", 0xFFFFFFFF, false);
    for (const std::size_t readable : {size, size - size / 4}) {
        const auto file = plovik::MakeMemoryRawFile(bytes.substr(0, readable), size);
        plovik::CMovieScan scan;
        scan.ScanFrom(*file, parser, [](std::uint64_t done, std::uint64_t total) {
            if (done > total) __builtin_trap();
        });
        if (!HoldsTogether(scan)) __builtin_trap();
    }
    return 0;
}
