#include "app/main_window.h"

#include "app/about_box.h"
#include "app/alarm_tick.h"
#include "app/app.h"
#include "app/single_instance.h"
#include "model/alarm_file.h"
#include "res/resource.h"
#include "ui/alarm_list_dialog.h"

wchar_t g_className[100];
wchar_t g_windowTitle[100];
NOTIFYICONDATAW g_trayIconData;

namespace {

// The record up to and including dwInfoFlags; no version is set on the icon,
// so its callback carries the icon id in wParam and the mouse message in lParam.
#ifndef _WIN64  // the sizes of the program as it ships, 32-bit
static_assert(NOTIFYICONDATAW_V2_SIZE == 936, "the tray icon record is 936 bytes");
static_assert(sizeof(WNDCLASSEXW) == 48, "the window class record is 48 bytes");
#endif

// True once the alarm file was read or created at start. When it was neither,
// the list in memory was never read from it, so nothing may write it: neither
// the exit, nor the end of the session, nor the alarm list dialog, which saves
// whenever it closes.
bool s_alarmFileUsable = false;
// The alarm file's path, to recognise a hand-over for the file this copy serves.
wchar_t s_alarmFilePath[kPathCapacity];
// Sent by the taskbar whenever it (re)starts; it has forgotten every icon then.
UINT s_taskbarCreatedMessage = 0;

void SaveAlarmsIfUsable() {
    if (s_alarmFileUsable) SaveAlarmFile(g_alarms);
}

// Brings the open alarm list dialog, or the editor open above it, to the
// front. Returns false when no alarm list dialog is open.
bool BringOpenAlarmListToFront() {
    const HWND dialog = GetOpenAlarmListDialog();
    if (dialog == nullptr) return false;
    SetForegroundWindow(GetLastActivePopup(dialog));
    return true;
}

void OpenAlarmList(HWND window) {
    if (!s_alarmFileUsable) return;
    DialogBoxParamW(g_hInstance, MAKEINTRESOURCEW(IDD_ALARM_LIST), window, AlarmListDlgProc, 0);
}

void ShowTrayMenu(HWND window) {
    POINT cursor{};
    GetCursorPos(&cursor);
    // The menu closes at a click elsewhere only when its owner is in front.
    SetForegroundWindow(window);
    SetFocus(window);
    TrackPopupMenuEx(GetSubMenu(GetMenu(window), 0), 0, cursor.x, cursor.y, window, nullptr);
    // Lets the next click on the icon open the menu again at once.
    PostMessageW(window, WM_NULL, 0, 0);
}

void AddTrayIcon(HWND window) {
    g_trayIconData.cbSize = NOTIFYICONDATAW_V2_SIZE;
    g_trayIconData.hWnd = window;
    g_trayIconData.uID = TRAY_ICON_UID;
    g_trayIconData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    g_trayIconData.hIcon = LoadIconW(g_hInstance, MAKEINTRESOURCEW(IDI_APP));
    g_trayIconData.uCallbackMessage = WM_TRAYICON;
    LoadStringW(g_hInstance, IDS_APP_TITLE, g_trayIconData.szTip,
                sizeof g_trayIconData.szTip / sizeof g_trayIconData.szTip[0]);
    Shell_NotifyIconW(NIM_ADD, &g_trayIconData);
}

LRESULT OnCreate(HWND window) {
    s_taskbarCreatedMessage = RegisterWindowMessageW(L"TaskbarCreated");
    GetAlarmFilePath(s_alarmFilePath, kPathCapacity);
    if (LoadAlarmFile(s_alarmFilePath) == AlarmFileUnavailable) return 0;
    s_alarmFileUsable = true;
    SetTimer(window, IDT_ALARM_CHECK, kAlarmCheckPeriodMs, AlarmTimerProc);
    AddTrayIcon(window);
    return 0;
}

LRESULT OnDestroy(HWND window) {
    SaveAlarmsIfUsable();
    KillTimer(window, IDT_ALARM_CHECK);
    KillTimer(window, IDT_RING_GUARD);
    Shell_NotifyIconW(NIM_DELETE, &g_trayIconData);
    PostQuitMessage(0);
    return 0;
}

LRESULT OnPaint(HWND window) {
    PAINTSTRUCT paint;
    BeginPaint(window, &paint);
    EndPaint(window, &paint);
    return 0;
}

LRESULT OnCommand(HWND window, WPARAM wParam, LPARAM lParam) {
    switch (LOWORD(wParam)) {
    case IDM_ABOUT:
        DialogBoxParamW(g_hInstance, MAKEINTRESOURCEW(IDD_ABOUT), window, AboutDlgProc, 0);
        return 0;
    case IDM_EXIT:
        DestroyWindow(window);
        return 0;
    case IDM_ALARM_SETTINGS:
        if (!BringOpenAlarmListToFront()) OpenAlarmList(window);
        return 0;
    default:
        return DefWindowProcW(window, WM_COMMAND, wParam, lParam);
    }
}

LRESULT OnTrayIcon(HWND window, WPARAM iconId, LPARAM mouseMessage) {
    if (iconId != TRAY_ICON_UID) return 0;
    if (mouseMessage == WM_LBUTTONDOWN && !BringOpenAlarmListToFront()) {
        SetForegroundWindow(window);
        SetFocus(window);
        OpenAlarmList(window);
    } else if (mouseMessage == WM_RBUTTONDOWN) {
        ShowTrayMenu(window);
    }
    return 0;
}

// A later start on the same alarm file hands over to this copy and ends.
LRESULT OnCopyData(HWND window, LPARAM lParam) {
    if (!IsHandOverFor(reinterpret_cast<const COPYDATASTRUCT*>(lParam), s_alarmFilePath)) {
        return FALSE;
    }
    // Posted, so the other copy has its answer at once and is not held until
    // the dialog closes.
    if (s_alarmFileUsable) PostMessageW(window, WM_COMMAND, IDM_ALARM_SETTINGS, 0);
    return TRUE;
}

// Logging off does not pass through WM_DESTROY; save as Exit does.
LRESULT OnEndSession(WPARAM sessionEnds) {
    if (sessionEnds) SaveAlarmsIfUsable();
    return 0;
}

LRESULT OnTaskbarCreated() {
    if (s_alarmFileUsable) Shell_NotifyIconW(NIM_ADD, &g_trayIconData);
    return 0;
}

}  // namespace

void RegisterMainWindowClass(HINSTANCE instance) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = MainWndProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_APP));
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszMenuName = MAKEINTRESOURCEW(IDR_MAIN);
    windowClass.lpszClassName = g_className;
    RegisterClassExW(&windowClass);
}

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: return OnCreate(window);
    case WM_DESTROY: return OnDestroy(window);
    case WM_PAINT: return OnPaint(window);
    case WM_COMMAND: return OnCommand(window, wParam, lParam);
    case WM_TRAYICON: return OnTrayIcon(window, wParam, lParam);
    case WM_COPYDATA: return OnCopyData(window, lParam);
    case WM_ENDSESSION: return OnEndSession(wParam);
    default:
        // "TaskbarCreated" is a registered message, so it cannot be a case label.
        if (message != 0 && message == s_taskbarCreatedMessage) return OnTaskbarCreated();
        return DefWindowProcW(window, message, wParam, lParam);
    }
}
