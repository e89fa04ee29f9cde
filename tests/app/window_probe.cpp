// A probe that the end-to-end tests load into a running velmora.exe, to read
// what only its own process can: the popup menu on screen and the windows its
// user-interface thread creates. Each export is a thread procedure, started
// with CreateRemoteThread; its parameter is a buffer of kProbeTextUnits wide
// characters in the target process, into which it writes its answer.
#include <windows.h>

#include <cwchar>

#include "window_probe.h"

namespace {

HMODULE s_module = nullptr;
HHOOK s_hook = nullptr;
SRWLOCK s_lock = SRWLOCK_INIT;
wchar_t s_created[kProbeTextUnits];
std::size_t s_createdUsed = 0;

struct Search {
    const wchar_t* className;
    bool visibleOnly;
    HWND found;
};

BOOL CALLBACK FindOwnWindow(HWND window, LPARAM lParam) {
    Search* search = reinterpret_cast<Search*>(lParam);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId != GetCurrentProcessId()) return TRUE;
    if (search->visibleOnly && !IsWindowVisible(window)) return TRUE;
    wchar_t className[64];
    if (GetClassNameW(window, className, 64) == 0 || std::wcscmp(className, search->className) != 0) {
        return TRUE;
    }
    search->found = window;
    return FALSE;
}

HWND FindOwnTopLevelWindow(const wchar_t* className, bool visibleOnly) {
    Search search{className, visibleOnly, nullptr};
    EnumWindows(FindOwnWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Records each top-level window the hooked thread creates as "class|title".
LRESULT CALLBACK RecordCreatedWindow(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) {
        const CREATESTRUCTW* create = reinterpret_cast<CBT_CREATEWNDW*>(lParam)->lpcs;
        if (!(create->style & WS_CHILD)) {
            wchar_t className[64];
            if (IS_INTRESOURCE(create->lpszClass)) {
                std::swprintf(className, 64, L"#%u",
                              static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(create->lpszClass)));
            } else {
                std::swprintf(className, 64, L"%ls", create->lpszClass);
            }
            AcquireSRWLockExclusive(&s_lock);
            const int written = std::swprintf(
                s_created + s_createdUsed, kProbeTextUnits - s_createdUsed, L"%ls|%ls\n", className,
                create->lpszName != nullptr && !IS_INTRESOURCE(create->lpszName) ? create->lpszName : L"");
            if (written > 0) s_createdUsed += static_cast<std::size_t>(written);
            ReleaseSRWLockExclusive(&s_lock);
        }
    }
    return CallNextHookEx(s_hook, code, wParam, lParam);
}

}  // namespace

extern "C" {

// Writes each item of the popup menu on screen as "type|id|text\n".
// Returns 0, or 1 when no popup menu of this process is shown.
__declspec(dllexport) DWORD WINAPI ReadPopupMenu(LPVOID out) {
    wchar_t* text = static_cast<wchar_t*>(out);
    text[0] = L'\0';
    const HWND menuWindow = FindOwnTopLevelWindow(L"#32768", true);
    if (menuWindow == nullptr) return 1;
    DWORD_PTR menu = 0;
    if (!SendMessageTimeoutW(menuWindow, MN_GETHMENU, 0, 0, SMTO_BLOCK, 2000, &menu)) return 2;
    std::size_t used = 0;
    const int count = GetMenuItemCount(reinterpret_cast<HMENU>(menu));
    for (int i = 0; i < count; ++i) {
        wchar_t itemText[128] = L"";
        MENUITEMINFOW item{};
        item.cbSize = sizeof item;
        item.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING;
        item.dwTypeData = itemText;
        item.cch = 128;
        if (!GetMenuItemInfoW(reinterpret_cast<HMENU>(menu), i, TRUE, &item)) return 3;
        const int written = std::swprintf(text + used, kProbeTextUnits - used, L"%u|%u|%ls\n",
                                          item.fType, item.wID, itemText);
        if (written < 0) return 4;
        used += static_cast<std::size_t>(written);
    }
    return 0;
}

// Starts recording the top-level windows that the thread of the main window
// (class "VELMORA") creates. Returns 0, or 1 when that window is not found.
__declspec(dllexport) DWORD WINAPI WatchCreatedWindows(LPVOID) {
    const HWND main = FindOwnTopLevelWindow(L"VELMORA", false);
    if (main == nullptr) return 1;
    s_hook = SetWindowsHookExW(WH_CBT, RecordCreatedWindow, s_module,
                               GetWindowThreadProcessId(main, nullptr));
    return s_hook != nullptr ? 0 : 2;
}

// Writes the windows recorded so far, one "class|title\n" each.
__declspec(dllexport) DWORD WINAPI ReadCreatedWindows(LPVOID out) {
    AcquireSRWLockShared(&s_lock);
    std::wmemcpy(static_cast<wchar_t*>(out), s_created, s_createdUsed);
    static_cast<wchar_t*>(out)[s_createdUsed] = L'\0';
    ReleaseSRWLockShared(&s_lock);
    return 0;
}

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) s_module = module;
    return TRUE;
}
