// Resource and control ids shared by the resource script and the code.
#pragma once

#define IDI_TELOMIYA 103

// The version the file's properties show; scripts/package names the zip after it.
#define TELOMIYA_VERSION 1, 2, 0, 0
#define TELOMIYA_VERSION_TEXT "1.2.0"

// Menu 105: among the resources, used by no window.
#define IDR_MAINMENU 105
#define ID_FILE_CLOSE 40001
#define ID_SETTINGS_BASIC 40005

// Popup menu 106 of the timetable window.
#define IDR_TABLEMENU 106
#define ID_FIT_WIDTH 40004

// Settings dialog 107.
#define IDD_SETTINGS 107
#define IDC_SAVE_INI 1004
#define IDC_DEFAULT_REGION 1006
#define IDC_RECEIVE_BS 1007
#define IDC_AUTO_FETCH 1008
#define IDC_DEFAULT_TIME 1009
#define IDC_DEFAULT_MINUTES 1012
#define IDC_CHECK_ALL 1013
#define IDC_DEFAULT_GENRE 1014
#define IDC_RECEIVE_CS 1015
#define IDC_XMLTV_ADDRESS 1016

// Main window controls.
#define IDC_FETCH 101
#define IDC_REMINDER 102
#define IDC_TABLE 103
#define IDC_TRAY 104
#define IDC_SETTINGS 105
#define IDC_LIST 106
#define IDC_MINUTES 107
#define IDC_CHOICE 109

// Progress window.
#define IDC_ABORT 111

// Detail window.
#define IDC_WIKIPEDIA 112
#define IDC_DETAIL_TEXT 113
#define IDC_GOOGLE 114
