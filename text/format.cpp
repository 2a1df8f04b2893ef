#include "plovik/format.h"

#include <cstddef>
#include <string>

namespace plovik {
namespace {

// Puts "," before every group of three digits counted from the right. `digits`
// holds only digits; the sign, if any, is added by the caller.
std::string GroupThousands(const std::string& digits) {
    std::string grouped;
    grouped.reserve(digits.size() + digits.size() / 3);
    for (std::size_t i = 0; i < digits.size(); ++i) {
        const std::size_t remaining = digits.size() - i;
        if (i > 0 && remaining % 3 == 0) grouped += ',';
        grouped += digits[i];
    }
    return grouped;
}

// floor(bytes * 10 / unit) without overflowing 64 bits: the tenths of a unit.
std::uint64_t TruncatedTenths(std::uint64_t bytes, std::uint64_t unit) {
    return bytes / unit * 10 + bytes % unit * 10 / unit;
}

// t tenths written as "<t / 10>.<t % 10>", the same text as "%.1f" of t * 0.1.
std::string TenthsText(std::uint64_t tenths) {
    return std::to_string(tenths / 10) + '.' + std::to_string(tenths % 10);
}

}  // namespace

std::string FormatNumber(int nValue) {
    // Widen first: the magnitude of INT_MIN does not fit in an int.
    const long long value = nValue;
    const long long magnitude = value < 0 ? -value : value;
    const std::string grouped = GroupThousands(std::to_string(magnitude));
    return value < 0 ? "-" + grouped : grouped;
}

std::string FormatUnsignedNumber(std::uint64_t value) {
    return GroupThousands(std::to_string(value));
}

std::string FormatSize(std::uint64_t bytes) {
    constexpr std::uint64_t kKilo = 1024;
    constexpr std::uint64_t kMega = 1024 * 1024;
    // The unit changes only above a whole unit: 1024 bytes read "1024B", 1 MB "1024.0KB".
    if (bytes <= kKilo) return std::to_string(bytes) + "B";
    if (bytes <= kMega) return TenthsText(TruncatedTenths(bytes, kKilo)) + "KB";
    return TenthsText(TruncatedTenths(bytes, kMega)) + "MB";
}

std::int32_t MulDiv(std::int32_t a, std::int32_t b, std::int32_t c) {
    if (c == 0) return -1;
    // |a * b| <= 2^62 and |c| <= 2^31: nothing below overflows 64 bits.
    const std::int64_t product = static_cast<std::int64_t>(a) * b;
    std::int64_t quotient = product / c;
    const std::int64_t remainder = product % c;
    const std::int64_t absRemainder = remainder < 0 ? -remainder : remainder;
    const std::int64_t absDivisor = c < 0 ? -static_cast<std::int64_t>(c) : c;
    if (2 * absRemainder >= absDivisor) {
        // Halves go away from zero: the direction is the sign of the exact quotient.
        quotient += ((product < 0) != (c < 0)) ? -1 : 1;
    }
    if (quotient < INT32_MIN || quotient > INT32_MAX) return -1;
    return static_cast<std::int32_t>(quotient);
}

}  // namespace plovik
