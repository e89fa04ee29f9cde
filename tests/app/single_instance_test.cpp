// One copy per alarm file: the mutex name, the hand-over message and the claim.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/single_instance.h"

namespace {

std::wstring UniquePath(const wchar_t* name) {
    return L"C:\\velmora-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(GetTickCount()) + L"\\" + name;
}

// The message carries text, which must outlive it.
COPYDATASTRUCT HandOver(const std::wstring& text, ULONG_PTR id = kHandOverCopyDataId) {
    COPYDATASTRUCT data{};
    data.dwData = id;
    data.cbData = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    data.lpData = const_cast<wchar_t*>(text.c_str());
    return data;
}

}  // namespace

TEST(AlarmFileMutex, SameFileInAnyCaseGivesOneName) {
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
    const std::wstring text = L"C:\\Program Files\\Velmora\\file.txt";
    const COPYDATASTRUCT data = HandOver(text);
    EXPECT_TRUE(IsHandOverFor(&data, L"C:\\Program Files\\Velmora\\file.txt"));
    EXPECT_TRUE(IsHandOverFor(&data, L"c:\\program files\\velmora\\FILE.txt"));
}

TEST(HandOverMessage, RefusedForAnotherFileOrAnotherMessage) {
    const std::wstring text = L"C:\\a\\file.txt";
    const std::wstring otherText = L"C:\\b\\file.txt";
    const COPYDATASTRUCT other = HandOver(otherText);
    EXPECT_FALSE(IsHandOverFor(&other, text.c_str()));
    const COPYDATASTRUCT foreign = HandOver(text, 1);
    EXPECT_FALSE(IsHandOverFor(&foreign, text.c_str()));
    COPYDATASTRUCT unterminated = HandOver(text);
    unterminated.cbData -= sizeof(wchar_t);
    EXPECT_FALSE(IsHandOverFor(&unterminated, text.c_str()));
    COPYDATASTRUCT odd = HandOver(text);
    odd.cbData -= 1;
    EXPECT_FALSE(IsHandOverFor(&odd, text.c_str()));
    COPYDATASTRUCT empty = HandOver(text);
    empty.cbData = 0;
    EXPECT_FALSE(IsHandOverFor(&empty, text.c_str()));
    const COPYDATASTRUCT same = HandOver(text);
    EXPECT_FALSE(IsHandOverFor(&same, L""));
    EXPECT_FALSE(IsHandOverFor(nullptr, text.c_str()));
}

namespace {

// A stand-in for a running copy: answers the hand-over for its own file.
const wchar_t kRunningClass[] = L"VelmoraHandOverTest";
std::wstring s_servedPath;
int s_handOvers = 0;

LRESULT CALLBACK RunningCopyProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA) {
        if (!IsHandOverFor(reinterpret_cast<const COPYDATASTRUCT*>(lParam), s_servedPath.c_str())) return FALSE;
        ++s_handOvers;
        return TRUE;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// Runs the claim on a thread of its own, so this thread can answer it.
struct ClaimRun {
    std::wstring path;
    bool goesOn = false;
    HANDLE claim = nullptr;
};

DWORD WINAPI RunClaim(LPVOID parameter) {
    ClaimRun* run = static_cast<ClaimRun*>(parameter);
    run->goesOn = ClaimAlarmFile(kRunningClass, run->path.c_str(), &run->claim);
    return 0;
}

// Claims on another thread while this one answers messages; returns whether
// that start would go on.
bool ClaimWhileAnswering(const std::wstring& path, HANDLE* claim) {
    ClaimRun run{path};
    const HANDLE thread = CreateThread(nullptr, 0, RunClaim, &run, 0, nullptr);
    while (MsgWaitForMultipleObjects(1, &thread, FALSE, 20000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
    CloseHandle(thread);
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
    }
};

}  // namespace

TEST_F(ClaimTest, FirstClaimGoesOnAndHoldsTheFile) {
    const std::wstring path = UniquePath(L"file.txt");
    HANDLE claim = nullptr;
    ASSERT_TRUE(ClaimAlarmFile(kRunningClass, path.c_str(), &claim));
    ASSERT_NE(nullptr, claim);
    // The mutex exists now under the file's name.
    HANDLE same = OpenMutexW(SYNCHRONIZE, FALSE, AlarmFileMutexName(path.c_str()).c_str());
    EXPECT_NE(nullptr, same);
    if (same != nullptr) CloseHandle(same);
    CloseHandle(claim);
}

TEST_F(ClaimTest, SecondClaimHandsOverToTheCopyServingTheFile) {
    const std::wstring path = UniquePath(L"file.txt");
    HANDLE first = nullptr;
    ASSERT_TRUE(ClaimAlarmFile(kRunningClass, path.c_str(), &first));
    s_servedPath = path;
    const HWND running = CreateWindowW(kRunningClass, L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, running);

    // Another spelling of the same path, from another copy of the program.
    std::wstring otherCase = path;
    CharLowerBuffW(&otherCase[0], static_cast<DWORD>(otherCase.size()));
    HANDLE second = nullptr;
    EXPECT_FALSE(ClaimWhileAnswering(otherCase, &second));
    EXPECT_EQ(nullptr, second);
    EXPECT_EQ(1, s_handOvers);

    DestroyWindow(running);
    CloseHandle(first);
}

TEST_F(ClaimTest, ClaimOnAnotherFileGoesOnBesideTheFirst) {
    const std::wstring path = UniquePath(L"file.txt");
    HANDLE first = nullptr;
    ASSERT_TRUE(ClaimAlarmFile(kRunningClass, path.c_str(), &first));
    s_servedPath = path;
    const HWND running = CreateWindowW(kRunningClass, L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    HANDLE other = nullptr;
    EXPECT_TRUE(ClaimWhileAnswering(UniquePath(L"other\\file.txt"), &other));
    EXPECT_NE(nullptr, other);
    EXPECT_EQ(0, s_handOvers);
    if (other != nullptr) CloseHandle(other);
    DestroyWindow(running);
    CloseHandle(first);
}

TEST_F(ClaimTest, FileIsFreeAgainOnceTheFirstCopyLetsGo) {
    const std::wstring path = UniquePath(L"file.txt");
    HANDLE first = nullptr;
    ASSERT_TRUE(ClaimAlarmFile(kRunningClass, path.c_str(), &first));
    CloseHandle(first);
    HANDLE again = nullptr;
    EXPECT_TRUE(ClaimAlarmFile(kRunningClass, path.c_str(), &again));
    EXPECT_NE(nullptr, again);
    if (again != nullptr) CloseHandle(again);
}

TEST_F(ClaimTest, SecondClaimThatNobodyAnswersStillEnds) {
    // The holder may hang or be ending: the second start gives up after a
    // while rather than run beside it.
    const std::wstring path = UniquePath(L"file.txt");
    HANDLE first = nullptr;
    ASSERT_TRUE(ClaimAlarmFile(kRunningClass, path.c_str(), &first));
    HANDLE second = nullptr;
    EXPECT_FALSE(ClaimAlarmFile(kRunningClass, path.c_str(), &second));
    EXPECT_EQ(nullptr, second);
    CloseHandle(first);
}
