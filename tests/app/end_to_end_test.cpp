// The real velmora.exe, copied into a fresh folder and started there, driven
// from outside the way the desktop drives it: messages to its main window, the
// tray icons that Wine's tray shows, the alarm file it leaves behind
// (the harness: e2e_harness.h).
#include <windows.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "e2e_harness.h"

using namespace e2e;

namespace {

const wchar_t kAlarmListDialog[] = L"#32770|アラームの設定";

// Start-up -------------------------------------------------------------------

using Startup = EndToEnd;

TEST_F(Startup, CreatesTheDefaultAlarmFileInItsFolder) {
    Velmora velmora(folder_.Path());
    ASSERT_TRUE(velmora.Started());
    ASSERT_NE(nullptr, velmora.WaitForMainWindow());
    EXPECT_TRUE(WaitFor([&] { return ReadBytes(AlarmFile()).size() == 222; }, kStartMs));
    EXPECT_EQ(DefaultFileBytes(), ReadBytes(AlarmFile()));
}

TEST_F(Startup, KeepsAnExistingAlarmFileAsItIs) {
    WriteAlarmFile(SampleAlarms());
    const std::string before = ReadBytes(AlarmFile());
    Velmora velmora(folder_.Path());
    ASSERT_TRUE(velmora.WaitUntilServing());
    EXPECT_EQ(before, ReadBytes(AlarmFile()));
}

TEST_F(Startup, MainWindowIsVelmoraAndNeverShown) {
    Velmora velmora(folder_.Path());
    const HWND window = velmora.WaitForMainWindow();
    ASSERT_NE(nullptr, window);
    wchar_t text[100] = L"";
    GetClassNameW(window, text, 100);
    EXPECT_STREQ(L"VELMORA", text);
    GetWindowTextW(window, text, 100);
    EXPECT_STREQ(L"velmora", text);
    EXPECT_TRUE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_APPWINDOW);
    // Still hidden after the first check ticks have passed.
    for (int look = 0; look < 6; ++look) {
        EXPECT_FALSE(IsWindowVisible(window));
        Sleep(500);
    }
    EXPECT_TRUE(TopLevelWindows(velmora.ProcessId(), L"VELMORA", true).empty());
}

TEST_F(Startup, AddsOneTrayIcon) {
    Velmora velmora(folder_.Path());
    ASSERT_NE(nullptr, velmora.WaitForMainWindow());
    EXPECT_TRUE(WaitFor([] { return TrayIconCount() == 1; }, kStartMs));
    Sleep(1000);
    EXPECT_EQ(1, TrayIconCount());
}

TEST_F(Startup, ClearsWhatInterruptedSavesLeftAndNothingElse) {
    WriteAlarmFile(SampleAlarms());
    const std::string sample = ReadBytes(AlarmFile());
    ASSERT_TRUE(WriteBytes(folder_ / L"file.txt.bak", "the user's own"));
    const std::set<std::wstring> names = ListFolder(folder_.Path());
    for (const wchar_t* leftover : {L"file.txt.tmp", L"file.txt.4242-1.tmp", L"FILE.TXT.4242-2.TMP",
                                    L"file.txt.bad.4242-3.tmp"}) {
        ASSERT_TRUE(WriteBytes(folder_ / leftover, sample.substr(0, 50)));
    }
    Velmora velmora(folder_.Path());
    ASSERT_TRUE(velmora.WaitUntilServing());
    EXPECT_EQ(names, ListFolder(folder_.Path()));
    EXPECT_EQ(sample, ReadBytes(AlarmFile()));
}

TEST_F(Startup, ASaveCutBetweenItsTwoStepsIsCompletedNotReplacedByTheDefaults) {
    // The new file written whole under its temporary name, the old one gone.
    WriteAlarmFile(SampleAlarms());
    const std::string sample = ReadBytes(AlarmFile());
    ASSERT_TRUE(MoveFileW(AlarmFile().c_str(), (folder_ / L"file.txt.4242-7.tmp").c_str()));
    Velmora velmora(folder_.Path());
    ASSERT_TRUE(velmora.WaitUntilServing());
    EXPECT_EQ(sample, ReadBytes(AlarmFile()));
    EXPECT_FALSE(Exists(folder_ / L"file.txt.4242-7.tmp"));
    // What it serves is that list: the exit writes it into a removed file.
    ASSERT_TRUE(DeleteFileW(AlarmFile().c_str()));
    ASSERT_TRUE(velmora.Command(kExitCommand));
    EXPECT_EQ(0u, velmora.WaitForExit());
    EXPECT_EQ(sample, ReadBytes(AlarmFile()));
}

// The path of a DLL loaded into a process, or empty.
std::wstring LoadedFrom(DWORD processId, const wchar_t* dll) {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId);
    MODULEENTRY32W module{};
    module.dwSize = sizeof module;
    BOOL more = Module32FirstW(snapshot, &module);
    while (more && lstrcmpiW(module.szModule, dll) != 0) more = Module32NextW(snapshot, &module);
    if (snapshot != INVALID_HANDLE_VALUE) CloseHandle(snapshot);
    return more ? module.szExePath : L"";
}

TEST_F(Startup, LoadsNoDllLyingBesideItThroughTheListTheEditorAndPlay) {
    const std::wstring marker = TestProgramFolder() + L"\\marker.dll";
    ASSERT_TRUE(CopyFileW(marker.c_str(), (folder_ / L"own.dll").c_str(), FALSE));  // does the marker mark?
    FreeLibrary(LoadLibraryW((folder_ / L"own.dll").c_str()));
    ASSERT_TRUE(Exists(folder_ / L"own.dll.loaded"));
    for (const wchar_t* name : {L"comctl32.dll", L"winmm.dll"}) CopyFileW(marker.c_str(), (folder_ / name).c_str(), FALSE);
    // Windows' order for DLLs that are not KnownDLLs, the program's folder first, for velmora.exe alone:
    // WINEDLLOVERRIDES="comctl32,winmm=n,b" as Wine's registry holds it (Wine takes that variable from
    // its own environment, never from the one a program gives its child).
    const wchar_t app[] = L"Software\\Wine\\AppDefaults\\velmora.exe";
    HKEY overrides = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, (app + std::wstring(L"\\DllOverrides")).c_str(), 0,
                                             nullptr, 0, KEY_SET_VALUE, nullptr, &overrides, nullptr));
    const std::unique_ptr<const wchar_t, void (*)(const wchar_t*)> undo(app, [](const wchar_t* key) {
        RegDeleteTreeW(HKEY_CURRENT_USER, key);
    });
    for (const wchar_t* dll : {L"comctl32", L"winmm"}) {
        RegSetValueExW(overrides, dll, 0, REG_SZ, reinterpret_cast<const BYTE*>(L"native,builtin"), sizeof L"native,builtin");
    }
    RegCloseKey(overrides);
    const auto loadedBeside = [&] { return Exists(folder_ / L"comctl32.dll.loaded") || Exists(folder_ / L"winmm.dll.loaded"); };
    Velmora velmora(folder_.Path());
    ASSERT_TRUE(velmora.WaitUntilServing());
    EXPECT_FALSE(loadedBeside()) << "at start";
    ASSERT_TRUE(velmora.TrayMouse(WM_LBUTTONDOWN));
    const HWND list = WaitForDialog(velmora.ProcessId(), kAlarmListCaption), editor = Click(list, kAddButton)
        ? WaitForDialog(velmora.ProcessId(), kEditorCaption) : nullptr;
    ASSERT_NE(nullptr, editor);
    ASSERT_TRUE(Click(editor, 1013) && Click(editor, IDCANCEL));  // PLAY, then Cancel, taken after it
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(editor); }, kEndMs));
    wchar_t system[MAX_PATH] = L"";
    GetSystemDirectoryW(system, MAX_PATH);
    EXPECT_EQ(std::wstring(system) + L"\\comctl32.dll", LoadedFrom(velmora.ProcessId(), L"comctl32.dll"));
    EXPECT_EQ(std::wstring(system) + L"\\winmm.dll", LoadedFrom(velmora.ProcessId(), L"winmm.dll"));
    EXPECT_TRUE(Click(list, IDCANCEL));
    EXPECT_FALSE(loadedBeside()) << "through the list, the editor and PLAY";
}

// The tray icon -----------------------------------------------------------------

class TrayIcon : public EndToEnd {
protected:
    void SetUp() override {
        EndToEnd::SetUp();
        velmora_ = std::make_unique<Velmora>(folder_.Path());
        window_ = velmora_->WaitForMainWindow();
        ASSERT_NE(nullptr, window_);
        ASSERT_TRUE(WaitFor([] { return TrayIconCount() == 1; }, kStartMs));
        probe_ = std::make_unique<WindowProbe>(velmora_->ProcessId());
        ASSERT_TRUE(probe_->WatchCreatedWindows()) << probe_->Failure();
    }

    std::wstring CreatedWindows() {
        DWORD result = 0;
        return DialogsAndMenus(probe_->Call("ReadCreatedWindows", &result));
    }
    HWND PopupMenu() const {
        const std::vector<HWND> menus = TopLevelWindows(velmora_->ProcessId(), L"#32768", true);
        return menus.empty() ? nullptr : menus.front();
    }

    std::unique_ptr<Velmora> velmora_;
    HWND window_ = nullptr;
    std::unique_ptr<WindowProbe> probe_;
};

TEST_F(TrayIcon, LeftButtonDownOpensTheAlarmList) {
    PostMessageW(window_, kTrayMessage, kTrayIconId, WM_LBUTTONDOWN);
    EXPECT_TRUE(WaitFor([&] { return CreatedWindows().find(kAlarmListDialog) != std::wstring::npos; }, kStartMs))
        << CreatedWindows().c_str();
}

TEST_F(TrayIcon, ClickOrSettingsWhileTheListIsOpenOpensNoSecondList) {
    PostMessageW(window_, kTrayMessage, kTrayIconId, WM_LBUTTONDOWN);
    // The list of velmora's own process, shown and still open.
    ASSERT_NE(nullptr, WaitForDialog(velmora_->ProcessId(), kAlarmListCaption)) << CreatedWindows().c_str();
    PostMessageW(window_, kTrayMessage, kTrayIconId, WM_LBUTTONDOWN);
    PostMessageW(window_, WM_COMMAND, kAlarmSettingsCommand, 0);
    // Handled in order: the About box shows that both have been handled.
    PostMessageW(window_, WM_COMMAND, kAboutCommand, 0);
    ASSERT_TRUE(WaitFor([&] { return CreatedWindows().find(L"バージョン情報") != std::wstring::npos; }, kStartMs));
    Sleep(500);
    EXPECT_EQ(std::wstring(kAlarmListDialog) + L"\n#32770|バージョン情報\n", CreatedWindows());
}

TEST_F(TrayIcon, IgnoresOtherIconIdsAndOtherMouseMessages) {
    const struct {
        WPARAM icon;
        LPARAM mouse;
    } ignored[] = {
        {1, WM_LBUTTONDOWN},          {1, WM_RBUTTONDOWN},         {0, WM_LBUTTONDOWN},
        {kTrayIconId + 1, WM_RBUTTONDOWN}, {kTrayIconId, WM_LBUTTONUP},  {kTrayIconId, WM_RBUTTONUP},
        {kTrayIconId, WM_LBUTTONDBLCLK},   {kTrayIconId, WM_MOUSEMOVE},  {kTrayIconId, WM_MBUTTONDOWN},
    };
    for (const auto& message : ignored) PostMessageW(window_, kTrayMessage, message.icon, message.mouse);
    // The messages are handled in order; a command posted after them has been
    // handled once the About box it opens appears.
    PostMessageW(window_, WM_COMMAND, kAboutCommand, 0);
    ASSERT_TRUE(WaitFor([&] { return !CreatedWindows().empty(); }, kStartMs));
    Sleep(500);
    EXPECT_EQ(L"#32770|バージョン情報\n", CreatedWindows());
    EXPECT_EQ(nullptr, PopupMenu());
    EXPECT_TRUE(velmora_->Running());
}

TEST_F(TrayIcon, RightButtonDownShowsAboutSeparatorAndExit) {
    PostMessageW(window_, kTrayMessage, kTrayIconId, WM_RBUTTONDOWN);
    ASSERT_TRUE(WaitFor([&] { return PopupMenu() != nullptr; }, kStartMs));
    DWORD result = 0;
    const std::wstring items = probe_->Call("ReadPopupMenu", &result);
    ASSERT_EQ(0u, result);
    wchar_t expected[256];
    std::swprintf(expected, 256, L"%u|104|バージョン情報 ...(&A)\n%u|0|\n%u|105|アプリケーションの終了(&X)\n",
                  MFT_STRING, MFT_SEPARATOR, MFT_STRING);
    EXPECT_EQ(expected, items);

    PostMessageW(PopupMenu(), WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(WaitFor([&] { return PopupMenu() == nullptr; }, kEndMs));
    EXPECT_TRUE(velmora_->Running());
    EXPECT_EQ(1, TrayIconCount());
}

// Version 4, as Wine's tray calls back once asked: the menu once, at the icon; one list for Enter
// (NIN_KEYSELECT, twice on some systems) and a click.
TEST_F(TrayIcon, Version4OpensTheMenuOnceAtTheIconAndOneList) {
    const std::vector<HWND> trays = TopLevelWindows(0, L"__winex11_standalone_tray", false);
    const HWND icon = trays.empty() ? nullptr : FindWindowExW(trays[0], nullptr, L"__winex11_tray_icon", nullptr);
    ASSERT_NE(nullptr, icon);
    POINT at{3, 4};
    ClientToScreen(icon, &at);
    const auto click = [icon](UINT down) {
        for (UINT message : {down, down + 1}) PostMessageW(icon, message, 0, MAKELPARAM(3, 4));
    };
    click(WM_RBUTTONDOWN);
    ASSERT_TRUE(WaitFor([&] { return PopupMenu() != nullptr; }, kStartMs));
    RECT menu{};
    GetWindowRect(PopupMenu(), &menu);
    EXPECT_TRUE(menu.left == at.x && menu.top == at.y) << menu.left << "," << menu.top << " for " << at.x << "," << at.y;
    PostMessageW(PopupMenu(), WM_KEYDOWN, VK_ESCAPE, 0);
    ASSERT_TRUE(WaitFor([&] { return PopupMenu() == nullptr; }, kEndMs));
    for (int press = 0; press < 2; ++press)
        PostMessageW(window_, kTrayMessage, MAKEWPARAM(at.x, at.y), MAKELPARAM(NIN_KEYSELECT, kTrayIconId));
    ASSERT_NE(nullptr, WaitForDialog(velmora_->ProcessId(), kAlarmListCaption));
    click(WM_LBUTTONDOWN);  // a list is open: no second one
    Sleep(1000);
    EXPECT_EQ(std::wstring(L"#32768|\n") + kAlarmListDialog + L"\n", CreatedWindows());
}

TEST_F(TrayIcon, ComesBackWhenTheTaskbarRestarts) {
    // A restarted taskbar has forgotten every icon, as if each were deleted.
    NOTIFYICONDATAW icon{};
    icon.cbSize = sizeof icon;
    icon.hWnd = window_;
    icon.uID = kTrayIconId;
    ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &icon));
    ASSERT_TRUE(WaitFor([] { return TrayIconCount() == 0; }, kEndMs));
    PostMessageW(window_, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    EXPECT_TRUE(WaitFor([] { return TrayIconCount() == 1; }, kStartMs));
}

// Ending ------------------------------------------------------------------------

class Shutdown : public EndToEnd {
protected:
    // The sample list is written before a test starts velmora: a file written
    // after the start races its load, which may find none and make the
    // default list.
    void SetUp() override {
        EndToEnd::SetUp();
        WriteAlarmFile(SampleAlarms());
        expected_ = ReadBytes(AlarmFile());
    }

    // Removes the file once the program runs on the sample list, so whatever
    // file is there afterwards was written from its memory.
    HWND StartAndRemoveTheFile(Velmora& velmora) {
        const HWND window = velmora.WaitForMainWindow();
        if (window == nullptr || !WaitFor([] { return TrayIconCount() == 1; }, kStartMs)) return nullptr;
        DeleteFileW(AlarmFile().c_str());
        return Exists(AlarmFile()) ? nullptr : window;
    }

    std::string expected_;
};

TEST_F(Shutdown, ExitWritesTheFileRemovesTheIconAndEndsWithZero) {
    Velmora velmora(folder_.Path());
    const HWND window = StartAndRemoveTheFile(velmora);
    ASSERT_NE(nullptr, window);
    PostMessageW(window, WM_COMMAND, kExitCommand, 0);
    EXPECT_EQ(0u, velmora.WaitForExit(kEndMs));
    EXPECT_EQ(expected_, ReadBytes(AlarmFile()));
    EXPECT_EQ(0, TrayIconCount());
}

TEST_F(Shutdown, CloseFromOutsideEndsInOrder) {
    Velmora velmora(folder_.Path());
    const HWND window = StartAndRemoveTheFile(velmora);
    ASSERT_NE(nullptr, window);
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, velmora.WaitForExit(kEndMs));
    EXPECT_EQ(expected_, ReadBytes(AlarmFile()));
    EXPECT_EQ(0, TrayIconCount());
}

TEST_F(Shutdown, EndOfSessionSavesOnlyWhenTheSessionEnds) {
    Velmora velmora(folder_.Path());
    const HWND window = StartAndRemoveTheFile(velmora);
    ASSERT_NE(nullptr, window);
    DWORD_PTR answer = 0;
    // A cancelled log-off: nothing is written.
    SendMessageTimeoutW(window, WM_ENDSESSION, FALSE, 0, SMTO_BLOCK, kEndMs, &answer);
    EXPECT_FALSE(Exists(AlarmFile()));
    SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, 0, SMTO_BLOCK, kEndMs, &answer);
    EXPECT_EQ(expected_, ReadBytes(AlarmFile()));
}

// A restart manager (an installer, an update) asks to close with
// ENDSESSION_CLOSEAPP, and may call it off.
TEST_F(Shutdown, CloseRequestCalledOffServesOnAndMadeSavesAndEndsWithZero) {
    Velmora velmora(folder_.Path());
    ASSERT_NE(nullptr, StartAndRemoveTheFile(velmora));
    DWORD_PTR answer = FALSE;
    ASSERT_TRUE(velmora.Send(WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP, kEndMs, &answer));
    EXPECT_EQ(static_cast<DWORD_PTR>(TRUE), answer);
    // Called off: it serves on, and takes a later start's hand-over.
    ASSERT_TRUE(velmora.Send(WM_ENDSESSION, FALSE, ENDSESSION_CLOSEAPP));
    EXPECT_FALSE(Exists(AlarmFile()));
    Velmora second(folder_.Path());
    EXPECT_EQ(0u, second.WaitForExit(kStartMs));
    ASSERT_NE(nullptr, WaitForDialog(velmora.ProcessId(), kAlarmListCaption));
    // Made, with the list still open: saved with no window, ended with zero,
    // and a new start runs at once.
    ASSERT_TRUE(velmora.Send(WM_ENDSESSION, TRUE, ENDSESSION_CLOSEAPP));
    EXPECT_EQ(0u, velmora.WaitForExit());
    EXPECT_EQ(expected_, ReadBytes(AlarmFile()));
    EXPECT_EQ(0, TrayIconCount());
    Velmora next(folder_.Path());
    EXPECT_TRUE(next.WaitUntilServing());
}

// One copy per alarm file ---------------------------------------------------------

using SingleCopy = EndToEnd;

TEST_F(SingleCopy, SecondStartOnTheSameFileHandsOverAndEndsWithZero) {
    Velmora first(folder_.Path());
    ASSERT_TRUE(first.WaitUntilServing());
    WindowProbe probe(first.ProcessId());
    ASSERT_TRUE(probe.WatchCreatedWindows()) << probe.Failure();
    DWORD result = 0;

    Velmora second(folder_.Path());
    ASSERT_TRUE(second.Started());
    EXPECT_EQ(0u, second.WaitForExit(kEndMs));
    EXPECT_TRUE(first.Running());
    EXPECT_EQ(1u, TopLevelWindows(0, L"VELMORA", false).size());
    EXPECT_EQ(1, TrayIconCount());
    // The running copy shows its alarm list instead.
    EXPECT_TRUE(WaitFor(
        [&] { return probe.Call("ReadCreatedWindows", &result).find(kAlarmListDialog) != std::wstring::npos; },
        kStartMs));
}

TEST_F(SingleCopy, CopiesOnDifferentFilesRunSideBySide) {
    TempFolder other;
    ASSERT_TRUE(CopyFileW((folder_ / L"velmora.exe").c_str(), (other / L"velmora.exe").c_str(), FALSE));
    Velmora first(folder_.Path());
    ASSERT_NE(nullptr, first.WaitForMainWindow());
    Velmora second(other.Path());
    ASSERT_NE(nullptr, second.WaitForMainWindow());
    EXPECT_TRUE(WaitFor([] { return TrayIconCount() == 2; }, kStartMs));
    Sleep(1000);
    EXPECT_TRUE(first.Running());
    EXPECT_TRUE(second.Running());
    EXPECT_TRUE(Exists(other / L"file.txt"));
}

}  // namespace
