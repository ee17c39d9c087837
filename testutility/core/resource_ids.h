// Control, dialog and resource identifiers of Polecheck. They are shared by the portable dialog
// logic, the Windows resource script and the terminal front end, so they must stay plain macros.
#pragma once

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_POLECHECK_DIALOG 102
#define IDR_MAINFRAME 128

#define IDM_ABOUTBOX 0x0010

#ifndef IDOK
#define IDOK 1
#endif
#ifndef IDCANCEL
#define IDCANCEL 2
#endif

#define IDC_TEXT_EDIT 1000
#define IDC_DISPLAY_TEXT 1001
#define IDC_EURO 1002
#define IDC_POUND 1003
#define IDC_DISPLAY_TEXT_AT 1004
#define IDC_BLINK 1005
#define IDC_SCROLL_LINE1 1006
#define IDC_SCROLL_LINE2 1007
#define IDC_CHARACTER_DELAY 1008
#define IDC_CLEAR_TEXT 1009
#define IDC_COLUMN 1010
#define IDC_ROW 1011
#define IDC_DELAY 1013
#define IDC_LINEDISPLAY 1014

// The About box's texts, for the Win32 resources and the terminal front end alike.
#define POLECHECK_ABOUT_CAPTION "About Polecheck"
#define POLECHECK_ABOUT_VERSION "Polecheck Ver. 4.0.0.2"
#define POLECHECK_ABOUT_LINE2 "Pole display test utility"
