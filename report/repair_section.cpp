// The repair section, after a repaired copy was asked for.
#include "plovik/repair_section.h"

#include <string_view>
#include <utility>

#include "plovik/format.h"
#include "plovik/repair_summary.h"

namespace plovik {
namespace {

const char* WhyNot(RepairStatus status) {
    switch (status) {
        case RepairStatus::kNotRepairable:
            return "복구할 수 없는 파일입니다";
        case RepairStatus::kRefused:
            return "그 이름으로는 저장할 수 없습니다";
        case RepairStatus::kStopped:
            return "중지되었습니다";
        default:
            return "복구 중에 오류가 났습니다";
    }
}

std::string Number(std::uint64_t value) { return FormatUnsignedNumber(value); }

std::string HeadersFromText(const RepairSummary& summary) {
    switch (summary.headersFrom) {
        case HeadersFrom::kReference:
            return "참조 파일 " + summary.reference;
        case HeadersFrom::kOwnList:
            return "파일의 헤더 목록";
        case HeadersFrom::kNone:
        case HeadersFrom::kData:
            break;
    }
    return "영상 데이터에서 추정";
}

// "프레임 속도(스트림 0), 소리 형식(스트림 1)": the fields nothing in the data told.
std::string AssumedFields(const RepairSummary& summary) {
    static constexpr std::pair<std::string_view, const char*> kNames[] = {
        {"codec", "코덱"},
        {"picture size", "화면 크기"},
        {"frame rate", "프레임 속도"},
        {"audio format", "소리 형식"}};
    std::string text;
    for (const RebuiltField& field : summary.rebuilt) {
        if (!field.assumed) continue;
        std::string name = field.field;
        for (const auto& [english, korean] : kNames) {
            if (english == field.field) name = korean;
        }
        if (!text.empty()) text += ", ";
        text += name + "(스트림 " + std::to_string(field.stream) + ")";
    }
    return text.empty() ? "없음" : text;
}

}  // namespace

void AddRepairSection(CReportArea& area, const std::string& outputPath,
                      const RepairSummary& summary) {
    area.AddReportLine("%s", "");
    area.AddReportLine("* 복구 결과");
    if (summary.status != RepairStatus::kWritten) {
        std::string why = WhyNot(summary.status);
        if (!summary.message.empty()) why += " (" + summary.message + ")";
        area.AddReportLine("    복구본을 만들지 못했습니다: %s", why.c_str());
        return;
    }
    area.AddLabelLine("저장한 파일", "%s", outputPath.c_str());
    if (summary.headersFrom != HeadersFrom::kNone) {
        area.AddLabelLine("헤더 재구성", "%s", HeadersFromText(summary).c_str());
        area.AddLabelLine("가정한 값", "%s", AssumedFields(summary).c_str());
    }
    area.AddLabelLine("영상 프레임 수", "%s", Number(summary.videoFrames).c_str());
    area.AddLabelLine("소리 데이터", "%s 바이트", Number(summary.audioBytes).c_str());
    if (summary.regionsLeftOut == 0) {
        area.AddLabelLine("제외한 구간", "%s", "없음");
    } else {
        area.AddLabelLine("제외한 구간", "%s곳 (%s 바이트)", Number(summary.regionsLeftOut).c_str(),
                          Number(summary.bytesLeftOut).c_str());
    }
    if (summary.secondMovie != 0) {
        area.AddLabelLine("뒤에 붙은 동영상", "%s 바이트 위치부터 (복구본에 넣지 않음)",
                          Number(summary.secondMovie).c_str());
    }
    area.AddLabelLine("인덱스 항목 수", "%s", Number(summary.indexEntries).c_str());
    std::string assumed = Number(summary.keysAssumed);
    if (summary.keysAssumed != 0 && !summary.assumedFourCC.empty()) {
        assumed += " (" + summary.assumedFourCC + ")";
    }
    area.AddLabelLine("키프레임 표시", "원래 인덱스 %s, 영상 데이터 %s, 추정 %s",
                      Number(summary.keysFromIndex).c_str(),
                      Number(summary.keysFromBitstream).c_str(), assumed.c_str());
}

}  // namespace plovik
