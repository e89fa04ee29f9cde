#include "app/tray_icon.h"

#include "app/guarded_call.h"

ShellNotifyIconFunction g_shellNotifyIcon = Shell_NotifyIconW;

namespace {

// The icon the retries add, set by the last ShowTrayIcon.
NOTIFYICONDATAW* s_icon = nullptr;
bool s_pending = false;

void RetryTrayIcon(HWND window) {
    // An add that timed out may have reached the taskbar all the same: the
    // icon is there then, and adding it again would fail for ever.
    if (s_icon == nullptr || g_shellNotifyIcon(NIM_MODIFY, s_icon) || g_shellNotifyIcon(NIM_ADD, s_icon)) {
        KillTimer(window, IDT_TRAY_RETRY);
        s_pending = false;
    }
}

}  // namespace

bool ShowTrayIcon(NOTIFYICONDATAW* icon) {
    s_icon = icon;
    s_pending = !g_shellNotifyIcon(NIM_ADD, icon);
    if (!s_pending) return true;
    SetTimer(icon->hWnd, IDT_TRAY_RETRY, kTrayRetryPeriodMs, TrayIconRetryProc);
    return false;
}

bool IsTrayIconPending() { return s_pending; }

void CALLBACK TrayIconRetryProc(HWND window, UINT, UINT_PTR, DWORD) {
    CallGuarded([window] { RetryTrayIcon(window); });
}
