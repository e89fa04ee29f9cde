// The alarm list dialog "アラームの設定": every alarm of g_alarms as a row.
#pragma once

#include <windows.h>

// Dialog procedure of template IDD_ALARM_LIST. Saves a copy of g_alarms to the
// alarm file whenever the dialog ends.
INT_PTR CALLBACK AlarmListDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Empties the list view and fills it again from g_alarms, row i for element i.
void FillAlarmListView(HWND listView);

// The alarm list dialog while one is open, else null. There is at most one.
HWND GetOpenAlarmListDialog();
