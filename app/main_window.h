// The hidden main window: it loads the alarm file, owns the tray icon, both
// alarm timers and every dialog, and saves the alarm file when it ends.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>

// The tray icon's id and the message that carries its mouse events.
constexpr UINT TRAY_ICON_UID = 32769;
constexpr UINT WM_TRAYICON = WM_USER + 1;

// Loaded by wWinMain (app/main.cpp) from strings IDS_CLASS_NAME ("VELMORA")
// and IDS_APP_TITLE ("velmora") before the main window class is registered.
extern wchar_t g_className[100];
extern wchar_t g_windowTitle[100];

// The name of the claim wWinMain took on the folder at start (ClaimAlarmFile);
// empty when it took none. A later start's hand-over must carry it.
extern std::wstring g_claimName;

// The tray icon record: filled once at WM_CREATE, passed again to re-add the
// icon and to remove it at WM_DESTROY.
extern NOTIFYICONDATAW g_trayIconData;

// Registers the window class g_className with MainWndProc, the application
// icon and the menu IDR_MAIN. The result is not looked at.
void RegisterMainWindowClass(HINSTANCE instance);

// The main window's procedure.
LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// After the main window could not be made: when the alarm file was the reason
// (it could be neither read nor created), tells the user which file, why and
// what to do in a message box and returns 1, the exit code for it; else 0.
int ReportFailedStart();
