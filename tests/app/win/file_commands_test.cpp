// Browse and save through the file dialogs, and the file dialog's own duties.
#include <windows.h>

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "file_dialog.h"
#include "main_dlg.h"
#include "support/avi_writer.h"
#include "support/temp_dir.h"
#include "ui_driver.h"
#include "win_text.h"

namespace plovik::win {
namespace {

using test::ItemText;
using test::RunWithSteps;
using test::TempDir;

constexpr int kFileNameBox = 0x47c;  // the file name combo of the explorer-style dialog

std::string ToCp949(const std::wstring& text) {
    int n = WideCharToMultiByte(949, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string bytes(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(949, 0, text.data(), static_cast<int>(text.size()), bytes.data(), n,
                        nullptr, nullptr);
    return bytes;
}

class FileCommandsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // The file dialogs move the current directory (as they do for the app); it is put
        // back so that the temporary directory can be removed.
        GetCurrentDirectoryW(MAX_PATH, startDir);
        dlg = std::make_unique<CMainDlg>();
        ASSERT_TRUE(dlg->Create());
        hDlg = dlg->GetSafeHwnd();
    }
    void TearDown() override {
        dlg.reset();
        SetCurrentDirectoryW(startDir);
    }
    void Click(int nID) { SendMessageW(GetDlgItem(hDlg, nID), BM_CLICK, 0, 0); }
    std::wstring Report() const { return ItemText(hDlg, IDC_FILE_INFO); }

    // Step: waits for the file dialog, types a name into it and confirms.
    test::Step ChooseFile(const std::wstring& name) {
        return [this, name] {
            HWND fd = test::FindThreadDialog(hDlg);
            if (!fd) return false;
            dialogName = ItemText(fd, kFileNameBox);
            parentDisabled = !IsWindowEnabled(hDlg);
            SetDlgItemTextW(fd, kFileNameBox, name.c_str());
            PostMessageW(fd, WM_COMMAND, IDOK, 0);
            return true;
        };
    }
    test::Step CancelDialog() {
        return [this] {
            HWND fd = test::FindThreadDialog(hDlg);
            if (!fd) return false;
            parentDisabled = !IsWindowEnabled(hDlg);
            PostMessageW(fd, WM_COMMAND, IDCANCEL, 0);
            return true;
        };
    }
    // Step: waits for a message box owned by the main window, notes its texts, closes it.
    test::Step AnswerMessageBox() {
        return [this] {
            HWND box = test::FindThreadDialog(hDlg);
            if (!box || GetWindow(box, GW_OWNER) != hDlg) return false;
            boxCaption = test::WindowText(box);
            boxTexts = test::StaticTexts(box);
            PostMessageW(box, WM_COMMAND, IDOK, 0);
            return true;
        };
    }
    bool BoxSays(const std::wstring& text) const {
        for (const std::wstring& s : boxTexts)
            if (s == text) return true;
        return false;
    }

    wchar_t startDir[MAX_PATH] = {};
    TempDir temp;
    std::unique_ptr<CMainDlg> dlg;
    HWND hDlg = nullptr;
    std::wstring dialogName;
    bool parentDisabled = false;
    std::wstring boxCaption;
    std::vector<std::wstring> boxTexts;
};

TEST_F(FileCommandsTest, BrowseCancelChangesNothing) {
    std::string avi = temp.Write("kept.avi", test::BuildSimpleAvi());
    SetDlgItemTextW(hDlg, IDC_FILE_PATH, Utf8ToWide(avi).c_str());
    Click(IDC_REREAD);
    std::wstring report = Report();

    EXPECT_TRUE(RunWithSteps([&] { Click(IDC_BROWSE); }, {CancelDialog()}));
    EXPECT_TRUE(parentDisabled);
    EXPECT_TRUE(IsWindowEnabled(hDlg));
    EXPECT_EQ(dlg->m_strFilePath, avi);
    EXPECT_EQ(ItemText(hDlg, IDC_FILE_PATH), Utf8ToWide(avi));
    EXPECT_EQ(Report(), report);
}

TEST_F(FileCommandsTest, BrowseOkAnalysesTheChosenFile) {
    std::string avi = temp.Write("고른 파일.avi", test::BuildSimpleAvi({.frames = 6}));
    EXPECT_TRUE(RunWithSteps([&] { Click(IDC_BROWSE); }, {ChooseFile(Utf8ToWide(avi))}));
    EXPECT_TRUE(parentDisabled);
    EXPECT_TRUE(IsWindowEnabled(hDlg));
    EXPECT_EQ(dlg->m_strFilePath, avi);
    EXPECT_EQ(ItemText(hDlg, IDC_FILE_PATH), Utf8ToWide(avi));
    EXPECT_NE(Report().find(L"고른 파일.avi"), std::wstring::npos);
}

TEST_F(FileCommandsTest, SaveWritesTheReportInCp949WithCrLf) {
    std::string avi = temp.Write("보고서.avi", test::BuildSimpleAvi());
    SetDlgItemTextW(hDlg, IDC_FILE_PATH, Utf8ToWide(avi).c_str());
    Click(IDC_REREAD);
    // A path typed but not read again does not change what is saved or suggested.
    SetDlgItemTextW(hDlg, IDC_FILE_PATH, L"C:\\other\\typed.avi");
    // A bare name lands in the dialog's initial folder: the analysed file's own folder.
    std::string target = temp.PathOf("저장된 보고서.txt");
    EXPECT_TRUE(RunWithSteps([&] { Click(IDC_SAVE); }, {ChooseFile(L"저장된 보고서.txt")}));
    EXPECT_EQ(dialogName, L"보고서.txt");
    EXPECT_TRUE(parentDisabled);

    std::wstring report = Report();
    std::string bytes = test::ReadFileBytes(target);
    EXPECT_EQ(bytes, ToCp949(report));
    EXPECT_NE(bytes.find("\r\n"), std::string::npos);
    EXPECT_EQ(bytes.find("\r\r\n"), std::string::npos);
    EXPECT_EQ(bytes.find('\0'), std::string::npos);
}

TEST_F(FileCommandsTest, SaveBeforeAnyAnalysisAsksForAFile) {
    SetDlgItemTextW(hDlg, IDC_FILE_PATH, L"typed but never read.avi");
    EXPECT_TRUE(RunWithSteps([&] { Click(IDC_SAVE); }, {AnswerMessageBox()}));
    EXPECT_EQ(boxCaption, L"플로빅");
    EXPECT_TRUE(BoxSays(L"파일을 먼저 여세요.."));
}

TEST_F(FileCommandsTest, SaveToAnUnwritablePlaceSaysSo) {
    std::string target = temp.PathOf("no such folder\\report.txt");
    bool saved = true;
    EXPECT_TRUE(RunWithSteps([&] { saved = dlg->SaveReport(target); }, {AnswerMessageBox()}));
    EXPECT_FALSE(saved);
    EXPECT_EQ(boxCaption, L"플로빅");
    EXPECT_TRUE(BoxSays(L"파일을 열 수 없습니다."));
}

// The display texts and patterns of a filter block, up to its closing empty string.
std::vector<std::wstring> FilterEntries(const wchar_t* filter) {
    std::vector<std::wstring> entries;
    for (const wchar_t* p = filter; p && *p; p += entries.back().size() + 1)
        entries.emplace_back(p);
    return entries;
}

// What browse and save hand to the platform, recorded in place of the platform dialogs.
TEST_F(FileCommandsTest, BrowseAndSaveHandThePlatformTheirExactSettings) {
    std::string avi = temp.Write("clip.avi", test::BuildSimpleAvi());
    SetDlgItemTextW(hDlg, IDC_FILE_PATH, Utf8ToWide(avi).c_str());
    Click(IDC_REREAD);

    struct Received {
        bool open;
        DWORD flags;
        std::vector<std::wstring> filter;
        std::wstring defExt, file, initialDir;
        bool ownerIsHiddenPlacement, parentDisabled;
    };
    std::vector<Received> calls;
    auto recorder = [&](bool open) {
        return [&calls, open, this](OPENFILENAMEW* ofn) {
            HWND owner = ofn->hwndOwner;
            calls.push_back({open, ofn->Flags, FilterEntries(ofn->lpstrFilter),
                             ofn->lpstrDefExt ? ofn->lpstrDefExt : L"<null>", ofn->lpstrFile,
                             ofn->lpstrInitialDir ? ofn->lpstrInitialDir : L"<null>",
                             owner && owner != hDlg && !IsWindowVisible(owner) &&
                                 GetWindow(owner, GW_OWNER) == hDlg,
                             !IsWindowEnabled(hDlg)});
            return FALSE;  // as if cancelled
        };
    };
    dlg->m_platform.getOpenFileName = recorder(true);
    dlg->m_platform.getSaveFileName = recorder(false);

    struct Case {
        const char* name;
        int button;
        bool open;
        DWORD flags;
        std::vector<std::wstring> filter;
        std::wstring file, initialDir;
    };
    const Case cases[] = {
        {"browse",
         IDC_BROWSE,
         true,
         0x881000,
         {L"AVI 파일(*.AVI)", L"*.avi", L"모든파일(*.*)", L"*.*"},
         L"",
         L"<null>"},
        {"save",
         IDC_SAVE,
         false,
         0x880002,
         {L"모든파일(*.*)", L"*.*"},
         L"clip.txt",
         temp.path().wstring() + L"\\"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        calls.clear();
        Click(c.button);
        ASSERT_EQ(calls.size(), 1u);
        const Received& r = calls[0];
        EXPECT_EQ(r.open, c.open);
        EXPECT_EQ(r.flags, c.flags);
        EXPECT_EQ(r.filter, c.filter);
        EXPECT_EQ(r.defExt, L"");
        EXPECT_EQ(r.file, c.file);
        EXPECT_EQ(r.initialDir, c.initialDir);
        EXPECT_TRUE(r.ownerIsHiddenPlacement);
        EXPECT_TRUE(r.parentDisabled);
        EXPECT_TRUE(IsWindowEnabled(hDlg));
    }
    EXPECT_EQ(dlg->m_strFilePath, avi);  // cancelled: nothing changed
}

// The file dialog itself: owner, placement, flags, filter and focus.
TEST_F(FileCommandsTest, FileDialogOpensThroughThePlacementWindow) {
    HWND hPath = GetDlgItem(hDlg, IDC_FILE_PATH);
    SetForegroundWindow(hDlg);
    SetFocus(hPath);
    HWND focusBefore = GetFocus();

    CLumoFileDialog fd(true, L"", L"", OFN_FILEMUSTEXIST | OFN_EXPLORER | OFN_ENABLESIZING,
                       L"모든파일(*.*)|*.*||", hDlg);
    // The caller's flags exactly (the platform itself may add OFN_PATHMUSTEXIST on return).
    EXPECT_EQ(fd.m_ofn.Flags,
              static_cast<DWORD>(OFN_FILEMUSTEXIST | OFN_EXPLORER | OFN_ENABLESIZING));
    RECT ownerRect{}, dialogRect{};
    int filterCount = -1;
    bool ownerHidden = false;
    INT_PTR result = 0;
    bool ok = RunWithSteps(
        [&] { result = fd.DoModal(); }, {[&] {
            HWND h = test::FindThreadDialog(hDlg);
            if (!h) return false;
            HWND owner = GetWindow(h, GW_OWNER);
            GetWindowRect(owner, &ownerRect);
            GetWindowRect(h, &dialogRect);
            ownerHidden = !IsWindowVisible(owner);
            filterCount = static_cast<int>(SendMessageW(GetDlgItem(h, 0x470), CB_GETCOUNT, 0, 0));
            parentDisabled = !IsWindowEnabled(hDlg);
            PostMessageW(h, WM_COMMAND, IDCANCEL, 0);
            return true;
        }});
    ASSERT_TRUE(ok);
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(fd.m_ofn.lpfnHook, nullptr);
    EXPECT_EQ(filterCount, 1);
    EXPECT_TRUE(parentDisabled);
    EXPECT_TRUE(IsWindowEnabled(hDlg));
    EXPECT_EQ(GetFocus(), focusBefore);

    // The owner was centred, then moved 230 left and 180 up.
    int width = ownerRect.right - ownerRect.left;
    int height = ownerRect.bottom - ownerRect.top;
    EXPECT_TRUE(ownerHidden);
    EXPECT_EQ(ownerRect.left, (GetSystemMetrics(SM_CXSCREEN) - width) / 2 - 230);
    EXPECT_EQ(ownerRect.top, (GetSystemMetrics(SM_CYSCREEN) - height) / 2 - 180);
    // The platform places the dialog against that owner.
    EXPECT_EQ(dialogRect.left, ownerRect.left);
    EXPECT_EQ(dialogRect.top, ownerRect.top);
}

TEST_F(FileCommandsTest, FileDialogLeavesAnAlreadyDisabledParentDisabled) {
    EnableWindow(hDlg, FALSE);
    CLumoFileDialog fd(true, L"", L"", OFN_EXPLORER, L"모든파일(*.*)|*.*||", hDlg);
    EXPECT_TRUE(RunWithSteps([&] { fd.DoModal(); }, {CancelDialog()}));
    EXPECT_FALSE(IsWindowEnabled(hDlg));
}

TEST(CenterOnScreen, CentresKeepingTheSize) {
    HWND h = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 3, 4, 101, 51, nullptr, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
    CLumoFileDialog::CenterOnScreen(h);
    RECT rc;
    GetWindowRect(h, &rc);
    EXPECT_EQ(rc.left, (GetSystemMetrics(SM_CXSCREEN) - 101) / 2);
    EXPECT_EQ(rc.top, (GetSystemMetrics(SM_CYSCREEN) - 51) / 2);
    EXPECT_EQ(rc.right - rc.left, 101);
    DestroyWindow(h);
}

}  // namespace
}  // namespace plovik::win
