#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "plovik/report.h"
#include "plovik/text_encoding.h"
#include "support/avi_writer.h"
#include "support/temp_dir.h"

namespace plovik {
namespace {

using namespace plovik::test;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        lines.push_back(text.substr(start, end - start));
    }
    EXPECT_EQ(start, text.size()) << "every line ends in CR LF";
    return lines;
}

// The line that begins with this label (after the four-space indent), or "".
std::string LineOf(const std::vector<std::string>& lines, const std::string& label) {
    for (const std::string& line : lines) {
        if (line.rfind("    " + label, 0) == 0) return line;
    }
    return "";
}

class ReportTest : public ::testing::Test {
  protected:
    // Writes the file, reports it, and returns the report's lines.
    std::vector<std::string> Report(const Bytes& file, const std::string& name = "clip.avi") {
        path_ = dir_.Write(name, file);
        CStringReportArea area;
        fullReport_ = ShowFileInfo(area, path_);
        text_ = area.Text();
        return Lines(text_);
    }

    TempDir dir_;
    std::string path_;
    std::string text_;
    bool fullReport_ = false;
};

Bytes VideoStrl(const StreamHeader& h = {
                    .handler = "XVID", .scale = 1001, .rate = 30000, .length = 300}) {
    return List("strl", {Strh(h), VideoStrf({.compression = "XVID"})});
}

Bytes AudioStrl(const AudioFormat& f = {}) {
    return List("strl", {Strh({.type = "auds", .handler = std::string(4, '\0'), .rate = 16000}),
                         AudioStrf(f)});
}

// Pads a file with a "JUNK" chunk before "movi" to an exact total size.
Bytes Sized(std::uint32_t total, const std::vector<Bytes>& head, const std::vector<Bytes>& tail) {
    std::size_t used = 12 + 8;
    for (const Bytes& b : head) used += b.size();
    for (const Bytes& b : tail) used += b.size();
    std::vector<Bytes> parts = head;
    parts.push_back(Chunk("JUNK", Zeros(total - used)));
    parts.insert(parts.end(), tail.begin(), tail.end());
    return Riff("AVI ", parts);
}

TEST_F(ReportTest, WritesEveryLineOfATypicalFile) {
    Bytes file = Sized(123456,
                       {List("hdrl", {Avih({.flags = 0x110, .totalFrames = 3, .streams = 2}),
                                      VideoStrl(), AudioStrl()}),
                        List("INFO", {Chunk("ISFT", Bytes("Lavf59.27.100") + '\0')})},
                       {List("movi", {}), Idx1({Video(kKey), Audio(), Video(), Video(kKey)})});
    ASSERT_EQ(file.size(), 123456u);
    Report(file);
    EXPECT_TRUE(fullReport_);
    EXPECT_EQ(text_,
              "파일명 : clip.avi\r\n"
              "=======================================================\r\n"
              "* 파일 정보\r\n"
              "    실제 파일의 크기   : 123,456 바이트(120.5KB)\r\n"
              "    파일 데이터 크기   : 123,448 바이트(120.5KB)\r\n"
              "    재생시간           : 00:00:10 (10 초)\r\n"
              "    평균 데이타 전송률 : 12 KCPS (96 kbps)\r\n"
              "    제작툴             : Lavf59.27.100\r\n"
              "\r\n"
              "* 영상 정보 \r\n"
              "    프레임 속도        : 30 프레임/초 \r\n"
              "    평균 비트 전송률   : -32 kbps\r\n"
              "    크기 (비율)        : 640 x 480  ( 1.33 : 1 )\r\n"
              "    압축 코덱 (FourCC) : Xvid (MPEG-4)(XVID)\r\n"
              "\r\n"
              "* 소리 정보\r\n"
              "    비트 전송률        : 128 kbps\r\n"
              "    샘플 비율          : 44,100 Hz\r\n"
              "    음악 채널 수       : 2 (스테레오)\r\n"
              "    압축 코덱          : MPEG Layer-3 (ISO/MPEG Layer3 Format Tag)\r\n"
              "\r\n"
              "* 기타 정보\r\n"
              "    AVI 파일 속성      : 인덱스있음  AVIF_ISINTERLEAVED  \r\n"
              "    인덱스 정보        : 정상/전체프레임-3/키프레임-2\r\n"
              "    FIA 변환 여부      : 변환안됨(보통)\r\n"
              "    키프레임 정보      : VKI 아님 (평균:0.1초 표준편차:0.0초 최대:0.1초)\r\n");
}

TEST_F(ReportTest, FailuresShowOneMessageAlone) {
    CStringReportArea area;
    EXPECT_FALSE(ShowFileInfo(area, ""));
    EXPECT_EQ(area.Text(), "\r\n 먼저 파일을 선택해 주세요.\r\n");

    const std::string openFailure =
        "\r\n 파일 열기 실패. 파일이 사용중이면 파일을 닫아 주세요.\r\n";
    EXPECT_FALSE(ShowFileInfo(area, dir_.PathOf("missing.avi")));
    EXPECT_EQ(area.Text(), openFailure);
    EXPECT_FALSE(ShowFileInfo(area, dir_.PathOf("")));  // a directory
    EXPECT_EQ(area.Text(), openFailure);

    Report("RIFF");
    EXPECT_FALSE(fullReport_);
    EXPECT_EQ(text_, "\r\n AVI 파일이 아님\r\n");

    Report(Riff("AVI ", {List("hdrl", {Chunk("JUNK", Zeros(56))})}));
    EXPECT_FALSE(fullReport_);
    EXPECT_EQ(text_, "\r\n 파일 헤더 읽기 실패\r\n");
}

TEST_F(ReportTest, AFailedIndexScanStillGivesTheWholeReport) {
    // An index chunk that is not a whole number of entries fails the scan.
    Bytes file = Riff("AVI ", {List("hdrl", {Avih({.totalFrames = 1}), VideoStrl()}),
                               List("movi", {}), Chunk("idx1", IndexEntries({Video(kKey)}) + "x")});
    auto lines = Report(file);
    EXPECT_TRUE(fullReport_);
    EXPECT_EQ(LineOf(lines, "인덱스 정보"),
              "    인덱스 정보        : *손상/전체프레임-1/키프레임-1");
    EXPECT_EQ(lines.size(), 26u);
}

TEST_F(ReportTest, FileWithoutVideoLastsAsLongAsItsAudio) {
    const Bytes audio =
        List("strl", {Strh({.type = "auds", .rate = 16000, .length = 90 * 16000}), AudioStrf({})});
    auto lines = Report(Riff("AVI ", {List("hdrl", {Avih({.flags = 0}), audio})}));
    EXPECT_EQ(LineOf(lines, "재생시간"), "    재생시간           : 00:01:30 (90 초)");
    EXPECT_EQ(LineOf(lines, "프레임 속도"), "    프레임 속도        : -1 프레임/초 ");
    EXPECT_EQ(LineOf(lines, "평균 비트"), "    평균 비트 전송률   : 0 kbps");  // no video
    EXPECT_EQ(LineOf(lines, "압축 코덱 (FourCC)"), "    압축 코덱 (FourCC) : 알수없음()");
    EXPECT_EQ(LineOf(lines, "인덱스 정보"), "");
    // Neither video nor audio: no time at all.
    lines = Report(Riff("AVI ", {List("hdrl", {Avih({.flags = 0, .streams = 0})})}));
    EXPECT_EQ(LineOf(lines, "재생시간"), "    재생시간           : 00:00:00 (0 초)");
}

TEST_F(ReportTest, FileWithoutAudioShowsZeros) {
    auto lines = Report(Riff("AVI ", {List("hdrl", {Avih({}), VideoStrl()})}));
    EXPECT_EQ(LineOf(lines, "비트 전송률"), "    비트 전송률        : 0 kbps");
    EXPECT_EQ(LineOf(lines, "샘플 비율"), "    샘플 비율          : 0 Hz");
    EXPECT_EQ(LineOf(lines, "음악 채널 수"), "    음악 채널 수       : 0 ");
    EXPECT_EQ(LineOf(lines, "압축 코덱   "),
              "    압축 코덱          : UNKNOWN (Microsoft Corporation)");
}

TEST_F(ReportTest, FiguresTakeTheMainHeaderSizeAndWrapLikeThe32BitFields) {
    // The stream format says 640 x 480; the frame size line shows the main header's.
    Bytes file = Riff("AVI ", {List("hdrl", {Avih({.width = 720, .height = 576}), VideoStrl(),
                                             AudioStrl({.avgBytesPerSec = 0x20000000})})});
    auto lines = Report(file);
    EXPECT_EQ(LineOf(lines, "크기 (비율)"), "    크기 (비율)        : 720 x 576  ( 1.25 : 1 )");
    // 0x20000000 bytes per second times 8 is 2^32, which wraps to 0.
    EXPECT_EQ(LineOf(lines, "비트 전송률"), "    비트 전송률        : 0 kbps");
}

TEST_F(ReportTest, HeaderOnlyFileShowsTheAudioItHas) {
    auto lines = Report(Riff(
        "AVI ", {List("hdrl", {Avih({}), VideoStrl(), AudioStrl({.channels = 1}).substr(0, 98)})}));
    EXPECT_EQ(LineOf(lines, "샘플 비율"), "    샘플 비율          : 44,100 Hz");
    EXPECT_EQ(LineOf(lines, "음악 채널 수"), "    음악 채널 수       : 1 (모노)");
}

TEST_F(ReportTest, RunningTimeTakesHoursBeyondTwoDigits) {
    auto time = [&](std::uint32_t length) {
        Bytes file =
            Riff("AVI ",
                 {List("hdrl", {Avih({}), VideoStrl({.scale = 1, .rate = 1, .length = length})})});
        return LineOf(Report(file), "재생시간");
    };
    EXPECT_EQ(time(5025), "    재생시간           : 01:23:45 (5,025 초)");
    EXPECT_EQ(time(360000), "    재생시간           : 100:00:00 (360,000 초)");
}

TEST_F(ReportTest, ZeroRunningTimeGivesZeroDataRate) {
    Bytes file =
        Riff("AVI ", {List("hdrl", {Avih({}), VideoStrl({.scale = 1, .rate = 25, .length = 10}),
                                    AudioStrl({.avgBytesPerSec = 4000})})});
    auto lines = Report(file);
    EXPECT_EQ(LineOf(lines, "재생시간"), "    재생시간           : 00:00:00 (0 초)");
    EXPECT_EQ(LineOf(lines, "평균 데이타"), "    평균 데이타 전송률 : 0 KCPS (0 kbps)");
    EXPECT_EQ(LineOf(lines, "평균 비트"), "    평균 비트 전송률   : -32 kbps");
}

TEST_F(ReportTest, DamageLineWhenTheFileIsShorterThanItsHeaderSays) {
    const std::string damage = "    * 파일이 손상된 것으로 보입니다.";
    auto hasDamageLine = [&](std::uint32_t riffSize) {
        Bytes body = List("hdrl", {Avih({}), VideoStrl()});
        Bytes file = RiffWithSize("AVI ", riffSize, {body});
        auto lines = Report(file);
        return std::find(lines.begin(), lines.end(), damage) != lines.end();
    };
    const auto fileSize = static_cast<std::uint32_t>(
        RiffWithSize("AVI ", 0, {List("hdrl", {Avih({}), VideoStrl()})}).size());
    EXPECT_FALSE(hasDamageLine(fileSize - 8));
    EXPECT_FALSE(hasDamageLine(fileSize));
    EXPECT_TRUE(hasDamageLine(fileSize + 1));
}

TEST_F(ReportTest, IndexLineFollowsTheHasIndexFlag) {
    auto indexLine = [&](std::uint32_t flags, std::vector<IndexEntry> entries) {
        Bytes file =
            Riff("AVI ", {List("hdrl", {Avih({.flags = flags, .totalFrames = 2}), VideoStrl()}),
                          List("movi", {}), Idx1(entries)});
        return LineOf(Report(file), "인덱스 정보");
    };
    EXPECT_EQ(indexLine(0, {Video(kKey), Video()}), "");
    EXPECT_EQ(indexLine(0x10, {Video(), Video()}),
              "    인덱스 정보        : 정상/전체프레임-2/키프레임-0");
    EXPECT_EQ(LineOf(Lines(text_), "키프레임 정보"), "");
    EXPECT_EQ(indexLine(0x10, {Video(kKey)}),
              "    인덱스 정보        : *손상/전체프레임-2/키프레임-1");
}

TEST_F(ReportTest, KeyFrameStatistics) {
    // One second per frame unless told; keyFrames lists which video entries (from 0) carry
    // the key flag.
    auto keyLine = [&](std::uint32_t frames, std::vector<std::uint32_t> keyFrames,
                       std::uint32_t microSecPerFrame = 1000000) {
        std::vector<IndexEntry> entries(frames, Video());
        for (std::uint32_t k : keyFrames) entries[k].flags = kKey;
        Bytes file =
            Riff("AVI ",
                 {List("hdrl", {Avih({.microSecPerFrame = microSecPerFrame, .totalFrames = frames}),
                                VideoStrl()}),
                  List("movi", {}), Idx1(entries)});
        return LineOf(Report(file), "키프레임 정보");
    };
    EXPECT_EQ(keyLine(7, {0, 2, 4, 6}),
              "    키프레임 정보      : VKI 아님 (평균:2.0초 표준편차:0.0초 최대:2.0초)");
    // The first interval runs from 0.0, not from the first key frame.
    EXPECT_EQ(keyLine(6, {1, 3, 5}),
              "    키프레임 정보      : VKI (평균:2.5초 표준편차:0.5초 최대:3.0초)");
    EXPECT_EQ(keyLine(3, {1}),
              "    키프레임 정보      : VKI 아님 (평균:0.0초 표준편차:0.0초 최대:0.0초)");
    // Intervals 0.1 and 0.3 s: a deviation of exactly 0.1 is not above 0.1.
    EXPECT_EQ(keyLine(5, {0, 1, 4}, 100000),
              "    키프레임 정보      : VKI 아님 (평균:0.2초 표준편차:0.1초 최대:0.3초)");
}

TEST_F(ReportTest, FrontIndexAndEmbeddedText) {
    Bytes text = List("strl", {Strh({.type = "txts", .handler = "    "})});
    Bytes file = Riff("AVI ", {List("hdrl", {Avih({.totalFrames = 1}), VideoStrl(), text}),
                               Idx1({Video(kKey)}), List("movi", {})});
    auto lines = Report(file);
    EXPECT_EQ(LineOf(lines, "FIA"), "    FIA 변환 여부      : 변환됨(FIA - FrontIndexAVI)");
    EXPECT_EQ(lines.back(), "    내장 텍스트        : 있음");
}

TEST_F(ReportTest, FlagWordsKeepTheirSpaces) {
    auto flagsLine = [&](std::uint32_t flags) {
        return LineOf(Report(Riff("AVI ", {List("hdrl", {Avih({.flags = flags})})})),
                      "AVI 파일 속성");
    };
    EXPECT_EQ(flagsLine(0), "    AVI 파일 속성      :     ");
    EXPECT_EQ(flagsLine(0x30130),
              "    AVI 파일 속성      : 인덱스있음 AVIF_MUSTUSEINDEX AVIF_ISINTERLEAVED "
              "AVIF_WASCAPTUREFILE AVIF_COPYRIGHTED");
}

TEST_F(ReportTest, TextFromTheFileIsDecoded) {
    const Bytes cp949Name = "\xb1\xbc\xb8\xb2";  // "굴림" in CP949
    Bytes file = Riff("AVI ", {List("hdrl", {Avih({}), VideoStrl({.handler = "D\xc7\xd1X"})}),
                               List("INFO", {Chunk("ISFT", cp949Name)})});
    auto lines = Report(file, "한글 이름.avi");
    EXPECT_EQ(lines[0], "파일명 : 한글 이름.avi");
    EXPECT_EQ(LineOf(lines, "제작툴"), "    제작툴             : 굴림");
    EXPECT_EQ(LineOf(lines, "압축 코덱 (FourCC)"), "    압축 코덱 (FourCC) : 알수없음(D한X)");
}

TEST_F(ReportTest, LabelColonsStandInOneColumnOfTheCp949Text) {
    Report(BuildSimpleAvi({.software = "x"}));
    int labelLines = 0;
    for (const std::string& line : Lines(text_)) {
        if (line.rfind("    ", 0) != 0 || line.rfind("    *", 0) == 0) continue;
        const std::string cp949 = Utf8ToCp949(line);
        EXPECT_EQ(cp949.find(':'), 23u) << line;
        ++labelLines;
    }
    EXPECT_EQ(labelLines, 17);
}

TEST_F(ReportTest, SizesOfManyGigabytesAreRealAndUnsigned) {
    Bytes head =
        Riff("AVI ", {List("hdrl", {Avih({}), VideoStrl({.scale = 1, .rate = 1, .length = 100})})});
    path_ = dir_.Write("big.avi", head);
    std::filesystem::resize_file(std::filesystem::u8path(path_), 5ull << 30);
    CStringReportArea area;
    ShowFileInfo(area, path_);
    auto lines = Lines(area.Text());
    EXPECT_EQ(LineOf(lines, "실제 파일의 크기"),
              "    실제 파일의 크기   : 5,368,709,120 바이트(5120.0MB)");
}

TEST_F(ReportTest, DataOfEveryRiffPartCounts) {
    // An OpenDML file: "AVI " part, then an "AVIX" part that carries more data.
    Bytes first =
        Riff("AVI ", {List("hdrl", {Avih({}), VideoStrl({.scale = 1, .rate = 1, .length = 10})}),
                      List("movi", {})});
    Bytes second = Riff("AVIX", {List("movi", {Chunk("00dc", Zeros(40000))})});
    ASSERT_EQ(first.size() - 8 + second.size() - 8, 40240u);
    auto lines = Report(first + second);
    EXPECT_EQ(LineOf(lines, "파일 데이터 크기"), "    파일 데이터 크기   : 40,240 바이트(39.2KB)");
    EXPECT_EQ(LineOf(lines, "평균 데이타"), "    평균 데이타 전송률 : 4 KCPS (32 kbps)");
}

}  // namespace
}  // namespace plovik
