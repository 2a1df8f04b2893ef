#include <windows.h>

#include <string>

#include "plovik/system_error.h"
#include "plovik/text_encoding.h"
#include "raw_file.h"

namespace plovik {
namespace {

class Win32File final : public RawFile {
  public:
    Win32File(HANDLE handle, std::uint64_t size) : m_handle(handle), m_size(size) {}
    ~Win32File() override { CloseHandle(m_handle); }
    Win32File(const Win32File&) = delete;
    Win32File& operator=(const Win32File&) = delete;

    std::uint64_t Size() const override { return m_size; }

  protected:
    // A synchronous handle reads at the offset that the OVERLAPPED record names.
    std::int64_t ReadSome(std::uint64_t position, void* buffer, std::size_t n) override {
        const DWORD wanted = n > 0x40000000u ? 0x40000000u : static_cast<DWORD>(n);
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(position);
        at.OffsetHigh = static_cast<DWORD>(position >> 32);
        DWORD got = 0;
        if (ReadFile(m_handle, buffer, wanted, &got, &at)) return static_cast<std::int64_t>(got);
        m_error = GetLastError();
        return m_error == ERROR_HANDLE_EOF ? 0 : -1;
    }
    std::string ErrorText() const override { return SystemErrorText(m_error); }

  private:
    HANDLE m_handle;
    std::uint64_t m_size;
    DWORD m_error = 0;
};

}  // namespace

OpenedFile OpenRawFile(const std::string& utf8Path, std::span<unsigned char> /*head*/) {
    if (utf8Path.empty()) return {nullptr, "empty file name"};
    const std::wstring wide = Utf8ToWide(utf8Path);
    if (wide.empty()) return {nullptr, SystemErrorText(ERROR_NO_UNICODE_TRANSLATION)};
    // Without FILE_FLAG_BACKUP_SEMANTICS a directory fails to open, as it should. The window
    // keeps a file open from its report to its data scan: others may still rename or delete it.
    HANDLE handle = CreateFileW(wide.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        const DWORD attributes = GetFileAttributesW(wide.c_str());
        const bool directory =
            attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        return {nullptr, directory ? std::string("Is a directory") : SystemErrorText(error)};
    }
    LARGE_INTEGER size;
    if (!GetFileSizeEx(handle, &size)) {
        const DWORD error = GetLastError();
        CloseHandle(handle);
        return {nullptr, SystemErrorText(error)};
    }
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        return {nullptr, "not a regular file"};
    }
    return {std::make_unique<Win32File>(handle, static_cast<std::uint64_t>(size.QuadPart)), {}};
}

}  // namespace plovik
