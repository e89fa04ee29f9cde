#include "common/message_box.h"

#include "common/instance.h"
#include "res/resource.h"

namespace {

// Room for the longest of the texts of the string table.
constexpr int kTextCapacity = 1024;

// A message box on screen, and whether it asks something (more buttons than
// OK) or only tells.
struct OpenBox {
    HWND window;
    bool question;
};
// The message boxes on screen, the latest last.
std::vector<OpenBox> s_openBoxes;
// Set while MessageBoxW makes its window, which the hook below catches.
HHOOK s_boxHook = nullptr;
// Whether the box being made asks something.
bool s_boxAsks = false;

// Catches the window of the message box being made: the first dialog window
// this thread creates once the hook is set.
LRESULT CALLBACK CatchMessageBox(int code, WPARAM wParam, LPARAM lParam) {
    const HHOOK hook = s_boxHook;
    if (code == HCBT_CREATEWND && hook != nullptr) {
        const HWND window = reinterpret_cast<HWND>(wParam);
        wchar_t className[16] = L"";
        GetClassNameW(window, className, 16);
        if (lstrcmpW(className, L"#32770") == 0) {
            s_openBoxes.push_back({window, s_boxAsks});
            s_boxHook = nullptr;
            UnhookWindowsHookEx(hook);
        }
    }
    return CallNextHookEx(hook, code, wParam, lParam);
}

}  // namespace

std::wstring LoadText(UINT id) {
    wchar_t text[kTextCapacity] = L"";
    LoadStringW(g_hInstance, id, text, kTextCapacity);
    return text;
}

std::wstring FillMessage(const std::wstring& pattern, const std::vector<std::wstring>& inserts) {
    std::wstring text;
    for (std::size_t at = 0; at < pattern.size(); ++at) {
        const wchar_t next = at + 1 < pattern.size() ? pattern[at + 1] : L'\0';
        if (pattern[at] == L'%' && next >= L'1' && next <= L'9') {
            const std::size_t number = static_cast<std::size_t>(next - L'1');
            if (number < inserts.size()) text += inserts[number];
            ++at;
        } else {
            text += pattern[at];
        }
    }
    return text;
}

int ShowMessageBox(HWND owner, const std::wstring& text, UINT type) {
    const std::wstring caption = LoadText(IDS_APP_TITLE);
    const std::size_t before = s_openBoxes.size();
    s_boxAsks = (type & MB_TYPEMASK) != MB_OK;
    s_boxHook = SetWindowsHookExW(WH_CBT, CatchMessageBox, nullptr, GetCurrentThreadId());
    // Windows may keep a background program from the front: with no window in
    // sight, a box gets its own taskbar button (no hidden owner) and stays on top.
    if (owner != nullptr && !IsWindowVisible(owner)) owner = nullptr;
    if (owner == nullptr) type |= MB_TOPMOST;
    const int answer = MessageBoxW(owner, text.c_str(), caption.c_str(), type | MB_SETFOREGROUND);
    if (s_boxHook != nullptr) {  // no box was made
        UnhookWindowsHookEx(s_boxHook);
        s_boxHook = nullptr;
    }
    s_openBoxes.resize(before);
    return answer;
}

HWND GetOpenMessageBox() {
    // A box that went down with its owner leaves its handle behind.
    while (!s_openBoxes.empty() && !IsWindow(s_openBoxes.back().window)) s_openBoxes.pop_back();
    return s_openBoxes.empty() ? nullptr : s_openBoxes.back().window;
}

HWND GetOpenQuestion() {
    for (auto box = s_openBoxes.rbegin(); box != s_openBoxes.rend(); ++box) {
        if (box->question && IsWindow(box->window)) return box->window;
    }
    return nullptr;
}

bool CloseOpenNotices() {
    bool closed = false;
    for (const OpenBox& box : s_openBoxes) {
        if (box.question || !IsWindow(box.window)) continue;
        // As its OK would: the box's own loop ends it once this message is done.
        EndDialog(box.window, IDOK);
        closed = true;
    }
    return closed;
}
