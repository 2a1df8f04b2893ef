#include <windows.h>

#include "file_system.h"
#include "plovik/system_error.h"
#include "plovik/text_encoding.h"

namespace plovik {
namespace {

std::string SystemReason(DWORD error) { return SystemErrorText(error); }

DirectoryId IdOf(const std::wstring& path) {
    DirectoryId id;
    HANDLE handle = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return id;
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileInformationByHandle(handle, &info)) {
        id.volume = info.dwVolumeSerialNumber;
        id.file = std::uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow;
    }
    CloseHandle(handle);
    return id;
}

EntryKind KindOf(DWORD attributes) {
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return EntryKind::kOther;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return EntryKind::kLinkToDirectory;
    return EntryKind::kDirectory;
}

}  // namespace

bool IsDirectory(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(Utf8ToWide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

DirectoryListing ListDirectory(const std::string& path) {
    DirectoryListing listing;
    const std::wstring directory = Utf8ToWide(path);
    std::wstring pattern = directory;
    if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/') pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW data{};
    HANDLE find = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                   nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND) listing.error = SystemReason(error);
        return listing;
    }
    listing.id = IdOf(directory);
    do {
        const std::wstring_view name = data.cFileName;
        if (name != L"." && name != L"..") {
            listing.entries.push_back({WideToUtf8(name), KindOf(data.dwFileAttributes)});
        }
    } while (FindNextFileW(find, &data));
    const DWORD error = GetLastError();
    if (error != ERROR_NO_MORE_FILES) listing.error = SystemReason(error);
    FindClose(find);
    return listing;
}

std::string OpenFailureReason(const std::string& path) {
    if (path.empty()) return "empty file name";
    const std::wstring wide = Utf8ToWide(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return SystemReason(GetLastError());
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return "Is a directory";
    HANDLE handle = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return SystemReason(GetLastError());
    const DWORD type = GetFileType(handle);
    CloseHandle(handle);
    return type == FILE_TYPE_DISK ? "cannot be read" : "not a regular file";
}

}  // namespace plovik
