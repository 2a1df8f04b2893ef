// The data check and the repaired copy in the main window: on the worker, with the
// command line's section, a stop button and the repair after a check that found damage.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "main_dlg.h"
#include "plovik/cli.h"
#include "plovik/repair.h"
#include "support/avi_writer.h"
#include "support/temp_dir.h"
#include "ui_driver.h"
#include "win_text.h"

namespace plovik::win {
namespace {

using test::ItemText;
using test::RunWithSteps;
using test::TempDir;
using test::WriteLongCheckFile;

const std::wstring kCheckText = L"데이터 검사(&D)";
const std::wstring kRepairText = L"복구(&E)";
constexpr int kFileNameBox = 0x47c;

std::string Cli(const std::vector<std::string>& args, int* status = nullptr) {
    std::ostringstream out, err;
    const int result = RunReportCli(args, out, err);
    if (status) *status = result;
    return out.str();
}

std::wstring CrLf(const std::string& lines) {
    std::string text;
    for (char c : lines) {
        if (c == '\n') text += '\r';
        text += c;
    }
    return Utf8ToWide(text);
}

// What plovik-report --scan appends to the report of the file.
std::wstring CliScanSection(const std::string& path) {
    const std::string plain = Cli({path});
    const std::string scan = Cli({"--scan", path});
    EXPECT_EQ(scan.substr(0, plain.size()), plain);
    return CrLf(scan.substr(plain.size()));
}

class DataCheckTest : public ::testing::Test {
  protected:
    void SetUp() override {
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
    std::wstring CheckButton() const { return ItemText(hDlg, IDC_CHECK_DATA); }
    bool CheckEnabled() const { return IsWindowEnabled(GetDlgItem(hDlg, IDC_CHECK_DATA)); }
    bool RepairEnabled() const { return IsWindowEnabled(GetDlgItem(hDlg, IDC_REPAIR)); }
    void Read(const std::string& path) {
        SetDlgItemTextW(hDlg, IDC_FILE_PATH, Utf8ToWide(path).c_str());
        Click(IDC_REREAD);
    }
    // Pumps until the task on the worker has ended.
    bool WaitForJob() {
        return test::PumpUntil(hDlg, [&] { return dlg->m_job == CMainDlg::Job::kNone; });
    }
    // Each task on the worker stands still at its first progress of 1% or more until it is
    // asked to stop; mostPercent is the most that any task told done.
    void HoldTasksUntilStopped() {
        dlg->Worker().onProgress = [this](std::uint64_t done, std::uint64_t total,
                                          const std::atomic<bool>& stop) {
            const std::uint64_t percent = total == 0 ? 0 : done * 100 / total;
            mostPercent = std::max(mostPercent, percent);
            if (percent >= 1) test::WaitUntil([&] { return stop.load(); });
        };
    }
    bool WaitForProgress() {
        return test::PumpUntil(hDlg, [&] {
            const std::wstring text = CheckButton() + ItemText(hDlg, IDC_REPAIR);
            return text.find(L" 0%") == std::wstring::npos && text.find(L"%") != std::wstring::npos;
        });
    }
    // Step: waits for a visible dialog of this thread whose owner `owner` accepts and hands
    // it to act.
    test::Step OnDialog(std::function<bool(HWND)> owner, std::function<void(HWND)> act) {
        return [this, owner, act] {
            struct Find {
                HWND except;
                const std::function<bool(HWND)>& owner;
                HWND found = nullptr;
            } find{hDlg, owner};
            EnumThreadWindows(
                GetCurrentThreadId(),
                [](HWND h, LPARAM lParam) {
                    auto* f = reinterpret_cast<Find*>(lParam);
                    wchar_t cls[16] = {};
                    GetClassNameW(h, cls, 16);
                    if (h == f->except || !IsWindowVisible(h) || std::wstring(cls) != L"#32770" ||
                        !f->owner(GetWindow(h, GW_OWNER)))
                        return TRUE;
                    f->found = h;
                    return FALSE;
                },
                reinterpret_cast<LPARAM>(&find));
            if (!find.found) return false;
            act(find.found);
            return true;
        };
    }
    // Owners: the main window, any window but it (the file dialog's hidden placement window).
    std::function<bool(HWND)> Main() {
        return [this](HWND owner) { return owner == hDlg; };
    }
    std::function<bool(HWND)> NotMain() {
        return [this](HWND owner) { return owner != hDlg; };
    }

    wchar_t startDir[MAX_PATH] = {};
    TempDir temp;
    std::unique_ptr<CMainDlg> dlg;
    HWND hDlg = nullptr;
    std::uint64_t mostPercent = 0;  // written on the worker, read once it has ended
};

TEST_F(DataCheckTest, TheButtonsFollowTheOthersInTheTabOrder) {
    EXPECT_EQ(CheckButton(), kCheckText);
    EXPECT_EQ(ItemText(hDlg, IDC_REPAIR), kRepairText);
    EXPECT_FALSE(RepairEnabled());
    EnableWindow(GetDlgItem(hDlg, IDC_REPAIR), TRUE);
    HWND h = GetDlgItem(hDlg, IDC_HOMEPAGE);
    for (int id : {IDC_CHECK_DATA, IDC_REPAIR, IDC_FILE_PATH}) {
        h = GetNextDlgTabItem(hDlg, h, FALSE);
        EXPECT_EQ(GetDlgCtrlID(h), id);
    }
}

TEST_F(DataCheckTest, BeforeAnyReportItAsksForAFile) {
    std::wstring text;
    EXPECT_TRUE(RunWithSteps([&] { Click(IDC_CHECK_DATA); }, {OnDialog(Main(), [&](HWND box) {
                                 for (const std::wstring& s : test::StaticTexts(box))
                                     if (!s.empty()) text = s;
                                 PostMessageW(box, WM_COMMAND, IDOK, 0);
                             })}));
    EXPECT_EQ(text, L"파일을 먼저 여세요..");
    EXPECT_EQ(dlg->m_job, CMainDlg::Job::kNone);
}

// The check appends what plovik-report --scan appends, then the findings (errors and
// warnings, when the check has any); the repair button follows what it found. A second
// check shows its sections in place of the first's.
TEST_F(DataCheckTest, CheckAppendsTheCommandLinesSection) {
    const test::Bytes bytes = test::BuildSimpleAvi({.frames = 250});
    const std::string whole = temp.Write("whole.avi", bytes);
    const std::string cut = temp.Write("잘린 파일.avi", bytes.substr(0, bytes.find("movi") + 3205));
    for (const std::string& path : {whole, cut}) {
        SCOPED_TRACE(path);
        Read(path);
        const std::wstring report = Report();
        Click(IDC_CHECK_DATA);
        EXPECT_EQ(CheckButton().substr(0, 6), L"검사 중지 ");
        EXPECT_FALSE(RepairEnabled());
        ASSERT_TRUE(WaitForJob());
        EXPECT_EQ(CheckButton(), kCheckText);

        const std::wstring expected = report + CliScanSection(path);
        const std::wstring shown = Report();
        ASSERT_EQ(shown.substr(0, expected.size()), expected);
        const std::wstring findings = shown.substr(expected.size());
        EXPECT_TRUE(findings.empty() || findings.rfind(L"\r\n* 검사 결과\r\n", 0) == 0)
            << WideToUtf8(findings);
        EXPECT_EQ(RepairEnabled(), path == cut);

        Click(IDC_CHECK_DATA);
        ASSERT_TRUE(WaitForJob());
        EXPECT_EQ(Report(), shown);
    }
    EXPECT_NE(Report().find(L"    손상 구간          : 1곳"), std::wstring::npos);
    // Another report: the repair waits for its check.
    Read(cut);
    EXPECT_FALSE(RepairEnabled());
}

// A file that cannot be opened has no data to check; one that gave only a failure message
// may hold movie data without its headers: the check looks, and here finds none to repair.
TEST_F(DataCheckTest, AFileWithOnlyAFailureMessageIsCheckedForLostHeaders) {
    const std::string good = temp.Write("good.avi", test::BuildSimpleAvi());
    Read(good);
    EXPECT_TRUE(CheckEnabled());
    Read(temp.PathOf("missing.avi"));
    EXPECT_FALSE(CheckEnabled());
    Click(IDC_CHECK_DATA);
    EXPECT_EQ(dlg->m_job, CMainDlg::Job::kNone);
    const std::string failures[] = {
        temp.Write("text.avi", "not a movie at all"),
        temp.Write(
            "header.avi",
            test::Riff("AVI ", {test::List("hdrl", {test::Chunk("JUNK", test::Zeros(56))})}))};
    for (const std::string& path : failures) {
        SCOPED_TRACE(path);
        Read(path);
        EXPECT_TRUE(CheckEnabled());
        Click(IDC_CHECK_DATA);
        ASSERT_TRUE(WaitForJob());
        EXPECT_FALSE(RepairEnabled());
    }
}

// The check says the headers are lost; the repair asks for a reference file first (the
// data alone where it is cancelled), then where to save.
TEST_F(DataCheckTest, RepairOfAFileWhoseHeadersAreLostAsksForAReferenceFirst) {
    const test::Bytes bytes = test::BuildSimpleAvi({.frames = 50, .audio = false});
    const std::string good = temp.Write("good.avi", bytes);
    const std::string lost = temp.Write("lost.avi", test::Bytes(4, '\0') + bytes.substr(4));
    Read(lost);
    Click(IDC_CHECK_DATA);
    ASSERT_TRUE(WaitForJob());
    EXPECT_NE(Report().find(L"헤더를 잃었지만 영상 데이터가 남아 있음"), std::wstring::npos)
        << WideToUtf8(Report());
    ASSERT_TRUE(RepairEnabled());
    std::wstring title, filter;
    const bool ok = RunWithSteps(
        [&] { Click(IDC_REPAIR); },
        {OnDialog(NotMain(),
                  [&](HWND fd) {
                      title = test::WindowText(fd);
                      HWND types = GetDlgItem(fd, 0x470);
                      filter = std::wstring(
                          static_cast<size_t>(SendMessageW(types, CB_GETLBTEXTLEN, 0, 0)), L'\0');
                      SendMessageW(types, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(filter.data()));
                      SetDlgItemTextW(fd, kFileNameBox, Utf8ToWide(good).c_str());
                      PostMessageW(fd, WM_COMMAND, IDOK, 0);
                  }),
         [&] {
             HWND fd = test::FindThreadDialog(hDlg);
             if (fd == nullptr || test::WindowText(fd) != L"복구본 저장") return false;
             PostMessageW(fd, WM_COMMAND, IDOK, 0);  // the suggested name
             return true;
         }});
    EXPECT_TRUE(ok);
    EXPECT_EQ(title, L"참조 파일 선택");
    EXPECT_EQ(filter, L"AVI 파일(*.AVI)");
    ASSERT_TRUE(WaitForJob());
    int status = -1;
    Cli({"--check", temp.PathOf("lost.repaired.avi")}, &status);
    EXPECT_EQ(status, kExitOk);
    EXPECT_EQ(test::ReadFileBytes(good), bytes);
}

// The check reads the file of the report through the report's own open: renamed and
// replaced by another since, it still checks the file the report showed.
TEST_F(DataCheckTest, TheCheckReadsTheReportsFileUnderAnyName) {
    const test::Bytes bytes = test::BuildSimpleAvi({.frames = 250});
    const std::string path = temp.Write("clip.avi", bytes.substr(0, bytes.find("movi") + 3205));
    const std::wstring section = CliScanSection(path);
    Read(path);
    const std::wstring report = Report();
    std::filesystem::rename(Utf8ToWide(path), temp.path() / L"moved.avi");
    temp.Write("clip.avi", bytes);
    Click(IDC_CHECK_DATA);
    ASSERT_TRUE(WaitForJob());
    EXPECT_EQ(Report().substr(0, report.size() + section.size()), report + section);
    EXPECT_TRUE(RepairEnabled());
}

// Pressed again the button stops the check; naming another file or closing the window
// stops it too. Either way the check ends without reading on, and nothing of it reaches
// the report, not even from messages it had already posted. The check stands still on
// the worker, so the window answers meanwhile.
TEST_F(DataCheckTest, AStoppedCheckLeavesTheReportAsItWas) {
    HoldTasksUntilStopped();
    const std::string big = WriteLongCheckFile(temp);
    Read(big);
    const std::wstring report = Report();
    Click(IDC_CHECK_DATA);
    ASSERT_TRUE(WaitForProgress());
    Click(IDC_CHECK_DATA);
    EXPECT_EQ(dlg->m_job, CMainDlg::Job::kNone);
    EXPECT_EQ(CheckButton(), kCheckText);
    test::PumpQueued(hDlg);
    EXPECT_EQ(Report(), report);
    EXPECT_FALSE(RepairEnabled());
    EXPECT_LT(mostPercent, 100u);

    const std::string small = temp.Write("small.avi", test::BuildSimpleAvi());
    Click(IDC_CHECK_DATA);
    ASSERT_TRUE(WaitForProgress());
    SendMessageW(hDlg, WM_DROPFILES, reinterpret_cast<WPARAM>(test::MakeDrop({Utf8ToWide(small)})),
                 0);
    EXPECT_EQ(dlg->m_job, CMainDlg::Job::kNone);
    test::PumpQueued(hDlg);
    CMainDlg other;
    other.Create();
    other.ShowFileInfo(small);
    EXPECT_EQ(Report(), ItemText(other.GetSafeHwnd(), IDC_FILE_INFO));

    Read(big);
    Click(IDC_CHECK_DATA);
    ASSERT_TRUE(WaitForProgress());
    SendMessageW(hDlg, WM_CLOSE, 0, 0);
    EXPECT_TRUE(test::PumpUntil(hDlg, [&] { return dlg->IsEnded(); }));
    EXPECT_EQ(dlg->m_job, CMainDlg::Job::kNone);
    EXPECT_LT(mostPercent, 100u);
}

// The repair's save dialog: its title, filter and suggested name in the analysed file's
// folder; the analysed file itself refused while the dialog is open, before any question
// about replacing it; another file replaced when the user agrees.
TEST_F(DataCheckTest, RepairAsksWhereAndRefusesTheAnalysedFile) {
    const test::Bytes bytes = test::BuildSimpleAvi({.frames = 50});
    const test::Bytes cutBytes = bytes.substr(0, bytes.size() - 100);
    const std::string cut = temp.Write("clip.avi", cutBytes);
    const std::string other = temp.Write("other.avi", "to be replaced");
    Read(cut);
    Click(IDC_CHECK_DATA);
    ASSERT_TRUE(WaitForJob());
    ASSERT_TRUE(RepairEnabled());

    std::wstring title, name, filter, refusal, question;
    HWND fileDialog = nullptr;
    auto textOf = [](HWND box) {
        std::wstring text;
        for (const std::wstring& s : test::StaticTexts(box))
            if (!s.empty()) text = s;
        return text;
    };
    auto fromFileDialog = [&](HWND owner) { return owner == fileDialog; };
    const bool ok = RunWithSteps(
        [&] { Click(IDC_REPAIR); },
        {OnDialog(NotMain(),
                  [&](HWND fd) {
                      fileDialog = fd;
                      title = test::WindowText(fd);
                      name = ItemText(fd, kFileNameBox);
                      HWND types = GetDlgItem(fd, 0x470);
                      filter = std::wstring(
                          static_cast<size_t>(SendMessageW(types, CB_GETLBTEXTLEN, 0, 0)), L'\0');
                      SendMessageW(types, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(filter.data()));
                      SetDlgItemTextW(fd, kFileNameBox, Utf8ToWide(cut).c_str());
                      PostMessageW(fd, WM_COMMAND, IDOK, 0);
                  }),
         OnDialog(fromFileDialog,
                  [&](HWND box) {
                      refusal = textOf(box);
                      PostMessageW(box, WM_COMMAND, IDOK, 0);
                  }),
         // The file dialog is still open for another name.
         [&] {
             if (!IsWindowVisible(fileDialog) || test::FindThreadDialog(hDlg) != fileDialog)
                 return false;
             SetDlgItemTextW(fileDialog, kFileNameBox, Utf8ToWide(other).c_str());
             PostMessageW(fileDialog, WM_COMMAND, IDOK, 0);
             return true;
         },
         OnDialog(fromFileDialog, [&](HWND box) {
             question = textOf(box);
             PostMessageW(box, WM_COMMAND, IDYES, 0);
         })});
    EXPECT_TRUE(ok);
    EXPECT_EQ(title, L"복구본 저장");
    EXPECT_EQ(name, L"clip.repaired.avi");
    EXPECT_EQ(filter, L"AVI 파일(*.AVI)");
    EXPECT_EQ(refusal, L"분석한 파일에는 복구본을 저장할 수 없습니다. 다른 이름을 고르세요.");
    EXPECT_EQ(question, L"other.avi 파일이 이미 있습니다.\n바꾸시겠습니까?");
    ASSERT_TRUE(WaitForJob());
    EXPECT_EQ(test::ReadFileBytes(cut), cutBytes);
    EXPECT_NE(Report().find(L"    저장한 파일        : " + Utf8ToWide(other)), std::wstring::npos)
        << WideToUtf8(Report());
    EXPECT_EQ(test::ReadFileBytes(other).substr(0, 4), "RIFF");
}

TEST_F(DataCheckTest, RepairWritesACopyTheCheckCallsOk) {
    const test::Bytes bytes = test::BuildSimpleAvi({.frames = 250});
    const test::Bytes cutBytes = bytes.substr(0, bytes.find("movi") + 3205);
    const std::string cut = temp.Write("잘린 파일.avi", cutBytes);
    Read(cut);
    Click(IDC_CHECK_DATA);
    ASSERT_TRUE(WaitForJob());
    ASSERT_TRUE(RepairEnabled());
    const std::string copy = temp.PathOf("잘린 파일.repaired.avi");
    EXPECT_TRUE(RunWithSteps([&] { Click(IDC_REPAIR); }, {OnDialog(NotMain(), [&](HWND fd) {
                                 PostMessageW(fd, WM_COMMAND, IDOK, 0);  // the suggested name
                             })}));
    EXPECT_EQ(ItemText(hDlg, IDC_REPAIR).substr(0, 3), L"중지 ");
    ASSERT_TRUE(WaitForJob());
    EXPECT_NE(Report().find(L"\r\n* 복구 결과\r\n    저장한 파일        : " + Utf8ToWide(copy)),
              std::wstring::npos)
        << WideToUtf8(Report());
    int status = -1;
    Cli({"--check", "--scan", copy}, &status);
    EXPECT_EQ(status, kExitOk);
    EXPECT_EQ(test::ReadFileBytes(cut), cutBytes);
}

TEST_F(DataCheckTest, AStoppedRepairLeavesNoFile) {
    HoldTasksUntilStopped();
    const std::string big = WriteLongCheckFile(temp);
    Read(big);
    dlg->m_bMendable = true;  // as after its check, which would read the whole file first
    EnableWindow(GetDlgItem(hDlg, IDC_REPAIR), TRUE);
    const std::string copy = temp.PathOf("stopped.avi");
    EXPECT_TRUE(RunWithSteps([&] { Click(IDC_REPAIR); }, {OnDialog(NotMain(), [&](HWND fd) {
                                 SetDlgItemTextW(fd, kFileNameBox, Utf8ToWide(copy).c_str());
                                 PostMessageW(fd, WM_COMMAND, IDOK, 0);
                             })}));
    ASSERT_TRUE(WaitForProgress());
    const std::wstring report = Report();
    Click(IDC_REPAIR);
    EXPECT_EQ(dlg->m_job, CMainDlg::Job::kNone);
    test::PumpQueued(hDlg);
    EXPECT_EQ(Report(), report);
    EXPECT_LT(mostPercent, 100u);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(Utf8ToWide(copy))));
    for (const auto& entry : std::filesystem::directory_iterator(temp.path()))
        EXPECT_NE(entry.path().filename().wstring().substr(0, 7), L"stopped") << "a leftover";
}

}  // namespace
}  // namespace plovik::win
