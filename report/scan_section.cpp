// The report's data-check section, written after a movie-data scan.
#include "plovik/format.h"
#include "plovik/report.h"
#include "report_lines.h"

namespace plovik {

namespace {

// "정상 (선행 0.50초, 소리 앞섬 최대 0.52초, 늦음 최대 0.04초)"
void AddInterleaveLine(CReportArea& area, const InterleaveFacts& interleave) {
    area.AddLabelLine("인터리브 상태", "%s (선행 %.2f초, 소리 앞섬 최대 %.2f초, 늦음 최대 %.2f초)",
                      interleave.interleaved ? "정상" : "불량", interleave.preload,
                      interleave.maxLead, interleave.maxLag);
}

// "키 9개 평균 10,771 바이트, 일반 91개 평균 718 바이트"
void AddFrameSizeLine(CReportArea& area, const FrameSizes& sizes) {
    auto mean = [](const FrameSizeStats& stats) {
        return FormatUnsignedNumber(static_cast<std::uint64_t>(stats.mean + 0.5));
    };
    area.AddLabelLine("프레임 크기", "키 %s개 평균 %s 바이트, 일반 %s개 평균 %s 바이트",
                      FormatUnsignedNumber(sizes.key.count).c_str(), mean(sizes.key).c_str(),
                      FormatUnsignedNumber(sizes.delta.count).c_str(), mean(sizes.delta).c_str());
}

}  // namespace

void AddScanSection(CReportArea& area, const FileFacts& facts) {
    if (!facts.scan) return;
    const ScanFacts& scan = *facts.scan;
    area.AddReportLine("%s", "");
    area.AddReportLine("* 데이터 검사");
    // The counts that follow end where the read failed.
    if (const std::optional<FileFailure>& failure = facts.readFailure) {
        area.AddLabelLine("읽기 실패", "%s 바이트 위치 (%s)",
                          FormatUnsignedNumber(failure->position).c_str(), failure->reason.c_str());
    }
    if (scan.expectedFrames) {
        area.AddLabelLine(
            "영상 프레임 수", "%s / %s (%.1f%%)", FormatUnsignedNumber(scan.videoFrames).c_str(),
            FormatUnsignedNumber(*scan.expectedFrames).c_str(), scan.presentPercent.value_or(0.0));
    } else {  // the header never got its count
        area.AddLabelLine("영상 프레임 수", "%s / %s",
                          FormatUnsignedNumber(scan.videoFrames).c_str(), "알수없음");
    }
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
    if (scan.damagedFrames == 0) {
        area.AddLabelLine("손상 프레임", "%s", "없음");
    } else {
        area.AddLabelLine("손상 프레임", "%s개 (처음 %s 바이트)",
                          FormatUnsignedNumber(scan.damagedFrames).c_str(),
                          FormatUnsignedNumber(scan.damagedFrameList.front().qwPosition).c_str());
    }
    if (scan.indexMismatches && *scan.indexMismatches == 0) {
        area.AddLabelLine("인덱스 대조", "%s", "일치");
    } else if (scan.indexMismatches) {
        area.AddLabelLine("인덱스 대조", "%s개 항목 불일치",
                          FormatUnsignedNumber(*scan.indexMismatches).c_str());
    }
    if (scan.interleave) AddInterleaveLine(area, *scan.interleave);
    const bool sized =
        facts.frameSizes && facts.frameSizes->key.count + facts.frameSizes->delta.count != 0;
    if (sized) AddFrameSizeLine(area, *facts.frameSizes);
    if (scan.keyFlagMismatches && *scan.keyFlagMismatches == 0) {
        area.AddLabelLine("키프레임 대조", "%s", "일치");
    } else if (scan.keyFlagMismatches) {
        area.AddLabelLine("키프레임 대조", "%s개 프레임 불일치",
                          FormatUnsignedNumber(*scan.keyFlagMismatches).c_str());
    }
}

}  // namespace plovik
