#include "app/single_instance.h"

#include <cwchar>

#include "model/alarm_file.h"

namespace {

// How long a second start keeps trying to reach the copy that holds the
// mutex; that copy may still be creating its window.
constexpr DWORD kHandOverWaitMs = 5000;
constexpr DWORD kHandOverRetryMs = 100;
// How long one running copy may take to answer the hand-over.
constexpr UINT kHandOverAnswerMs = 2000;

// FNV-1a over the UTF-16 code units.
unsigned long long HashText(const std::wstring& text) {
    unsigned long long hash = 14695981039346656037ull;
    for (wchar_t unit : text) {
        const unsigned value = static_cast<unsigned short>(unit);
        hash = (hash ^ (value & 0xFF)) * 1099511628211ull;
        hash = (hash ^ (value >> 8)) * 1099511628211ull;
    }
    return hash;
}

}  // namespace

std::wstring FoldAlarmFilePath(const wchar_t* path) {
    std::wstring folded(path);
    // File names on Windows compare without regard to case.
    if (!folded.empty()) CharUpperBuffW(&folded[0], static_cast<DWORD>(folded.size()));
    return folded;
}

std::wstring AlarmFileMutexName(const wchar_t* path) {
    // The path itself may be longer than a mutex name may be, and may hold
    // backslashes, which a name may not; its hash has neither problem.
    wchar_t name[64];
    std::swprintf(name, sizeof name / sizeof name[0], L"Local\\velmora-alarm-file-%016llx",
                  HashText(FoldAlarmFilePath(path)));
    return name;
}

bool ClaimAlarmFile(const wchar_t* className, const wchar_t* path, HANDLE* claim) {
    *claim = nullptr;
    const std::wstring name = AlarmFileMutexName(path);
    const DWORD start = GetTickCount();
    for (;;) {
        HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
        const DWORD error = GetLastError();
        if (mutex != nullptr && error != ERROR_ALREADY_EXISTS) {
            *claim = mutex;
            return true;
        }
        if (mutex != nullptr) CloseHandle(mutex);
        // Only "it exists in another's hands" means another copy; any other
        // failure to make the mutex must not keep the program from running.
        if (mutex == nullptr && error != ERROR_ACCESS_DENIED) return true;
        if (HandOverToRunningCopy(className, path)) return false;
        // The holder may still be starting, or be ending; when it has ended,
        // the next round takes the mutex.
        if (GetTickCount() - start >= kHandOverWaitMs) return false;
        Sleep(kHandOverRetryMs);
    }
}

bool HandOverToRunningCopy(const wchar_t* className, const wchar_t* path) {
    COPYDATASTRUCT data{};
    data.dwData = kHandOverCopyDataId;
    data.cbData = static_cast<DWORD>((std::wcslen(path) + 1) * sizeof(wchar_t));
    data.lpData = const_cast<wchar_t*>(path);
    for (HWND window = FindWindowExW(nullptr, nullptr, className, nullptr); window != nullptr;
         window = FindWindowExW(nullptr, window, className, nullptr)) {
        DWORD processId = 0;
        GetWindowThreadProcessId(window, &processId);
        // This start came from the user, so it may pass the right to come to
        // the front on to the copy that will show the alarm list.
        AllowSetForegroundWindow(processId);
        DWORD_PTR answer = FALSE;
        const LRESULT sent = SendMessageTimeoutW(
            window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
            SMTO_ABORTIFHUNG | SMTO_BLOCK, kHandOverAnswerMs, &answer);
        if (sent != 0 && answer == TRUE) return true;
    }
    return false;
}

bool IsHandOverFor(const COPYDATASTRUCT* data, const wchar_t* ownPath) {
    if (data == nullptr || data->dwData != kHandOverCopyDataId || data->lpData == nullptr) return false;
    if (ownPath == nullptr || ownPath[0] == L'\0') return false;
    const std::size_t units = data->cbData / sizeof(wchar_t);
    if (units == 0 || units > kPathCapacity || data->cbData % sizeof(wchar_t) != 0) return false;
    const wchar_t* text = static_cast<const wchar_t*>(data->lpData);
    if (text[units - 1] != L'\0') return false;
    return FoldAlarmFilePath(text) == FoldAlarmFilePath(ownPath);
}
