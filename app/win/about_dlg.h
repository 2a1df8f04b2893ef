// The about box: icon, version and rights notice, closed by its OK button.
#pragma once

#include "dialog.h"
#include "resource.h"

namespace plovik::win {

class CAboutDlg : public CDialog {
  public:
    // Owned by the main window, over which it opens.
    explicit CAboutDlg(HWND hOwner) : CDialog(IDD_ABOUTBOX, hOwner) {}
};

}  // namespace plovik::win
