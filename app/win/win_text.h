// UTF-8 <-> UTF-16 at the Win32 boundary: the program keeps UTF-8, the W APIs take UTF-16.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace plovik::win {

std::wstring ToWide(std::string_view utf8);
std::string ToUtf8(std::wstring_view wide);

// The whole text of a window or control, however long.
std::wstring GetWindowTextString(HWND hWnd);

}  // namespace plovik::win
