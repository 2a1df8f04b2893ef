#include "support/temp_dir.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace plovik::test {

namespace fs = std::filesystem;

static fs::path FromUtf8(std::string_view s) {
    return fs::path(std::u8string(reinterpret_cast<const char8_t*>(s.data()), s.size()));
}

static std::string ToUtf8(const fs::path& p) {
    std::u8string u = p.u8string();
    return std::string(reinterpret_cast<const char*>(u.data()), u.size());
}

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate = fs::temp_directory_path() / ("plovik-test-" + std::to_string(stamp) +
                                                          "-" + std::to_string(counter++));
        if (fs::create_directory(candidate)) {
            m_path = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary directory");
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(m_path, ec);
}

std::string TempDir::PathOf(std::string_view name) const { return ToUtf8(m_path / FromUtf8(name)); }

std::string TempDir::Write(std::string_view name, std::string_view bytes) const {
    fs::path p = m_path / FromUtf8(name);
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + ToUtf8(p));
    return ToUtf8(p);
}

std::string ReadFileBytes(const std::string& utf8Path) {
    std::ifstream in(FromUtf8(utf8Path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace plovik::test
