// A small dialog layer over plain Win32: modal and modeless runs of a dialog
// template, data exchange between members and controls, and one window procedure
// that hands each message to a virtual handler of the dialog object.
#pragma once

#include <windows.h>

#include <string>

namespace plovik::win {

// The side of an exchange: controls -> members (save) or members -> controls.
struct CDataExchange {
    HWND m_hDlg;
    bool m_bSaveAndValidate;
};

// The handle of a control that the dialog talks to directly.
struct CEdit {
    HWND m_hWnd = nullptr;
};

void DDX_Control(CDataExchange& dx, int nIDC, CEdit& control);
// Exchanges a control's text with a UTF-8 string.
void DDX_Text(CDataExchange& dx, int nIDC, std::string& value);

class CDialog {
  public:
    // hParent owns the dialog (none: a window of its own, as the main window is).
    explicit CDialog(int nIDTemplate, HWND hParent = nullptr);
    virtual ~CDialog();
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // Runs the dialog in its own modal loop; IDOK, IDCANCEL or -1 when it cannot be created.
    INT_PTR DoModal();
    // Creates the dialog without a loop of its own (the caller pumps messages).
    bool Create();
    void DestroyWindow();

    HWND GetSafeHwnd() const { return m_hWnd; }
    // Centres the window over its owner while that is visible and not minimised, else on
    // the work area of its monitor, and keeps it inside that work area.
    void CenterWindow();
    HWND GetDlgItem(int nID) const { return ::GetDlgItem(m_hWnd, nID); }
    bool UpdateData(bool bSaveAndValidate = true);
    void EndDialog(INT_PTR nResult);
    // For a modeless run: whether EndDialog was called, and with what.
    bool IsEnded() const { return m_bEnded; }
    INT_PTR GetResult() const { return m_nResult; }

  protected:
    virtual void DoDataExchange(CDataExchange& /*dx*/) {}
    virtual BOOL OnInitDialog();  // runs UpdateData(false)
    virtual void OnOK();          // UpdateData(true), then ends with IDOK
    virtual void OnCancel();      // ends with IDCANCEL
    // A command other than IDOK/IDCANCEL; true when handled.
    virtual bool OnCommand(int /*nID*/, int /*nCode*/, HWND /*hCtl*/) { return false; }
    // Any other message; true when handled, with the message's result in lResult.
    virtual bool OnMessage(UINT /*msg*/, WPARAM /*wParam*/, LPARAM /*lParam*/,
                           INT_PTR& /*lResult*/) {
        return false;
    }

    HWND m_hWnd = nullptr;

  private:
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
    INT_PTR Dispatch(UINT msg, WPARAM wParam, LPARAM lParam);
    BOOL InitDialog();

    int m_nIDTemplate;
    HWND m_hParent;
    bool m_bModal = false;
    bool m_bEnded = false;
    INT_PTR m_nResult = 0;
};

}  // namespace plovik::win
