// The open and save dialogs: the caller's flags reach the platform exactly, and the
// dialog opens near the middle of the screen through an invisible placement window.
#pragma once

#include <windows.h>
// needs windows.h first
#include <commdlg.h>

#include <functional>
#include <string>
#include <vector>

#include "platform_calls.h"

namespace plovik::win {

class CLumoFileDialog {
  public:
    // lpszFilter pairs display texts and patterns, each followed by "|", closed by "||".
    // hParentWnd is disabled while the dialog is open; its top-level window owns the
    // placement window. The platform dialog runs through `platform`.
    CLumoFileDialog(bool bOpenFileDialog, const wchar_t* lpszDefExt, const wchar_t* lpszFileName,
                    DWORD dwFlags, const wchar_t* lpszFilter, HWND hParentWnd,
                    CPlatformCalls platform = {});
    CLumoFileDialog(const CLumoFileDialog&) = delete;
    CLumoFileDialog& operator=(const CLumoFileDialog&) = delete;

    // IDOK when the user confirmed a name; IDCANCEL on cancel or failure.
    INT_PTR DoModal();
    std::wstring GetPathName() const { return m_ofn.lpstrFile; }

    // Asked with the chosen path while the dialog is still open (hDialog, to own a message);
    // false keeps the dialog open for another name. Set, the dialog gets a hook for it
    // (OFN_ENABLEHOOK added to the caller's flags).
    std::function<bool(HWND hDialog, const std::wstring& path)> m_fileOk;

    // Moves a window, keeping its size, z-order and activation, to the screen's centre.
    static void CenterOnScreen(HWND hWnd);

    // Where the placement window's top-left corner goes, relative to where it is centred.
    static constexpr int kPlacementOffsetX = -230;
    static constexpr int kPlacementOffsetY = -180;
    // Room for any path the platform returns (long paths included).
    static constexpr DWORD kFileBufferChars = 32768;

    OPENFILENAMEW m_ofn{};

  private:
    HWND CreatePlacementWindow() const;
    static UINT_PTR CALLBACK HookProc(HWND hChild, UINT msg, WPARAM wParam, LPARAM lParam);

    bool m_bOpenFileDialog;
    HWND m_pParentWindow;
    CPlatformCalls m_platform;
    std::wstring m_strDefExt;
    std::wstring m_strFilter;  // "|" already turned into NUL
    std::vector<wchar_t> m_szFileName;
    // Room for any file name: a short title buffer can make the dialog fail.
    wchar_t m_szFileTitle[MAX_PATH] = {};
};

}  // namespace plovik::win
