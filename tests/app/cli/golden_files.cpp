#include "golden_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "support/temp_dir.h"

namespace plovik::test {
namespace {

std::string Utf8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace

std::vector<GoldenFile> LoadGoldenFiles() {
    const char* sourceDir = std::getenv("PLOVIK_SOURCE_DIR");
    if (sourceDir == nullptr) {
        ADD_FAILURE() << "PLOVIK_SOURCE_DIR is not set";
        return {};
    }
    const std::filesystem::path dataDir = std::filesystem::path(sourceDir) / "tests" / "data";
    std::error_code error;
    std::vector<std::filesystem::path> avis;
    for (const auto& entry : std::filesystem::directory_iterator(dataDir, error)) {
        if (entry.path().extension() == ".avi") avis.push_back(entry.path());
    }
    if (error) ADD_FAILURE() << "cannot list " << Utf8(dataDir) << ": " << error.message();
    std::sort(avis.begin(), avis.end());

    std::vector<GoldenFile> files;
    for (const auto& avi : avis) {
        std::filesystem::path expected = avi;
        expected.replace_extension(".report.txt");
        files.push_back({Utf8(avi), ReadFileBytes(Utf8(expected))});
        EXPECT_FALSE(files.back().expected.empty()) << "no expected report " << Utf8(expected);
    }
    return files;
}

}  // namespace plovik::test
