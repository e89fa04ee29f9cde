#include "app/tray_icon.h"

#include "common/guarded_call.h"
#include "common/instance.h"
#include "common/system_dlls.h"
#include "res/resource.h"
#include "ui/window_dpi.h"

ShellNotifyIconFunction g_shellNotifyIcon = Shell_NotifyIconW;

namespace {

// The icon the retries add, set by the last ShowTrayIcon.
NOTIFYICONDATAW* s_icon = nullptr;
bool s_pending = false;
// The image the icon record holds, loaded here and destroyed here.
HICON s_image = nullptr;
// Whether the last key the open tray menu took was Esc.
bool s_menuEscaped = false;

// A small-icon size at dpi; where the system cannot scale it (before Windows
// 10 1607), at the scale of the start.
int SmallIconMetric(int metric, UINT dpi) {
    using Function = int(WINAPI*)(int, UINT);
    static const auto forDpi = SystemFunction<Function>(L"user32.dll", "GetSystemMetricsForDpi");
    const int size = forDpi != nullptr ? forDpi(metric, dpi) : 0;
    return size > 0 ? size : GetSystemMetrics(metric);
}

// Loads the program's icon into icon at the small-icon size of dpi (16 pixels
// at 96 DPI, 24 at 144): LoadImageW takes the group's nearest image and
// scales it, where the shell would shrink a large one. Returns the image it
// replaces, which the shell no longer needs once it has been given the new
// one (it keeps a copy of its own); null when there is none, or when no image
// could be loaded and the old one stays.
HICON RenewImage(NOTIFYICONDATAW* icon, UINT dpi) {
    if ((icon->uFlags & NIF_ICON) == 0) return nullptr;
    const HICON image = static_cast<HICON>(LoadImageW(g_hInstance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON,
                                                      SmallIconMetric(SM_CXSMICON, dpi),
                                                      SmallIconMetric(SM_CYSMICON, dpi), 0));
    if (image == nullptr) return nullptr;
    const HICON old = s_image;
    s_image = image;
    icon->hIcon = image;
    return old;
}

// At the scale of the screen of the icon's window now.
HICON RenewImage(NOTIFYICONDATAW* icon) { return RenewImage(icon, static_cast<UINT>(WindowDpi(icon->hWnd))); }

void DestroyImage(HICON image) {
    if (image != nullptr) DestroyIcon(image);
}

// Version 4 (Windows Vista and later) calls back with NIN_KEYSELECT for Enter
// and WM_CONTEXTMENU for the menu key, at the icon's place; a shell that
// refuses calls back as version 0, with the mouse messages alone.
void AskForVersion4(const NOTIFYICONDATAW* icon) {
    NOTIFYICONDATAW version = *icon;
    version.cbSize = sizeof version;
    version.uVersion = NOTIFYICON_VERSION_4;
    g_shellNotifyIcon(NIM_SETVERSION, &version);
}

void RetryTrayIcon(HWND window) {
    // An add that timed out may have reached the taskbar all the same: the
    // icon is there then, and adding it again would fail for ever.
    const HICON old = s_icon != nullptr ? RenewImage(s_icon) : nullptr;
    if (s_icon == nullptr || g_shellNotifyIcon(NIM_MODIFY, s_icon) || g_shellNotifyIcon(NIM_ADD, s_icon)) {
        if (s_icon != nullptr) AskForVersion4(s_icon);
        KillTimer(window, IDT_TRAY_RETRY);
        s_pending = false;
    }
    DestroyImage(old);
}

// text into field, cut to fit, terminated.
template <std::size_t capacity>
void CopyCut(const std::wstring& text, wchar_t (&field)[capacity]) {
    field[text.copy(field, capacity - 1)] = L'\0';
}

LRESULT CALLBACK WatchMenuKeys(int code, WPARAM wParam, LPARAM lParam) {
    if (code == MSGF_MENU) {
        const MSG* message = reinterpret_cast<const MSG*>(lParam);
        if (message->message == WM_KEYDOWN) s_menuEscaped = message->wParam == VK_ESCAPE;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

bool ShowTrayIcon(NOTIFYICONDATAW* icon) {
    s_icon = icon;
    const HICON old = RenewImage(icon);
    s_pending = !g_shellNotifyIcon(NIM_ADD, icon);
    DestroyImage(old);
    if (!s_pending) {
        AskForVersion4(icon);
        return true;
    }
    SetTimer(icon->hWnd, IDT_TRAY_RETRY, kTrayRetryPeriodMs, TrayIconRetryProc);
    return false;
}

void RescaleTrayIcon(UINT dpi) {
    // While the add is retried, each try loads the image at the scale it meets.
    if (s_icon == nullptr || s_pending) return;
    const HICON shown = s_icon->hIcon;
    const HICON old = RenewImage(s_icon, dpi);
    if (s_icon->hIcon == shown) return;
    g_shellNotifyIcon(NIM_MODIFY, s_icon);
    DestroyImage(old);
}

void ShowTrayMenu(HWND window, HMENU menu, POINT at) {
    // The menu closes at a click elsewhere only when its owner is in front.
    SetForegroundWindow(window);
    SetFocus(window);
    const UINT align = GetSystemMetrics(SM_MENUDROPALIGNMENT) != 0 ? TPM_RIGHTALIGN : TPM_LEFTALIGN;
    s_menuEscaped = false;
    const HHOOK hook = SetWindowsHookExW(WH_MSGFILTER, WatchMenuKeys, nullptr, GetCurrentThreadId());
    TrackPopupMenuEx(menu, align, at.x, at.y, window, nullptr);
    if (hook != nullptr) UnhookWindowsHookEx(hook);
    // Lets the next click on the icon open the menu again at once.
    PostMessageW(window, WM_NULL, 0, 0);
    // Left with Esc: the keyboard goes back to where it came from.
    if (s_menuEscaped && s_icon != nullptr) g_shellNotifyIcon(NIM_SETFOCUS, s_icon);
}

void RemoveTrayIcon(NOTIFYICONDATAW* icon) {
    KillTimer(icon->hWnd, IDT_TRAY_RETRY);
    g_shellNotifyIcon(NIM_DELETE, icon);
    if (icon->hIcon == s_image) icon->hIcon = nullptr;
    DestroyImage(s_image);
    s_image = nullptr;
    s_pending = false;
    if (s_icon == icon) s_icon = nullptr;
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
