// Adding the tray icon, and adding it again until the shell takes it. At logon
// the taskbar may not be up yet, or too busy to answer in time: the add then
// fails, and the "TaskbarCreated" message that would tell when to try again
// may never come. So a failed add is retried on a timer of the main window.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>

#include "app/timers.h"

// The retry timer (IDT_TRAY_RETRY) of the main window tries every second.
constexpr UINT kTrayRetryPeriodMs = 1000;
// How long a balloon asks to stay (the system may keep it shorter or longer).
constexpr UINT kBalloonTimeoutMs = 30000;

// The shell's Shell_NotifyIconW; tests put a stand-in here.
using ShellNotifyIconFunction = BOOL(WINAPI*)(DWORD, PNOTIFYICONDATAW);
extern ShellNotifyIconFunction g_shellNotifyIcon;

// Adds the icon that icon describes (its hWnd is the main window) and asks
// for version 4 of its callback, which tells keys apart from clicks. Returns
// true when the shell took it. Otherwise starts the retry timer on that
// window and returns false; the timer ends once the icon is there. icon must
// live as long as the window: the retries read it. With NIF_ICON, each add
// and each retry loads the program's icon (IDI_APP) into icon at the small-
// icon size of the window's display scale then; that image is owned here.
bool ShowTrayIcon(NOTIFYICONDATAW* icon);

// Loads the icon's image again at the small-icon size of dpi and gives it to
// the shell: the display's scale changed.
void RescaleTrayIcon(UINT dpi);

// Shows menu for window at the place at, as a tray icon's menu; the chosen
// item reaches window as WM_COMMAND. A menu left with Esc gives the keyboard
// focus back to the notification area.
void ShowTrayMenu(HWND window, HMENU menu, POINT at);

// Removes the icon, ends the retries and destroys the image ShowTrayIcon loaded.
void RemoveTrayIcon(NOTIFYICONDATAW* icon);

// Shows a balloon from the icon ShowTrayIcon was last given: title and text,
// cut to the balloon's fields. The icon's tip, image and callback stay as they
// are. Returns false when the shell did not take it (or no icon was given).
bool ShowTrayBalloon(const std::wstring& title, const std::wstring& text);

// True while a failed add is being retried: the icon is not there yet.
bool IsTrayIconPending();

// Callback of the retry timer: tries once more, and ends the timer when the
// icon is there.
void CALLBACK TrayIconRetryProc(HWND window, UINT message, UINT_PTR timerId, DWORD time);
