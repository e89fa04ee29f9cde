#include "app/main_window.h"

#include "app/about_box.h"
#include "app/alarm_file_messages.h"
#include "app/alarm_tick.h"
#include "app/app.h"
#include "app/guarded_call.h"
#include "app/single_instance.h"
#include "app/tray_icon.h"
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

// Posted at start when the alarm file was damaged, so that the user is told
// once the tray icon is up and the message loop runs.
constexpr UINT WM_DAMAGEDFILENOTICE = WM_APP + 1;
// Waits, while the taskbar does not take the tray icon yet, before that
// notice is shown (ids 1 to 3 are the alarm and tray icon timers).
constexpr UINT_PTR IDT_NOTICE_WAIT = 4;
constexpr UINT kNoticeWaitMs = 500;

// True once the alarm file was read or created at start. When it was neither,
// the window is not created at all (ReportFailedStart).
bool s_alarmFileUsable = false;
// What the load at start found: why it failed, or what a damaged file gave.
AlarmFileLoadReport s_loadReport;
// Set once the program is ending (Exit, WM_CLOSE, the end of the session, the
// window's destruction): a later start must not hand over to it then.
bool s_exiting = false;
// Set while the exit asks the user about a failed save.
bool s_exitAsking = false;
// Set when the save that ends the program is done or given up.
bool s_savedAtExit = false;
// The alarm file's path, to recognise a hand-over for the file this copy serves.
wchar_t s_alarmFilePath[kPathCapacity];
// Sent by the taskbar whenever it (re)starts; it has forgotten every icon then.
UINT s_taskbarCreatedMessage = 0;

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
    ShowTrayIcon(&g_trayIconData);
}

LRESULT OnCreate(HWND window) {
    s_taskbarCreatedMessage = RegisterWindowMessageW(L"TaskbarCreated");
    GetAlarmFilePath(s_alarmFilePath, kPathCapacity);
    // A file that can be neither read nor created ends the start here: the
    // window is not made, and wWinMain tells the user why.
    if (LoadAlarmFile(s_alarmFilePath, &s_loadReport) == AlarmFileUnavailable) return -1;
    s_alarmFileUsable = true;
    SetTimer(window, IDT_ALARM_CHECK, kAlarmCheckPeriodMs, AlarmTimerProc);
    AddTrayIcon(window);
    if (s_loadReport.damaged) PostMessageW(window, WM_DAMAGEDFILENOTICE, 0, 0);
    return 0;
}

// Exit and WM_CLOSE: saves, and while that fails asks whether to try again,
// to end without saving, or to keep running.
LRESULT OnClose(HWND window) {
    if (s_exitAsking) return 0;  // the question is on screen already
    s_exiting = true;
    s_exitAsking = true;
    bool end = false;
    for (;;) {
        const AlarmFileError error = SaveAlarmFile(AlarmsToSave());
        if (error == 0) {
            end = true;
            break;
        }
        const int answer = ShowAlarmFileError(window, IDS_EXIT_SAVE_FAILED,
                                              MB_CANCELTRYCONTINUE | MB_DEFBUTTON2 | MB_ICONERROR, error);
        if (answer == IDTRYAGAIN) continue;
        end = answer == IDCONTINUE;
        break;
    }
    s_exitAsking = false;
    if (!end) {
        s_exiting = false;  // still serving the file: hand-overs are welcome again
        return 0;
    }
    s_savedAtExit = true;
    DestroyWindow(window);
    return 0;
}

LRESULT OnDestroy(HWND window) {
    // A window whose start failed has nothing to stop, and must not post the
    // quit message that would end wWinMain's message box at once.
    if (!s_alarmFileUsable) return 0;
    s_exiting = true;
    // Destroyed without Exit or WM_CLOSE: one save, with nobody to ask.
    if (!s_savedAtExit) SaveAlarmFile(AlarmsToSave());
    s_savedAtExit = true;
    KillTimer(window, IDT_ALARM_CHECK);
    KillTimer(window, IDT_RING_GUARD);
    KillTimer(window, IDT_TRAY_RETRY);
    KillTimer(window, IDT_NOTICE_WAIT);
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
        return OnClose(window);
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
    // An exiting copy would take the hand-over and then end, leaving none.
    if (s_exiting || !IsHandOverFor(reinterpret_cast<const COPYDATASTRUCT*>(lParam), s_alarmFilePath)) {
        return FALSE;
    }
    // Posted, so the other copy has its answer at once and is not held until
    // the dialog closes.
    if (s_alarmFileUsable) PostMessageW(window, WM_COMMAND, IDM_ALARM_SETTINGS, 0);
    return TRUE;
}

// Logging off does not pass through WM_DESTROY; save as Exit does, but with
// one try and no window: the session is going away.
LRESULT OnEndSession(WPARAM sessionEnds) {
    if (!sessionEnds || !s_alarmFileUsable) return 0;
    s_exiting = true;
    if (!s_savedAtExit) SaveAlarmFile(AlarmsToSave(), 0);
    s_savedAtExit = true;
    return 0;
}

void CALLBACK NoticeWaitProc(HWND window, UINT, UINT_PTR, DWORD) {
    CallGuarded([window] {
        if (IsTrayIconPending()) return;
        KillTimer(window, IDT_NOTICE_WAIT);
        PostMessageW(window, WM_DAMAGEDFILENOTICE, 0, 0);
    });
}

// Once, after the start and once the tray icon is up: how much of a damaged
// file was read, and where its original bytes are kept.
LRESULT OnDamagedFileNotice(HWND window) {
    if (IsTrayIconPending()) {
        SetTimer(window, IDT_NOTICE_WAIT, kNoticeWaitMs, NoticeWaitProc);
        return 0;
    }
    wchar_t pattern[512] = L"";
    wchar_t caption[100] = L"";
    LoadStringW(g_hInstance, IDS_DAMAGED_FILE, pattern, 512);
    LoadStringW(g_hInstance, IDS_APP_TITLE, caption, 100);
    const std::wstring text =
        FillMessage(pattern, {std::to_wstring(s_loadReport.alarmsRead), s_loadReport.keptPath});
    MessageBoxW(window, text.c_str(), caption, MB_OK | MB_ICONWARNING | MB_SETFOREGROUND);
    return 0;
}

LRESULT OnTaskbarCreated() {
    // The new taskbar knows no icon; if it is too busy to take ours, retry.
    if (s_alarmFileUsable) ShowTrayIcon(&g_trayIconData);
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

namespace {

LRESULT OnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: return OnCreate(window);
    case WM_DESTROY: return OnDestroy(window);
    case WM_PAINT: return OnPaint(window);
    case WM_COMMAND: return OnCommand(window, wParam, lParam);
    case WM_TRAYICON: return OnTrayIcon(window, wParam, lParam);
    case WM_COPYDATA: return OnCopyData(window, lParam);
    case WM_ENDSESSION: return OnEndSession(wParam);
    case WM_CLOSE: return OnClose(window);
    case WM_DAMAGEDFILENOTICE: return OnDamagedFileNotice(window);
    default:
        // "TaskbarCreated" is a registered message, so it cannot be a case label.
        if (message != 0 && message == s_taskbarCreatedMessage) return OnTaskbarCreated();
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return CallGuarded<LRESULT>(0, [&] { return OnMessage(window, message, wParam, lParam); });
}

int ReportFailedStart() {
    if (s_alarmFileUsable || s_loadReport.error == 0) return 0;
    ShowAlarmFileError(nullptr, IDS_START_FAILED, MB_OK | MB_ICONERROR, s_loadReport.error);
    return 1;
}
