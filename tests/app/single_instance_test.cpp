// One copy per folder: the mutex name, the folder's identity, the hand-over
// message and the claim.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/single_instance.h"
#include "model/test_files.h"

namespace {

// A path in a folder that does not exist, so only its spelling can name it.
std::wstring UniquePath(const wchar_t* name) {
    return L"C:\\velmora-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(GetTickCount()) + L"\\" + name;
}

// A hand-over as another start sends it for the alarm file at path. The
// message carries text, which must outlive it.
struct HandOverData {
    explicit HandOverData(const std::wstring& path, ULONG_PTR id = kHandOverCopyDataId)
        : text(AlarmFileMutexName(path.c_str())) {
        data.dwData = id;
        data.cbData = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
        data.lpData = const_cast<wchar_t*>(text.c_str());
    }
    std::wstring text;
    COPYDATASTRUCT data{};
};

const wchar_t kPathClaimPrefix[] = L"Local\\velmora-alarm-file-";
const wchar_t kFolderClaimPrefix[] = L"Local\\velmora-folder-";

bool StartsWith(const std::wstring& text, const wchar_t* prefix) { return text.rfind(prefix, 0) == 0; }

}  // namespace

TEST(AlarmFileMutex, AFolderThatCannotBeOpenedIsKnownByItsPathInAnyCase) {
    EXPECT_TRUE(StartsWith(AlarmFileMutexName(L"C:\\Alarms\\Velmora\\file.txt"), kPathClaimPrefix));
    EXPECT_EQ(AlarmFileMutexName(L"C:\\Alarms\\Velmora\\file.txt"),
              AlarmFileMutexName(L"c:\\ALARMS\\velmora\\FILE.TXT"));
}

TEST(AlarmFileMutex, OtherFilesGiveOtherNames) {
    const std::wstring name = AlarmFileMutexName(L"C:\\a\\file.txt");
    EXPECT_NE(name, AlarmFileMutexName(L"C:\\b\\file.txt"));
    EXPECT_NE(name, AlarmFileMutexName(L"C:\\a\\file.txt2"));
    EXPECT_NE(name, AlarmFileMutexName(L"D:\\a\\file.txt"));
}

TEST(AlarmFileMutex, NameIsAValidLocalNameForAnyPathLength) {
    const std::wstring longPath = L"C:\\" + std::wstring(250, L'x') + L"\\file.txt";
    const std::wstring name = AlarmFileMutexName(longPath.c_str());
    EXPECT_EQ(0u, name.find(L"Local\\"));
    EXPECT_EQ(std::wstring::npos, name.find(L'\\', 6));
    EXPECT_LT(name.size(), 260u);
}

TEST(HandOverMessage, AcceptedForTheSameFileInAnyCase) {
    const HandOverData handOver(L"C:\\Program Files\\Velmora\\file.txt");
    EXPECT_TRUE(IsHandOverFor(&handOver.data, AlarmFileMutexName(L"C:\\Program Files\\Velmora\\file.txt")));
    EXPECT_TRUE(IsHandOverFor(&handOver.data, AlarmFileMutexName(L"c:\\program files\\velmora\\FILE.txt")));
}

TEST(HandOverMessage, RefusedForAnotherFileOrAnotherMessage) {
    const std::wstring path = L"C:\\a\\file.txt";
    const HandOverData other(L"C:\\b\\file.txt");
    EXPECT_FALSE(IsHandOverFor(&other.data, AlarmFileMutexName(path.c_str())));
    const HandOverData foreign(path, 1);
    EXPECT_FALSE(IsHandOverFor(&foreign.data, AlarmFileMutexName(path.c_str())));
    const HandOverData same(path);
    EXPECT_FALSE(IsHandOverFor(&same.data, std::wstring())  /* no claim taken */);
    EXPECT_FALSE(IsHandOverFor(nullptr, AlarmFileMutexName(path.c_str())));
}

TEST(FolderIdentity, EverySpellingOfAFolderGivesOneClaimAndAnotherFolderAnother) {
    TempFolder temp;
    const std::wstring folder = temp.Path(L"Velmora Alarm Folder");
    const std::wstring other = temp.Path(L"Other Folder");
    ASSERT_TRUE(MakeFolder(folder));
    ASSERT_TRUE(MakeFolder(other));
    const std::wstring name = AlarmFileMutexName((folder + L"\\file.txt").c_str());
    EXPECT_TRUE(StartsWith(name, kFolderClaimPrefix)) << name.c_str();

    std::wstring upper = folder;
    CharUpperBuffW(&upper[0], static_cast<DWORD>(upper.size()));
    std::vector<std::wstring> spellings = {
        upper + L"\\file.txt",
        folder + L"\\.\\file.txt",
        other + L"\\..\\Velmora Alarm Folder\\file.txt",
    };
    wchar_t shortFolder[MAX_PATH] = {};
    const DWORD shortLength = GetShortPathNameW(folder.c_str(), shortFolder, MAX_PATH);
    if (shortLength > 0 && shortLength < MAX_PATH && folder != shortFolder) {
        spellings.push_back(std::wstring(shortFolder) + L"\\file.txt");
    } else {
        std::printf("No 8.3 short name for %ls here\n", folder.c_str());
    }
    for (const std::wstring& spelling : spellings) {
        EXPECT_EQ(name, AlarmFileMutexName(spelling.c_str())) << spelling.c_str();
    }
    EXPECT_NE(name, AlarmFileMutexName((other + L"\\file.txt").c_str()));
}

namespace {

// A stand-in for a running copy: answers the hand-over for its own file, or
// refuses every one while it is ending.
const wchar_t kRunningClass[] = L"VelmoraHandOverTest";
std::wstring s_servedPath;
bool s_ending = false;
int s_handOversAsked = 0;
int s_handOvers = 0;
HANDLE s_endingClaim = nullptr;

LRESULT CALLBACK RunningCopyProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA) {
        ++s_handOversAsked;
        if (s_ending) return FALSE;
        if (!IsHandOverFor(reinterpret_cast<const COPYDATASTRUCT*>(lParam), AlarmFileMutexName(s_servedPath.c_str()))) return FALSE;
        ++s_handOvers;
        return TRUE;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// The ending copy's last save is done: it lets go of the claim.
void CALLBACK LetGoOfClaim(HWND window, UINT, UINT_PTR timerId, DWORD) {
    KillTimer(window, timerId);
    CloseHandle(s_endingClaim);
    s_endingClaim = nullptr;
}

// Runs the claim on a thread of its own, so this thread can answer it.
struct ClaimRun {
    std::wstring path;
    DWORD waitMs;
    bool goesOn = false;
    HANDLE claim = nullptr;
};

DWORD WINAPI RunClaim(LPVOID parameter) {
    ClaimRun* run = static_cast<ClaimRun*>(parameter);
    std::wstring name;
    run->goesOn = ClaimAlarmFile(kRunningClass, run->path.c_str(), &run->claim, &name, run->waitMs) == Claim::Held;
    return 0;
}

// Claims on another thread while this one answers messages; returns whether
// that start would go on, and how long it took.
bool ClaimWhileAnswering(const std::wstring& path, HANDLE* claim, DWORD waitMs = 5000, DWORD* tookMs = nullptr) {
    ClaimRun run{path, waitMs};
    const DWORD start = GetTickCount();
    const HANDLE thread = CreateThread(nullptr, 0, RunClaim, &run, 0, nullptr);
    const DWORD deadlineMs = waitMs + 15000;
    while (MsgWaitForMultipleObjects(1, &thread, FALSE, 100, QS_ALLINPUT) != WAIT_OBJECT_0) {
        if (GetTickCount() - start > deadlineMs) {
            ADD_FAILURE() << "the claim did not end within " << deadlineMs << " ms";
            TerminateThread(thread, 1);
            break;
        }
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
    CloseHandle(thread);
    if (tookMs != nullptr) *tookMs = GetTickCount() - start;
    *claim = run.claim;
    return run.goesOn;
}

class ClaimTest : public testing::Test {
protected:
    void SetUp() override {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = RunningCopyProc;
        windowClass.lpszClassName = kRunningClass;
        RegisterClassW(&windowClass);
        s_handOvers = 0;
        s_handOversAsked = 0;
        s_ending = false;
    }
    void TearDown() override {
        if (m_running != nullptr) DestroyWindow(m_running);
        if (s_endingClaim != nullptr) CloseHandle(s_endingClaim);
        s_endingClaim = nullptr;
    }

    // The alarm file of a new folder of that name.
    std::wstring FileInNewFolder(const wchar_t* name) {
        const std::wstring folder = m_temp.Path(name);
        EXPECT_TRUE(MakeFolder(folder));
        return folder + L"\\file.txt";
    }
    // A copy serving path, or ending on it; it holds the claim.
    HANDLE StartRunningCopy(const std::wstring& path) {
        HANDLE claim = nullptr;
        std::wstring name;
        EXPECT_EQ(Claim::Held, ClaimAlarmFile(kRunningClass, path.c_str(), &claim, &name));
        s_servedPath = path;
        m_running = CreateWindowW(kRunningClass, L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
        EXPECT_NE(nullptr, m_running);
        return claim;
    }

    TempFolder m_temp;
    HWND m_running = nullptr;
};

}  // namespace

TEST_F(ClaimTest, FirstClaimGoesOnAndHoldsTheFolder) {
    const std::wstring path = FileInNewFolder(L"alarms");
    HANDLE claim = nullptr;
    std::wstring name;
    ASSERT_EQ(Claim::Held, ClaimAlarmFile(kRunningClass, path.c_str(), &claim, &name));
    EXPECT_EQ(AlarmFileMutexName(path.c_str()), name);
    ASSERT_NE(nullptr, claim);
    // The mutex exists now under the folder's name.
    HANDLE same = OpenMutexW(SYNCHRONIZE, FALSE, AlarmFileMutexName(path.c_str()).c_str());
    EXPECT_NE(nullptr, same);
    if (same != nullptr) CloseHandle(same);
    CloseHandle(claim);
}

TEST_F(ClaimTest, SecondClaimThroughAnotherSpellingHandsOverToTheCopyServingTheFolder) {
    const std::wstring path = FileInNewFolder(L"alarms");
    FileInNewFolder(L"detour");
    const HANDLE first = StartRunningCopy(path);
    // Another spelling of the same folder, from another copy of the program.
    HANDLE second = nullptr;
    EXPECT_FALSE(ClaimWhileAnswering(m_temp.Path(L"DETOUR\\..\\Alarms\\.\\file.txt"), &second));
    EXPECT_EQ(nullptr, second);
    EXPECT_EQ(1, s_handOvers);
    CloseHandle(first);
}

TEST_F(ClaimTest, ClaimOnAnotherFolderGoesOnBesideTheFirst) {
    const HANDLE first = StartRunningCopy(FileInNewFolder(L"alarms"));
    HANDLE other = nullptr;
    EXPECT_TRUE(ClaimWhileAnswering(FileInNewFolder(L"other"), &other));
    EXPECT_NE(nullptr, other);
    EXPECT_EQ(0, s_handOvers);
    if (other != nullptr) CloseHandle(other);
    CloseHandle(first);
}

TEST_F(ClaimTest, FolderIsFreeAgainOnceTheFirstCopyLetsGo) {
    const std::wstring path = FileInNewFolder(L"alarms");
    HANDLE first = nullptr;
    std::wstring name;
    ASSERT_EQ(Claim::Held, ClaimAlarmFile(kRunningClass, path.c_str(), &first, &name));
    CloseHandle(first);
    HANDLE again = nullptr;
    EXPECT_EQ(Claim::Held, ClaimAlarmFile(kRunningClass, path.c_str(), &again, &name));
    EXPECT_NE(nullptr, again);
    if (again != nullptr) CloseHandle(again);
}

TEST_F(ClaimTest, SecondClaimThatNobodyAnswersEndsAtTheBound) {
    // The holder may hang or have no window yet: the second start gives up
    // after the bound rather than run beside it.
    const std::wstring path = UniquePath(L"file.txt");
    HANDLE first = nullptr;
    std::wstring name;
    ASSERT_EQ(Claim::Held, ClaimAlarmFile(kRunningClass, path.c_str(), &first, &name));
    HANDLE second = nullptr;
    const DWORD start = GetTickCount();
    // Given up, which the start tells by its exit code, unlike a hand-over.
    EXPECT_EQ(Claim::GaveUp, ClaimAlarmFile(kRunningClass, path.c_str(), &second, &name, 1000));
    EXPECT_GE(GetTickCount() - start, 1000u);
    EXPECT_EQ(nullptr, second);
    CloseHandle(first);
}

TEST_F(ClaimTest, AClaimItMayNotOpenIsACopyRunAsAdministrator) {
    // Such a copy's mutex denies this start every access, as the mutex of a
    // copy run as administrator does a normal one.
    const std::wstring path = UniquePath(L"file.txt");
    SECURITY_DESCRIPTOR denyAll;
    ACL noEntries;
    InitializeSecurityDescriptor(&denyAll, SECURITY_DESCRIPTOR_REVISION);
    InitializeAcl(&noEntries, sizeof noEntries, ACL_REVISION);
    SetSecurityDescriptorDacl(&denyAll, TRUE, &noEntries, FALSE);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, &denyAll, FALSE};
    const HANDLE elevated = CreateMutexW(&attributes, FALSE, AlarmFileMutexName(path.c_str()).c_str());
    ASSERT_NE(nullptr, elevated);
    HANDLE second = nullptr;
    std::wstring name;
    EXPECT_EQ(Claim::Elevated, ClaimAlarmFile(kRunningClass, path.c_str(), &second, &name, 300));
    EXPECT_EQ(nullptr, second);
    CloseHandle(elevated);
}

TEST_F(ClaimTest, AStartRefusedByAnEndingCopyWaitsForTheClaimThenTakesIt) {
    const std::wstring path = FileInNewFolder(L"alarms");
    s_endingClaim = StartRunningCopy(path);
    s_ending = true;
    // Longer than a start used to wait before it gave up.
    constexpr UINT kEndingMs = 6000;
    SetTimer(m_running, 1, kEndingMs, LetGoOfClaim);
    HANDLE second = nullptr;
    DWORD tookMs = 0;
    EXPECT_TRUE(ClaimWhileAnswering(path, &second, kClaimWaitMs, &tookMs));
    EXPECT_NE(nullptr, second);
    EXPECT_GE(tookMs, kEndingMs);
    EXPECT_EQ(nullptr, s_endingClaim);
    EXPECT_GE(s_handOversAsked, 2);
    EXPECT_EQ(0, s_handOvers);
    if (second != nullptr) CloseHandle(second);
}

TEST_F(ClaimTest, AStartRefusedPastTheBoundEndsWithoutTheClaim) {
    const std::wstring path = FileInNewFolder(L"alarms");
    s_endingClaim = StartRunningCopy(path);
    s_ending = true;
    HANDLE second = nullptr;
    DWORD tookMs = 0;
    EXPECT_FALSE(ClaimWhileAnswering(path, &second, 1500, &tookMs));
    EXPECT_EQ(nullptr, second);
    EXPECT_GE(tookMs, 1500u);
    EXPECT_GE(s_handOversAsked, 2);
}
