// The main window in-process: start-up, the template, closing and the commands.
#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <filesystem>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "edit_report_area.h"
#include "main_dlg.h"
#include "support/avi_writer.h"
#include "support/temp_dir.h"
#include "ui_driver.h"
#include "win_text.h"

namespace plovik::win {
namespace {

using test::ItemText;
using test::RunWithSteps;
using test::Step;
using test::TempDir;

const std::wstring kHint = L"\r\n  드래그&드롭으로 파일을 열수 있습니다.";
const std::wstring kTitle = L"플로빅(Plovik) 2002/11/20";

RECT WorkArea() {
    RECT rc{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &rc, 0);
    return rc;
}
RECT WindowRect(HWND h) {
    RECT rc{};
    GetWindowRect(h, &rc);
    return rc;
}
// Centred: the two rectangles' middles at most a pixel apart (odd sizes halve unevenly).
void ExpectCentredOn(const RECT& inner, const RECT& outer) {
    EXPECT_NEAR(inner.left + inner.right, outer.left + outer.right, 2);
    EXPECT_NEAR(inner.top + inner.bottom, outer.top + outer.bottom, 2);
}

// The main dialog as the app creates it, but modeless so that the test drives it.
class MainWindowTest : public ::testing::Test {
  protected:
    void Open(const std::wstring& commandLine = L"") {
        dlg = std::make_unique<CMainDlg>();
        dlg->SetCommandLine(commandLine);
        ASSERT_TRUE(dlg->Create());
        hDlg = dlg->GetSafeHwnd();
    }
    void TearDown() override { dlg.reset(); }
    std::wstring Path() const { return ItemText(hDlg, IDC_FILE_PATH); }
    std::wstring Report() const { return ItemText(hDlg, IDC_FILE_INFO); }
    void Click(int nID) { SendMessageW(GetDlgItem(hDlg, nID), BM_CLICK, 0, 0); }
    // The report that the app shows for a file, made by a second dialog.
    std::wstring ReportOf(const std::string& path) {
        CMainDlg other;
        other.Create();
        other.ShowFileInfo(path);
        return ItemText(other.GetSafeHwnd(), IDC_FILE_INFO);
    }
    std::string WriteAvi(const std::string& name, const test::SimpleAvi& a = {}) {
        return temp.Write(name, test::BuildSimpleAvi(a));
    }

    TempDir temp;
    std::unique_ptr<CMainDlg> dlg;
    HWND hDlg = nullptr;
};

TEST_F(MainWindowTest, OpensFromItsTemplateWithTheHint) {
    Open();
    EXPECT_EQ(test::WindowText(hDlg), kTitle);
    EXPECT_EQ(Path(), L"");
    EXPECT_EQ(Report(), kHint);
    EXPECT_EQ(LOWORD(SendMessageW(hDlg, DM_GETDEFID, 0, 0)), IDOK);
    EXPECT_TRUE(GetWindowLongW(hDlg, GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(hDlg, WM_GETICON, ICON_BIG, 0)), dlg->m_hIcon);
    EXPECT_NE(dlg->m_hIcon, nullptr);

    HWND hReport = GetDlgItem(hDlg, IDC_FILE_INFO);
    LONG style = GetWindowLongW(hReport, GWL_STYLE);
    LONG wanted = ES_MULTILINE | ES_READONLY | ES_WANTRETURN | WS_VSCROLL;
    EXPECT_EQ(style & wanted, wanted);
    EXPECT_FALSE(style & ES_AUTOHSCROLL);
    EXPECT_GT(SendMessageW(hReport, EM_GETLIMITTEXT, 0, 0), 1000000);

    // Tab order is template order.
    const int order[] = {IDC_FILE_PATH, IDC_BROWSE, IDC_REREAD, IDC_FILE_INFO,
                         IDC_COPY,      IDC_SAVE,   IDOK,       IDC_HOMEPAGE};
    HWND h = GetDlgItem(hDlg, IDC_FILE_PATH);
    for (int id : order) {
        EXPECT_EQ(GetDlgCtrlID(h), id);
        h = GetNextDlgTabItem(hDlg, h, FALSE);
    }
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(hDlg, WM_QUERYDRAGICON, 0, 0)), dlg->m_hIcon);
}

TEST(Resources, IconHasFourImagesAndTheManifestIsThere) {
    HMODULE self = GetModuleHandleW(nullptr);
    HRSRC group = FindResourceW(self, MAKEINTRESOURCEW(IDR_MAINFRAME), RT_GROUP_ICON);
    ASSERT_NE(group, nullptr);
    const auto* dir = static_cast<const WORD*>(LockResource(LoadResource(self, group)));
    EXPECT_EQ(dir[2], 4);  // idReserved, idType, idCount
    EXPECT_NE(FindResourceW(self, MAKEINTRESOURCEW(1), RT_MANIFEST), nullptr);
    EXPECT_NE(FindResourceW(self, MAKEINTRESOURCEW(1), RT_VERSION), nullptr);
}

TEST_F(MainWindowTest, CommandLinePathIsAnalysedBeforeTheWindowShows) {
    std::filesystem::create_directory(temp.path() / L"공백 있는 폴더");
    std::string avi = WriteAvi("공백 있는 폴더/클립 한글.avi");
    std::string second = WriteAvi("second.avi");
    std::wstring wAvi = Utf8ToWide(avi);
    ASSERT_NE(wAvi.find(L'\\'), std::wstring::npos);

    // Records the report area at the moment the window is first shown.
    struct Probe : CMainDlg {
        std::wstring reportAtShow;
        bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, INT_PTR& lResult) override {
            if (msg == WM_SHOWWINDOW && wParam && reportAtShow.empty())
                reportAtShow = ItemText(m_hWnd, IDC_FILE_INFO);
            return CMainDlg::OnMessage(msg, wParam, lParam, lResult);
        }
    };
    auto probe = std::make_unique<Probe>();
    probe->SetCommandLine(L"\"" + wAvi + L"\" \"" + Utf8ToWide(second) + L"\"");
    ASSERT_TRUE(probe->Create());
    HWND h = probe->GetSafeHwnd();

    std::wstring expected = ReportOf(avi);
    EXPECT_EQ(ItemText(h, IDC_FILE_PATH), wAvi);
    EXPECT_EQ(probe->m_strFilePath, avi);
    EXPECT_EQ(ItemText(h, IDC_FILE_INFO), expected);
    EXPECT_EQ(probe->reportAtShow, expected);
    EXPECT_NE(expected.find(L"클립 한글.avi"), std::wstring::npos);
}

TEST_F(MainWindowTest, UnterminatedQuoteAnalysesNothing) {
    std::string avi = WriteAvi("clip.avi");
    Open(L"\"" + Utf8ToWide(avi));
    EXPECT_EQ(Path(), L"");
    EXPECT_EQ(Report(), kHint);
}

TEST_F(MainWindowTest, ReadAgainAnalysesTheTypedPath) {
    std::string avi = WriteAvi("typed.avi");
    Open();
    SetDlgItemTextW(hDlg, IDC_FILE_PATH, Utf8ToWide(avi).c_str());
    Click(IDC_REREAD);
    EXPECT_EQ(dlg->m_strFilePath, avi);
    EXPECT_EQ(Report(), ReportOf(avi));

    SetDlgItemTextW(hDlg, IDC_FILE_PATH, L"");
    Click(IDC_REREAD);
    EXPECT_EQ(Report(), L"\r\n 먼저 파일을 선택해 주세요.\r\n");

    // Enter on the focused read-again button presses it (and does not close the window).
    SetDlgItemTextW(hDlg, IDC_FILE_PATH, Utf8ToWide(avi).c_str());
    SetForegroundWindow(hDlg);
    SendMessageW(hDlg, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(hDlg, IDC_REREAD)), TRUE);
    PostMessageW(GetDlgItem(hDlg, IDC_REREAD), WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_TRUE(test::PumpUntil(hDlg, [&] { return Report() == ReportOf(avi); }));
    EXPECT_FALSE(dlg->IsEnded());
}

TEST_F(MainWindowTest, FileNamesOfAnyScriptOpen) {
    std::string avi = WriteAvi("тест ไทย ü 😀.avi");
    Open();
    SetDlgItemTextW(hDlg, IDC_FILE_PATH, Utf8ToWide(avi).c_str());
    Click(IDC_REREAD);
    EXPECT_EQ(dlg->m_strFilePath, avi);
    EXPECT_NE(Report().find(L"тест ไทย ü 😀.avi"), std::wstring::npos) << WideToUtf8(Report());
    EXPECT_EQ(Report().find(L"파일 열기 실패"), std::wstring::npos);
}

TEST_F(MainWindowTest, DropAnalysesTheFirstOfThreeFiles) {
    std::string a = WriteAvi("첫째.avi", {.frames = 4});
    std::string b = WriteAvi("b.avi", {.frames = 8});
    std::string c = WriteAvi("c.avi");
    Open();
    SendMessageW(
        hDlg, WM_DROPFILES,
        reinterpret_cast<WPARAM>(test::MakeDrop({Utf8ToWide(a), Utf8ToWide(b), Utf8ToWide(c)})), 0);
    EXPECT_EQ(Path(), Utf8ToWide(a));
    EXPECT_EQ(dlg->m_strFilePath, a);
    EXPECT_EQ(Report(), ReportOf(a));
}

TEST_F(MainWindowTest, DropOfALongPathKeepsItWhole) {
    std::filesystem::path dir = temp.path();
    for (int i = 0; i < 6; ++i) dir /= std::wstring(50, static_cast<wchar_t>(L'가' + i));
    std::wstring name = (dir / L"clip.avi").wstring();
    ASSERT_GT(name.size(), 300u);
    Open();
    SendMessageW(hDlg, WM_DROPFILES, reinterpret_cast<WPARAM>(test::MakeDrop({name})), 0);
    EXPECT_EQ(Path(), name);
}

TEST_F(MainWindowTest, CopyPutsTheWholeReportOnTheClipboard) {
    Open();
    std::string longText;
    for (int i = 0; i < 800; ++i) longText += "    줄 " + std::to_string(i) + " : 값\r\n";
    dlg->m_strFileInfo = longText;
    dlg->UpdateData(false);
    std::wstring shown = Report();
    ASSERT_GT(shown.size(), 10000u);
    Click(IDC_COPY);
    EXPECT_EQ(test::ReadClipboardText(), shown);
    DWORD start = 1, end = 1;
    SendMessageW(GetDlgItem(hDlg, IDC_FILE_INFO), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, 0u);
}

TEST_F(MainWindowTest, LongReportLinesAllLandAtTheEnd) {
    Open();
    CEditReportArea area(GetDlgItem(hDlg, IDC_FILE_INFO));
    area.ClearReport();
    // 36,000 characters: past character 10,000 and past the edit control's default limit; in
    // 500 lines that fit the width, as each line appended costs Wine's control a pass over
    // those before it.
    for (int i = 0; i < 500; ++i)
        area.AddReportLine("line %04d of a report that is long, as long as fits on one line, whole",
                           i);
    std::wstring text = Report();
    const size_t lineLength = 72;
    ASSERT_EQ(text.size(), 500 * lineLength);
    EXPECT_EQ(text.substr(text.size() - lineLength),
              L"line 0499 of a report that is long, as long as fits on one line, whole\r\n");
    EXPECT_EQ(text.substr(0, lineLength),
              L"line 0000 of a report that is long, as long as fits on one line, whole\r\n");
}

// The longest text the report area was given at once (EM_REPLACESEL).
WNDPROC g_editProc = nullptr;
std::size_t g_longestPiece = 0;
LRESULT CALLBACK RecordPieces(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == EM_REPLACESEL)
        g_longestPiece =
            std::max(g_longestPiece, std::wcslen(reinterpret_cast<const wchar_t*>(lParam)));
    return CallWindowProcW(g_editProc, h, msg, wParam, lParam);
}

// The report area takes a 64 KiB line in pieces of a few KiB (Wine's edit control wraps a
// line given at once in time that grows with the square of its length): the text is the
// report's, whole, and the caret stands at its end, as after appending line by line.
TEST_F(MainWindowTest, AReportWithALongLineIsWholeWithTheCaretAtItsEnd) {
    std::string software;
    while (software.size() < 60000) software += "한글 Encoder " + std::to_string(software.size());
    std::string avi = WriteAvi("long.avi", {.software = software});
    Open();
    g_longestPiece = 0;
    g_editProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
        GetDlgItem(hDlg, IDC_FILE_INFO), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordPieces)));
    SetDlgItemTextW(hDlg, IDC_FILE_PATH, Utf8ToWide(avi).c_str());
    Click(IDC_REREAD);
    EXPECT_GT(g_longestPiece, 0u);
    EXPECT_LE(g_longestPiece, 4096u);
    CStringReportArea expected;
    plovik::ShowFileInfo(expected, avi);
    ASSERT_EQ(Report(), Utf8ToWide(expected.Text()));
    DWORD start = 0, end = 0;
    SendMessageW(GetDlgItem(hDlg, IDC_FILE_INFO), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, Report().size());
    EXPECT_EQ(end, Report().size());
}

TEST_F(MainWindowTest, ClosingEndsTheDialog) {
    Open();
    Click(IDOK);
    EXPECT_TRUE(dlg->IsEnded());
    EXPECT_EQ(dlg->GetResult(), IDOK);

    Open();
    SendMessageW(hDlg, WM_CLOSE, 0, 0);  // the caption's close box
    EXPECT_TRUE(test::PumpUntil(hDlg, [&] { return dlg->IsEnded(); }));
    EXPECT_EQ(dlg->GetResult(), IDCANCEL);

    Open();
    HWND hPath = GetDlgItem(hDlg, IDC_FILE_PATH);
    PostMessageW(hPath, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(test::PumpUntil(hDlg, [&] { return dlg->IsEnded(); }));
    EXPECT_EQ(dlg->GetResult(), IDCANCEL);

    // Enter in the path field presses the default button "닫기", which keeps the typed path.
    Open();
    SetDlgItemTextW(hDlg, IDC_FILE_PATH, L"typed");
    PostMessageW(GetDlgItem(hDlg, IDC_FILE_PATH), WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_TRUE(test::PumpUntil(hDlg, [&] { return dlg->IsEnded(); }));
    EXPECT_EQ(dlg->GetResult(), IDOK);
    EXPECT_EQ(dlg->m_strFilePath, "typed");
}

TEST_F(MainWindowTest, SystemCommandsInTheAboutRangeOpenTheAboutBox) {
    Open();
    for (WPARAM command : {0x0010, 0x0013, 0x001F}) {
        std::wstring title, version;
        bool ownerDisabled = false;
        bool ok = RunWithSteps([&] { SendMessageW(hDlg, WM_SYSCOMMAND, command, 0); }, {[&] {
                                   HWND about = test::FindThreadDialog(hDlg);
                                   if (!about) return false;
                                   title = test::WindowText(about);
                                   for (const std::wstring& s : test::StaticTexts(about))
                                       if (s.find(L"버전") != std::wstring::npos) version = s;
                                   ownerDisabled = !IsWindowEnabled(hDlg);
                                   PostMessageW(about, WM_COMMAND, IDOK, 0);
                                   return true;
                               }});
        EXPECT_TRUE(ok) << command;
        EXPECT_EQ(title, L"PlovikTest 정보");
        EXPECT_EQ(version, L"PlovikTest 버전 1.0");
        EXPECT_TRUE(ownerDisabled);
        EXPECT_TRUE(IsWindowEnabled(hDlg));
    }
    // Other system commands keep their usual meaning.
    SendMessageW(hDlg, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_TRUE(IsIconic(hDlg));
    // The minimised window paints its icon itself, centred in its client area.
    std::vector<std::pair<POINT, HICON>> drawn;
    dlg->m_platform.drawIcon = [&](HDC, int x, int y, HICON icon) {
        drawn.push_back({{x, y}, icon});
        return TRUE;
    };
    EXPECT_TRUE(dlg->OnPaint());
    RECT client{};
    GetClientRect(hDlg, &client);
    ASSERT_EQ(drawn.size(), 1u);
    EXPECT_EQ(drawn[0].first.x, (client.right - GetSystemMetrics(SM_CXICON) + 1) / 2);
    EXPECT_EQ(drawn[0].first.y, (client.bottom - GetSystemMetrics(SM_CYICON) + 1) / 2);
    EXPECT_EQ(drawn[0].second, dlg->m_hIcon);
    SendMessageW(hDlg, WM_SYSCOMMAND, SC_RESTORE, 0);
    EXPECT_FALSE(IsIconic(hDlg));
    EXPECT_FALSE(dlg->OnPaint());
    EXPECT_EQ(drawn.size(), 1u);
}

// The main window opens centred on the work area, unless its initialisation moved it.
TEST_F(MainWindowTest, OpensCentredOnTheWorkArea) {
    Open();
    ExpectCentredOn(WindowRect(hDlg), WorkArea());

    struct Moving : CMainDlg {
        BOOL OnInitDialog() override {
            CMainDlg::OnInitDialog();
            SetWindowPos(m_hWnd, nullptr, 7, 9, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
            return TRUE;
        }
    } moving;
    ASSERT_TRUE(moving.Create());
    EXPECT_EQ(WindowRect(moving.GetSafeHwnd()).left, 7);
    EXPECT_EQ(WindowRect(moving.GetSafeHwnd()).top, 9);
}

// The about box, owned by the main window, opens centred over it while it is in view,
// else on the work area; either way inside the work area.
TEST_F(MainWindowTest, AboutBoxOpensOverTheMainWindowInsideTheWorkArea) {
    Open();
    const RECT work = WorkArea();
    const RECT main = WindowRect(hDlg);
    const int width = main.right - main.left;
    const int height = main.bottom - main.top;
    enum Where { kOverOwner, kOnWorkArea, kAtTopLeft, kAtBottomRight };
    struct Case {
        const char* name;
        int x, y;  // where the main window goes
        int show;
        Where where;  // where the about box must open
    };
    const Case cases[] = {
        {"main window in view", work.left + 40, work.top + 30, SW_SHOWNOACTIVATE, kOverOwner},
        {"main window past the top-left corner", work.left - width, work.top - height,
         SW_SHOWNOACTIVATE, kAtTopLeft},
        {"main window past the bottom-right corner", work.right - 20, work.bottom - 20,
         SW_SHOWNOACTIVATE, kAtBottomRight},
        {"main window hidden", work.left + 40, work.top + 30, SW_HIDE, kOnWorkArea},
        {"main window minimised", work.left + 40, work.top + 30, SW_SHOWMINNOACTIVE, kOnWorkArea},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ShowWindow(hDlg, SW_RESTORE);
        SetWindowPos(hDlg, nullptr, c.x, c.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        ShowWindow(hDlg, c.show);
        RECT about{}, owner{};
        HWND aboutOwner = nullptr;
        EXPECT_TRUE(RunWithSteps([&] { SendMessageW(hDlg, WM_SYSCOMMAND, IDM_ABOUTBOX, 0); }, {[&] {
                                     HWND h = test::FindThreadDialog(hDlg);
                                     if (!h) return false;
                                     about = WindowRect(h);
                                     owner = WindowRect(hDlg);
                                     aboutOwner = GetWindow(h, GW_OWNER);
                                     PostMessageW(h, WM_COMMAND, IDOK, 0);
                                     return true;
                                 }}));
        EXPECT_EQ(aboutOwner, hDlg);
        switch (c.where) {
            case kOverOwner:
                ExpectCentredOn(about, owner);
                break;
            case kOnWorkArea:
                ExpectCentredOn(about, work);
                break;
            case kAtTopLeft:
                EXPECT_EQ(about.left, work.left);
                EXPECT_EQ(about.top, work.top);
                break;
            case kAtBottomRight:
                EXPECT_EQ(about.right, work.right);
                EXPECT_EQ(about.bottom, work.bottom);
                break;
        }
    }
    ShowWindow(hDlg, SW_RESTORE);
}

// The shell gets the verb "open", the address and SW_SHOW, with no owner, parameters or
// folder; without a browser it shows nothing.
TEST_F(MainWindowTest, HomepageAsksTheShellToOpenTheAddress) {
    Open();
    struct Call {
        HWND owner;
        std::wstring verb, file;
        bool parameters, folder;
        INT show;
    };
    std::vector<Call> calls;
    dlg->m_platform.shellExecute = [&](HWND h, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters,
                                       LPCWSTR folder, INT show) {
        calls.push_back({h, verb ? verb : L"<null>", file ? file : L"<null>", parameters != nullptr,
                         folder != nullptr, show});
        return reinterpret_cast<HINSTANCE>(33);
    };
    Click(IDC_HOMEPAGE);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].owner, nullptr);
    EXPECT_EQ(calls[0].verb, L"open");
    EXPECT_EQ(calls[0].file, kHomePageUrl);
    EXPECT_FALSE(calls[0].parameters);
    EXPECT_FALSE(calls[0].folder);
    EXPECT_EQ(calls[0].show, SW_SHOW);

    dlg->m_platform = {};
    Click(IDC_HOMEPAGE);
    EXPECT_EQ(test::FindThreadDialog(hDlg), nullptr);
}

}  // namespace
}  // namespace plovik::win
