// Pieces of report lines shared by the report's sections. Internal to the report builder.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "plovik/report.h"

namespace plovik {

// "    LABEL<spaces>: VALUE": the label is padded by its CP949 width so that the colon
// stands at byte 23 of the line's CP949 form (at least one space after a longer label).
void AddLabelLine(CReportArea& area, std::string_view label, const char* valueFormat, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

// Whole seconds as "HH:MM:SS"; the hours take more digits from 100 hours on.
std::string ClockText(std::uint64_t seconds);

// The one message line of a parse that gave nothing to report, or nullptr.
const char* FailureMessage(int error);

}  // namespace plovik
