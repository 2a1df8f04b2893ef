#include "main_dlg.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "about_dlg.h"
#include "command_line.h"
#include "edit_report_area.h"
#include "file_dialog.h"
#include "plovik/avi_parser.h"
#include "plovik/report.h"
#include "plovik/text_encoding.h"
#include "win_text.h"

namespace plovik::win {

namespace {

constexpr wchar_t kMessageCaption[] = L"플로빅";
constexpr wchar_t kOpenFirst[] = L"파일을 먼저 여세요..";
constexpr wchar_t kCannotOpen[] = L"파일을 열 수 없습니다.";
constexpr wchar_t kOpenFilter[] = L"AVI 파일(*.AVI)|*.avi|모든파일(*.*)|*.*||";
constexpr wchar_t kSaveFilter[] = L"모든파일(*.*)|*.*||";
constexpr DWORD kOpenFlags = OFN_FILEMUSTEXIST | OFN_EXPLORER | OFN_ENABLESIZING;
constexpr DWORD kSaveFlags = OFN_OVERWRITEPROMPT | OFN_EXPLORER | OFN_ENABLESIZING;

// The folder of a path with its drive ("D:\video\"), or "" when the path names none.
std::string FolderOf(const std::string& path) {
    std::string dir = GetFileDirOnly(path);
    if (dir.empty()) return dir;
    bool hasDrive = path.size() >= 2 && path[1] == ':';
    return hasDrive ? path.substr(0, 2) + dir : dir;
}

bool WriteWholeFile(const std::wstring& path, const std::string& bytes) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    bool ok = true;
    size_t done = 0;
    while (ok && done < bytes.size()) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
        DWORD written = 0;
        ok = WriteFile(h, bytes.data() + done, chunk, &written, nullptr) && written == chunk;
        done += written;
    }
    return CloseHandle(h) && ok;
}

}  // namespace

CMainDlg::CMainDlg()
    : CDialog(IDD_MAIN_DIALOG),
      m_hIcon(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME))) {}

CMainDlg::~CMainDlg() = default;

void CMainDlg::DoDataExchange(CDataExchange& dx) {
    DDX_Control(dx, IDC_FILE_INFO, m_editFileInfo);
    DDX_Text(dx, IDC_FILE_PATH, m_strFilePath);
    DDX_ReportText(dx, IDC_FILE_INFO, m_strFileInfo);
}

BOOL CMainDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    // A report may be far longer than the edit control's default 30,000 characters.
    SendMessageW(m_editFileInfo.m_hWnd, EM_SETLIMITTEXT, 0, 0);
    DragAcceptFiles(m_hWnd, TRUE);

    // A file named on the command line is analysed before the window first shows.
    if (std::optional<std::string> path = FirstCommandLinePath(m_strCmdLine)) {
        m_strFilePath = *path;
        UpdateData(false);
        OnReread();
    }
    return TRUE;
}

bool CMainDlg::OnCommand(int nID, int nCode, HWND /*hCtl*/) {
    if (nCode != BN_CLICKED) return false;
    switch (nID) {
        case IDC_BROWSE:
            OnBrowse();
            return true;
        case IDC_REREAD:
            OnReread();
            return true;
        case IDC_COPY:
            OnCopy();
            return true;
        case IDC_HOMEPAGE:
            OnHomepage();
            return true;
        case IDC_SAVE:
            OnSave();
            return true;
        default:
            return false;
    }
}

bool CMainDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, INT_PTR& lResult) {
    switch (msg) {
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0) != IDM_ABOUTBOX) return false;  // the platform's own
            OnSysCommand(static_cast<UINT>(wParam), lParam);
            return true;
        case WM_PAINT:
            return OnPaint();
        case WM_QUERYDRAGICON:
            lResult = reinterpret_cast<INT_PTR>(OnQueryDragIcon());
            return true;
        case WM_DROPFILES:
            OnDropFiles(reinterpret_cast<HDROP>(wParam));
            return true;
        default:
            return false;
    }
}

void CMainDlg::OnSysCommand(UINT nID, LPARAM /*lParam*/) {
    if ((nID & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg about(m_hWnd);
        about.DoModal();
    }
}

bool CMainDlg::OnPaint() {
    if (!IsIconic(m_hWnd)) return false;
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(m_hWnd, &ps);
    SendMessageW(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0);
    int cxIcon = GetSystemMetrics(SM_CXICON);
    int cyIcon = GetSystemMetrics(SM_CYICON);
    RECT rect;
    GetClientRect(m_hWnd, &rect);
    int x = (rect.right - rect.left - cxIcon + 1) / 2;
    int y = (rect.bottom - rect.top - cyIcon + 1) / 2;
    m_platform.drawIcon(hdc, x, y, m_hIcon);
    EndPaint(m_hWnd, &ps);
    return true;
}

void CMainDlg::ShowFileInfo(const std::string& strPath) {
    // The report is built first and goes into the area in one step: the control lays out
    // and repaints its text once, not once per line.
    CStringReportArea report;
    plovik::ShowFileInfo(report, strPath);
    CEditReportArea area(m_editFileInfo.m_hWnd);
    area.ClearReport();
    area.AppendLines(report.Text());
}

void CMainDlg::ClearReport() { CEditReportArea(m_editFileInfo.m_hWnd).ClearReport(); }

void CMainDlg::OnReread() {
    UpdateData(true);
    ShowFileInfo(m_strFilePath);
}

void CMainDlg::OnBrowse() {
    CLumoFileDialog dlg(true, L"", L"", kOpenFlags, kOpenFilter, m_hWnd, m_platform);
    if (dlg.DoModal() != IDOK) return;
    m_strFilePath = WideToUtf8(dlg.GetPathName());
    UpdateData(false);
    ShowFileInfo(m_strFilePath);
}

void CMainDlg::OnDropFiles(HDROP hDropInfo) {
    if (DragQueryFileW(hDropInfo, 0xFFFFFFFF, nullptr, 0) > 0) {
        UINT length = DragQueryFileW(hDropInfo, 0, nullptr, 0);
        std::vector<wchar_t> name(length + 1, L'\0');
        DragQueryFileW(hDropInfo, 0, name.data(), length + 1);
        m_strFilePath = WideToUtf8(std::wstring_view(name.data(), length));
        UpdateData(false);
        OnReread();
    }
    DragFinish(hDropInfo);
}

void CMainDlg::OnCopy() {
    HWND hEdit = m_editFileInfo.m_hWnd;
    SendMessageW(hEdit, EM_SETSEL, 0, -1);  // the whole report, however long
    SendMessageW(hEdit, EM_SCROLLCARET, 0, 0);
    SendMessageW(hEdit, WM_COPY, 0, 0);
    SendMessageW(hEdit, EM_SETSEL, 0, 0);
    SendMessageW(hEdit, EM_SCROLLCARET, 0, 0);
}

void CMainDlg::OnSave() {
    if (m_strFilePath.empty()) {
        ShowMessage(kOpenFirst);
        return;
    }
    std::wstring name = Utf8ToWide(GetFileNameOnly(m_strFilePath) + ".txt");
    CLumoFileDialog dlg(false, L"", name.c_str(), kSaveFlags, kSaveFilter, m_hWnd, m_platform);
    std::wstring folder = Utf8ToWide(FolderOf(m_strFilePath));
    if (!folder.empty()) dlg.m_ofn.lpstrInitialDir = folder.c_str();
    if (dlg.DoModal() != IDOK) return;
    SaveReport(WideToUtf8(dlg.GetPathName()));
}

bool CMainDlg::SaveReport(const std::string& strPath) {
    // The report leaves the program in CP949; its lines already end in CR LF.
    std::string text = Utf8ToCp949(WideToUtf8(GetWindowTextString(m_editFileInfo.m_hWnd)));
    if (!WriteWholeFile(Utf8ToWide(strPath), text)) {
        ShowMessage(kCannotOpen);
        return false;
    }
    return true;
}

void CMainDlg::OnHomepage() {
    m_platform.shellExecute(nullptr, L"open", kHomePageUrl, nullptr, nullptr, SW_SHOW);
}

void CMainDlg::ShowMessage(const wchar_t* pszText) {
    MessageBoxW(m_hWnd, pszText, kMessageCaption, MB_OK);
}

}  // namespace plovik::win
