// The repair section: what a repaired copy kept and left out, or why there is none.
#pragma once

#include <string>

#include "plovik/report.h"

namespace plovik {

struct RepairSummary;

// Appends "* 복구 결과" with the saved copy's path (UTF-8) and the summary's main lines, or
// the one line of why the copy could not be made.
void AddRepairSection(CReportArea& area, const std::string& outputPath,
                      const RepairSummary& summary);

}  // namespace plovik
