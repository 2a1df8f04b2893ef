// Pieces of report lines shared by the report's sections. Internal to the report builder.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "plovik/report.h"

namespace plovik {

// Whole seconds as "HH:MM:SS"; the hours take more digits from 100 hours on.
std::string ClockText(std::uint64_t seconds);

// The one message line of a parse that gave nothing to report, or nullptr.
const char* FailureMessage(int error);

}  // namespace plovik
