#include "app/tray_icon.h"

#include "common/guarded_call.h"
#include "common/instance.h"
#include "res/resource.h"

ShellNotifyIconFunction g_shellNotifyIcon = Shell_NotifyIconW;

namespace {

// The icon the retries add, set by the last ShowTrayIcon.
NOTIFYICONDATAW* s_icon = nullptr;
bool s_pending = false;
// The image the icon record holds, loaded here and destroyed here.
HICON s_image = nullptr;

// Loads the program's icon into icon at the small-icon size of the display's
// scale now (16 pixels at 96 DPI, 24 at 144): LoadImageW takes the group's
// nearest image and scales it, where the shell would shrink a large one.
// Returns the image it replaces, which the shell no longer needs once it has
// been given the new one (it keeps a copy of its own); null when there is
// none, or when no image could be loaded and the old one stays.
HICON RenewImage(NOTIFYICONDATAW* icon) {
    if ((icon->uFlags & NIF_ICON) == 0) return nullptr;
    const HICON image = static_cast<HICON>(LoadImageW(g_hInstance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON,
                                                      GetSystemMetrics(SM_CXSMICON),
                                                      GetSystemMetrics(SM_CYSMICON), 0));
    if (image == nullptr) return nullptr;
    const HICON old = s_image;
    s_image = image;
    icon->hIcon = image;
    return old;
}

void DestroyImage(HICON image) {
    if (image != nullptr) DestroyIcon(image);
}

void RetryTrayIcon(HWND window) {
    // An add that timed out may have reached the taskbar all the same: the
    // icon is there then, and adding it again would fail for ever.
    const HICON old = s_icon != nullptr ? RenewImage(s_icon) : nullptr;
    if (s_icon == nullptr || g_shellNotifyIcon(NIM_MODIFY, s_icon) || g_shellNotifyIcon(NIM_ADD, s_icon)) {
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

}  // namespace

bool ShowTrayIcon(NOTIFYICONDATAW* icon) {
    s_icon = icon;
    const HICON old = RenewImage(icon);
    s_pending = !g_shellNotifyIcon(NIM_ADD, icon);
    DestroyImage(old);
    if (!s_pending) return true;
    SetTimer(icon->hWnd, IDT_TRAY_RETRY, kTrayRetryPeriodMs, TrayIconRetryProc);
    return false;
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
