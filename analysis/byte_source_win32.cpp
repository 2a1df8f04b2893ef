#include <windows.h>

#include <string>

#include "raw_file.h"

namespace plovik {
namespace {

std::wstring Utf8ToWide(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                           static_cast<int>(utf8.size()), nullptr, 0);
    if (length <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                        wide.data(), length);
    return wide;
}

class Win32File final : public RawFile {
  public:
    Win32File(HANDLE handle, std::uint64_t size) : m_handle(handle), m_size(size) {}
    ~Win32File() override { CloseHandle(m_handle); }
    Win32File(const Win32File&) = delete;
    Win32File& operator=(const Win32File&) = delete;

    std::uint64_t Size() const override { return m_size; }

    // A synchronous handle reads at the offset that the OVERLAPPED record names.
    std::int64_t ReadAt(std::uint64_t position, void* buffer, std::size_t n) override {
        const DWORD wanted = n > 0x40000000u ? 0x40000000u : static_cast<DWORD>(n);
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(position);
        at.OffsetHigh = static_cast<DWORD>(position >> 32);
        DWORD got = 0;
        if (ReadFile(m_handle, buffer, wanted, &got, &at)) return static_cast<std::int64_t>(got);
        return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
    }

  private:
    HANDLE m_handle;
    std::uint64_t m_size;
};

}  // namespace

std::unique_ptr<RawFile> OpenRawFile(const std::string& utf8Path) {
    const std::wstring wide = Utf8ToWide(utf8Path);
    if (wide.empty()) return nullptr;
    // Without FILE_FLAG_BACKUP_SEMANTICS a directory fails to open, as it should.
    HANDLE handle = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(handle, &size) || GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        return nullptr;
    }
    return std::make_unique<Win32File>(handle, static_cast<std::uint64_t>(size.QuadPart));
}

}  // namespace plovik
