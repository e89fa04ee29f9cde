// The alarm list dialog "アラームの設定": every alarm of g_alarms as a row.
#pragma once

#include <windows.h>

// Dialog procedure of template IDD_ALARM_LIST. Saves a copy of g_alarms to the
// alarm file whenever the dialog ends.
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
