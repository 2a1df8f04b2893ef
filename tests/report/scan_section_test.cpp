// The data-check section that a movie-data scan adds after the report.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plovik/file_analysis.h"
#include "plovik/format.h"
#include "plovik/report.h"
#include "support/avi_writer.h"
#include "support/failing_file.h"
#include "support/temp_dir.h"

namespace plovik {
namespace {

using namespace plovik::test;

// 250 frames at 25 per second (the last two empty) and 6 seconds of audio at 16,000 bytes/s.
Bytes TenSecondMovie() {
    std::vector<Bytes> movi;
    std::vector<IndexEntry> index;
    for (std::uint32_t i = 0, offset = 4; i < 250; ++i) {
        const std::uint32_t size = i < 248 ? 10 : 0;
        movi.push_back(Chunk("00dc", Zeros(size)));
        index.push_back({"00dc", 0x10, offset, size});
        offset += 8 + size;
    }
    for (int i = 0; i < 6; ++i) movi.push_back(Chunk("01wb", Zeros(16000)));
    const Bytes hdrl =
        List("hdrl", {Avih({.totalFrames = 250, .streams = 2}),
                      List("strl", {Strh({.length = 250}), VideoStrf()}),
                      List("strl", {Strh({.type = "auds", .rate = 16000}), AudioStrf()})});
    return Riff("AVI ", {hdrl, List("movi", movi), Idx1(index)});
}

std::string ScanSection(const Bytes& file) {
    TempDir dir;
    const std::string path = dir.Write("clip.avi", file);
    CStringReportArea area;
    CFileAnalysis analysis;
    analysis.Analyse(path, {.scan = true, .data = {}});
    const FileFacts facts = FillFacts(path, analysis);
    EXPECT_TRUE(WriteReport(area, facts));
    EXPECT_TRUE(facts.scan);
    AddScanSection(area, facts);
    const std::string& text = area.Text();
    const std::size_t start = text.find("\r\n\r\n* 데이터 검사");
    return start == std::string::npos ? text : text.substr(start + 2);
}

// All its audio follows all its video: not interleaved, the audio 9 s behind at its first chunk.
TEST(ScanSection, CompleteFile) {
    EXPECT_EQ(ScanSection(TenSecondMovie()),
              "\r\n"
              "* 데이터 검사\r\n"
              "    영상 프레임 수     : 250 / 250 (100.0%)\r\n"
              "    빈 프레임 수       : 2\r\n"
              "    소리 데이터        : 96,000 바이트 (6 초)\r\n"
              "    재생 가능 시간     : 00:00:06 (6 초)\r\n"
              "    손상 구간          : 없음\r\n"
              "    손상 프레임        : 없음\r\n"
              "    인덱스 대조        : 일치\r\n"
              "    인터리브 상태      : 불량 (선행 0.00초, 소리 앞섬 최대 0.00초, 늦음 최대 "
              "9.00초)\r\n"
              "    프레임 크기        : 키 248개 평균 10 바이트, 일반 0개 평균 0 바이트\r\n");
}

TEST(ScanSection, CutFileAndFileWithoutAudio) {
    const Bytes whole = TenSecondMovie();
    const std::size_t moviData = whole.find("movi") + 4;
    ASSERT_EQ(moviData, 326u);
    ASSERT_EQ(whole.find("idx1"), 326u + 248 * 18 + 2 * 8 + 6 * 16008);
    // Cut in the 101st frame: the index is gone, so its line is left out.
    EXPECT_EQ(ScanSection(whole.substr(0, moviData + 100 * 18 + 3)),
              "\r\n"
              "* 데이터 검사\r\n"
              "    영상 프레임 수     : 100 / 250 (40.0%)\r\n"
              "    빈 프레임 수       : 0\r\n"
              "    소리 데이터        : 0 바이트 (0 초)\r\n"
              "    재생 가능 시간     : 00:00:00 (0 초)\r\n"
              "    손상 구간          : 1곳 (처음 2,126 바이트, 건너뛴 데이터 3 바이트)\r\n"
              "    손상 프레임        : 없음\r\n");
    // A file still being written: its sizes and counts are placeholders, so nothing is
    // expected of them, and the unwritten rest of its list is no skipped data.
    Bytes growing = whole.substr(0, moviData + 100 * 18 + 3);
    growing.replace(4, 4, Le32(0xFFFFFFFF));
    growing.replace(moviData - 8, 4, Le32(0xFFFFFFFF));
    const std::string unfinished = ScanSection(growing);
    EXPECT_NE(unfinished.find("    영상 프레임 수     : 100 / 알수없음\r\n"), std::string::npos)
        << unfinished;
    EXPECT_NE(unfinished.find("건너뛴 데이터 3 바이트)"), std::string::npos) << unfinished;
    // Without audio the video time alone plays: 3,600 frames at 25 per second.
    const std::string noAudio = ScanSection(BuildSimpleAvi({.frames = 3600, .audio = false}));
    EXPECT_NE(noAudio.find("    재생 가능 시간     : 00:02:24 (144 초)\r\n"), std::string::npos)
        << noAudio;
}

// The report and data-check section of a file whose reads fail from failAt on.
std::string ReportOfFailingFile(const Bytes& file, std::uint64_t failAt) {
    FailingFile failing(file, failAt);
    CFileAnalysis analysis;
    analysis.AnalyseOpen(failing, "clip.avi", {.scan = true, .data = {}});
    const FileFacts facts = FillFacts("clip.avi", analysis);
    CStringReportArea area;
    if (WriteReport(area, facts)) AddScanSection(area, facts);
    return area.Text();
}

// A read that fails in the header list or the index (the idx1, or an OpenDML file's standard
// index chunk) leaves only its message; one in the movie data ends the counts where it
// fails, without a damaged region (as the same cut would make).
TEST(ScanSection, ReadFailure) {
    auto failureAlone = [](std::uint64_t at) {
        return "\r\n 파일 읽기 실패 (" + FormatUnsignedNumber(at) +
               " 바이트 위치: Input/output error)\r\n";
    };
    const Bytes whole = TenSecondMovie();
    EXPECT_EQ(ReportOfFailingFile(whole, 200), failureAlone(200));
    const std::size_t inIndex = whole.find("idx1") + 100;
    EXPECT_EQ(ReportOfFailingFile(whole, inIndex), failureAlone(inIndex));
    const OpenDmlFile openDml = BuildOpenDmlAvi({.chunkHeaders = true});
    const std::uint64_t inStdIndex = openDml.indexChunks[1] + 20;
    EXPECT_EQ(ReportOfFailingFile(openDml.file.Flat(), inStdIndex), failureAlone(inStdIndex));
    const std::string text = ReportOfFailingFile(whole, whole.find("movi") + 4 + 100 * 18 + 3);
    EXPECT_EQ(text.substr(text.find("\r\n* 데이터 검사") + 2),
              "* 데이터 검사\r\n"
              "    읽기 실패          : 2,129 바이트 위치 (Input/output error)\r\n"
              "    영상 프레임 수     : 100 / 250 (40.0%)\r\n"
              "    빈 프레임 수       : 0\r\n"
              "    소리 데이터        : 0 바이트 (0 초)\r\n"
              "    재생 가능 시간     : 00:00:00 (0 초)\r\n"
              "    손상 구간          : 없음\r\n"
              "    손상 프레임        : 없음\r\n");
}

}  // namespace
}  // namespace plovik
