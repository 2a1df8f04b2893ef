#include "plovik/report.h"

#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>

#include "plovik/format.h"
#include "report_lines.h"

namespace plovik {

namespace {

constexpr std::size_t kColonColumn = 23;
constexpr std::string_view kLabelIndent = "    ";

const char* ChannelSuffix(std::uint16_t channels) {
    switch (channels) {
        case 1:
            return "(모노)";
        case 2:
            return "(스테레오)";
        default:
            return "";
    }
}

// The flag word of line 24: the text when its bit is set, else nothing.
const char* FlagWord(std::uint32_t flags, const HeaderFlag& flag) {
    return (flags & flag.bit) != 0 ? flag.reportWord : "";
}

void WriteFileSection(CReportArea& area, const FileFacts& f) {
    const auto seconds = static_cast<std::uint32_t>(f.runningTime);
    area.AddReportLine("파일명 : %s", f.fileName.c_str());
    area.AddReportLine("=======================================================");
    area.AddReportLine("* 파일 정보");
    area.AddLabelLine("실제 파일의 크기", "%s 바이트(%s)", FormatUnsignedNumber(f.fileSize).c_str(),
                      FormatSize(f.fileSize).c_str());
    area.AddLabelLine("파일 데이터 크기", "%s 바이트(%s)", FormatUnsignedNumber(f.dataSize).c_str(),
                      FormatSize(f.dataSize).c_str());
    area.AddLabelLine("재생시간", "%s (%s 초)", ClockText(seconds).c_str(),
                      FormatNumber(f.runningTime).c_str());
    area.AddLabelLine("평균 데이타 전송률", "%s KCPS (%s kbps)",
                      FormatUnsignedNumber(f.kiloBytesPerSec).c_str(),
                      FormatUnsignedNumber(f.kiloBytesPerSec * 8).c_str());
    area.AddLabelLine("제작툴", "%s", f.software.empty() ? "알수 없음" : f.software.c_str());
    if (f.shorterThanData) area.AddReportLine("    * 파일이 손상된 것으로 보입니다.");
    area.AddReportLine("%s", "");
}

void WriteVideoSection(CReportArea& area, const FileFacts& f) {
    const VideoFacts& v = f.video;
    area.AddReportLine("* 영상 정보 ");
    area.AddLabelLine("프레임 속도", "%d 프레임/초 ", v.framesPerSec);
    area.AddLabelLine("평균 비트 전송률", "%s kbps", FormatNumber(v.kbps).c_str());
    area.AddLabelLine("크기 (비율)", "%d x %d  ( %.02f : 1 )", static_cast<int>(v.width),
                      static_cast<int>(v.height), v.aspectRatio);
    area.AddLabelLine("압축 코덱 (FourCC)", "%s(%s)", v.codecName.c_str(), v.handlerText.c_str());
    area.AddReportLine("%s", "");
}

void WriteAudioSection(CReportArea& area, const FileFacts& f) {
    const AudioFacts& a = f.audio;
    area.AddReportLine("* 소리 정보");
    area.AddLabelLine("비트 전송률", "%d kbps", a.kbps);
    area.AddLabelLine("샘플 비율", "%s Hz", FormatNumber(static_cast<int>(a.sampleRate)).c_str());
    area.AddLabelLine("음악 채널 수", "%d %s", static_cast<int>(a.channels),
                      ChannelSuffix(a.channels));
    area.AddLabelLine("압축 코덱", "%s", a.formatName.c_str());
    area.AddReportLine("%s", "");
}

void WriteOtherSection(CReportArea& area, const FileFacts& f) {
    const std::span<const HeaderFlag> flags = HeaderFlags();
    const IndexFacts& index = f.index;
    area.AddReportLine("* 기타 정보");
    area.AddLabelLine("AVI 파일 속성", "%s %s %s %s %s", FlagWord(f.flags, flags[0]),
                      FlagWord(f.flags, flags[1]), FlagWord(f.flags, flags[2]),
                      FlagWord(f.flags, flags[3]), FlagWord(f.flags, flags[4]));
    if ((f.flags & AVIF_HASINDEX) != 0) {
        area.AddLabelLine("인덱스 정보", "%s/전체프레임-%d/키프레임-%d",
                          index.complete ? "정상" : "*손상", static_cast<int>(index.totalFrames),
                          static_cast<int>(index.keyFrames));
    }
    area.AddLabelLine("FIA 변환 여부", "%s",
                      index.front ? "변환됨(FIA - FrontIndexAVI)" : "변환안됨(보통)");
    if (const std::optional<KeyFrameStats>& s = index.intervals) {
        area.AddLabelLine("키프레임 정보", "%s (평균:%.1f초 표준편차:%.1f초 최대:%.1f초)",
                          s->variable ? "VKI" : "VKI 아님", s->mean, s->deviation, s->maximum);
    }
    if (f.hasText) area.AddLabelLine("내장 텍스트", "%s", "있음");
}

// The one line of a file that gave nothing to report; empty for a file with a report.
std::string FailureMessage(const FileFacts& f) {
    switch (f.status) {
        case FileStatus::kNotAvi:
            return " AVI 파일이 아님";
        case FileStatus::kOpenFailed:
            return " 파일 열기 실패. 파일이 사용중이면 파일을 닫아 주세요.";
        case FileStatus::kHeaderFailed:
            return " 파일 헤더 읽기 실패";
        case FileStatus::kReadFailed:
            if (!f.readFailure) break;
            return " 파일 읽기 실패 (" + FormatUnsignedNumber(f.readFailure->position) +
                   " 바이트 위치: " + f.readFailure->reason + ")";
        default:
            break;
    }
    return {};
}

// The message after an empty line.
void WriteMessage(CReportArea& area, const std::string& message) {
    area.AddReportLine("%s", "");
    area.AddReportLine("%s", message.c_str());
}

}  // namespace

std::string ClockText(std::uint64_t seconds) {
    // "%02llu:%02u:%02u", without the C library's formatter (it costs a report more than
    // all its other lines).
    auto twoDigits = [](std::string& text, std::uint64_t value) {
        if (value < 10) text += '0';
        text += std::to_string(value);
    };
    std::string text;
    twoDigits(text, seconds / 3600);
    text += ':';
    twoDigits(text, seconds % 3600 / 60);
    text += ':';
    twoDigits(text, seconds % 60);
    return text;
}

void CReportArea::AddReportLine(const char* pszFormat, ...) {
    std::string& line = BeginLine();
    va_list args;
    va_start(args, pszFormat);
    FinishLine(line, pszFormat, args);
    va_end(args);
}

void CReportArea::AddLabelLine(ReportLabel label, const char* pszValueFormat, ...) {
    const std::size_t used = kLabelIndent.size() + label.Cp949Width();
    const std::size_t pad = used < kColonColumn ? kColonColumn - used : 1;
    std::string& line = BeginLine();
    line.append(kLabelIndent).append(label.Text()).append(pad, ' ').append(": ");
    va_list args;
    va_start(args, pszValueFormat);
    FinishLine(line, pszValueFormat, args);
    va_end(args);
}

std::string& CReportArea::BeginLine() {
    if (std::string* text = OwnText()) return *text;
    m_strLine.clear();
    return m_strLine;
}

void CReportArea::FinishLine(std::string& line, const char* pszFormat, va_list args) {
    AppendPrintf(line, pszFormat, args);
    line += m_lineEnd;
    if (&line == &m_strLine) AppendText(line);
}

bool WriteReport(CReportArea& area, const FileFacts& facts) {
    if (facts.path.empty()) {
        WriteMessage(area, " 먼저 파일을 선택해 주세요.");
        return false;
    }
    if (const std::string message = FailureMessage(facts); !message.empty()) {
        WriteMessage(area, message);
        return false;
    }
    WriteFileSection(area, facts);
    WriteVideoSection(area, facts);
    WriteAudioSection(area, facts);
    WriteOtherSection(area, facts);
    return true;
}

bool ShowFileInfo(CReportArea& area, const std::string& strPath) {
    area.ClearReport();
    if (strPath.empty()) return WriteReport(area, FileFacts{});  // nothing is opened
    CAviParser avi;
    avi.Parse(strPath, 0xFFFFFFFF, false);
    return WriteReport(area, FillFacts(strPath, avi, nullptr));
}

}  // namespace plovik
