// Adding the tray icon, and adding it again until the shell takes it. At logon
// the taskbar may not be up yet, or too busy to answer in time: the add then
// fails, and the "TaskbarCreated" message that would tell when to try again
// may never come. So a failed add is retried on a timer of the main window.
#pragma once

#include <windows.h>
#include <shellapi.h>

// The retry timer of the main window; ids 1 and 2 are the alarm timers.
constexpr UINT_PTR IDT_TRAY_RETRY = 3;
constexpr UINT kTrayRetryPeriodMs = 1000;

// The shell's Shell_NotifyIconW; tests put a stand-in here.
using ShellNotifyIconFunction = BOOL(WINAPI*)(DWORD, PNOTIFYICONDATAW);
extern ShellNotifyIconFunction g_shellNotifyIcon;

// Adds the icon that icon describes (its hWnd is the main window). Returns
// true when the shell took it. Otherwise starts the retry timer on that
// window and returns false; the timer ends once the icon is there. icon must
// live as long as the window: the retries read it.
bool ShowTrayIcon(NOTIFYICONDATAW* icon);

// True while a failed add is being retried: the icon is not there yet.
bool IsTrayIconPending();

// Callback of the retry timer: tries once more, and ends the timer when the
// icon is there.
void CALLBACK TrayIconRetryProc(HWND window, UINT message, UINT_PTR timerId, DWORD time);
