// The report's data-check section, written after a movie-data scan.
#include <algorithm>
#include <optional>

#include "plovik/format.h"
#include "plovik/movie_scan.h"
#include "plovik/report.h"
#include "plovik/scan_values.h"
#include "report_lines.h"

namespace plovik {
namespace {

// count x times / over in whole units, truncated, without overflowing on the way;
// nothing when over is 0.
std::optional<std::uint64_t> Scaled(std::uint64_t count, std::uint32_t times, std::uint32_t over) {
    if (over == 0) return std::nullopt;
    const std::uint64_t whole = count / over;
    if (times != 0 && whole > UINT64_MAX / times) return UINT64_MAX;
    return whole * times + count % over * times / over;
}

// count x times / over in seconds; nothing when over is 0.
std::optional<double> Seconds(std::uint64_t count, std::uint32_t times, std::uint32_t over) {
    if (over == 0) return std::nullopt;
    return static_cast<double>(count) * times / over;
}

// The smaller of two times, where a time that is missing does not limit the other.
template <class T>
std::optional<T> Smaller(const std::optional<T>& a, const std::optional<T>& b) {
    if (a && b) return std::min(*a, *b);
    return a ? a : b;
}

}  // namespace

ScanValues ComputeScanValues(const CAviParser& avi, const CMovieScan& scan) {
    const AVISTREAMHEADER& video = avi.m_VideoHeader;
    const std::uint32_t audioRate = avi.m_nAudioStream >= 0 ? avi.m_AudioFormat.nAvgBytesPerSec : 0;
    ScanValues v{};
    v.videoFrames = scan.m_qwVideoFrames;
    v.expectedFrames = video.dwLength;
    if (video.dwLength != 0) v.presentPercent = scan.m_qwVideoFrames * 100.0 / video.dwLength;
    v.audioTime = Seconds(scan.m_qwAudioBytes, 1, audioRate);
    v.playableTime =
        Smaller(Seconds(scan.m_qwVideoFrames, video.dwScale, video.dwRate), v.audioTime);
    // Whole seconds from integers: a double would round a huge count on the way.
    const std::optional<std::uint64_t> audioSeconds = Scaled(scan.m_qwAudioBytes, 1, audioRate);
    v.audioSeconds = audioSeconds.value_or(0);
    v.playableSeconds =
        Smaller(Scaled(scan.m_qwVideoFrames, video.dwScale, video.dwRate), audioSeconds)
            .value_or(0);
    v.headerSeconds = Scaled(video.dwLength, video.dwScale, video.dwRate);
    return v;
}

void AddScanSection(CReportArea& area, const CAviParser& avi, const CMovieScan* scanned) {
    area.AddReportLine("%s", "");
    area.AddReportLine("* 데이터 검사");
    if (scanned == nullptr) return area.AddReportLine("%s", FailureMessage(PARSE_ERR_OPEN));
    const CMovieScan& scan = *scanned;
    const ScanValues v = ComputeScanValues(avi, scan);
    area.AddLabelLine("영상 프레임 수", "%s / %s (%.1f%%)",
                      FormatUnsignedNumber(v.videoFrames).c_str(),
                      FormatUnsignedNumber(v.expectedFrames).c_str(), v.presentPercent);
    area.AddLabelLine("빈 프레임 수", "%s", FormatUnsignedNumber(scan.m_qwEmptyFrames).c_str());
    area.AddLabelLine("소리 데이터", "%s 바이트 (%s 초)",
                      FormatUnsignedNumber(scan.m_qwAudioBytes).c_str(),
                      FormatUnsignedNumber(v.audioSeconds).c_str());
    area.AddLabelLine("재생 가능 시간", "%s (%s 초)", ClockText(v.playableSeconds).c_str(),
                      FormatUnsignedNumber(v.playableSeconds).c_str());
    if (scan.m_qwDamagedRegions == 0) {
        area.AddLabelLine("손상 구간", "%s", "없음");
    } else {
        area.AddLabelLine("손상 구간", "%s곳 (처음 %s 바이트, 건너뛴 데이터 %s 바이트)",
                          FormatUnsignedNumber(scan.m_qwDamagedRegions).c_str(),
                          FormatUnsignedNumber(scan.m_arDamagedRegions.front().qwPosition).c_str(),
                          FormatUnsignedNumber(scan.m_qwDamagedBytes).c_str());
    }
    if (!scan.m_bIndexChecked) return;
    if (scan.m_qwIndexMismatches == 0) {
        area.AddLabelLine("인덱스 대조", "%s", "일치");
    } else {
        area.AddLabelLine("인덱스 대조", "%s개 항목 불일치",
                          FormatUnsignedNumber(scan.m_qwIndexMismatches).c_str());
    }
}

}  // namespace plovik
