#include "app/main_window.h"

#include <windowsx.h>

#include "app/about_box.h"
#include "app/alarm_tick.h"
#include "app/exit_flow.h"
#include "app/single_instance.h"
#include "app/tray_icon.h"
#include "common/alarm_file_messages.h"
#include "common/guarded_call.h"
#include "common/instance.h"
#include "common/message_box.h"
#include "common/system_dlls.h"
#include "model/alarm_file.h"
#include "res/resource.h"
#include "ui/alarm_list_dialog.h"

NOTIFYICONDATAW g_trayIconData;

namespace {

// The record up to and including dwInfoFlags.
#ifndef _WIN64  // the sizes of the program as it ships, 32-bit
static_assert(NOTIFYICONDATAW_V2_SIZE == 936, "the tray icon record is 936 bytes");
static_assert(sizeof(WNDCLASSEXW) == 48, "the window class record is 48 bytes");
#endif

// Posted at start when the alarm file was damaged, so that the user is told
// once the tray icon is up and the message loop runs.
constexpr UINT WM_DAMAGEDFILENOTICE = WM_APP + 1;
// While the taskbar does not take the tray icon yet, or another box is up,
// that notice waits on the timer IDT_NOTICE_WAIT.
constexpr UINT kNoticeWaitMs = 500;

// From the start to the end: whether the alarm file was loaded (when it could
// be neither read nor created, the window is not created at all:
// ReportFailedStart), whether an exit asks about a failed save, and whether
// the last save is done.
ExitFlow s_flow;
// What the load at start found: why it failed, or what a damaged file gave.
AlarmFileLoadReport s_loadReport;
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

// While one of the program's message boxes is up, it alone is answered: a
// tray click or a later start brings it to the front and opens nothing, so
// that no second question can stand beside it. Returns false when none is up.
bool BringOpenMessageBoxToFront() {
    const HWND box = GetOpenMessageBox();
    if (box == nullptr) return false;
    SetForegroundWindow(box);
    return true;
}

// The window a question stands on: the alarm editor or list when open, else
// none (never the hidden main window).
HWND OwnerInSight() {
    const HWND dialog = GetOpenAlarmListDialog();
    return dialog != nullptr ? GetLastActivePopup(dialog) : nullptr;
}

void OpenAlarmList(HWND window) {
    if (s_flow.state() != ExitFlow::State::Serving) return;
    DialogBoxParamW(g_hInstance, MAKEINTRESOURCEW(IDD_ALARM_LIST), window, AlarmListDlgProc, 0);
}

void AddTrayIcon(HWND window) {
    g_trayIconData.cbSize = NOTIFYICONDATAW_V2_SIZE;
    g_trayIconData.hWnd = window;
    g_trayIconData.uID = TRAY_ICON_UID;
    g_trayIconData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    // The image is loaded at each add, at the scale of that moment (ShowTrayIcon).
    g_trayIconData.uCallbackMessage = WM_TRAYICON;
    LoadStringW(g_hInstance, IDS_APP_TITLE, g_trayIconData.szTip,
                sizeof g_trayIconData.szTip / sizeof g_trayIconData.szTip[0]);
    ShowTrayIcon(&g_trayIconData);
}

// A copy run as administrator (an installer run so may start it) still hears
// the taskbar's restart and later starts' hand-overs from normal programs.
void LetMessagesInFromNormalPrograms(HWND window) {
    using Function = BOOL(WINAPI*)(HWND, UINT, DWORD, void*);
    static const auto allow = SystemFunction<Function>(L"user32.dll", "ChangeWindowMessageFilterEx");
    constexpr DWORD kAllow = 1;  // MSGFLT_ALLOW, Windows 7 on
    if (allow == nullptr) return;
    allow(window, s_taskbarCreatedMessage, kAllow, nullptr);
    allow(window, WM_COPYDATA, kAllow, nullptr);
}

LRESULT OnCreate(HWND window) {
    s_taskbarCreatedMessage = RegisterWindowMessageW(L"TaskbarCreated");
    LetMessagesInFromNormalPrograms(window);
    wchar_t path[kPathCapacity];
    GetAlarmFilePath(path, kPathCapacity);
    // A file that can be neither read nor created ends the start here: the
    // window is not made, and wWinMain tells the user why.
    if (LoadAlarmFile(path, &s_loadReport) == AlarmFileUnavailable) return -1;
    s_flow.Started();
    SetTimer(window, IDT_ALARM_CHECK, kAlarmCheckPeriodMs, AlarmTimerProc);
    AddTrayIcon(window);
    if (s_loadReport.damaged) PostMessageW(window, WM_DAMAGEDFILENOTICE, 0, 0);
    return 0;
}

// Exit and WM_CLOSE: saves, and while that fails asks whether to try again,
// to end without saving, or to keep running.
LRESULT OnClose(HWND window) {
    // A question on screen is answered first: it comes to the front.
    if (const HWND question = GetOpenQuestion()) {
        SetForegroundWindow(question);
        return 0;
    }
    // A notice asks nothing and holds nothing up: it goes, and the close is
    // made again once its box has returned, outside its loop.
    if (CloseOpenNotices()) {
        PostMessageW(window, WM_CLOSE, 0, 0);
        return 0;
    }
    const HWND owner = OwnerInSight();
    if (s_flow.Close([] { return SaveAlarmFile(AlarmsToSave()); },
                     [owner](AlarmFileError error) { return AskAboutFailedSave(owner, true, error); })) {
        DestroyWindow(window);
    }
    return 0;
}

LRESULT OnDestroy(HWND window) {
    // A window whose start failed has nothing to stop, and must not post the
    // quit message that would end wWinMain's message box at once.
    if (s_flow.state() == ExitFlow::State::Starting) return 0;
    // Destroyed without Exit, WM_CLOSE or the session's end: one save, with
    // nobody to ask.
    if (s_flow.Destroyed()) SaveAlarmFile(AlarmsToSave());
    KillTimer(window, IDT_ALARM_CHECK);
    KillTimer(window, IDT_NOTICE_WAIT);
    RemoveTrayIcon(&g_trayIconData);
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
        if (!BringOpenMessageBoxToFront() && !BringOpenAlarmListToFront()) OpenAlarmList(window);
        return 0;
    default:
        return DefWindowProcW(window, WM_COMMAND, wParam, lParam);
    }
}

// The icon's callback. Version 4 carries the event in the low word of lParam,
// the icon's id in the high word and the icon's place in wParam; version 0,
// where the shell refused 4, the id in wParam and only mouse messages.
LRESULT OnTrayIcon(HWND window, WPARAM wParam, LPARAM lParam) {
    const bool version4 = HIWORD(lParam) != 0;
    const UINT event = LOWORD(lParam);
    if ((version4 ? HIWORD(lParam) : wParam) != TRAY_ICON_UID) return 0;
    // A click, Enter or Space on the icon; for version 4 the click comes once
    // more as NIN_SELECT, which the open list takes.
    const bool opensList = event == WM_LBUTTONDOWN || event == NIN_SELECT || event == NIN_KEYSELECT;
    // Version 4 sends the menu key, Shift+F10 and a right click as WM_CONTEXTMENU.
    const bool opensMenu = version4 ? event == WM_CONTEXTMENU : event == WM_RBUTTONDOWN;
    if ((!opensList && !opensMenu) || BringOpenMessageBoxToFront()) return 0;
    if (opensMenu) {
        POINT at{GET_X_LPARAM(wParam), GET_Y_LPARAM(wParam)};
        if (!version4) GetCursorPos(&at);
        ShowTrayMenu(window, GetSubMenu(GetMenu(window), 0), at);
    } else if (!BringOpenAlarmListToFront()) {
        SetForegroundWindow(window);
        SetFocus(window);
        OpenAlarmList(window);
    }
    return 0;
}

// A later start on the same alarm file hands over to this copy and ends.
LRESULT OnCopyData(HWND window, LPARAM lParam) {
    if (!IsHandOverFor(reinterpret_cast<const COPYDATASTRUCT*>(lParam), g_claimName)) return FALSE;
    // An exiting copy would take the hand-over and then end, leaving none;
    // the other start waits, and the question of the exit comes to the front.
    if (!s_flow.AcceptsHandOver()) {
        BringOpenMessageBoxToFront();
        return FALSE;
    }
    // Posted, so the other copy has its answer at once and is not held until
    // the dialog closes.
    PostMessageW(window, WM_COMMAND, IDM_ALARM_SETTINGS, 0);
    return TRUE;
}

// Logging off does not pass through WM_DESTROY; save as Exit does, but with
// one try and no window: the session is going away. A restart manager (an
// installer, an update) asks the same with ENDSESSION_CLOSEAPP, and then waits
// for the program to end: it does, with exit code 0, so that a new start on
// the file runs at once. A session end that was called off changes nothing.
LRESULT OnEndSession(HWND window, WPARAM sessionEnds, LPARAM how) {
    if (!sessionEnds || s_flow.state() == ExitFlow::State::Starting) return 0;
    if (s_flow.EndNow()) SaveAlarmFile(AlarmsToSave(), 0);
    if (how & ENDSESSION_CLOSEAPP) DestroyWindow(window);
    return 0;
}

void CALLBACK NoticeWaitProc(HWND window, UINT, UINT_PTR, DWORD) {
    CallGuarded([window] {
        if (IsTrayIconPending() || GetOpenMessageBox() != nullptr) return;
        KillTimer(window, IDT_NOTICE_WAIT);
        PostMessageW(window, WM_DAMAGEDFILENOTICE, 0, 0);
    });
}

// Once, after the start, once the tray icon is up and no other message box is:
// how much of a damaged file was read, and where its original bytes are kept.
LRESULT OnDamagedFileNotice(HWND window) {
    if (IsTrayIconPending() || GetOpenMessageBox() != nullptr) {
        SetTimer(window, IDT_NOTICE_WAIT, kNoticeWaitMs, NoticeWaitProc);
        return 0;
    }
    wchar_t pattern[512] = L"";
    LoadStringW(g_hInstance, IDS_DAMAGED_FILE, pattern, 512);
    const std::wstring text =
        FillMessage(pattern, {std::to_wstring(s_loadReport.alarmsRead), s_loadReport.keptPath});
    ShowMessageBox(OwnerInSight(), text, MB_OK | MB_ICONWARNING);
    return 0;
}

// The scale of the window's screen changed, which Windows tells a window
// whether shown or not: the tray icon's image follows it.
LRESULT OnDpiChanged(WPARAM dpis) {
    RescaleTrayIcon(LOWORD(dpis));
    return 0;
}

LRESULT OnTaskbarCreated() {
    // The new taskbar knows no icon; if it is too busy to take ours, retry.
    if (s_flow.state() != ExitFlow::State::Starting) ShowTrayIcon(&g_trayIconData);
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
    case WM_ENDSESSION: return OnEndSession(window, wParam, lParam);
    case WM_CLOSE: return OnClose(window);
    case WM_DAMAGEDFILENOTICE: return OnDamagedFileNotice(window);
    case WM_DPICHANGED: return OnDpiChanged(wParam);
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
    if (s_flow.state() != ExitFlow::State::Starting || s_loadReport.error == 0) return 0;
    // A damaged file that could not be kept aside is left untouched, and is
    // told as damaged: nothing holds it, the folder refuses the copy.
    ShowAlarmFileError(nullptr, s_loadReport.damaged ? IDS_DAMAGED_NOT_KEPT : IDS_START_FAILED,
                       MB_OK | MB_ICONERROR, s_loadReport.error);
    return 1;
}
