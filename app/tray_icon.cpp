#include "app/tray_icon.h"

#include "common/guarded_call.h"

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

// text into field, cut to fit, terminated.
template <std::size_t capacity>
void CopyCut(const std::wstring& text, wchar_t (&field)[capacity]) {
    field[text.copy(field, capacity - 1)] = L'\0';
}

}  // namespace

bool ShowTrayIcon(NOTIFYICONDATAW* icon) {
    s_icon = icon;
    s_pending = !g_shellNotifyIcon(NIM_ADD, icon);
    if (!s_pending) return true;
    SetTimer(icon->hWnd, IDT_TRAY_RETRY, kTrayRetryPeriodMs, TrayIconRetryProc);
    return false;
}

bool ShowTrayBalloon(const std::wstring& title, const std::wstring& text) {
    if (s_icon == nullptr) return false;
    // A copy: the record kept for re-adding the icon must not carry the
    // balloon, or every re-add would show it again.
    NOTIFYICONDATAW balloon = *s_icon;
    balloon.uFlags = NIF_INFO;
    CopyCut(title, balloon.szInfoTitle);
    CopyCut(text, balloon.szInfo);
    balloon.uTimeout = kBalloonTimeoutMs;
    balloon.dwInfoFlags = NIIF_INFO;
    return g_shellNotifyIcon(NIM_MODIFY, &balloon) != FALSE;
}

bool IsTrayIconPending() { return s_pending; }

void CALLBACK TrayIconRetryProc(HWND window, UINT, UINT_PTR, DWORD) {
    CallGuarded([window] { RetryTrayIcon(window); });
}
