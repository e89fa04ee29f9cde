// The alarm list dialog "アラームの設定": every alarm of g_alarms as a row.
#pragma once

#include <windows.h>

#include <vector>

#include "model/alarm.h"

// Dialog procedure of template IDD_ALARM_LIST. Saves the alarms that may be
// saved (AlarmsToSave) to the alarm file whenever the dialog ends, and asks the
// user to retry while that fails.
INT_PTR CALLBACK AlarmListDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Empties the list view and fills it again from g_alarms, row i for element i.
// The view is drawn once, when it is full again.
void FillAlarmListView(HWND listView);

// Keeps a list view from drawing itself while it lives, then draws it whole:
// redrawing is switched on again on every way out of the scope that made it.
class ListViewRedrawPause {
public:
    explicit ListViewRedrawPause(HWND listView);
    ~ListViewRedrawPause();
    ListViewRedrawPause(const ListViewRedrawPause&) = delete;
    ListViewRedrawPause& operator=(const ListViewRedrawPause&) = delete;

private:
    HWND listView_;
};

// The alarm list dialog while one is open, else null. There is at most one.
HWND GetOpenAlarmListDialog();

// A copy of g_alarms as it may be saved: without a new alarm whose editor is
// still open, which the check tick sees but no save writes before its OK.
std::vector<CAlarm> AlarmsToSave();
