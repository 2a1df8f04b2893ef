// The main window: path field, report area and the commands around them.
#pragma once

#include <windows.h>
// needs windows.h first
#include <shellapi.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "dialog.h"
#include "platform_calls.h"
#include "plovik/file_analysis.h"
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

    // Analysis: clears the report area and writes the report of the file (UTF-8 path), which
    // stays open for its data check. A data check or repair still running is stopped first.
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
    // The data check of the last report's file, through the report's open, on the worker;
    // pressed again, it stops. Its sections follow the report, in place of an earlier check's.
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
    std::string m_strReportPath;   // the file of the last report; empty before any
    bool m_bReportFailed = false;  // it gave only a failure message
    // The data check may run (before any report it asks for a file); also after a failure
    // message where the headers may be lost: it looks for movie data without them.
    bool m_bCheckable = true;
    bool m_bMendable = false;     // its last data check found what a repair mends
    bool m_bHeadersLost = false;  // and found movie data whose headers are lost
    // The jobs' worker, whose tasks tests watch.
    CWorker& Worker() { return m_worker; }

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
    // After the task has ended: the analysis a data check held is the window's again.
    void TakeBackAnalysis();
    void OnJobProgress(WPARAM serial, int percent);
    void OnJobDone(WPARAM serial);
    // The two buttons' texts and states for the job that runs (none: their own).
    void ShowJobButtons(int percent = 0);
    // Asked by the repair's save dialog while it is open: never the analysed file, another
    // existing file only when the user agrees to replace it.
    bool AcceptRepairOutput(HWND hFileDialog, const std::wstring& output) const;
    // For a file whose headers are lost: the reference file the user picks; empty when the
    // dialog is cancelled (the headers are then inferred from the data).
    std::string AskReference();
    // The data check of the analysed file, through its open: what it found, none when it
    // was stopped.
    struct CheckSections {
        std::string text;  // the data-check and findings sections (CR LF)
        bool mendable = false;
        bool headersLost = false;
    };
    static std::optional<CheckSections> CheckData(CFileAnalysis& analysis,
                                                  const std::string& strPath,
                                                  const CWorker::Context& context);
    // The report followed by a data check's sections, in place of whatever followed it
    // (an earlier check's, a repair's).
    void ShowCheckSections(const std::string& text);

    std::wstring m_strCmdLine;
    CWorker m_worker;
    CTaskbarProgress m_taskbar;
    // The last report's analysis, its file kept open. A data check holds it (in m_check)
    // while it runs: the window has none then.
    std::unique_ptr<CFileAnalysis> m_analysis;
    std::size_t m_nReportChars = 0;  // the report's length in the area, before any check
    // What a task found; the worker writes them, the window reads them after it ended.
    struct CheckJob {
        std::unique_ptr<CFileAnalysis> analysis;
        std::optional<CheckSections> found;  // none: stopped (or failed)
    } m_check;
    struct RepairResult {
        std::string output;
        RepairSummary summary;
    } m_repairResult;
};

}  // namespace plovik::win
