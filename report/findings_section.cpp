// The findings section, after the data-check section.
#include "plovik/findings_section.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "plovik/format.h"

namespace plovik {
namespace {

struct FindingTextEntry {
    std::string_view ruleId;
    std::string_view text;
};

// Rules of severity info are never shown; a rule missing here shows its English message.
constexpr FindingTextEntry kFindingTexts[] = {
    {"read.failed", "파일 읽기 실패"},
    {"file.open_failed", "파일을 열 수 없음"},
    {"file.not_avi", "AVI 파일이 아님"},
    {"avih.unreadable", "헤더를 읽을 수 없음"},
    {"hdrl.lost", "헤더를 잃었지만 영상 데이터가 남아 있음 (복구로 헤더를 다시 만들 수 있음)"},
    {"strl.unreadable", "스트림 정보를 읽을 수 없음"},
    {"riff.unfinished", "기록이 끝나지 않은 파일"},
    {"riff.truncated", "파일 끝이 잘림"},
    {"riff.chunk_overrun", "청크가 RIFF 영역 밖으로 넘침"},
    {"riff.trailing_data", "파일 끝에 쓰이지 않는 데이터"},
    {"riff.concatenated", "다른 동영상이 뒤에 이어 붙어 있음"},
    {"riff.unpadded_chunk", "홀수 크기 청크에 채움 바이트 없음"},
    {"riff.part_over_2gib", "RIFF 영역이 2GB 이상"},
    {"riff.file_over_4gib", "4GB가 넘는 파일이 RIFF 영역 하나에 있음"},
    {"odml.no_super_index", "상위 인덱스 없음"},
    {"odml.grand_frames", "dmlh의 전체 프레임 수가 실제와 다름"},
    {"avih.streams", "스트림 수가 헤더와 다름"},
    {"avih.total_frames", "전체 프레임 수가 헤더와 다름"},
    {"avih.frame_time", "프레임 시간이 영상 스트림과 다름"},
    {"strh.zero_rate", "스트림 속도가 0"},
    {"strh.invalid", "스트림 헤더가 잘못됨"},
    {"strf.frame_size", "화면 크기가 영상 형식과 다름"},
    {"strh.buffer_size", "권장 버퍼 크기가 가장 큰 청크보다 작음"},
    {"strh.length", "스트림 길이가 실제 데이터와 다름"},
    {"idx1.missing", "인덱스 없음"},
    {"index.damaged", "인덱스 손상"},
    {"index.mismatch", "인덱스 항목이 데이터와 맞지 않음"},
    {"index.no_key_frames", "키프레임 표시 없음"},
    {"index.out_of_order", "인덱스 순서가 어긋남"},
    {"idx1.mixed_offsets", "인덱스 위치 기준이 섞여 있음"},
    {"movi.damaged", "영상 데이터 손상"},
    {"frame.damaged", "프레임 손상 (구조가 깨진 프레임)"},
    {"movi.playable_short", "재생 가능 시간이 헤더보다 짧음"},
    {"movi.no_data", "영상 데이터 없음"},
    {"interleave.poor", "인터리브 표시와 달리 소리와 영상이 2초 넘게 어긋남"},
    {"audio.length", "소리와 영상 길이가 1초 넘게 다름"},
    {"audio.vbr_cbr_header", "고정 비트율 헤더에 가변 비트율 소리"},
    {"video.key_flags", "인덱스의 키프레임 표시가 실제 프레임과 다름"},
};

// " (위치 1,024부터 4,800 바이트)": where the finding applies, when it says.
std::string Where(const Finding& finding) {
    if (!finding.position) return {};
    std::string where = " (위치 " + FormatUnsignedNumber(*finding.position);
    if (finding.length) where += "부터 " + FormatUnsignedNumber(*finding.length) + " 바이트";
    return where + ")";
}

// The Korean text of a rule; empty for a rule without one.
std::string_view FindingText(std::string_view ruleId) {
    const auto* end = std::end(kFindingTexts);
    const auto* it = std::find_if(std::begin(kFindingTexts), end,
                                  [&](const FindingTextEntry& e) { return e.ruleId == ruleId; });
    return it == end ? std::string_view{} : it->text;
}

}  // namespace

void AddFindingsSection(CReportArea& area, const FileFacts& facts) {
    bool headed = false;
    std::string text;
    for (const Finding& finding : facts.findings) {
        if (!finding.rule || finding.severity == Severity::kInfo) continue;
        if (!headed) {
            area.AddReportLine("%s", "");
            area.AddReportLine("* 검사 결과");
            headed = true;
        }
        const std::string_view korean = FindingText(finding.rule->id);
        text.assign(korean.empty() ? std::string_view(finding.message) : korean);
        text += Where(finding);
        if (finding.severity == Severity::kError) {
            area.AddLabelLine("오류", "%s", text.c_str());
        } else {
            area.AddLabelLine("경고", "%s", text.c_str());
        }
    }
}

}  // namespace plovik
