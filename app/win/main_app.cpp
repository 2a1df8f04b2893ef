#include "main_app.h"
#include "plovik/trace_sink.h"

#include <windows.h>
// needs windows.h first
#include <commctrl.h>

#include "main_dlg.h"
#include "plovik/avi_parser.h"
#include "plovik/trace.h"

namespace plovik::win {

namespace {

void ForwardToTrace(const char* text) { TraceOut("%s", text); }

}  // namespace

void InstallTraceChannel() { SetTraceSink(&ForwardToTrace); }

bool CMainApp::InitInstance() {
    // The themed (version 6) common controls named by the manifest.
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    InstallTraceChannel();

    CMainDlg dlg;
    dlg.SetCommandLine(m_lpCmdLine);
    // The one holder of the main window; the dialogs it opens get its handle as their owner.
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;
    return false;
}

}  // namespace plovik::win
