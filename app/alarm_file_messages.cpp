#include "app/alarm_file_messages.h"

#include "app/app.h"
#include "res/resource.h"
#include "ui/alarm_list_dialog.h"

namespace {

// Room for the longest of the texts of the string table.
constexpr int kTextCapacity = 1024;
// Room for the module's path, which may be longer than MAX_PATH.
constexpr DWORD kLongPathCapacity = 32768;
// Ends a sentence of the string table that another text follows.
constexpr wchar_t kSentenceEnd[] = L"。";

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

std::wstring SystemErrorText(AlarmFileError error) {
    // A failed save whose old bytes could not be put back: said in velmora's
    // words, then why putting them back failed, in the system's.
    if (MayBeDamaged(error)) return LoadText(IDS_MAY_BE_DAMAGED) + kSentenceEnd + SystemErrorText(SystemErrorOf(error));
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length != 0 && buffer != nullptr ? std::wstring(buffer, length) : std::wstring();
    if (buffer != nullptr) LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) text.pop_back();
    return text.empty() ? LoadText(IDS_UNKNOWN_ERROR) : text;
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

std::wstring AlarmFilePathForMessages() {
    wchar_t path[kPathCapacity];
    if (GetAlarmFilePath(path, kPathCapacity)) return path;
    std::vector<wchar_t> module(kLongPathCapacity, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, module.data(), kLongPathCapacity);
    std::wstring folder(module.data(), length < kLongPathCapacity ? length : 0);
    folder.erase(folder.find_last_of(L'\\') + 1);
    return folder + L"file.txt";
}

int ShowMessageBox(HWND owner, const std::wstring& text, UINT type) {
    const std::wstring caption = LoadText(IDS_APP_TITLE);
    const std::size_t before = s_openBoxes.size();
    s_boxAsks = (type & MB_TYPEMASK) != MB_OK;
    s_boxHook = SetWindowsHookExW(WH_CBT, CatchMessageBox, nullptr, GetCurrentThreadId());
    // The program has no window in sight: the box must come to the front.
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

int ShowAlarmFileError(HWND owner, UINT textId, UINT type, AlarmFileError error) {
    const std::wstring text = FillMessage(
        LoadText(textId), {AlarmFilePathForMessages(), SystemErrorText(error), std::to_wstring(SystemErrorOf(error))});
    return ShowMessageBox(owner, text, type);
}

SaveAnswer AskAboutFailedSave(HWND owner, bool exiting, AlarmFileError error) {
    if (!exiting) {
        const int answer = ShowAlarmFileError(owner, IDS_SAVE_FAILED, MB_RETRYCANCEL | MB_ICONERROR, error);
        return answer == IDRETRY ? SaveAnswer::Retry : SaveAnswer::KeepRunning;
    }
    const int answer = ShowAlarmFileError(owner, IDS_EXIT_SAVE_FAILED,
                                          MB_CANCELTRYCONTINUE | MB_DEFBUTTON2 | MB_ICONERROR, error);
    if (answer == IDTRYAGAIN) return SaveAnswer::Retry;
    return answer == IDCONTINUE ? SaveAnswer::EndUnsaved : SaveAnswer::KeepRunning;
}

bool SaveAlarmsOrAsk(HWND owner) {
    return SaveOrAsk([] { return SaveAlarmFile(AlarmsToSave()); },
                     [owner](AlarmFileError error) { return AskAboutFailedSave(owner, false, error); }) ==
           SaveOutcome::Saved;
}
