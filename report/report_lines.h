// Pieces of report lines shared by the report's sections. Internal to the report builder.
#pragma once

#include <cstdint>
#include <string>

#include "plovik/report.h"

namespace plovik {

// Whole seconds as "HH:MM:SS"; the hours take more digits from 100 hours on.
std::string ClockText(std::uint64_t seconds);

}  // namespace plovik
