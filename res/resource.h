// Resource ids shared by the resource script and the program.
// Read by windres and by C++; keep it to plain #defines.
#pragma once

// Main window: menu, accelerators, strings, icon.
#define IDR_MAIN                109     // menu and accelerator table
#define IDS_CLASS_NAME          109     // "VELMORA"
#define IDS_APP_TITLE           40000   // "velmora"
#define IDI_APP                 107     // icon group: 16, 32 and 48 pixels

// Messages about the alarm file, shown only when something failed.
// %1 the file's path, %2 the system's text for the error, %3 its number.
#define IDS_START_FAILED        40001   // neither read nor created at start
#define IDS_SAVE_FAILED         40002   // a save failed as the alarm list closed
#define IDS_EXIT_SAVE_FAILED    40003   // a save failed at Exit or WM_CLOSE
#define IDS_DAMAGED_FILE        40004   // %1 alarms read, %2 where the original is kept
#define IDS_UNKNOWN_ERROR       40005   // the system has no text for an error
#define IDS_DAMAGED_NOT_KEPT    40006   // damaged at start, and no copy of it can be kept
#define IDS_MAY_BE_DAMAGED      40007   // a failed save could not put the old bytes back

// Told in a balloon from the tray icon.
#define IDS_MISSED_ALARMS       40020   // %1 the times of the alarms a sleep kept from ringing
#define IDS_MISSED_MORE         40021   // %1 how many more times than those named

// A start met a copy running as administrator, which it cannot reach.
#define IDS_ALREADY_ELEVATED    40031

// The alarm editor's file chooser failed: %1 its error code.
#define IDS_CHOOSER_FAILED      40030

// Menu commands.
#define IDM_ABOUT               104
#define IDM_EXIT                105
#define IDM_ALARM_SETTINGS      32773

// About box.
#define IDD_ABOUT               103
#define IDC_ABOUT_ICON          2

// Alarm list dialog.
#define IDD_ALARM_LIST          130
#define IDC_ALARM_LIST          1000
#define IDC_ALARM_UP            1001
#define IDC_ALARM_DOWN          1003
#define IDC_ALARM_ADD           1010
#define IDC_ALARM_DELETE        1011
#define IDC_ALARM_CHANGE        1012

// Alarm editor dialog.
#define IDD_ALARM_EDIT          134
#define IDC_MINUTE_SPIN         1005
#define IDC_HOUR_EDIT           1006
#define IDC_HOUR_SPIN           1007
#define IDC_MINUTE_EDIT         1008
#define IDC_ON_CHECK            1009
#define IDC_SOUND_EDIT          1011
#define IDC_SOUND_BROWSE        1012
#define IDC_SOUND_PLAY          1013
#define IDC_SOUND_STOP          1014
#define IDC_DAY_LIST            1015
