// A fresh directory under the system temp directory, removed with everything in it.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace plovik::test {

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    // Writes bytes to a file of this name (UTF-8) and returns its path as UTF-8.
    std::string Write(std::string_view name, std::string_view bytes) const;
    // Path (UTF-8) of a name inside the directory, without creating anything.
    std::string PathOf(std::string_view name) const;

  private:
    std::filesystem::path m_path;
};

// The bytes of a file, or an empty string when it cannot be read.
std::string ReadFileBytes(const std::string& utf8Path);

}  // namespace plovik::test
