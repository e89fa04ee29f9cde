#include "common/alarm_file_messages.h"

#include "common/message_box.h"
#include "res/resource.h"

namespace {

// Ends a sentence of the string table that another text follows.
constexpr wchar_t kSentenceEnd[] = L"。";

}  // namespace

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

int ShowAlarmFileError(HWND owner, UINT textId, UINT type, AlarmFileError error) {
    const std::wstring text = FillMessage(
        LoadText(textId), {AlarmFilePath(), SystemErrorText(error), std::to_wstring(SystemErrorOf(error))});
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
