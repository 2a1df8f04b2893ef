// The repair section: the saved copy and what it kept, or why there is none.
#include <gtest/gtest.h>

#include <string>

#include "plovik/repair_section.h"
#include "plovik/repair_summary.h"

namespace plovik {
namespace {

TEST(RepairSection, WrittenCopyAndCopyNotMade) {
    RepairSummary written;
    written.status = RepairStatus::kWritten;
    written.videoFrames = 1200;
    written.audioBytes = 480000;
    written.regionsLeftOut = 2;
    written.bytesLeftOut = 4800;
    written.indexEntries = 2400;
    written.keysFromIndex = 40;
    written.keysFromBitstream = 7;
    written.keysAssumed = 3;
    written.assumedFourCC = "XVID";
    CStringReportArea area;
    AddRepairSection(area, "D:\\영상\\clip.repaired.avi", written);
    EXPECT_EQ(area.Text(),
              "\r\n"
              "* 복구 결과\r\n"
              "    저장한 파일        : D:\\영상\\clip.repaired.avi\r\n"
              "    영상 프레임 수     : 1,200\r\n"
              "    소리 데이터        : 480,000 바이트\r\n"
              "    제외한 구간        : 2곳 (4,800 바이트)\r\n"
              "    인덱스 항목 수     : 2,400\r\n"
              "    키프레임 표시      : 원래 인덱스 40, 영상 데이터 7, 추정 3 (XVID)\r\n");

    RepairSummary failed;
    failed.status = RepairStatus::kFailed;
    failed.message = "cannot write D:\\full.avi (disk full)";
    CStringReportArea why;
    AddRepairSection(why, "D:\\full.avi", failed);
    EXPECT_EQ(why.Text(),
              "\r\n"
              "* 복구 결과\r\n"
              "    복구본을 만들지 못했습니다: 복구 중에 오류가 났습니다 "
              "(cannot write D:\\full.avi (disk full))\r\n");
}

}  // namespace
}  // namespace plovik
