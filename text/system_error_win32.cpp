#include <windows.h>

#include "plovik/system_error.h"
#include "plovik/text_encoding.h"

namespace plovik {

// In English where the system has it, else in the system's language.
std::string SystemErrorText(unsigned long code) {
    wchar_t* text = nullptr;
    const DWORD flags =
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    for (const DWORD language : {DWORD{MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)}, DWORD{0}}) {
        if (FormatMessageW(flags, nullptr, static_cast<DWORD>(code), language,
                           reinterpret_cast<LPWSTR>(&text), 0, nullptr) != 0) {
            break;
        }
    }
    if (text == nullptr) return "system error " + std::to_string(code);
    std::string reason = WideToUtf8(text);
    LocalFree(text);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                               reason.back() == ' ' || reason.back() == '.')) {
        reason.pop_back();
    }
    return reason;
}

std::string LastSystemError() { return SystemErrorText(GetLastError()); }

}  // namespace plovik
