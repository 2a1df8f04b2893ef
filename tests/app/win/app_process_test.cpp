// plovik.exe as its own process, started with an exact raw command line.
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "resource.h"
#include "support/avi_writer.h"
#include "support/temp_dir.h"
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
};

Shown RunApp(const std::wstring& arguments) {
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
        PostMessageW(data.found, WM_CLOSE, 0, 0);
    }
    shown.closed = WaitForSingleObject(pi.hProcess, 15000) == WAIT_OBJECT_0;
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

}  // namespace
}  // namespace plovik::win
