// Resource ids of the Windows app: dialog templates, controls, icon.
#pragma once

#define IDD_ABOUTBOX 100
#define IDD_MAIN_DIALOG 102
#define IDR_MAINFRAME 128

#define IDC_COPY 10
#define IDC_HOMEPAGE 11
#define IDC_SAVE 12
#define IDC_CHECK_DATA 13
#define IDC_REPAIR 14
#define IDC_FILE_PATH 1000
#define IDC_BROWSE 1001
#define IDC_REREAD 1002
#define IDC_FILE_INFO 1003

// System-menu command that opens the about box (any of 0x0010..0x001F).
#define IDM_ABOUTBOX 0x0010

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
