#include "plovik/format.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace plovik {
namespace {

constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

TEST(FormatNumber, GroupsEveryThreeDigitsFromTheRight) {
    EXPECT_EQ(FormatNumber(0), "0");
    EXPECT_EQ(FormatNumber(999), "999");
    EXPECT_EQ(FormatNumber(1000), "1,000");
    EXPECT_EQ(FormatNumber(123456), "123,456");
    EXPECT_EQ(FormatNumber(1234567), "1,234,567");
    EXPECT_EQ(FormatNumber(123456789), "123,456,789");
    EXPECT_EQ(FormatNumber(kMax), "2,147,483,647");
}

TEST(FormatNumber, NeverPutsASeparatorAfterTheMinusSign) {
    EXPECT_EQ(FormatNumber(-1), "-1");
    EXPECT_EQ(FormatNumber(-123), "-123");
    EXPECT_EQ(FormatNumber(-800), "-800");
    EXPECT_EQ(FormatNumber(-1000), "-1,000");
    EXPECT_EQ(FormatNumber(-123456), "-123,456");
    EXPECT_EQ(FormatNumber(-123456789), "-123,456,789");
    EXPECT_EQ(FormatNumber(kMin), "-2,147,483,648");
}

TEST(FormatUnsignedNumber, GroupsSizesBeyondTheSignedRange) {
    EXPECT_EQ(FormatUnsignedNumber(0), "0");
    EXPECT_EQ(FormatUnsignedNumber(999), "999");
    EXPECT_EQ(FormatUnsignedNumber(1000), "1,000");
    EXPECT_EQ(FormatUnsignedNumber(2147483648u), "2,147,483,648");
    EXPECT_EQ(FormatUnsignedNumber(3000000000u), "3,000,000,000");
    EXPECT_EQ(FormatUnsignedNumber(4294967295u), "4,294,967,295");
    EXPECT_EQ(FormatUnsignedNumber(std::numeric_limits<std::uint64_t>::max()),
              "18,446,744,073,709,551,615");
}

TEST(FormatSize, ChangesUnitOnlyAboveAWholeUnit) {
    EXPECT_EQ(FormatSize(0), "0B");
    EXPECT_EQ(FormatSize(1024), "1024B");
    EXPECT_EQ(FormatSize(1025), "1.0KB");
    EXPECT_EQ(FormatSize(1048575), "1023.9KB");
    EXPECT_EQ(FormatSize(1048576), "1024.0KB");
    EXPECT_EQ(FormatSize(1048577), "1.0MB");
}

TEST(FormatSize, TruncatesTheTenth) {
    EXPECT_EQ(FormatSize(1535), "1.4KB");
    EXPECT_EQ(FormatSize(1536), "1.5KB");
    EXPECT_EQ(FormatSize(1153433), "1.0MB");  // 1.0999... MB
    EXPECT_EQ(FormatSize(700000000), "667.5MB");
    EXPECT_EQ(FormatSize(4294967295u), "4095.9MB");
}

TEST(FormatSize, MegabytesGrowPast32Bits) {
    EXPECT_EQ(FormatSize(4294967296u), "4096.0MB");
    EXPECT_EQ(FormatSize(5ULL << 30), "5120.0MB");  // 5 GiB
    EXPECT_EQ(FormatSize(std::numeric_limits<std::uint64_t>::max()), "17592186044415.9MB");
}

TEST(FormatSize, MatchesTheFloatingPointDefinitionFor32BitCounts) {
    // t = count * (1/unit) * 10 truncated, printed as t * 0.1 with "%.1f".
    for (std::uint64_t bytes = 1025; bytes < 5000000; bytes += 997) {
        const bool kilo = bytes <= 1048576;
        const double t = static_cast<long long>(static_cast<double>(bytes) *
                                                (kilo ? 1.0 / 1024 : 1.0 / 1048576) * 10);
        char expected[64];
        std::snprintf(expected, sizeof expected, kilo ? "%.1fKB" : "%.1fMB", t * 0.1);
        ASSERT_EQ(FormatSize(bytes), expected) << bytes;
    }
}

TEST(MulDiv, RoundsHalvesAwayFromZero) {
    EXPECT_EQ(MulDiv(30000, 1, 1001), 30);
    EXPECT_EQ(MulDiv(5, 1, 2), 3);
    EXPECT_EQ(MulDiv(-5, 1, 2), -3);
    EXPECT_EQ(MulDiv(5, 1, -2), -3);
    EXPECT_EQ(MulDiv(-5, -1, -2), -3);
    EXPECT_EQ(MulDiv(7, 1, 4), 2);    // 1.75
    EXPECT_EQ(MulDiv(5, 1, 4), 1);    // 1.25
    EXPECT_EQ(MulDiv(-7, 1, 4), -2);  // -1.75
    EXPECT_EQ(MulDiv(-5, 1, 4), -1);  // -1.25
    EXPECT_EQ(MulDiv(1, 1, 3), 0);
    EXPECT_EQ(MulDiv(0, 5, 7), 0);
}

TEST(MulDiv, UsesA64BitProduct) {
    EXPECT_EQ(MulDiv(100000, 100000, 100000), 100000);
    EXPECT_EQ(MulDiv(kMax, kMax, kMax), kMax);
    EXPECT_EQ(MulDiv(kMin, kMin, kMin), kMin);
    EXPECT_EQ(MulDiv(kMin, kMax, kMax), kMin);
    EXPECT_EQ(MulDiv(kMin, 1, kMin), 1);
    EXPECT_EQ(MulDiv(kMax, 1, kMin), -1);  // -0.99999... rounds to -1
    EXPECT_EQ(MulDiv(1, 1, kMin), 0);
    // Running time of 90000 frames at 30000/1001: 3003 seconds.
    EXPECT_EQ(MulDiv(90000, 1001, 30000), 3003);
}

TEST(MulDiv, GivesMinusOneForZeroDivisorOrOverflow) {
    EXPECT_EQ(MulDiv(0, 0, 0), -1);
    EXPECT_EQ(MulDiv(12345, 678, 0), -1);
    EXPECT_EQ(MulDiv(kMax, 2, 1), -1);
    EXPECT_EQ(MulDiv(kMin, 1, -1), -1);  // +2^31 does not fit
    EXPECT_EQ(MulDiv(kMin, kMin, 1), -1);
    EXPECT_EQ(MulDiv(kMin, -1, 1), -1);
    EXPECT_EQ(MulDiv(kMax, 1, -1), -kMax);
    // (2^32 - 1) / 2: rounding pushes the positive half just past the range, while
    // the negative half lands exactly on its lower end.
    EXPECT_EQ(MulDiv(65535, 65537, 2), -1);
    EXPECT_EQ(MulDiv(65535, 65537, -2), kMin);
}

// AppendPrintf must write exactly what the C library writes.
std::string Ours(const char* format, ...) {
    std::string text = "head:";
    va_list args;
    va_start(args, format);
    AppendPrintf(text, format, args);
    va_end(args);
    return text;
}

std::string Library(const char* format, ...) {
    char text[1024] = "head:";
    va_list args;
    va_start(args, format);
    std::vsnprintf(text + 5, sizeof text - 5, format, args);
    va_end(args);
    return text;
}

TEST(AppendPrintf, WritesWhatTheCLibraryWrites) {
    const int ints[] = {0, 7, -7, 10, -10, 99, 100, 123456, kMin, kMax};
    for (const int v : ints) {
        SCOPED_TRACE(v);
        EXPECT_EQ(Ours("%d|%02d|%04d|%5d|%u|%02u", v, v, v, v, static_cast<unsigned>(v),
                       static_cast<unsigned>(v)),
                  Library("%d|%02d|%04d|%5d|%u|%02u", v, v, v, v, static_cast<unsigned>(v),
                          static_cast<unsigned>(v)));
    }
    std::mt19937_64 random(7);
    std::vector<double> doubles = {0.0,
                                   -0.0,
                                   0.05,
                                   0.15,
                                   0.25,
                                   0.35,
                                   2.5,
                                   -2.5,
                                   1e300,
                                   1e-9,
                                   4.0 / 3.0,
                                   std::numeric_limits<double>::infinity(),
                                   -std::numeric_limits<double>::quiet_NaN()};
    for (int i = 0; i < 2000; ++i) {
        doubles.push_back(std::bit_cast<double>(random()));
        doubles.push_back(static_cast<double>(random() % 100000) / 1000.0);
    }
    for (const double v : doubles) {
        SCOPED_TRACE(v);
        EXPECT_EQ(Ours("%.1f %.02f %f", v, v, v), Library("%.1f %.02f %f", v, v, v));
    }
    EXPECT_EQ(Ours("%s=%s 100%%", "키", ""), "head:키= 100%");
    // Conversions of other kinds go to the C library whole.
    EXPECT_EQ(Ours("%d %x %-4s|%s", 1, 255u, "ab", "c"),
              Library("%d %x %-4s|%s", 1, 255u, "ab", "c"));
    EXPECT_EQ(Ours("%02llu:%.3e", 5ull, 1234.5), Library("%02llu:%.3e", 5ull, 1234.5));
}

}  // namespace
}  // namespace plovik
