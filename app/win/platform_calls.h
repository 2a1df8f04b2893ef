// The platform calls whose arguments decide what the user gets: the file dialogs, the
// shell's open verb and the icon of the minimised window. The app makes them as they are;
// tests put recorders in their place to see exactly what reaches the platform.
#pragma once

#include <windows.h>
// needs windows.h first
#include <commdlg.h>
#include <shellapi.h>

#include <functional>

namespace plovik::win {

struct CPlatformCalls {
    std::function<BOOL(OPENFILENAMEW*)> getOpenFileName = ::GetOpenFileNameW;
    std::function<BOOL(OPENFILENAMEW*)> getSaveFileName = ::GetSaveFileNameW;
    std::function<HINSTANCE(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT)> shellExecute =
        ::ShellExecuteW;
    std::function<BOOL(HDC, int, int, HICON)> drawIcon = ::DrawIcon;
};

}  // namespace plovik::win
