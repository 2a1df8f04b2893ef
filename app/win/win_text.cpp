#include "win_text.h"

#include <vector>

namespace plovik::win {

std::wstring GetWindowTextString(HWND hWnd) {
    int length = GetWindowTextLengthW(hWnd);
    if (length <= 0) return {};
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1);
    int copied = GetWindowTextW(hWnd, buffer.data(), length + 1);
    return std::wstring(buffer.data(), static_cast<size_t>(copied > 0 ? copied : 0));
}

}  // namespace plovik::win
