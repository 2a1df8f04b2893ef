// The index and key-frame lines of a file in several RIFF parts describe the whole file.
#include <gtest/gtest.h>

#include <string>

#include "plovik/report.h"
#include "support/avi_writer.h"
#include "support/temp_dir.h"

namespace plovik::test {
namespace {

TEST(OpenDmlReport, IndexAndKeyFrameLinesCoverEveryPart) {
    // 60 frames at 25 per second in three parts, a key frame every 25: the main header
    // counts the first part's 20 frames only.
    const OpenDmlFile f = BuildOpenDmlAvi({.partFrames = {20, 20, 20}, .keyInterval = 25});
    TempDir dir;
    CStringReportArea area;
    ASSERT_TRUE(ShowFileInfo(area, dir.Write("long.avi", f.file.Flat())));
    EXPECT_NE(area.Text().find("    인덱스 정보        : 정상/전체프레임-60/키프레임-3\r\n"),
              std::string::npos);
    EXPECT_NE(area.Text().find("    키프레임 정보      : VKI 아님 (평균:1.0초 표준편차:0.0초 "
                               "최대:1.0초)\r\n"),
              std::string::npos);
}

}  // namespace
}  // namespace plovik::test
