// The alarm editor dialog "変更": one alarm of g_alarms, named by its index.
#pragma once

#include <windows.h>

// Dialog procedure of template IDD_ALARM_EDIT; the creation parameter is the
// index of the alarm in g_alarms. Ends with IDOK after writing the alarm,
// IDCANCEL after writing nothing (also when the index names no alarm of the
// list, at opening or by the time OK is pressed).
INT_PTR CALLBACK AlarmEditDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
