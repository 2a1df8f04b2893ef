// Text at the Win32 boundary: the program keeps UTF-8, the W APIs take UTF-16.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "plovik/text_encoding.h"

namespace plovik::win {

// The whole text of a window or control, however long.
std::wstring GetWindowTextString(HWND hWnd);

}  // namespace plovik::win
