// Identifiers shared by the resource script and the program.
#pragma once

#define IDD_ABOUT 100
#define IDS_ABOUT_MENU 101
#define IDD_VERIFIER 102
#define IDR_APPICON 128
#define IDC_REMOTE_DATA 1008
#define IDC_START_STOP 1009

// System-menu command ids must keep the low four bits clear: the window system uses them.
#define IDM_ABOUT 0x0010
#define IDT_POLL 1
