// The findings section: errors and warnings in Korean, one line each.
#include <gtest/gtest.h>

#include <string>

#include "plovik/findings_section.h"

namespace plovik {
namespace {

TEST(FindingsSection, ErrorsAndWarningsInKoreanWithWhereTheyAre) {
    const Rule truncated{"riff.truncated", Severity::kError, "the file ends early"};
    const Rule order{"index.out_of_order", Severity::kWarning, "entries out of order"};
    const Rule empty{"movi.empty_frames", Severity::kInfo, "dropped frames"};
    const Rule future{"some.new_rule", Severity::kWarning, "a rule without a Korean text"};
    FileFacts facts;
    facts.findings = {
        {&truncated, Severity::kError, 3526, 4800, "truncated (4800 bytes missing)"},
        {&empty, Severity::kInfo, {}, {}, "2 empty frames"},
        {&order, Severity::kWarning, {}, {}, "3 entries out of order"},
        {&future, Severity::kWarning, 1024, {}, "something new (7 things)"},
    };
    CStringReportArea area;
    AddFindingsSection(area, facts);
    EXPECT_EQ(area.Text(),
              "\r\n"
              "* 검사 결과\r\n"
              "    오류               : 파일 끝이 잘림 (위치 3,526부터 4,800 바이트)\r\n"
              "    경고               : 인덱스 순서가 어긋남\r\n"
              "    경고               : something new (7 things) (위치 1,024)\r\n");

    // Nothing to hold against the file: no section.
    facts.findings = {{&empty, Severity::kInfo, {}, {}, "2 empty frames"}};
    CStringReportArea none;
    AddFindingsSection(none, facts);
    EXPECT_EQ(none.Text(), "");
}

}  // namespace
}  // namespace plovik
