// The tray icon's add and its retries, against a stand-in for the shell that
// refuses as a taskbar does at logon.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/tray_icon.h"
#include "common/instance.h"

namespace {

// The shell as the stand-in plays it: the first `refusals` calls fail; an add
// that fails may still put the icon up (it timed out after reaching the
// taskbar). Afterwards it acts as the shell does: an add of an icon that is
// there fails, a change of one that is not there fails.
struct FakeShell {
    int refusals = 0;
    bool failedAddShowsIcon = false;
    bool iconShown = false;
    std::vector<DWORD> calls;
    std::vector<HICON> images;  // the image of each call
    NOTIFYICONDATAW last{};  // the record of the last call
};
FakeShell s_shell;

BOOL WINAPI FakeShellNotifyIcon(DWORD message, PNOTIFYICONDATAW icon) {
    s_shell.calls.push_back(message);
    s_shell.images.push_back(icon->hIcon);
    s_shell.last = *icon;
    if (s_shell.refusals > 0) {
        --s_shell.refusals;
        if (message == NIM_ADD && s_shell.failedAddShowsIcon) s_shell.iconShown = true;
        return FALSE;
    }
    if (message == NIM_ADD && !s_shell.iconShown) return s_shell.iconShown = true;
    if (message == NIM_MODIFY || message == NIM_SETVERSION) return s_shell.iconShown;
    return FALSE;
}

class TrayIconTest : public testing::Test {
protected:
    void SetUp() override {
        s_shell = FakeShell();
        g_shellNotifyIcon = FakeShellNotifyIcon;
        m_window = CreateWindowW(L"STATIC", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);  // owns menus
        ASSERT_NE(nullptr, m_window);
        m_icon.cbSize = NOTIFYICONDATAW_V2_SIZE;
        m_icon.hWnd = m_window;
        m_icon.uID = 1;
    }
    void TearDown() override {
        KillTimer(m_window, IDT_TRAY_RETRY);
        DestroyWindow(m_window);
        g_shellNotifyIcon = Shell_NotifyIconW;
    }

    // Runs this thread's messages, the retry timer's included, for ms.
    static void RunMessagesFor(DWORD ms) {
        const DWORD start = GetTickCount();
        for (DWORD waited = 0; waited < ms; waited = GetTickCount() - start) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - waited, QS_ALLINPUT);
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        }
    }
    // Runs messages until the icon is up (at most 10 s), then for two and a
    // half retry periods more, so a timer left running would call again.
    static void RunUntilIconShownAndBeyond() {
        const DWORD start = GetTickCount();
        while (!s_shell.iconShown && GetTickCount() - start < 10000) RunMessagesFor(50);
        RunMessagesFor(kTrayRetryPeriodMs * 5 / 2);
    }
    // True when the retry timer was still running.
    bool RetryTimerWasRunning() { return KillTimer(m_window, IDT_TRAY_RETRY) != FALSE; }

    HWND m_window = nullptr;
    NOTIFYICONDATAW m_icon{};
};

}  // namespace

TEST_F(TrayIconTest, AnAddTheShellTakesAsksForVersion4AndThatIsAll) {
    EXPECT_TRUE(ShowTrayIcon(&m_icon));
    RunMessagesFor(kTrayRetryPeriodMs * 5 / 2);
    EXPECT_EQ((std::vector<DWORD>{NIM_ADD, NIM_SETVERSION}), s_shell.calls);
    EXPECT_TRUE(s_shell.last.uVersion == NOTIFYICON_VERSION_4 && s_shell.last.uID == 1 && s_shell.last.hWnd == m_window);
    EXPECT_FALSE(RetryTimerWasRunning());
}

TEST_F(TrayIconTest, RefusedAddsAreRetriedUntilTheIconIsUpThenTheTimerEnds) {
    s_shell.refusals = 3;
    EXPECT_FALSE(ShowTrayIcon(&m_icon));
    RunUntilIconShownAndBeyond();
    EXPECT_TRUE(s_shell.iconShown);
    // Each retry first asks whether the icon came up after all, then adds.
    EXPECT_EQ((std::vector<DWORD>{NIM_ADD, NIM_MODIFY, NIM_ADD, NIM_MODIFY, NIM_ADD, NIM_SETVERSION}), s_shell.calls);
    EXPECT_FALSE(RetryTimerWasRunning());
}

TEST_F(TrayIconTest, AnAddThatTimedOutYetReachedTheTaskbarIsNotAddedAgain) {
    s_shell.refusals = 1;
    s_shell.failedAddShowsIcon = true;
    EXPECT_FALSE(ShowTrayIcon(&m_icon));
    RunUntilIconShownAndBeyond();
    EXPECT_EQ((std::vector<DWORD>{NIM_ADD, NIM_MODIFY, NIM_SETVERSION}), s_shell.calls);
    EXPECT_FALSE(RetryTimerWasRunning());
}

TEST_F(TrayIconTest, ARestartedTaskbarThatRefusesIsRetriedToo) {
    ASSERT_TRUE(ShowTrayIcon(&m_icon));
    // The taskbar restarts: it has forgotten the icon and is busy at first.
    s_shell.iconShown = false;
    s_shell.refusals = 1;
    EXPECT_FALSE(ShowTrayIcon(&m_icon));
    RunUntilIconShownAndBeyond();
    EXPECT_EQ((std::vector<DWORD>{NIM_ADD, NIM_SETVERSION, NIM_ADD, NIM_MODIFY, NIM_ADD, NIM_SETVERSION}), s_shell.calls);
    EXPECT_FALSE(RetryTimerWasRunning());
}

// The program's icon at the small-icon size of the display's scale, loaded
// anew for each add and retry; each image goes once the shell has the next,
// and the last with the icon.
TEST_F(TrayIconTest, EachAddLoadsTheIconAtTheSmallIconSizeAndOnlyTheLastImageLives) {
    g_hInstance = GetModuleHandleW(nullptr);  // the test program holds the icon group
    auto width = [](HICON image) {  // 0 for no icon (a destroyed one)
        ICONINFO info{};
        BITMAP bitmap{};
        if (!GetIconInfo(image, &info)) return 0L;
        GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        return bitmap.bmWidth;
    };
    const long small = GetSystemMetrics(SM_CXSMICON);
    m_icon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    ASSERT_TRUE(ShowTrayIcon(&m_icon));
    const HICON first = s_shell.images.back();
    EXPECT_EQ(small, width(first));
    s_shell.iconShown = false;  // the taskbar restarts, busy at first
    s_shell.refusals = 1;
    EXPECT_FALSE(ShowTrayIcon(&m_icon));
    EXPECT_TRUE(s_shell.images.back() != first && width(s_shell.images.back()) == small && width(first) == 0);
    RunUntilIconShownAndBeyond();
    EXPECT_EQ((std::vector<DWORD>{NIM_ADD, NIM_SETVERSION, NIM_ADD, NIM_MODIFY, NIM_ADD, NIM_SETVERSION}), s_shell.calls);
    EXPECT_TRUE(m_icon.hIcon == s_shell.images.back() && width(m_icon.hIcon) == small);
    for (UINT dpi : {144u, 192u, 96u}) {  // the display's scale changes: the image follows it
        const HICON before = m_icon.hIcon;
        RescaleTrayIcon(dpi);
        EXPECT_TRUE(s_shell.calls.back() == NIM_MODIFY && s_shell.images.back() == m_icon.hIcon && width(before) == 0 &&
                    width(m_icon.hIcon) == static_cast<long>(dpi) / 6) << dpi;  // 16 at 96
    }
    RemoveTrayIcon(&m_icon);
    EXPECT_TRUE(s_shell.calls.back() == NIM_DELETE && m_icon.hIcon == nullptr);
    for (HICON image : s_shell.images) EXPECT_EQ(0, width(image));
    g_hInstance = nullptr;
}

TEST_F(TrayIconTest, ABalloonChangesNothingElseOfTheIconAndIsCutToFit) {
    m_icon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    ASSERT_TRUE(ShowTrayIcon(&m_icon));
    EXPECT_TRUE(ShowTrayBalloon(L"velmora", std::wstring(300, L'x')));
    const NOTIFYICONDATAW& balloon = s_shell.last;
    EXPECT_EQ((std::vector<DWORD>{NIM_ADD, NIM_SETVERSION, NIM_MODIFY}), s_shell.calls);
    EXPECT_TRUE(balloon.cbSize == NOTIFYICONDATAW_V2_SIZE && balloon.hWnd == m_window && balloon.uFlags == NIF_INFO);
    EXPECT_STREQ(L"velmora", balloon.szInfoTitle);
    EXPECT_EQ(std::wstring(255, L'x'), balloon.szInfo);
    // The record that re-adds the icon carries no balloon.
    EXPECT_TRUE(m_icon.uFlags == (NIF_MESSAGE | NIF_ICON | NIF_TIP) && m_icon.szInfo[0] == L'\0');
}

static UINT s_menuKey;  // given to the open tray menu

static void CALLBACK PressMenuKey(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    const HWND menu = FindWindowW(L"#32768", nullptr);
    if (s_menuKey == VK_RETURN) PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);  // onto the item
    PostMessageW(menu, WM_KEYDOWN, s_menuKey, 0);
}

// Left with Esc, and only then, the menu gives the keyboard back to the
// notification area; Enter chooses the item.
TEST_F(TrayIconTest, OnlyEscInTheMenuGivesTheKeyboardBack) {
    const HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING, 42, L"item");
    ASSERT_TRUE(ShowTrayIcon(&m_icon));
    for (UINT key : {VK_ESCAPE, VK_RETURN}) {
        s_shell.calls.clear();
        s_menuKey = key;
        SetTimer(nullptr, 0, 200, PressMenuKey);
        ShowTrayMenu(m_window, menu, POINT{120, 90});
        MSG chosen{};
        EXPECT_EQ(key == VK_RETURN, PeekMessageW(&chosen, m_window, WM_COMMAND, WM_COMMAND, PM_REMOVE) && chosen.wParam == 42);
        EXPECT_EQ(key == VK_ESCAPE ? std::vector<DWORD>{NIM_SETFOCUS} : std::vector<DWORD>{}, s_shell.calls) << key;
    }
    RemoveTrayIcon(&m_icon);
    DestroyMenu(menu);
}
