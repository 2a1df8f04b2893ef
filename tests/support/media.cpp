#include "support/media.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>

#include "support/temp_dir.h"

namespace plovik::test {
namespace {

// PLOVIK_MEDIA_DIR in the environment, else the build tree's corpus.
std::filesystem::path MediaDir() {
    if (const char* dir = std::getenv("PLOVIK_MEDIA_DIR")) return dir;
#ifdef PLOVIK_MEDIA_DIR
    return PLOVIK_MEDIA_DIR;
#else
    return {};
#endif
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

namespace plovik::test {
namespace {

std::uint32_t Le32(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

// Calls each(id, listType, dataAt, size) for the chunks in [at, end), entering every list.
template <class Each>
void WalkChunks(const std::string& bytes, std::size_t at, std::size_t end, Each& each) {
    while (at + 8 <= end) {
        const std::string id = bytes.substr(at, 4);
        const std::size_t size = Le32(bytes, at + 4);
        const std::size_t dataEnd = std::min(end, at + 8 + size);
        if ((id == "LIST" || id == "RIFF") && size >= 4) {
            each(id, bytes.substr(at + 8, 4), at + 8, size);
            WalkChunks(bytes, at + 12, dataEnd, each);
        } else {
            each(id, std::string(), at + 8, size);
        }
        at = at + 8 + size + (size & 1);
    }
}

}  // namespace

std::vector<std::string> StreamChunks(const std::string& path, int stream, const char* kind) {
    const std::string bytes = ReadFileBytes(path);
    char prefix[3];
    prefix[0] = static_cast<char>('0' + stream / 10);
    prefix[1] = static_cast<char>('0' + stream % 10);
    prefix[2] = '\0';
    const std::string id = std::string(prefix) + kind;
    std::vector<std::string> chunks;
    auto each = [&](const std::string& chunkId, const std::string&, std::size_t dataAt,
                    std::size_t size) {
        if (chunkId == id && dataAt + size <= bytes.size())
            chunks.push_back(bytes.substr(dataAt, size));
    };
    WalkChunks(bytes, 0, bytes.size(), each);
    return chunks;
}

std::string StreamFormat(const std::string& path, int stream) {
    const std::string bytes = ReadFileBytes(path);
    std::string format;
    int lists = 0;
    auto each = [&](const std::string& chunkId, const std::string& listType, std::size_t dataAt,
                    std::size_t size) {
        if (chunkId == "LIST" && listType == "strl") ++lists;
        if (chunkId == "strf" && lists == stream + 1 && format.empty() &&
            dataAt + size <= bytes.size()) {
            format = bytes.substr(dataAt, size);
        }
    };
    WalkChunks(bytes, 0, bytes.size(), each);
    return format;
}

}  // namespace plovik::test
