#include <windows.h>

#include <atomic>

#include "output_file.h"
#include "plovik/system_error.h"
#include "plovik/text_encoding.h"

namespace plovik {
namespace {

class Win32TempOutput final : public TempOutput {
  public:
    Win32TempOutput(HANDLE file, std::string path) : m_file(file) { m_path = std::move(path); }
    ~Win32TempOutput() override {
        if (m_file != INVALID_HANDLE_VALUE) CloseHandle(m_file);
        if (!m_renamed) DeleteFileW(Utf8ToWide(m_path).c_str());
    }
    Win32TempOutput(const Win32TempOutput&) = delete;
    Win32TempOutput& operator=(const Win32TempOutput&) = delete;

    bool Write(const std::uint8_t* bytes, std::size_t n) override {
        while (n > 0) {
            const DWORD step = n > (1u << 30) ? (1u << 30) : static_cast<DWORD>(n);
            DWORD wrote = 0;
            if (!WriteFile(m_file, bytes, step, &wrote, nullptr) || wrote == 0) return Fail();
            bytes += wrote;
            n -= wrote;
        }
        return true;
    }
    std::string Error() const override { return m_error; }

    bool Sync() override {
        if (!FlushFileBuffers(m_file)) return Fail();
        const HANDLE file = m_file;
        m_file = INVALID_HANDLE_VALUE;
        return CloseHandle(file) || Fail();
    }
    bool RenameTo(const std::string& finalPath) override {
        if (!MoveFileExW(Utf8ToWide(m_path).c_str(), Utf8ToWide(finalPath).c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return Fail();
        }
        m_renamed = true;
        return true;
    }

  private:
    bool Fail() {
        m_error = LastSystemError();
        return false;
    }

    HANDLE m_file;
    bool m_renamed = false;
    std::string m_error;
};

// Opened for its identity only: no access to its data, any sharing.
HANDLE OpenForIdentity(const std::string& path) {
    return CreateFileW(Utf8ToWide(path).c_str(), 0,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

}  // namespace

std::unique_ptr<TempOutput> TempOutput::CreateBeside(const std::string& finalPath,
                                                     std::string& why) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = finalPath + "." + std::to_string(GetCurrentProcessId()) + "-" +
                                 std::to_string(counter++) + ".tmp";
        const HANDLE file = CreateFileW(Utf8ToWide(name).c_str(), GENERIC_WRITE, 0, nullptr,
                                        CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) return std::make_unique<Win32TempOutput>(file, name);
        if (GetLastError() != ERROR_FILE_EXISTS) break;
    }
    why = LastSystemError();
    return nullptr;
}

bool SameFile(const std::string& a, const std::string& b) {
    const HANDLE first = OpenForIdentity(a);
    if (first == INVALID_HANDLE_VALUE) return false;
    const HANDLE second = OpenForIdentity(b);
    BY_HANDLE_FILE_INFORMATION one{};
    BY_HANDLE_FILE_INFORMATION two{};
    const bool same = second != INVALID_HANDLE_VALUE && GetFileInformationByHandle(first, &one) &&
                      GetFileInformationByHandle(second, &two) &&
                      one.dwVolumeSerialNumber == two.dwVolumeSerialNumber &&
                      one.nFileIndexHigh == two.nFileIndexHigh &&
                      one.nFileIndexLow == two.nFileIndexLow;
    CloseHandle(first);
    if (second != INVALID_HANDLE_VALUE) CloseHandle(second);
    return same;
}

bool PathExists(const std::string& path) {
    return GetFileAttributesW(Utf8ToWide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace plovik
