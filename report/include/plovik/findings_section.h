// The findings section: what the conformance check holds against a file, in Korean.
#pragma once

#include "plovik/file_facts.h"
#include "plovik/report.h"

namespace plovik {

// Appends the errors and warnings among the facts' findings, one label line each
// ("오류" or "경고"), under the heading "* 검사 결과"; nothing when there are none.
void AddFindingsSection(CReportArea& area, const FileFacts& facts);

}  // namespace plovik
