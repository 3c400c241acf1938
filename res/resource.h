// Resource symbols of the tweaker: dialogs, strings, icon and controls.
#pragma once

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_TWEAK_DIALOG 102
#define IDS_PATH_CUE 103
#define IDR_MAINFRAME 128

#define IDC_RESTORE 1001
#define IDC_APPLY 1002
#define IDC_PATH 1003
#define IDC_BRAKES 1004
#define IDC_STATUS 1005

// System-menu command of the About item. System commands keep their low
// four bits for the system's own use, so 0x0010 to 0x001F all mean About.
#define IDM_ABOUTBOX 0x0010

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
