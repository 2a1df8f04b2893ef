// The values that the JSON and CSV records share, in base units, taken from the analysis.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "file_result.h"
#include "plovik/avi_parser.h"
#include "plovik/movie_scan.h"

namespace plovik {

// Which groups of fields a file has, by how far its analysis came.
inline bool HasFileSize(FileStatus status) { return status != FileStatus::kOpenFailed; }
inline bool HasRiffSizes(FileStatus status) {
    return HasFileSize(status) && status != FileStatus::kNotAvi;
}
inline bool HasHeaders(FileStatus status) { return !GaveOnlyMessage(status); }

inline bool HasVideo(const CAviParser& avi) {
    return avi.m_VideoHeader.fccType == MakeFourCC("vids");
}
inline bool HasAudio(const CAviParser& avi) { return avi.m_nAudioStream >= 0; }

// Video length x scale / rate in seconds; none without a rate.
std::optional<double> DurationSeconds(const CAviParser& avi);
// Rate / scale; none without a scale.
std::optional<double> FrameRate(const CAviParser& avi);

// Four bytes as text; a byte that is not printable ASCII reads "[N]", N in decimal.
std::string FourCCText(FOURCC fcc);

// The catalogue's descriptions; none for a code the catalogue does not list.
std::optional<std::string> VideoCodecName(const CAviParser& avi);
std::optional<std::string> AudioFormatName(std::uint16_t formatTag);

// Index entries of the scan that name no chunk; none when the file has no index.
inline std::optional<std::uint64_t> ScanIndexMismatches(const CMovieScan& scan) {
    if (!scan.m_bIndexChecked) return std::nullopt;
    return scan.m_qwIndexMismatches;
}

// Text from a path or a file as the report shows it: valid UTF-8 stays, else CP949.
std::string DisplayText(const std::string& bytes);

}  // namespace plovik
