#include "app/single_instance.h"

#include "model/file_ops.h"

namespace {

constexpr DWORD kHandOverRetryMs = 100;
// How long one running copy may take to answer the hand-over.
constexpr UINT kHandOverAnswerMs = 2000;

enum class HandOver { Taken, NotTaken, RefusedBySystem };

HandOver SendHandOver(const wchar_t* className, const std::wstring& claimName) {
    COPYDATASTRUCT data{};
    data.dwData = kHandOverCopyDataId;
    data.cbData = static_cast<DWORD>((claimName.size() + 1) * sizeof(wchar_t));
    data.lpData = const_cast<wchar_t*>(claimName.c_str());
    HandOver result = HandOver::NotTaken;
    for (HWND window = FindWindowExW(nullptr, nullptr, className, nullptr); window != nullptr;
         window = FindWindowExW(nullptr, window, className, nullptr)) {
        DWORD processId = 0;
        GetWindowThreadProcessId(window, &processId);
        // This start came from the user, so it may pass the right to come to
        // the front on to the copy that will show the alarm list.
        AllowSetForegroundWindow(processId);
        DWORD_PTR answer = FALSE;
        SetLastError(0);
        const LRESULT sent = SendMessageTimeoutW(
            window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
            SMTO_ABORTIFHUNG | SMTO_BLOCK, kHandOverAnswerMs, &answer);
        if (sent != 0 && answer == TRUE) return HandOver::Taken;
        // How User Interface Privilege Isolation refuses a message.
        if (sent == 0 && GetLastError() == ERROR_ACCESS_DENIED) result = HandOver::RefusedBySystem;
    }
    return result;
}

}  // namespace

bool GetFolderIdentity(const wchar_t* folderPath, FolderIdentity* identity) {
    // Opening a folder needs backup semantics; reading its attributes needs
    // no right to its contents, and every sharing mode leaves others alone.
    const HANDLE folder = CreateFileW(folderPath, FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION information{};
    const bool known = GetFileInformationByHandle(folder, &information) != FALSE &&
                       (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    CloseHandle(folder);
    if (!known) return false;
    identity->volumeSerial = information.dwVolumeSerialNumber;
    identity->indexHigh = information.nFileIndexHigh;
    identity->indexLow = information.nFileIndexLow;
    return true;
}

std::wstring AlarmFileMutexName(const wchar_t* path) {
    const std::wstring folder = FolderOfFile(path);
    FolderIdentity identity;
    if (!folder.empty() && GetFolderIdentity(folder.c_str(), &identity) && CanTellFoldersApart(identity)) {
        return FolderClaimName(identity);
    }
    // File names on Windows compare without regard to case.
    return PathClaimName(file_ops::FoldCase(path));
}

Claim ClaimAlarmFile(const wchar_t* className, const wchar_t* path, HANDLE* claim, std::wstring* claimName,
                     DWORD waitMs) {
    *claim = nullptr;
    const std::wstring name = AlarmFileMutexName(path);
    *claimName = name;
    const DWORD start = GetTickCount();
    for (;;) {
        ClaimRound round;
        HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
        const DWORD error = GetLastError();
        round.made = mutex != nullptr && error != ERROR_ALREADY_EXISTS;
        round.forbidden = mutex == nullptr && error == ERROR_ACCESS_DENIED;
        round.failed = mutex == nullptr && !round.forbidden;
        if (round.made) {
            *claim = mutex;
        } else {
            if (mutex != nullptr) CloseHandle(mutex);
            if (!round.failed) {
                const HandOver sent = SendHandOver(className, name);
                round.handedOver = sent == HandOver::Taken;
                round.refusedBySystem = sent == HandOver::RefusedBySystem;
            }
        }
        round.elapsedMs = GetTickCount() - start;
        const Claim next = DecideClaim(round, waitMs);
        // The holder may still be starting, or be ending and refusing the
        // hand-over; when it has ended, the next round takes the mutex.
        if (next != Claim::Pending) return next;
        Sleep(kHandOverRetryMs);
    }
}

bool IsHandOverFor(const COPYDATASTRUCT* data, const std::wstring& claimName) {
    if (data == nullptr || data->dwData != kHandOverCopyDataId || claimName.empty()) return false;
    return IsHandOverTextFor(data->lpData, data->cbData, claimName);
}
