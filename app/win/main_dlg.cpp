#include "main_dlg.h"

#include <algorithm>
#include <cwchar>
#include <filesystem>
#include <iterator>
#include <optional>
#include <vector>

#include "about_dlg.h"
#include "command_line.h"
#include "edit_report_area.h"
#include "file_dialog.h"
#include "plovik/avi_parser.h"
#include "plovik/file_analysis.h"
#include "plovik/findings_section.h"
#include "plovik/repair_need.h"
#include "plovik/repair_section.h"
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
// The repair asks about replacing a file itself, after refusing the analysed file.
constexpr DWORD kRepairFlags = OFN_EXPLORER | OFN_ENABLESIZING;
constexpr wchar_t kRepairFilter[] = L"AVI 파일(*.AVI)|*.avi||";
constexpr wchar_t kRepairTitle[] = L"복구본 저장";
constexpr DWORD kReferenceFlags = OFN_EXPLORER | OFN_ENABLESIZING | OFN_FILEMUSTEXIST;
constexpr wchar_t kReferenceTitle[] = L"참조 파일 선택";
constexpr wchar_t kRepairOverInput[] =
    L"분석한 파일에는 복구본을 저장할 수 없습니다. 다른 이름을 고르세요.";
constexpr wchar_t kReplaceQuestion[] = L" 파일이 이미 있습니다.\n바꾸시겠습니까?";
constexpr wchar_t kCheckText[] = L"데이터 검사(&D)";
constexpr wchar_t kRepairText[] = L"복구(&E)";

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

// A button that loses its use may not keep the keyboard focus: it moves on first.
void EnableControl(HWND hDlg, int nID, bool enable) {
    HWND hCtl = GetDlgItem(hDlg, nID);
    if (!enable && GetFocus() == hCtl) SendMessageW(hDlg, WM_NEXTDLGCTL, 0, FALSE);
    EnableWindow(hCtl, enable);
}

}  // namespace

CMainDlg::CMainDlg()
    : CDialog(IDD_MAIN_DIALOG),
      m_hIcon(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME))) {}

// The task writes into members destroyed before the worker: it ends first.
CMainDlg::~CMainDlg() { m_worker.Stop(); }

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
        case IDC_CHECK_DATA:
            OnCheckData();
            return true;
        case IDC_REPAIR:
            OnRepair();
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
        case CWorker::kProgressMessage:
            OnJobProgress(wParam, static_cast<int>(lParam));
            return true;
        case CWorker::kDoneMessage:
            OnJobDone(wParam);
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

void CMainDlg::OnOK() {
    StopJob();
    CDialog::OnOK();
}

void CMainDlg::OnCancel() {
    StopJob();
    CDialog::OnCancel();
}

void CMainDlg::ShowFileInfo(const std::string& strPath) {
    StopJob();
    m_strReportPath = strPath;
    m_bMendable = false;
    m_bHeadersLost = false;
    if (!m_analysis) m_analysis = std::make_unique<CFileAnalysis>();
    m_analysis->Analyse(strPath, {.keepOpen = true});
    // The report is built first and goes into the area in one step: the control lays out
    // and repaints its text once, not once per line.
    CStringReportArea report;
    m_bReportFailed = !WriteReport(report, FillFacts(strPath, *m_analysis, /*judged=*/false));
    m_bCheckable = !m_bReportFailed || m_analysis->HeadersLost();
    ShowJobButtons();
    CEditReportArea area(m_editFileInfo.m_hWnd);
    area.ClearReport();
    area.AppendLines(report.Text());
    m_nReportChars = static_cast<std::size_t>(GetWindowTextLengthW(m_editFileInfo.m_hWnd));
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

void CMainDlg::OnCheckData() {
    if (m_job == Job::kCheck) {
        StopJob();
        return;
    }
    if (m_job != Job::kNone || !m_bCheckable) return;
    if (!m_analysis) {
        ShowMessage(kOpenFirst);
        return;
    }
    m_check = {std::move(m_analysis), std::nullopt};
    StartJob(Job::kCheck, [path = m_strReportPath, &check = m_check](const CWorker::Context& c) {
        check.found = CheckData(*check.analysis, path, c);
    });
}

std::optional<CMainDlg::CheckSections> CMainDlg::CheckData(CFileAnalysis& analysis,
                                                           const std::string& strPath,
                                                           const CWorker::Context& c) {
    const bool scanned =
        analysis.ScanData({.progress = c.progress, .observer = nullptr, .stop = &c.stop});
    if (!scanned || (analysis.m_bScanned && analysis.m_scan.m_bStopped) || c.stop) {
        return std::nullopt;
    }
    const FileFacts facts = FillFacts(strPath, analysis);
    // The lines plovik-report --scan appends to the report, then the findings.
    CStringReportArea area;
    AddScanSection(area, facts);
    AddFindingsSection(area, facts);
    return CheckSections{area.Text(), RepairWouldMend(facts), facts.lostHeaders.has_value()};
}

void CMainDlg::ShowCheckSections(const std::string& text) {
    TruncateEdit(m_editFileInfo.m_hWnd, m_nReportChars);
    CEditReportArea(m_editFileInfo.m_hWnd).AppendLines(text);
}

void CMainDlg::OnRepair() {
    if (m_job == Job::kRepair) {
        StopJob();
        return;
    }
    if (m_job != Job::kNone || !m_bMendable || m_strReportPath.empty()) return;
    const std::string reference = m_bHeadersLost ? AskReference() : std::string();
    std::wstring name = Utf8ToWide(GetFileNameOnly(m_strReportPath) + ".repaired.avi");
    CLumoFileDialog dlg(false, L"avi", name.c_str(), kRepairFlags, kRepairFilter, m_hWnd,
                        m_platform);
    std::wstring folder = Utf8ToWide(FolderOf(m_strReportPath));
    if (!folder.empty()) dlg.m_ofn.lpstrInitialDir = folder.c_str();
    dlg.m_ofn.lpstrTitle = kRepairTitle;
    dlg.m_fileOk = [this](HWND hFileDialog, const std::wstring& output) {
        return AcceptRepairOutput(hFileDialog, output);
    };
    if (dlg.DoModal() != IDOK) return;
    m_repairResult = {WideToUtf8(dlg.GetPathName()), {}};
    StartJob(Job::kRepair, [input = m_strReportPath, reference,
                            &result = m_repairResult](const CWorker::Context& c) {
        // The save dialog asked before replacing a file, so the copy may replace it.
        result.summary = RepairFile(
            input, result.output,
            {.dryRun = false,
             .force = true,
             .progress =
                 [&c](RepairPhase phase, std::uint64_t done, std::uint64_t total) {
                     constexpr std::uint64_t kWhole = 1000000;
                     c.progress(static_cast<std::uint64_t>(RepairDone(phase, done, total) * kWhole),
                                kWhole);
                 },
             .stop = &c.stop,
             .reference = reference});
    });
}

std::string CMainDlg::AskReference() {
    CLumoFileDialog dlg(true, L"avi", nullptr, kReferenceFlags, kRepairFilter, m_hWnd, m_platform);
    std::wstring folder = Utf8ToWide(FolderOf(m_strReportPath));
    if (!folder.empty()) dlg.m_ofn.lpstrInitialDir = folder.c_str();
    dlg.m_ofn.lpstrTitle = kReferenceTitle;
    if (dlg.DoModal() != IDOK) return {};
    return WideToUtf8(dlg.GetPathName());
}

bool CMainDlg::AcceptRepairOutput(HWND hFileDialog, const std::wstring& output) const {
    const std::string path = WideToUtf8(output);
    if (RefusalOf(m_strReportPath, path, /*force=*/true)) {
        MessageBoxW(hFileDialog, kRepairOverInput, kMessageCaption, MB_OK);
        return false;
    }
    if (!RefusalOf(m_strReportPath, path, /*force=*/false)) return true;  // a new file
    const std::wstring question =
        std::filesystem::path(output).filename().wstring() + kReplaceQuestion;
    return MessageBoxW(hFileDialog, question.c_str(), kRepairTitle, MB_YESNO | MB_ICONWARNING) ==
           IDYES;
}

void CMainDlg::StartJob(Job job, CWorker::Task task) {
    m_job = job;
    ShowJobButtons();
    m_taskbar.Show(m_hWnd, 0);
    m_worker.Start(m_hWnd, std::move(task));
}

void CMainDlg::StopJob() {
    if (m_job == Job::kNone) return;
    m_worker.Stop();
    TakeBackAnalysis();
    m_job = Job::kNone;
    ShowJobButtons();
    m_taskbar.Clear(m_hWnd);
}

void CMainDlg::TakeBackAnalysis() {
    if (m_check.analysis) m_analysis = std::move(m_check.analysis);
}

void CMainDlg::OnJobProgress(WPARAM serial, int percent) {
    if (!m_worker.IsCurrent(serial)) return;
    ShowJobButtons(percent);
    m_taskbar.Show(m_hWnd, percent);
}

void CMainDlg::OnJobDone(WPARAM serial) {
    if (!m_worker.Finish(serial)) return;  // a task that was stopped: nothing of it is shown
    const Job job = m_job;
    m_job = Job::kNone;
    TakeBackAnalysis();
    if (job == Job::kCheck && m_check.found) {
        m_bMendable = m_check.found->mendable;
        m_bHeadersLost = m_check.found->headersLost;
        ShowCheckSections(m_check.found->text);
    } else if (job == Job::kRepair && m_repairResult.summary.status != RepairStatus::kStopped) {
        CStringReportArea section;
        AddRepairSection(section, m_repairResult.output, m_repairResult.summary);
        CEditReportArea(m_editFileInfo.m_hWnd).AppendLines(section.Text());
    }
    ShowJobButtons();
    m_taskbar.Clear(m_hWnd);
}

void CMainDlg::ShowJobButtons(int percent) {
    // A task's end shows as its button's own text again: 100% is not shown while it runs.
    percent = std::clamp(percent, 0, 99);
    wchar_t text[32];
    if (m_job == Job::kCheck) {
        swprintf(text, std::size(text), L"검사 중지 %d%%", percent);
        SetDlgItemTextW(m_hWnd, IDC_CHECK_DATA, text);
    } else {
        SetDlgItemTextW(m_hWnd, IDC_CHECK_DATA, kCheckText);
    }
    if (m_job == Job::kRepair) {
        swprintf(text, std::size(text), L"중지 %d%%", percent);
        SetDlgItemTextW(m_hWnd, IDC_REPAIR, text);
    } else {
        SetDlgItemTextW(m_hWnd, IDC_REPAIR, kRepairText);
    }
    EnableControl(m_hWnd, IDC_CHECK_DATA,
                  m_job == Job::kCheck || (m_job == Job::kNone && m_bCheckable));
    EnableControl(m_hWnd, IDC_REPAIR,
                  m_job == Job::kRepair || (m_job == Job::kNone && m_bMendable));
}

void CMainDlg::ShowMessage(const wchar_t* pszText) {
    MessageBoxW(m_hWnd, pszText, kMessageCaption, MB_OK);
}

}  // namespace plovik::win
