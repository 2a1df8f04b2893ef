#include "file_dialog.h"

#include <algorithm>
#include <iterator>

namespace plovik::win {

namespace {

constexpr wchar_t kPlacementClass[] = L"PlovikFileDialogPlacement";

void RegisterPlacementClass() {
    static const bool registered = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.style = 0;
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = kPlacementClass;
        return RegisterClassExW(&wc) != 0;
    }();
    (void)registered;
}

}  // namespace

CLumoFileDialog::CLumoFileDialog(bool bOpenFileDialog, const wchar_t* lpszDefExt,
                                 const wchar_t* lpszFileName, DWORD dwFlags,
                                 const wchar_t* lpszFilter, HWND hParentWnd,
                                 CPlatformCalls platform)
    : m_bOpenFileDialog(bOpenFileDialog),
      m_pParentWindow(hParentWnd),
      m_platform(std::move(platform)),
      m_strDefExt(lpszDefExt ? lpszDefExt : L""),
      m_strFilter(lpszFilter ? lpszFilter : L""),
      m_szFileName(kFileBufferChars, L'\0') {
    std::replace(m_strFilter.begin(), m_strFilter.end(), L'|', L'\0');
    if (lpszFileName) {
        std::wstring name(lpszFileName);
        name.resize(std::min<size_t>(name.size(), kFileBufferChars - 1));
        std::copy(name.begin(), name.end(), m_szFileName.begin());
    }
    m_ofn.lStructSize = sizeof m_ofn;
    m_ofn.hInstance = GetModuleHandleW(nullptr);
    m_ofn.lpstrFile = m_szFileName.data();
    m_ofn.nMaxFile = kFileBufferChars;
    m_ofn.lpstrFileTitle = m_szFileTitle;
    m_ofn.nMaxFileTitle = static_cast<DWORD>(std::size(m_szFileTitle));
    m_ofn.lpstrDefExt = lpszDefExt ? m_strDefExt.c_str() : nullptr;
    m_ofn.lpstrFilter = m_strFilter.empty() ? nullptr : m_strFilter.c_str();
    m_ofn.Flags = dwFlags;
}

void CLumoFileDialog::CenterOnScreen(HWND hWnd) {
    RECT rc;
    GetWindowRect(hWnd, &rc);
    int x = (GetSystemMetrics(SM_CXSCREEN) + rc.left - rc.right) / 2;
    int y = (GetSystemMetrics(SM_CYSCREEN) + rc.top - rc.bottom) / 2;
    SetWindowPos(hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HWND CLumoFileDialog::CreatePlacementWindow() const {
    RegisterPlacementClass();
    HWND hMainWnd = m_pParentWindow ? GetAncestor(m_pParentWindow, GA_ROOT) : nullptr;
    HWND hPlace = CreateWindowExW(WS_EX_TRANSPARENT, kPlacementClass, L"", 0, 0, 0, 0, 0, hMainWnd,
                                  nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!hPlace) return nullptr;
    CenterOnScreen(hPlace);
    RECT rc;
    GetWindowRect(hPlace, &rc);
    SetWindowPos(hPlace, HWND_TOP, rc.left + kPlacementOffsetX, rc.top + kPlacementOffsetY, 0, 0,
                 SWP_NOSIZE | SWP_NOACTIVATE);
    ShowWindow(hPlace, SW_HIDE);
    return hPlace;
}

// The hook's child of the explorer-style dialog; only the name's confirmation is its business.
UINT_PTR CALLBACK CLumoFileDialog::HookProc(HWND hChild, UINT msg, WPARAM /*wParam*/,
                                            LPARAM lParam) {
    if (msg != WM_NOTIFY) return 0;
    const auto* notify = reinterpret_cast<const OFNOTIFYW*>(lParam);
    if (notify->hdr.code != CDN_FILEOK) return 0;
    const auto* self = reinterpret_cast<const CLumoFileDialog*>(notify->lpOFN->lCustData);
    if (self->m_fileOk(GetParent(hChild), notify->lpOFN->lpstrFile)) return 0;
    SetWindowLongPtrW(hChild, DWLP_MSGRESULT, 1);  // the dialog stays open
    return 1;
}

INT_PTR CLumoFileDialog::DoModal() {
    // Nothing of an earlier, longer name may survive behind the initial one.
    size_t nameEnd = std::wstring_view(m_ofn.lpstrFile).size();
    std::fill(m_ofn.lpstrFile + nameEnd, m_ofn.lpstrFile + m_ofn.nMaxFile, L'\0');

    HWND hFocus = GetFocus();
    HWND hPlace = CreatePlacementWindow();

    // Without the placement window the parent's top-level window owns the dialog.
    HWND hOwner = nullptr;
    if (hPlace && m_pParentWindow)
        hOwner = hPlace;
    else if (m_pParentWindow)
        hOwner = GetAncestor(m_pParentWindow, GA_ROOT);

    bool bDisabledParent = false;
    if (hOwner && m_pParentWindow && IsWindowEnabled(m_pParentWindow)) {
        EnableWindow(m_pParentWindow, FALSE);
        bDisabledParent = true;
    }

    m_ofn.hwndOwner = hOwner;
    m_ofn.lpfnHook = m_fileOk ? HookProc : nullptr;
    m_ofn.lCustData = reinterpret_cast<LPARAM>(this);
    if (m_fileOk) m_ofn.Flags |= OFN_ENABLEHOOK;
    m_ofn.lpTemplateName = nullptr;
    BOOL bResult =
        m_bOpenFileDialog ? m_platform.getOpenFileName(&m_ofn) : m_platform.getSaveFileName(&m_ofn);

    if (bDisabledParent) EnableWindow(m_pParentWindow, TRUE);
    if (hFocus && IsWindow(hFocus)) SetFocus(hFocus);
    if (hPlace) DestroyWindow(hPlace);
    return bResult ? bResult : IDCANCEL;
}

}  // namespace plovik::win
