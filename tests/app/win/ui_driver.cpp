#include "ui_driver.h"

#include <shlobj.h>

#include <cstring>

#include "support/avi_writer.h"

namespace plovik::test {

namespace {

struct Driver {
    std::vector<Step> steps;
    size_t next = 0;
    DWORD stepStarted = 0;
    bool busy = false;
    bool gaveUp = false;
};
Driver* g_driver = nullptr;

void CancelOpenDialogs() {
    for (int i = 0; i < 10; ++i) {
        HWND h = FindThreadDialog(nullptr);
        if (!h) return;
        PostMessageW(h, WM_COMMAND, IDCANCEL, 0);
        PostMessageW(h, WM_CLOSE, 0, 0);
        ShowWindow(h, SW_HIDE);
    }
}

void CALLBACK DriverTimer(HWND, UINT, UINT_PTR, DWORD) {
    Driver* d = g_driver;
    if (!d || d->busy || d->next >= d->steps.size()) return;
    d->busy = true;
    if (d->steps[d->next]()) {
        ++d->next;
        d->stepStarted = GetTickCount();
    } else if (GetTickCount() - d->stepStarted > kHangGuardMs) {
        d->gaveUp = true;
        d->next = d->steps.size();
        CancelOpenDialogs();
    }
    d->busy = false;
}

struct FindData {
    HWND except;
    HWND found;
};

BOOL CALLBACK FindDialogProc(HWND hWnd, LPARAM lParam) {
    auto* data = reinterpret_cast<FindData*>(lParam);
    wchar_t cls[64] = {};
    GetClassNameW(hWnd, cls, 64);
    if (hWnd != data->except && IsWindowVisible(hWnd) && std::wcscmp(cls, L"#32770") == 0) {
        data->found = hWnd;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK CollectStatic(HWND hWnd, LPARAM lParam) {
    wchar_t cls[64] = {};
    GetClassNameW(hWnd, cls, 64);
    if (_wcsicmp(cls, L"Static") == 0)
        reinterpret_cast<std::vector<std::wstring>*>(lParam)->push_back(WindowText(hWnd));
    return TRUE;
}

}  // namespace

void PumpQueued(HWND hDlg) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (hDlg && IsDialogMessageW(hDlg, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

bool PumpUntil(HWND hDlg, const std::function<bool()>& done) {
    const DWORD start = GetTickCount();
    for (;;) {
        PumpQueued(hDlg);
        if (done()) return true;
        if (GetTickCount() - start >= kHangGuardMs) return false;
        Sleep(5);
    }
}

bool WaitUntil(const std::function<bool()>& done) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start >= kHangGuardMs) return false;
        Sleep(1);
    }
    return true;
}

bool RunWithSteps(const std::function<void()>& action, std::vector<Step> steps) {
    Driver driver;
    driver.steps = std::move(steps);
    driver.stepStarted = GetTickCount();
    g_driver = &driver;
    UINT_PTR timer = SetTimer(nullptr, 0, 30, DriverTimer);
    action();
    KillTimer(nullptr, timer);
    g_driver = nullptr;
    return !driver.gaveUp && driver.next == driver.steps.size();
}

HWND FindThreadDialog(HWND except) {
    FindData data{except, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), FindDialogProc, reinterpret_cast<LPARAM>(&data));
    return data.found;
}

std::wstring WindowText(HWND hWnd) {
    int n = GetWindowTextLengthW(hWnd);
    std::wstring text(static_cast<size_t>(n) + 1, L'\0');
    int got = GetWindowTextW(hWnd, text.data(), n + 1);
    text.resize(static_cast<size_t>(got > 0 ? got : 0));
    return text;
}

std::wstring ItemText(HWND hDlg, int nID) { return WindowText(GetDlgItem(hDlg, nID)); }

std::vector<std::wstring> StaticTexts(HWND hWnd) {
    std::vector<std::wstring> texts;
    EnumChildWindows(hWnd, CollectStatic, reinterpret_cast<LPARAM>(&texts));
    return texts;
}

std::wstring ReadClipboardText() {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < kHangGuardMs) {
        if (OpenClipboard(nullptr)) {
            std::wstring text;
            if (HANDLE h = GetClipboardData(CF_UNICODETEXT)) {
                if (auto* p = static_cast<const wchar_t*>(GlobalLock(h))) {
                    text = p;
                    GlobalUnlock(h);
                }
            }
            CloseClipboard();
            return text;
        }
        Sleep(20);
    }
    return L"<clipboard busy>";
}

HDROP MakeDrop(const std::vector<std::wstring>& files) {
    size_t chars = 1;
    for (const std::wstring& f : files) chars += f.size() + 1;
    HGLOBAL h = GlobalAlloc(GHND, sizeof(DROPFILES) + chars * sizeof(wchar_t));
    auto* drop = static_cast<DROPFILES*>(GlobalLock(h));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    auto* names = reinterpret_cast<wchar_t*>(reinterpret_cast<char*>(drop) + sizeof(DROPFILES));
    for (const std::wstring& f : files) {
        std::memcpy(names, f.c_str(), (f.size() + 1) * sizeof(wchar_t));
        names += f.size() + 1;
    }
    *names = L'\0';
    GlobalUnlock(h);
    return static_cast<HDROP>(h);
}

std::string WriteLongCheckFile(const TempDir& temp) {
    const std::uint64_t size = 0xF0000000;
    Bytes frames;
    for (int i = 0; i < 10; ++i) frames += Chunk("00dc", Zeros(8));
    const Bytes hdrl = List(
        "hdrl", {Avih({.totalFrames = 10}), List("strl", {Strh({.length = 10}), VideoStrf()})});
    const std::size_t moviData = 12 + hdrl.size() + 12;
    const Bytes head = Id("RIFF") + Le32(static_cast<std::uint32_t>(size - 8)) + Id("AVI ") + hdrl +
                       Id("LIST") + Le32(static_cast<std::uint32_t>(size - moviData + 4)) +
                       Id("movi") + frames;
    SparseFile file{size, {{0, head}}};
    const std::string path = temp.PathOf("long check.avi");
    file.WriteTo(path);
    return path;
}

}  // namespace plovik::test
