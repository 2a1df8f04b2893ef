#include "support/media.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace plovik::test {
namespace {

std::filesystem::path MediaDir() {
    const char* dir = std::getenv("PLOVIK_MEDIA_DIR");
    return dir != nullptr ? std::filesystem::path(dir) : std::filesystem::path();
}

}  // namespace

std::string MediaFile(const std::string& name) {
    const std::filesystem::path dir = MediaDir();
    if (dir.empty()) return {};
    const std::filesystem::path path = dir / name;
    std::error_code error;
    return std::filesystem::is_regular_file(path, error) ? path.string() : std::string();
}

std::vector<std::string> MediaFiles() {
    std::vector<std::string> files;
    const std::filesystem::path dir = MediaDir();
    std::error_code error;
    if (dir.empty() || !std::filesystem::is_directory(dir, error)) return files;
    for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
        if (entry.path().extension() == ".avi") files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace plovik::test
