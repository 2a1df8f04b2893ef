// The application object: runs the main window as a modal dialog, then the program ends.
#pragma once

#include <string>

#include "dialog.h"

namespace plovik::win {

// Hands the analyser's diagnostic lines to the trace channel (a window titled "RECV").
void InstallTraceChannel();

class CMainApp {
  public:
    // Always false: when the main window closes, the program ends.
    bool InitInstance();

    std::wstring m_lpCmdLine;  // the command line after the program's name
    CDialog* m_pMainWnd = nullptr;
};

}  // namespace plovik::win
