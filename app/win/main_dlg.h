// The main window: path field, report area and the commands around them.
#pragma once

#include <windows.h>
// needs windows.h first
#include <shellapi.h>

#include <string>

#include "dialog.h"
#include "platform_calls.h"
#include "plovik/repair.h"
#include "resource.h"
#include "taskbar_progress.h"
#include "worker.h"

namespace plovik::win {

// Where the home-page button leads.
inline constexpr wchar_t kHomePageUrl[] = L"https://plovik.example/";
// What the report area shows before the first analysis.
inline constexpr char kDropHint[] = "\r\n  드래그&드롭으로 파일을 열수 있습니다.";

class CMainDlg : public CDialog {
  public:
    CMainDlg();
    ~CMainDlg() override;

    // The command-line text after the program's name; start-up analyses its first word.
    void SetCommandLine(std::wstring tail) { m_strCmdLine = std::move(tail); }

    // Analysis: clears the report area and writes the report of the file (UTF-8 path). A
    // data check or repair still running is stopped first.
    void ShowFileInfo(const std::string& strPath);
    void ClearReport();

    // Commands.
    void OnBrowse();
    void OnReread();
    void OnCopy();
    void OnSave();
    bool SaveReport(const std::string& strPath);
    void OnHomepage();
    void OnDropFiles(HDROP hDropInfo);
    // The data check of the last report's file, on the worker; pressed again, it stops.
    void OnCheckData();
    // A repaired copy of that file, after a check that found what a repair mends; pressed
    // again while it runs, it stops (and leaves no file).
    void OnRepair();

    // Window behaviour.
    void OnSysCommand(UINT nID, LPARAM lParam);
    bool OnPaint();  // true when it painted the icon of the minimised window
    HICON OnQueryDragIcon() const { return m_hIcon; }

    CEdit m_editFileInfo;
    std::string m_strFilePath;
    std::string m_strFileInfo = kDropHint;
    HICON m_hIcon;
    CPlatformCalls m_platform;  // the file dialogs, the home page and the icon go through it

    // What runs on the worker, if anything.
    enum class Job { kNone, kCheck, kRepair };
    Job m_job = Job::kNone;
    std::string m_strReportPath;  // the file of the last report; empty before any
    bool m_bMendable = false;     // its last data check found what a repair mends

  protected:
    void DoDataExchange(CDataExchange& dx) override;
    BOOL OnInitDialog() override;
    void OnOK() override;      // stops the worker's task first
    void OnCancel() override;  // the same
    bool OnCommand(int nID, int nCode, HWND hCtl) override;
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, INT_PTR& lResult) override;

  private:
    void ShowMessage(const wchar_t* pszText);
    void StartJob(Job job, CWorker::Task task);
    // Stops the task on the worker, if any; what it found is dropped.
    void StopJob();
    void OnJobProgress(WPARAM serial, int percent);
    void OnJobDone(WPARAM serial);
    // The two buttons' texts and states for the job that runs (none: their own).
    void ShowJobButtons(int percent = 0);
    // Asked by the repair's save dialog while it is open: never the analysed file, another
    // existing file only when the user agrees to replace it.
    bool AcceptRepairOutput(HWND hFileDialog, const std::wstring& output) const;

    std::wstring m_strCmdLine;
    CWorker m_worker;
    CTaskbarProgress m_taskbar;
    // What the task found; the worker writes them, the window reads them after it ended.
    struct CheckResult {
        bool stopped = false;
        std::string text;  // the lines to append (CR LF)
        bool mendable = false;
    } m_checkResult;
    struct RepairResult {
        std::string output;
        RepairSummary summary;
    } m_repairResult;
};

}  // namespace plovik::win
