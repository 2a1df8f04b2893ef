// plovik.exe as its own process, started with an exact raw command line.
#include <windows.h>

#include <filesystem>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "resource.h"
#include "support/avi_writer.h"
#include "support/temp_dir.h"
#include "ui_driver.h"
#include "win_text.h"

namespace plovik::win {
namespace {

const std::wstring kHint = L"\r\n  드래그&드롭으로 파일을 열수 있습니다.";

std::wstring AppExe() {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::filesystem::path exe = std::filesystem::path(self).parent_path() / PLOVIK_APP_RELPATH;
    return exe.lexically_normal().wstring();
}

struct FindData {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK FindProcessWindow(HWND h, LPARAM lParam) {
    auto* data = reinterpret_cast<FindData*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    if (pid == data->pid && IsWindowVisible(h)) {
        data->found = h;
        return FALSE;
    }
    return TRUE;
}

std::wstring RemoteText(HWND h) {
    LRESULT n = SendMessageW(h, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(static_cast<size_t>(n) + 1, L'\0');
    LRESULT got = SendMessageW(h, WM_GETTEXT, n + 1, reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(got));
    return text;
}

// The app started with `arguments` after its quoted name; the texts of its path field and
// report area as soon as its window is visible.
struct Shown {
    bool visible = false;
    std::wstring title, path, report;
    RECT rect{};
    bool closed = false;  // ended by itself after WM_CLOSE, not killed
};

// Runs the app; whileShown drives its window after the texts were read, before WM_CLOSE.
Shown RunApp(const std::wstring& arguments, const std::function<void(HWND)>& whileShown = {}) {
    Shown shown;
    std::wstring exe = AppExe();
    std::wstring commandLine = L"\"" + exe + L"\" " + arguments;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &si, &pi)) {
        ADD_FAILURE() << "cannot start " << WideToUtf8(exe);
        return shown;
    }
    FindData data{pi.dwProcessId, nullptr};
    test::WaitUntil([&] {
        EnumWindows(FindProcessWindow, reinterpret_cast<LPARAM>(&data));
        return data.found != nullptr;
    });
    if (data.found) {
        shown.visible = true;
        shown.title = RemoteText(data.found);
        GetWindowRect(data.found, &shown.rect);
        shown.path = RemoteText(GetDlgItem(data.found, IDC_FILE_PATH));
        shown.report = RemoteText(GetDlgItem(data.found, IDC_FILE_INFO));
        if (whileShown) whileShown(data.found);
        PostMessageW(data.found, WM_CLOSE, 0, 0);
    }
    shown.closed = WaitForSingleObject(pi.hProcess, test::kHangGuardMs) == WAIT_OBJECT_0;
    if (!shown.closed) TerminateProcess(pi.hProcess, 9);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return shown;
}

TEST(AppProcess, StartsCentredWithTheHintWithoutArguments) {
    Shown shown = RunApp(L"");
    ASSERT_TRUE(shown.visible);
    EXPECT_EQ(shown.title, L"플로빅(Plovik) 2002/11/20");
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_NEAR(shown.rect.left + shown.rect.right, work.left + work.right, 2);
    EXPECT_NEAR(shown.rect.top + shown.rect.bottom, work.top + work.bottom, 2);
    EXPECT_EQ(shown.path, L"");
    EXPECT_EQ(shown.report, kHint);
    EXPECT_TRUE(shown.closed);
}

TEST(AppProcess, AnalysesTheFirstQuotedPathBeforeShowing) {
    test::TempDir temp;
    std::filesystem::create_directory(temp.path() / L"한글 폴더 이름");
    std::string avi = temp.Write("한글 폴더 이름/첫 번째 클립.avi", test::BuildSimpleAvi());
    std::wstring path = Utf8ToWide(avi);
    Shown shown = RunApp(L"\"" + path + L"\" D:\\second.avi");
    ASSERT_TRUE(shown.visible);
    EXPECT_EQ(shown.path, path);
    EXPECT_NE(shown.report.find(L"첫 번째 클립.avi"), std::wstring::npos)
        << WideToUtf8(shown.report);
    EXPECT_EQ(shown.report.find(L"second"), std::wstring::npos);
}

TEST(AppProcess, UnterminatedQuoteAnalysesNothing) {
    Shown shown = RunApp(L"\"C:\\some dir\\clip.avi");
    ASSERT_TRUE(shown.visible);
    EXPECT_EQ(shown.path, L"");
    EXPECT_EQ(shown.report, kHint);
}

// However long a line, the report is there, whole. (How it goes in: main_window_test.cpp.)
TEST(AppProcess, LongSoftwareTextsAppearWhole) {
    test::TempDir temp;
    for (size_t length : {size_t{12000}, size_t{64 * 1024 - 1}}) {
        std::string software;
        while (software.size() < length) software += "Encoder" + std::to_string(software.size());
        software.resize(length);
        std::string avi = temp.Write("long.avi", test::BuildSimpleAvi({.software = software}));
        Shown shown = RunApp(L"\"" + Utf8ToWide(avi) + L"\"");
        ASSERT_TRUE(shown.visible);
        EXPECT_NE(shown.report.find(Utf8ToWide(software) + L"\r\n"), std::wstring::npos) << length;
    }
}

// With a data check started the window answers messages and moves, and closing it ends the
// process. (That the check runs on the worker and stops when the window closes:
// data_check_test.cpp, where a check can be held still.)
TEST(AppProcess, AnswersAfterStartingACheckAndCloses) {
    test::TempDir temp;
    const std::string big = test::WriteLongCheckFile(temp);
    std::wstring runningText;
    bool answered = false;
    bool moved = false;
    Shown shown = RunApp(L"\"" + Utf8ToWide(big) + L"\"", [&](HWND window) {
        HWND button = GetDlgItem(window, IDC_CHECK_DATA);
        SendMessageW(button, BM_CLICK, 0, 0);
        runningText = RemoteText(button);
        DWORD_PTR result = 0;
        answered = SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, test::kHangGuardMs,
                                       &result) != 0;
        RECT before{}, after{};
        GetWindowRect(window, &before);
        SetWindowPos(window, nullptr, before.left + 16, before.top + 8, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        GetWindowRect(window, &after);
        moved = after.left == before.left + 16 && after.top == before.top + 8;
    });
    ASSERT_TRUE(shown.visible);
    EXPECT_EQ(runningText.substr(0, 6), L"검사 중지 ");
    EXPECT_TRUE(answered);
    EXPECT_TRUE(moved);
    EXPECT_TRUE(shown.closed);
}

}  // namespace
}  // namespace plovik::win
