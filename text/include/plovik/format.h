// Number and size texts of the report.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <string>

namespace plovik {

// "%d" with "," before every group of three digits: -123456 -> "-123,456".
std::string FormatNumber(int nValue);
// The same grouping for an unsigned 64-bit value: 3000000000 -> "3,000,000,000".
std::string FormatUnsignedNumber(std::uint64_t value);
// "1024B", "1.5KB", "667.5MB": one truncated decimal; the MB figure grows past 4095.9.
std::string FormatSize(std::uint64_t bytes);

// Appends the printf formatting of format and args to out, as the C library writes it.
// The conversions of report lines ("%s", "%d", "%u", "%02d", "%.1f") are written here, at
// a fraction of vsnprintf's cost; any other conversion formats the whole text by the C
// library.
void AppendPrintf(std::string& out, const char* format, va_list args);

// a * b / c in 64 bits, rounded half away from zero; -1 on c == 0 or overflow.
std::int32_t MulDiv(std::int32_t a, std::int32_t b, std::int32_t c);

}  // namespace plovik
