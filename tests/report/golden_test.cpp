// Real AVI files written by real muxers, each with its complete expected report
// (tests/data/README.md says how both were made).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "plovik/report.h"
#include "support/temp_dir.h"

namespace plovik {
namespace {

namespace fs = std::filesystem;

std::string Utf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// The report area ends every line in "\r\n"; the expected files in "\n".
std::string WithCarriageReturns(const std::string& text) {
    std::string result;
    for (char c : text) result += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return result;
}

std::vector<fs::path> GoldenAviFiles() {
    const char* sourceDir = std::getenv("PLOVIK_SOURCE_DIR");
    if (sourceDir == nullptr) {
        ADD_FAILURE() << "PLOVIK_SOURCE_DIR is not set";
        return {};
    }
    std::vector<fs::path> files;
    std::error_code error;
    for (const auto& entry :
         fs::directory_iterator(fs::path(sourceDir) / "tests" / "data", error)) {
        if (entry.path().extension() == ".avi") files.push_back(entry.path());
    }
    EXPECT_FALSE(error) << error.message();
    std::sort(files.begin(), files.end());
    return files;
}

TEST(GoldenReports, EveryDataFileGivesItsExpectedReport) {
    const std::vector<fs::path> files = GoldenAviFiles();
    ASSERT_GE(files.size(), 4u);
    for (const fs::path& avi : files) {
        SCOPED_TRACE(Utf8(avi));
        fs::path expectedPath = avi;
        expectedPath.replace_extension(".report.txt");
        const std::string expected = test::ReadFileBytes(Utf8(expectedPath));
        ASSERT_FALSE(expected.empty()) << "missing " << Utf8(expectedPath);

        CStringReportArea area;
        EXPECT_TRUE(ShowFileInfo(area, Utf8(avi)));
        EXPECT_EQ(area.Text(), WithCarriageReturns(expected));
    }
}

}  // namespace
}  // namespace plovik
