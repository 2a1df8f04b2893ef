#include "dialog.h"

#include <algorithm>

#include "win_text.h"

namespace plovik::win {

namespace {

// Messages whose result a dialog procedure returns itself instead of through DWLP_MSGRESULT.
bool ReturnsResultDirectly(UINT msg) {
    switch (msg) {
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC:
        case WM_COMPAREITEM:
        case WM_VKEYTOITEM:
        case WM_CHARTOITEM:
        case WM_QUERYDRAGICON:
        case WM_INITDIALOG:
            return true;
        default:
            return false;
    }
}

}  // namespace

void DDX_Control(CDataExchange& dx, int nIDC, CEdit& control) {
    control.m_hWnd = ::GetDlgItem(dx.m_hDlg, nIDC);
}

void DDX_Text(CDataExchange& dx, int nIDC, std::string& value) {
    HWND hCtl = ::GetDlgItem(dx.m_hDlg, nIDC);
    if (dx.m_bSaveAndValidate)
        value = WideToUtf8(GetWindowTextString(hCtl));
    else
        SetWindowTextW(hCtl, Utf8ToWide(value).c_str());
}

CDialog::CDialog(int nIDTemplate, HWND hParent) : m_nIDTemplate(nIDTemplate), m_hParent(hParent) {}

CDialog::~CDialog() { DestroyWindow(); }

INT_PTR CDialog::DoModal() {
    m_bModal = true;
    m_bEnded = false;
    return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_nIDTemplate), m_hParent,
                           &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
}

bool CDialog::Create() {
    m_bModal = false;
    m_bEnded = false;
    HWND hWnd = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_nIDTemplate),
                                   m_hParent, &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
    return hWnd != nullptr;
}

void CDialog::DestroyWindow() {
    if (m_hWnd && !m_bModal) ::DestroyWindow(m_hWnd);
}

bool CDialog::UpdateData(bool bSaveAndValidate) {
    CDataExchange dx{m_hWnd, bSaveAndValidate};
    DoDataExchange(dx);
    return true;
}

void CDialog::EndDialog(INT_PTR nResult) {
    m_bEnded = true;
    m_nResult = nResult;
    if (m_bModal)
        ::EndDialog(m_hWnd, nResult);
    else
        ShowWindow(m_hWnd, SW_HIDE);
}

BOOL CDialog::OnInitDialog() {
    UpdateData(false);
    return TRUE;
}

void CDialog::CenterWindow() {
    RECT rc;
    GetWindowRect(m_hWnd, &rc);
    HWND hOwner = GetWindow(m_hWnd, GW_OWNER);
    HMONITOR monitor = hOwner ? MonitorFromWindow(hOwner, MONITOR_DEFAULTTONEAREST)
                              : MonitorFromWindow(m_hWnd, MONITOR_DEFAULTTOPRIMARY);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    GetMonitorInfoW(monitor, &info);
    const RECT& area = info.rcWork;
    RECT centre = area;
    if (hOwner && IsWindowVisible(hOwner) && !IsIconic(hOwner)) GetWindowRect(hOwner, &centre);

    const int width = rc.right - rc.left;
    const int height = rc.bottom - rc.top;
    // Past the right or bottom edge first, then the left or top edge, which wins.
    int x = (centre.left + centre.right) / 2 - width / 2;
    int y = (centre.top + centre.bottom) / 2 - height / 2;
    x = std::max<int>(std::min<int>(x, area.right - width), area.left);
    y = std::max<int>(std::min<int>(y, area.bottom - height), area.top);
    SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// As the framework does: a modal or unowned dialog that its initialisation did not move
// is centred.
BOOL CDialog::InitDialog() {
    RECT before;
    GetWindowRect(m_hWnd, &before);
    BOOL result = OnInitDialog();
    RECT after;
    GetWindowRect(m_hWnd, &after);
    const bool moved = after.left != before.left || after.top != before.top;
    const bool child = (GetWindowLongW(m_hWnd, GWL_STYLE) & WS_CHILD) != 0;
    const bool modalOrUnowned = m_bModal || GetWindow(m_hWnd, GW_OWNER) == nullptr;
    if (!moved && !child && modalOrUnowned) CenterWindow();
    return result;
}

void CDialog::OnOK() {
    UpdateData(true);
    EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_INITDIALOG) {
        auto* self = reinterpret_cast<CDialog*>(lParam);
        SetWindowLongPtrW(hWnd, DWLP_USER, lParam);
        self->m_hWnd = hWnd;
    }
    auto* self = reinterpret_cast<CDialog*>(GetWindowLongPtrW(hWnd, DWLP_USER));
    if (!self) return FALSE;  // messages before WM_INITDIALOG
    if (msg == WM_NCDESTROY) {
        SetWindowLongPtrW(hWnd, DWLP_USER, 0);
        self->m_hWnd = nullptr;
        return FALSE;
    }
    return self->Dispatch(msg, wParam, lParam);
}

INT_PTR CDialog::Dispatch(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_INITDIALOG) return InitDialog();
    if (msg == WM_COMMAND) {
        int nID = LOWORD(wParam);
        int nCode = HIWORD(wParam);
        if (nID == IDOK && nCode == BN_CLICKED) {
            OnOK();
            return TRUE;
        }
        if (nID == IDCANCEL && nCode == BN_CLICKED) {
            OnCancel();
            return TRUE;
        }
        return OnCommand(nID, nCode, reinterpret_cast<HWND>(lParam)) ? TRUE : FALSE;
    }
    INT_PTR lResult = 0;
    if (!OnMessage(msg, wParam, lParam, lResult)) return FALSE;
    if (ReturnsResultDirectly(msg)) return lResult;
    SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, lResult);
    return TRUE;
}

}  // namespace plovik::win
