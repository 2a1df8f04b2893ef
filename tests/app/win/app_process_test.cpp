// plovik.exe as its own process, started with an exact raw command line.
#include <windows.h>

#include <algorithm>
#include <cstdio>
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
    DWORD reportMs = 0;   // from the start until the report could be read
    DWORD closeMs = 0;    // from WM_CLOSE until the process ended
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
    const DWORD started = GetTickCount();
    FindData data{pi.dwProcessId, nullptr};
    for (int i = 0; i < 600 && !data.found; ++i) {
        EnumWindows(FindProcessWindow, reinterpret_cast<LPARAM>(&data));
        if (!data.found) Sleep(25);
    }
    if (data.found) {
        shown.visible = true;
        shown.title = RemoteText(data.found);
        GetWindowRect(data.found, &shown.rect);
        shown.path = RemoteText(GetDlgItem(data.found, IDC_FILE_PATH));
        shown.report = RemoteText(GetDlgItem(data.found, IDC_FILE_INFO));
        shown.reportMs = GetTickCount() - started;
        if (whileShown) whileShown(data.found);
        PostMessageW(data.found, WM_CLOSE, 0, 0);
    }
    const DWORD closing = GetTickCount();
    shown.closed = WaitForSingleObject(pi.hProcess, 15000) == WAIT_OBJECT_0;
    shown.closeMs = GetTickCount() - closing;
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

// However long a line, the report is there, and the window answers, within a second.
TEST(AppProcess, LongSoftwareTextsAppearWithinASecond) {
    test::TempDir temp;
    for (size_t length : {size_t{12000}, size_t{64 * 1024 - 1}}) {
        std::string software;
        while (software.size() < length) software += "Encoder" + std::to_string(software.size());
        software.resize(length);
        std::string avi = temp.Write("long.avi", test::BuildSimpleAvi({.software = software}));
        Shown shown = RunApp(L"\"" + Utf8ToWide(avi) + L"\"");
        ASSERT_TRUE(shown.visible);
        EXPECT_NE(shown.report.find(Utf8ToWide(software) + L"\r\n"), std::wstring::npos) << length;
        EXPECT_LT(shown.reportMs, 1000u) << length;
        std::printf("start to report, software text of %zu characters: %lu ms\n", length,
                    static_cast<unsigned long>(shown.reportMs));
    }
}

// While a long data check runs the window keeps answering (messages, a move); closing it
// stops the check and the process ends within a second.
TEST(AppProcess, AnswersWhileALongCheckRunsAndClosesWithinASecond) {
    test::TempDir temp;
    const std::string big = test::WriteLongCheckFile(temp);
    std::wstring runningText, textAfter;
    DWORD slowest = 0;
    int probes = 0;
    bool moved = false;
    Shown shown = RunApp(L"\"" + Utf8ToWide(big) + L"\"", [&](HWND window) {
        HWND button = GetDlgItem(window, IDC_CHECK_DATA);
        SendMessageW(button, BM_CLICK, 0, 0);
        runningText = RemoteText(button);
        const DWORD start = GetTickCount();
        while (GetTickCount() - start < 1000) {
            const DWORD sent = GetTickCount();
            DWORD_PTR result = 0;
            if (SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &result))
                ++probes;
            slowest = std::max(slowest, GetTickCount() - sent);
            Sleep(50);
        }
        RECT before{}, after{};
        GetWindowRect(window, &before);
        SetWindowPos(window, nullptr, before.left + 16, before.top + 8, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        GetWindowRect(window, &after);
        moved = after.left == before.left + 16 && after.top == before.top + 8;
        textAfter = RemoteText(button);
    });
    ASSERT_TRUE(shown.visible);
    EXPECT_EQ(runningText.substr(0, 6), L"검사 중지 ");
    EXPECT_EQ(textAfter.substr(0, 6), L"검사 중지 ") << "the check ended too soon to tell";
    EXPECT_GE(probes, 10);
    EXPECT_LT(slowest, 250u);
    EXPECT_TRUE(moved);
    EXPECT_TRUE(shown.closed);
    EXPECT_LT(shown.closeMs, 1000u);
    std::printf("during a check: slowest answer %lu ms; closed %lu ms after WM_CLOSE\n",
                static_cast<unsigned long>(slowest), static_cast<unsigned long>(shown.closeMs));
}

}  // namespace
}  // namespace plovik::win
