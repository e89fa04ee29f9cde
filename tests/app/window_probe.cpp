// A probe that the end-to-end tests load into a running velmora.exe, to read
// what only its own process can: the popup menu on screen, the cells of its
// list views and the windows its user-interface thread creates.
//
// It is loaded the way Windows loads any hook DLL: the test sets hooks on
// velmora's user-interface thread with the procedures below, and the system
// loads this DLL into velmora to call them there. No thread is ever started in
// velmora from outside (CreateRemoteThread and the like are queued to the
// target under Wine and waited for without a limit), so the probe runs only
// on that thread, between its messages. It writes what it sees into the block
// the test shares with it (window_probe.h).
#include <windows.h>
#include <commctrl.h>

#include <cwchar>

#include "window_probe.h"

namespace {

// The shared block, mapped for the time of one write; null when the test that
// made it is gone.
class SharedBlock {
public:
    SharedBlock() {
        wchar_t name[64];
        ProbeBlockName(GetCurrentProcessId(), name, 64);
        mapping_ = OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, name);
        if (mapping_ != nullptr) {
            block_ = static_cast<ProbeBlock*>(MapViewOfFile(mapping_, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(ProbeBlock)));
        }
    }
    ~SharedBlock() {
        if (block_ != nullptr) UnmapViewOfFile(block_);
        if (mapping_ != nullptr) CloseHandle(mapping_);
    }
    SharedBlock(const SharedBlock&) = delete;
    SharedBlock& operator=(const SharedBlock&) = delete;

    ProbeBlock* operator->() const { return block_; }
    explicit operator bool() const { return block_ != nullptr; }

private:
    HANDLE mapping_ = nullptr;
    ProbeBlock* block_ = nullptr;
};

struct Search {
    const wchar_t* className;
    HWND found;
};

BOOL CALLBACK FindOwnWindow(HWND window, LPARAM lParam) {
    Search* search = reinterpret_cast<Search*>(lParam);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId != GetCurrentProcessId() || !IsWindowVisible(window)) return TRUE;
    wchar_t className[64];
    if (GetClassNameW(window, className, 64) == 0 || std::wcscmp(className, search->className) != 0) return TRUE;
    search->found = window;
    return FALSE;
}

// Appends to text (of kProbeTextUnits) at *used; false when it did not fit.
bool Append(wchar_t* text, std::size_t* used, const wchar_t* part) {
    const int written = std::swprintf(text + *used, kProbeTextUnits - *used, L"%ls", part);
    if (written < 0) return false;
    *used += static_cast<std::size_t>(written);
    return true;
}

DWORD ReadPopupMenu(wchar_t* text) {
    Search search{L"#32768", nullptr};
    EnumWindows(FindOwnWindow, reinterpret_cast<LPARAM>(&search));
    if (search.found == nullptr) return 1;
    const HMENU menu = reinterpret_cast<HMENU>(SendMessageW(search.found, MN_GETHMENU, 0, 0));
    std::size_t used = 0;
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        wchar_t itemText[128] = L"";
        MENUITEMINFOW item{};
        item.cbSize = sizeof item;
        item.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING;
        item.dwTypeData = itemText;
        item.cch = 128;
        if (!GetMenuItemInfoW(menu, i, TRUE, &item)) return 3;
        wchar_t line[160];
        std::swprintf(line, 160, L"%u|%u|%ls\n", item.fType, item.wID, itemText);
        if (!Append(text, &used, line)) return 4;
    }
    return 0;
}

DWORD ReadListView(HWND listView, int columns, wchar_t* text) {
    DWORD processId = 0;
    GetWindowThreadProcessId(listView, &processId);
    if (!IsWindow(listView) || processId != GetCurrentProcessId()) return 1;
    std::size_t used = 0;
    const int rows = static_cast<int>(SendMessageW(listView, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            wchar_t cell[64] = L"";
            LVITEMW item{};
            item.iSubItem = column;
            item.pszText = cell;
            item.cchTextMax = 64;
            SendMessageW(listView, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
            if (!Append(text, &used, cell) || !Append(text, &used, column + 1 < columns ? L"\t" : L"\n")) return 4;
        }
    }
    return 0;
}

DWORD WINAPI Crash(LPVOID) {
    *static_cast<volatile int*>(nullptr) = 1;
    return 0;
}

void Answer(WPARAM request, LPARAM window) {
    if (request == kProbeCrash) {
        const HANDLE thread = CreateThread(nullptr, 0, Crash, nullptr, 0, nullptr);
        if (thread != nullptr) CloseHandle(thread);
        return;
    }
    SharedBlock block;
    if (!block) return;
    block->answer[0] = L'\0';
    DWORD result = 0;
    switch (request & 0xFF) {
    case kProbePing:
        break;
    case kProbeReadPopupMenu:
        result = ReadPopupMenu(block->answer);
        break;
    case kProbeReadListView:
        result = ReadListView(reinterpret_cast<HWND>(window), static_cast<int>(request >> 8), block->answer);
        break;
    default:
        result = 2;
    }
    block->answerResult = result;
    InterlockedIncrement(&block->answers);
}

}  // namespace

extern "C" {

// WH_CBT: records each top-level window the hooked thread creates as
// "class|title\n".
__declspec(dllexport) LRESULT CALLBACK RecordCreatedWindow(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) {
        const CREATESTRUCTW* create = reinterpret_cast<CBT_CREATEWNDW*>(lParam)->lpcs;
        SharedBlock block;
        if (!(create->style & WS_CHILD) && block) {
            wchar_t className[64];
            if (IS_INTRESOURCE(create->lpszClass)) {
                std::swprintf(className, 64, L"#%u",
                              static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(create->lpszClass)));
            } else {
                std::swprintf(className, 64, L"%ls", create->lpszClass);
            }
            const std::size_t used = static_cast<std::size_t>(block->createdUsed);
            const int written = std::swprintf(
                block->created + used, kProbeTextUnits - used, L"%ls|%ls\n", className,
                create->lpszName != nullptr && !IS_INTRESOURCE(create->lpszName) ? create->lpszName : L"");
            if (written > 0) InterlockedExchange(&block->createdUsed, static_cast<LONG>(used + written));
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// WH_CALLWNDPROC: answers the requests of the test (window_probe.h).
__declspec(dllexport) LRESULT CALLBACK AnswerRequest(int code, WPARAM wParam, LPARAM lParam) {
    static const UINT request = RegisterWindowMessageW(kProbeMessage);
    const CWPSTRUCT* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && message->message == request) Answer(message->wParam, message->lParam);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // extern "C"
