#include "app/alarm_file_messages.h"

#include "app/app.h"
#include "res/resource.h"
#include "ui/alarm_list_dialog.h"

namespace {

// Room for the longest of the texts of the string table.
constexpr int kTextCapacity = 1024;
// Room for the module's path, which may be longer than MAX_PATH.
constexpr DWORD kLongPathCapacity = 32768;

std::wstring LoadText(UINT id) {
    wchar_t text[kTextCapacity] = L"";
    LoadStringW(g_hInstance, id, text, kTextCapacity);
    return text;
}

}  // namespace

std::wstring SystemErrorText(AlarmFileError error) {
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

int ShowAlarmFileError(HWND owner, UINT textId, UINT type, AlarmFileError error) {
    const std::wstring text = FillMessage(
        LoadText(textId), {AlarmFilePathForMessages(), SystemErrorText(error), std::to_wstring(error)});
    // The program has no window in sight: the box must come to the front.
    return MessageBoxW(owner, text.c_str(), LoadText(IDS_APP_TITLE).c_str(), type | MB_SETFOREGROUND);
}

bool SaveAlarmsOrAsk(HWND owner) {
    for (;;) {
        const AlarmFileError error = SaveAlarmFile(AlarmsToSave());
        if (error == 0) return true;
        if (ShowAlarmFileError(owner, IDS_SAVE_FAILED, MB_RETRYCANCEL | MB_ICONERROR, error) != IDRETRY) {
            return false;
        }
    }
}
