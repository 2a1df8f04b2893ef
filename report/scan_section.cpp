// The report's data-check section, written after a movie-data scan.
#include "plovik/format.h"
#include "plovik/report.h"
#include "report_lines.h"

namespace plovik {

void AddScanSection(CReportArea& area, const ScanFacts& scan) {
    area.AddReportLine("%s", "");
    area.AddReportLine("* 데이터 검사");
    area.AddLabelLine("영상 프레임 수", "%s / %s (%.1f%%)",
                      FormatUnsignedNumber(scan.videoFrames).c_str(),
                      FormatUnsignedNumber(scan.expectedFrames).c_str(), scan.presentPercent);
    area.AddLabelLine("빈 프레임 수", "%s", FormatUnsignedNumber(scan.emptyFrames).c_str());
    area.AddLabelLine("소리 데이터", "%s 바이트 (%s 초)",
                      FormatUnsignedNumber(scan.audioBytes).c_str(),
                      FormatUnsignedNumber(scan.audioSeconds).c_str());
    area.AddLabelLine("재생 가능 시간", "%s (%s 초)", ClockText(scan.playableSeconds).c_str(),
                      FormatUnsignedNumber(scan.playableSeconds).c_str());
    if (scan.damagedRegions == 0) {
        area.AddLabelLine("손상 구간", "%s", "없음");
    } else {
        area.AddLabelLine("손상 구간", "%s곳 (처음 %s 바이트, 건너뛴 데이터 %s 바이트)",
                          FormatUnsignedNumber(scan.damagedRegions).c_str(),
                          FormatUnsignedNumber(scan.regions.front().qwPosition).c_str(),
                          FormatUnsignedNumber(scan.damagedBytes).c_str());
    }
    if (!scan.indexMismatches) return;
    if (*scan.indexMismatches == 0) {
        area.AddLabelLine("인덱스 대조", "%s", "일치");
    } else {
        area.AddLabelLine("인덱스 대조", "%s개 항목 불일치",
                          FormatUnsignedNumber(*scan.indexMismatches).c_str());
    }
}

}  // namespace plovik
