// The main window: path field, report area and the commands around them.
#pragma once

#include <windows.h>
// needs windows.h first
#include <shellapi.h>

#include <string>

#include "dialog.h"
#include "platform_calls.h"
#include "resource.h"

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

    // Analysis: clears the report area and writes the report of the file (UTF-8 path).
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

    // Window behaviour.
    void OnSysCommand(UINT nID, LPARAM lParam);
    bool OnPaint();  // true when it painted the icon of the minimised window
    HICON OnQueryDragIcon() const { return m_hIcon; }

    CEdit m_editFileInfo;
    std::string m_strFilePath;
    std::string m_strFileInfo = kDropHint;
    HICON m_hIcon;
    CPlatformCalls m_platform;  // the file dialogs, the home page and the icon go through it

  protected:
    void DoDataExchange(CDataExchange& dx) override;
    BOOL OnInitDialog() override;
    bool OnCommand(int nID, int nCode, HWND hCtl) override;
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, INT_PTR& lResult) override;

  private:
    void ShowMessage(const wchar_t* pszText);

    std::wstring m_strCmdLine;
};

}  // namespace plovik::win
