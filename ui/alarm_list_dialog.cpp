// TEMPORARY placeholder until the alarm list dialog is built: ends at once.
#include "ui/alarm_list_dialog.h"

INT_PTR CALLBACK AlarmListDlgProc(HWND dialog, UINT message, WPARAM, LPARAM) {
    if (message == WM_INITDIALOG) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

void FillAlarmListView(HWND) {}

HWND GetOpenAlarmListDialog() { return nullptr; }
