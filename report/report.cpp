#include "plovik/report.h"

#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>

#include "plovik/avi_parser.h"
#include "plovik/codecs.h"
#include "plovik/format.h"
#include "plovik/report_values.h"
#include "plovik/text_encoding.h"
#include "report_lines.h"

namespace plovik {

namespace {

constexpr std::size_t kColonColumn = 23;
constexpr std::string_view kLabelIndent = "    ";

// The report's flag words, in the order line 24 shows them.
struct FlagWord {
    std::uint32_t bit;
    const char* text;
};
constexpr FlagWord kFlagWords[] = {
    {0x10, "인덱스있음"},          {0x20, "AVIF_MUSTUSEINDEX"},
    {0x100, "AVIF_ISINTERLEAVED"}, {0x10000, "AVIF_WASCAPTUREFILE"},
    {0x20000, "AVIF_COPYRIGHTED"},
};

const char* FlagWordText(std::uint32_t flags, const FlagWord& word) {
    return (flags & word.bit) != 0 ? word.text : "";
}

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

// Width over height; a file without a frame height has no ratio to show.
double AspectRatio(std::uint32_t width, std::uint32_t height) {
    return height == 0 ? 0.0 : static_cast<double>(width) / static_cast<double>(height);
}

void WriteFileSection(CReportArea& area, const CAviParser& avi, const Rates& r) {
    const auto seconds = static_cast<std::uint32_t>(r.runningTime);
    area.AddReportLine("파일명 : %s", FileTextToUtf8(avi.GetFileName()).c_str());
    area.AddReportLine("=======================================================");
    area.AddReportLine("* 파일 정보");
    area.AddLabelLine("실제 파일의 크기", "%s 바이트(%s)",
                      FormatUnsignedNumber(avi.m_qwFileSize).c_str(),
                      FormatSize(avi.m_qwFileSize).c_str());
    area.AddLabelLine("파일 데이터 크기", "%s 바이트(%s)",
                      FormatUnsignedNumber(avi.m_qwDataSize).c_str(),
                      FormatSize(avi.m_qwDataSize).c_str());
    area.AddLabelLine("재생시간", "%s (%s 초)", ClockText(seconds).c_str(),
                      FormatNumber(r.runningTime).c_str());
    area.AddLabelLine("평균 데이타 전송률", "%s KCPS (%s kbps)",
                      FormatUnsignedNumber(r.kiloBytesPerSec).c_str(),
                      FormatUnsignedNumber(r.kiloBytesPerSec * 8).c_str());
    const std::string software = FileTextToUtf8(avi.m_strSoftware);
    area.AddLabelLine("제작툴", "%s", software.empty() ? "알수 없음" : software.c_str());
    if (avi.m_qwFileSize < avi.m_qwDataSize) {
        area.AddReportLine("    * 파일이 손상된 것으로 보입니다.");
    }
    area.AddReportLine("%s", "");
}

void WriteVideoSection(CReportArea& area, const CAviParser& avi, const Rates& r) {
    const AVIMAINHEADER& main = avi.m_MainHeader;
    const FOURCC handler = avi.m_VideoHeader.fccHandler;
    area.AddReportLine("* 영상 정보 ");
    area.AddLabelLine("프레임 속도", "%d 프레임/초 ", r.framesPerSec);
    area.AddLabelLine("평균 비트 전송률", "%s kbps", FormatNumber(r.videoKbps).c_str());
    area.AddLabelLine("크기 (비율)", "%d x %d  ( %.02f : 1 )", static_cast<int>(main.dwWidth),
                      static_cast<int>(main.dwHeight), AspectRatio(main.dwWidth, main.dwHeight));
    area.AddLabelLine("압축 코덱 (FourCC)", "%s(%s)",
                      GetVideoCodecName(handler, avi.m_VideoFormat.bmiHeader.biCompression).c_str(),
                      FileTextToUtf8(FourCCToString(handler)).c_str());
    area.AddReportLine("%s", "");
}

void WriteAudioSection(CReportArea& area, const CAviParser& avi, const Rates& r) {
    const WAVEFORMATEX& audio = avi.m_AudioFormat;
    area.AddReportLine("* 소리 정보");
    area.AddLabelLine("비트 전송률", "%d kbps", r.audioKbps);
    area.AddLabelLine("샘플 비율", "%s Hz",
                      FormatNumber(static_cast<int>(audio.nSamplesPerSec)).c_str());
    area.AddLabelLine("음악 채널 수", "%d %s", static_cast<int>(audio.nChannels),
                      ChannelSuffix(audio.nChannels));
    area.AddLabelLine("압축 코덱", "%s", GetAudioFormatName(audio.wFormatTag).c_str());
    area.AddReportLine("%s", "");
}

void WriteOtherSection(CReportArea& area, const CAviParser& avi) {
    const std::uint32_t flags = avi.m_MainHeader.dwFlags;
    area.AddReportLine("* 기타 정보");
    area.AddLabelLine("AVI 파일 속성", "%s %s %s %s %s", FlagWordText(flags, kFlagWords[0]),
                      FlagWordText(flags, kFlagWords[1]), FlagWordText(flags, kFlagWords[2]),
                      FlagWordText(flags, kFlagWords[3]), FlagWordText(flags, kFlagWords[4]));
    if ((flags & AVIF_HASINDEX) != 0) {
        area.AddLabelLine(
            "인덱스 정보", "%s/전체프레임-%d/키프레임-%d", avi.m_bIndexOK ? "정상" : "*손상",
            static_cast<int>(avi.m_dwIndexTotalFrames), static_cast<int>(avi.m_nKeyFrames));
    }
    area.AddLabelLine("FIA 변환 여부", "%s",
                      avi.IsFrontIndex() ? "변환됨(FIA - FrontIndexAVI)" : "변환안됨(보통)");
    if (avi.m_nKeyFrames != 0) {
        const KeyFrameStats s = ComputeKeyFrameStats(avi.m_arKeyTimes, avi.m_nKeyFrames);
        area.AddLabelLine("키프레임 정보", "%s (평균:%.1f초 표준편차:%.1f초 최대:%.1f초)",
                          s.variable ? "VKI" : "VKI 아님", s.mean, s.deviation, s.maximum);
    }
    if (avi.m_bHasText) area.AddLabelLine("내장 텍스트", "%s", "있음");
}

}  // namespace

const char* FailureMessage(int error) {
    switch (error) {
        case PARSE_ERR_NOT_AVI:
            return "\r\n AVI 파일이 아님";
        case PARSE_ERR_OPEN:
            return "\r\n 파일 열기 실패. 파일이 사용중이면 파일을 닫아 주세요.";
        case PARSE_ERR_HEADER:
            return "\r\n 파일 헤더 읽기 실패";
        default:
            return nullptr;
    }
}

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
    m_strLine.clear();
    va_list args;
    va_start(args, pszFormat);
    FinishLine(pszFormat, args);
    va_end(args);
}

void CReportArea::AddLabelLine(ReportLabel label, const char* pszValueFormat, ...) {
    const std::size_t used = kLabelIndent.size() + label.Cp949Width();
    const std::size_t pad = used < kColonColumn ? kColonColumn - used : 1;
    m_strLine.clear();
    m_strLine.append(kLabelIndent).append(label.Text()).append(pad, ' ').append(": ");
    va_list args;
    va_start(args, pszValueFormat);
    FinishLine(pszValueFormat, args);
    va_end(args);
}

void CReportArea::FinishLine(const char* pszFormat, va_list args) {
    AppendPrintf(m_strLine, pszFormat, args);
    m_strLine += "\r\n";
    AppendText(m_strLine);
}

bool ShowFileInfo(CReportArea& area, CAviParser& avi, const std::string& strPath) {
    area.ClearReport();
    if (strPath.empty()) {
        area.AddReportLine("%s", "\r\n 먼저 파일을 선택해 주세요.");
        return false;
    }
    if (!avi.Parse(strPath, 0xFFFFFFFF, false)) {
        if (const char* message = FailureMessage(avi.m_nError)) {
            area.AddReportLine("%s", message);
            return false;
        }
    }
    const Rates rates = ComputeRates(avi);
    WriteFileSection(area, avi, rates);
    WriteVideoSection(area, avi, rates);
    WriteAudioSection(area, avi, rates);
    WriteOtherSection(area, avi);
    return true;
}

bool ShowFileInfo(CReportArea& area, const std::string& strPath) {
    CAviParser avi;
    return ShowFileInfo(area, avi, strPath);
}

}  // namespace plovik
