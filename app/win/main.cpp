// Entry point of plovik.exe. A plain WinMain (no -municode, same on every compiler);
// the command line is read as UTF-16 so that any file name arrives intact.
#include <windows.h>

#include "command_line.h"
#include "main_app.h"

namespace {

plovik::win::CMainApp theApp;

}  // namespace

int WINAPI WinMain(HINSTANCE /*hInstance*/, HINSTANCE /*hPrevInstance*/, LPSTR /*lpCmdLine*/,
                   int /*nShowCmd*/) {
    theApp.m_lpCmdLine = plovik::win::CommandLineTail(GetCommandLineW());
    theApp.InitInstance();
    return 0;
}
