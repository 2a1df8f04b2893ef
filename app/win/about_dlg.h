// The about box: icon, version and rights notice, closed by its OK button.
#pragma once

#include "dialog.h"
#include "resource.h"

namespace plovik::win {

class CAboutDlg : public CDialog {
  public:
    CAboutDlg() : CDialog(IDD_ABOUTBOX) {}
};

}  // namespace plovik::win
