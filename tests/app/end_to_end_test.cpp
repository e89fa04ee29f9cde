// The real velmora.exe, copied into a fresh folder and started there, driven
// from outside the way the desktop drives it: messages to its main window, the
// tray icons that Wine's tray shows, the alarm file it leaves behind.
//
// Two observation points need a word. Wine's X11 driver shows each tray icon
// as a window of class "__winex11_tray_icon" in its stand-alone tray when no
// tray of the X desktop takes them, which is the case under Xvfb; the icons are
// counted there. What only velmora's own process can see (the items of the
// popup menu on screen, the windows its thread creates) is read by the
// window probe, a DLL the tests load into it with CreateRemoteThread.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <cwchar>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "model/alarm.h"
#include "model/alarm_archive.h"
#include "model/alarm_file.h"
#include "window_probe.h"

namespace {

// The program's interface, as its users know it.
constexpr UINT kTrayMessage = 1025;
constexpr WPARAM kTrayIconId = 32769;
constexpr WPARAM kAboutCommand = 104;
constexpr WPARAM kExitCommand = 105;
constexpr WPARAM kAlarmSettingsCommand = 32773;
const wchar_t kAlarmListDialog[] = L"#32770|アラームの設定";
// Controls of the alarm list and of the alarm editor.
constexpr int kAlarmListView = 1000;
constexpr int kAddButton = 1010;
constexpr int kHourEdit = 1006;
constexpr int kMinuteEdit = 1008;

constexpr DWORD kStartMs = 15000;
constexpr DWORD kEndMs = 10000;

// Polls until done() holds or ms have passed; returns done()'s last answer.
template <class Condition>
bool WaitFor(Condition done, DWORD ms) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start >= ms) return done();
        Sleep(50);
    }
    return true;
}

std::wstring TestProgramFolder() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.find_last_of(L'\\'));
}

std::string ReadBytes(const std::wstring& path) {
    std::string bytes;
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) bytes.append(buffer, read);
    CloseHandle(file);
    return bytes;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The names in a folder, "." and ".." left out.
std::set<std::wstring> ListFolder(const std::wstring& folder) {
    std::set<std::wstring> names;
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.insert(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

void RemoveTree(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileW(path.c_str());
        return;
    }
    for (const std::wstring& name : ListFolder(path)) RemoveTree(path + L"\\" + name);
    RemoveDirectoryW(path.c_str());
}

// A folder of its own for each test, removed with everything in it.
class TempFolder {
public:
    TempFolder() {
        static int made = 0;
        wchar_t base[MAX_PATH];
        GetTempPathW(MAX_PATH, base);
        wchar_t name[64];
        std::swprintf(name, 64, L"velmora-e2e-%lu-%lu-%d", GetCurrentProcessId(), GetTickCount(), ++made);
        tag_ = name;
        path_ = std::wstring(base) + name;
        CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~TempFolder() { RemoveTree(path_); }
    const std::wstring& Path() const { return path_; }
    // Unique among all folders of all runs: for file names to look for in logs.
    const std::wstring& Tag() const { return tag_; }
    std::wstring operator/(const wchar_t* name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
    std::wstring tag_;
};

struct WindowSearch {
    DWORD processId;
    const wchar_t* className;
    bool visibleOnly;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM lParam) {
    WindowSearch* search = reinterpret_cast<WindowSearch*>(lParam);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    wchar_t className[64];
    if ((search->processId == 0 || processId == search->processId) &&
        (!search->visibleOnly || IsWindowVisible(window)) && GetClassNameW(window, className, 64) != 0 &&
        std::wcscmp(className, search->className) == 0) {
        search->found.push_back(window);
    }
    return TRUE;
}

// The top-level windows of a class, of one process (processId 0: of any).
std::vector<HWND> TopLevelWindows(DWORD processId, const wchar_t* className, bool visibleOnly) {
    WindowSearch search{processId, className, visibleOnly, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The icons that Wine's stand-alone tray shows now.
int TrayIconCount() {
    int count = 0;
    for (HWND tray : TopLevelWindows(0, L"__winex11_standalone_tray", false)) {
        for (HWND child = FindWindowExW(tray, nullptr, L"__winex11_tray_icon", nullptr); child != nullptr;
             child = FindWindowExW(tray, child, L"__winex11_tray_icon", nullptr)) {
            if (IsWindowVisible(child)) ++count;
        }
    }
    return count;
}

// One running velmora.exe, ended (WM_CLOSE, then by force) if a test leaves it.
class Velmora {
public:
    // Starts velmora.exe of folder; environment: a block for the process, or null.
    explicit Velmora(const std::wstring& folder, const wchar_t* environment = nullptr) {
        const std::wstring program = folder + L"\\velmora.exe";
        std::wstring commandLine = L"\"" + program + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        started_ = CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE,
                                  CREATE_UNICODE_ENVIRONMENT, const_cast<wchar_t*>(environment),
                                  folder.c_str(), &startup, &info) != FALSE;
        if (!started_) return;
        process_ = info.hProcess;
        processId_ = info.dwProcessId;
        CloseHandle(info.hThread);
    }
    ~Velmora() {
        if (process_ == nullptr) return;
        if (Running()) {
            const HWND window = MainWindow();
            if (window != nullptr) PostMessageW(window, WM_CLOSE, 0, 0);
            if (WaitForSingleObject(process_, kEndMs) != WAIT_OBJECT_0) {
                TerminateProcess(process_, 99);
                WaitForSingleObject(process_, kEndMs);
            }
        }
        CloseHandle(process_);
    }
    Velmora(const Velmora&) = delete;
    Velmora& operator=(const Velmora&) = delete;

    bool Started() const { return started_; }
    DWORD ProcessId() const { return processId_; }
    HANDLE Process() const { return process_; }
    bool Running() const { return WaitForSingleObject(process_, 0) == WAIT_TIMEOUT; }

    HWND MainWindow() const {
        const std::vector<HWND> windows = TopLevelWindows(processId_, L"VELMORA", false);
        return windows.empty() ? nullptr : windows.front();
    }
    HWND WaitForMainWindow() const {
        WaitFor([this] { return MainWindow() != nullptr || !Running(); }, kStartMs);
        return MainWindow();
    }
    // The exit code, or STILL_ACTIVE when the process has not ended within ms.
    DWORD WaitForExit(DWORD ms) const {
        WaitForSingleObject(process_, ms);
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(process_, &code);
        return code;
    }

private:
    bool started_ = false;
    HANDLE process_ = nullptr;
    DWORD processId_ = 0;
};

// The window probe loaded into a running velmora.exe.
class WindowProbe {
public:
    explicit WindowProbe(DWORD processId) {
        dllPath_ = TestProgramFolder() + L"\\window_probe.dll";
        local_ = LoadLibraryW(dllPath_.c_str());
        process_ = OpenProcess(PROCESS_ALL_ACCESS, FALSE, processId);
        if (local_ == nullptr || process_ == nullptr) return;
        buffer_ = VirtualAllocEx(process_, nullptr, kProbeTextUnits * sizeof(wchar_t), MEM_COMMIT | MEM_RESERVE,
                                 PAGE_READWRITE);
        if (buffer_ == nullptr) return;
        WriteProcessMemory(process_, buffer_, dllPath_.c_str(), (dllPath_.size() + 1) * sizeof(wchar_t), nullptr);
        const FARPROC loadLibrary = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "LoadLibraryW");
        // The thread's exit code holds only the low 32 bits of the module it
        // loaded; the whole address is read from the process's module list.
        if (RunRemote(reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<ULONG_PTR>(loadLibrary))) == 0) return;
        remoteBase_ = RemoteModuleBase(processId, L"window_probe.dll");
    }
    ~WindowProbe() {
        if (buffer_ != nullptr) VirtualFreeEx(process_, buffer_, 0, MEM_RELEASE);
        if (process_ != nullptr) CloseHandle(process_);
        if (local_ != nullptr) FreeLibrary(local_);
    }
    WindowProbe(const WindowProbe&) = delete;
    WindowProbe& operator=(const WindowProbe&) = delete;

    bool Loaded() const { return remoteBase_ != 0; }

    // Runs one export of the probe in the process; returns its text, and its
    // result in *result (STILL_ACTIVE when it did not end in time).
    std::wstring Call(const char* name, DWORD* result) {
        *result = STILL_ACTIVE;
        if (!Loaded()) return L"";
        const ULONG_PTR offset = reinterpret_cast<ULONG_PTR>(GetProcAddress(local_, name)) -
                                 reinterpret_cast<ULONG_PTR>(local_);
        *result = RunRemote(reinterpret_cast<LPTHREAD_START_ROUTINE>(remoteBase_ + offset));
        std::vector<wchar_t> text(kProbeTextUnits + 1, L'\0');
        ReadProcessMemory(process_, buffer_, text.data(), kProbeTextUnits * sizeof(wchar_t), nullptr);
        return text.data();
    }

private:
    static ULONG_PTR RemoteModuleBase(DWORD processId, const wchar_t* name) {
        const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId);
        if (snapshot == INVALID_HANDLE_VALUE) return 0;
        ULONG_PTR base = 0;
        MODULEENTRY32W module{};
        module.dwSize = sizeof module;
        for (BOOL more = Module32FirstW(snapshot, &module); more && base == 0; more = Module32NextW(snapshot, &module)) {
            if (lstrcmpiW(module.szModule, name) == 0) base = reinterpret_cast<ULONG_PTR>(module.modBaseAddr);
        }
        CloseHandle(snapshot);
        return base;
    }

    DWORD RunRemote(LPTHREAD_START_ROUTINE start) {
        const HANDLE thread = CreateRemoteThread(process_, nullptr, 0, start, buffer_, 0, nullptr);
        if (thread == nullptr) return STILL_ACTIVE;
        WaitForSingleObject(thread, 5000);
        DWORD code = STILL_ACTIVE;
        GetExitCodeThread(thread, &code);
        CloseHandle(thread);
        return code;
    }

    std::wstring dllPath_;
    HMODULE local_ = nullptr;
    HANDLE process_ = nullptr;
    void* buffer_ = nullptr;
    ULONG_PTR remoteBase_ = 0;
};

// The dialogs ("#32770") and popup menus ("#32768") among the windows the
// probe saw created, one "class|title" line each; helper windows that Wine
// makes on its own (such as OLE's) are left out.
std::wstring DialogsAndMenus(const std::wstring& created) {
    std::wstring kept;
    for (std::size_t at = 0; at < created.size();) {
        std::size_t end = created.find(L'\n', at);
        end = end == std::wstring::npos ? created.size() : end + 1;
        if (created.compare(at, 4, L"#327") == 0) kept += created.substr(at, end - at);
        at = end;
    }
    return kept;
}

// The 222 bytes of a new alarm file: 08:30, 12:30, 13:30 and 17:00, every day,
// on, "chimes.wav".
std::string DefaultFileBytes() {
    std::string bytes = "22 serialization::archive 10 0 0 4 0 0 0";
    const std::string chimes("c\0h\0i\0m\0e\0s\0.\0w\0a\0v\0", 20);
    for (const char* time : {"8 30", "12 30", "13 30", "17 0"}) {
        bytes += std::string(" ") + time + " 1 1 1 1 1 1 1 1 10 " + chimes;
    }
    return bytes;
}

// A list unlike the defaults, to tell a file written from memory apart.
std::vector<CAlarm> SampleAlarms() {
    return {CAlarm(6, 45, 0, 1, 1, 1, 1, 1, 0, true, L"chimes.wav"),
            CAlarm(21, 5, 1, 0, 0, 0, 0, 0, 1, false, L"C:\\sounds\\bell.wav")};
}

class EndToEnd : public testing::Test {
protected:
    void SetUp() override {
        // The first window of a Wine session starts its desktop and tray; the
        // program adds its icon once and never again, so the tray must be up.
        GetDesktopWindow();
        ASSERT_TRUE(WaitFor([] { return FindWindowW(L"Shell_TrayWnd", nullptr) != nullptr; }, kStartMs))
            << "Wine's tray did not start";
        ASSERT_TRUE(WaitFor([] { return TrayIconCount() == 0; }, kEndMs)) << "an icon of another run is left";
        ASSERT_TRUE(CopyFileW((TestProgramFolder() + L"\\velmora.exe").c_str(), (folder_ / L"velmora.exe").c_str(),
                              FALSE));
    }

    std::wstring AlarmFile() const { return folder_ / L"file.txt"; }

    void WriteAlarmFile(const std::vector<CAlarm>& alarms) {
        ASSERT_TRUE(SaveAlarmFileTo(AlarmFile().c_str(), alarms));
    }

    TempFolder folder_;
};

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
    ASSERT_NE(nullptr, velmora.WaitForMainWindow());
    ASSERT_TRUE(WaitFor([] { return TrayIconCount() == 1; }, kStartMs));
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
        ASSERT_TRUE(probe_->Loaded());
        DWORD result = 0;
        probe_->Call("WatchCreatedWindows", &result);
        ASSERT_EQ(0u, result);
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
    ASSERT_TRUE(WaitFor([&] { return !CreatedWindows().empty(); }, kStartMs));
    if (!IsWindow(FindWindowW(L"#32770", L"アラームの設定"))) {
        GTEST_SKIP() << "the alarm list dialog ended at once";
    }
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
    // Starts on a sample list and removes the file once the program runs, so
    // whatever file is there afterwards was written from its memory.
    HWND StartAndRemoveTheFile(Velmora& velmora) {
        WriteAlarmFile(SampleAlarms());
        expected_ = ReadBytes(AlarmFile());
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

// An alarm file it cannot use ------------------------------------------------------

using UnusableFile = EndToEnd;

TEST_F(UnusableFile, FileNameTakenByAFolderGivesNoIconNoFileAndNoWrite) {
    ASSERT_TRUE(CreateDirectoryW(AlarmFile().c_str(), nullptr));
    const std::set<std::wstring> before = ListFolder(folder_.Path());
    Velmora velmora(folder_.Path());
    const HWND window = velmora.WaitForMainWindow();
    ASSERT_NE(nullptr, window);
    Sleep(3000);
    EXPECT_TRUE(velmora.Running());
    EXPECT_EQ(0, TrayIconCount());
    EXPECT_EQ(before, ListFolder(folder_.Path()));

    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, velmora.WaitForExit(kEndMs));
    EXPECT_EQ(before, ListFolder(folder_.Path()));
    EXPECT_TRUE(GetFileAttributesW(AlarmFile().c_str()) & FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(UnusableFile, FileHeldByAnotherProgramIsNeverOverwritten) {
    WriteAlarmFile(SampleAlarms());
    const std::string before = ReadBytes(AlarmFile());
    // Held without sharing, so the program can open it neither to read nor to write.
    const HANDLE held = CreateFileW(AlarmFile().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    Velmora velmora(folder_.Path());
    const HWND window = velmora.WaitForMainWindow();
    ASSERT_NE(nullptr, window);
    Sleep(2000);
    CloseHandle(held);
    EXPECT_EQ(0, TrayIconCount());

    // Neither the end of the session, nor the settings command (whose dialog
    // saves when it closes), nor the exit may write the list it never read.
    DWORD_PTR answer = 0;
    SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, 0, SMTO_BLOCK, kEndMs, &answer);
    WindowProbe probe(velmora.ProcessId());
    DWORD result = 0;
    probe.Call("WatchCreatedWindows", &result);
    ASSERT_EQ(0u, result);
    PostMessageW(window, WM_COMMAND, kAlarmSettingsCommand, 0);
    PostMessageW(window, WM_COMMAND, kAboutCommand, 0);
    ASSERT_TRUE(WaitFor([&] { return !DialogsAndMenus(probe.Call("ReadCreatedWindows", &result)).empty(); },
                        kStartMs));
    Sleep(500);
    EXPECT_EQ(L"#32770|バージョン情報\n", DialogsAndMenus(probe.Call("ReadCreatedWindows", &result)));
    PostMessageW(window, WM_COMMAND, kExitCommand, 0);
    EXPECT_EQ(0u, velmora.WaitForExit(kEndMs));
    EXPECT_EQ(before, ReadBytes(AlarmFile()));
}

// One copy per alarm file ---------------------------------------------------------

using SingleCopy = EndToEnd;

TEST_F(SingleCopy, SecondStartOnTheSameFileHandsOverAndEndsWithZero) {
    Velmora first(folder_.Path());
    ASSERT_NE(nullptr, first.WaitForMainWindow());
    ASSERT_TRUE(WaitFor([] { return TrayIconCount() == 1; }, kStartMs));
    WindowProbe probe(first.ProcessId());
    DWORD result = 0;
    probe.Call("WatchCreatedWindows", &result);
    ASSERT_EQ(0u, result);

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

TEST_F(SingleCopy, CopyWithoutAUsableFileTakesTheHandOverWithoutADialog) {
    ASSERT_TRUE(CreateDirectoryW(AlarmFile().c_str(), nullptr));
    Velmora first(folder_.Path());
    ASSERT_NE(nullptr, first.WaitForMainWindow());
    WindowProbe probe(first.ProcessId());
    DWORD result = 0;
    probe.Call("WatchCreatedWindows", &result);
    ASSERT_EQ(0u, result);

    Velmora second(folder_.Path());
    EXPECT_EQ(0u, second.WaitForExit(kEndMs));
    Sleep(1000);
    EXPECT_TRUE(first.Running());
    EXPECT_EQ(L"", DialogsAndMenus(probe.Call("ReadCreatedWindows", &result)));
}

// Ringing ---------------------------------------------------------------------------
// Run with Wine's "mmio" debug channel on and its output in the file named by
// VELMORA_WINE_LOG (tests/app/run_with_wine_log.sh): each sound that
// PlaySoundW plays is opened through mmio and logged as MMIO_Open ("name", ...).

int CountOpens(const std::string& log, const std::wstring& fileName) {
    const std::string name(fileName.begin(), fileName.end());  // ASCII names only
    int count = 0;
    for (std::size_t at = log.find("MMIO_Open"); at != std::string::npos; at = log.find("MMIO_Open", at + 1)) {
        const std::size_t lineEnd = log.find('\n', at);
        if (log.substr(at, lineEnd - at).find(name) != std::string::npos) ++count;
    }
    return count;
}

// A short silent PCM sound, so that the file that rings is a real WAV file.
void WriteWave(const std::wstring& path) {
    const unsigned samples = 800;
    std::string wave = "RIFF";
    auto put32 = [&wave](unsigned value) {
        for (int i = 0; i < 4; ++i) wave += static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    auto put16 = [&wave](unsigned value) {
        wave += static_cast<char>(value & 0xFF);
        wave += static_cast<char>((value >> 8) & 0xFF);
    };
    put32(36 + samples);
    wave += "WAVEfmt ";
    put32(16);
    put16(1);     // PCM
    put16(1);     // mono
    put32(8000);  // samples per second
    put32(8000);  // bytes per second
    put16(1);     // block align
    put16(8);     // bits per sample
    wave += "data";
    put32(samples);
    wave.append(samples, static_cast<char>(0x80));
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, wave.data(), static_cast<DWORD>(wave.size()), &written, nullptr);
    CloseHandle(file);
}

std::tm LocalTimeNow() {
    const __time64_t now = _time64(nullptr);
    std::tm local{};
    _localtime64_s(&local, &now);
    return local;
}

using Ringing = EndToEnd;

TEST_F(Ringing, AlarmOfTheMinutePlaysOnceAndOnlyTheFirstDueOneThatIsOn) {
    wchar_t logPath[MAX_PATH] = L"";
    ASSERT_NE(0u, GetEnvironmentVariableW(L"VELMORA_WINE_LOG", logPath, MAX_PATH))
        << "run through run_with_wine_log.sh, which logs Wine's mmio channel";

    // Enough of the minute must be left for the program to start and tick.
    std::tm now = LocalTimeNow();
    if (now.tm_sec >= 45) {
        Sleep((61 - now.tm_sec) * 1000);
        now = LocalTimeNow();
    }
    const std::wstring off = L"off-" + folder_.Tag() + L".wav";
    const std::wstring ring = L"ring-" + folder_.Tag() + L".wav";
    const std::wstring later = L"later-" + folder_.Tag() + L".wav";
    for (const std::wstring& name : {off, ring, later}) WriteWave(folder_ / name.c_str());
    CAlarm alarm(now.tm_hour, now.tm_min, 0, 0, 0, 0, 0, 0, 0, true, L"");
    alarm.SetDayFlag(now.tm_wday, 1);
    std::vector<CAlarm> alarms(3, alarm);
    alarms[0].m_on = false;  // due in all else, and first in the list
    alarms[0].m_sound = folder_ / off.c_str();
    alarms[1].m_sound = folder_ / ring.c_str();
    alarms[2].m_sound = folder_ / later.c_str();  // due too, but after the one that rings
    WriteAlarmFile(alarms);

    Velmora velmora(folder_.Path());
    ASSERT_NE(nullptr, velmora.WaitForMainWindow());
    // Watch the whole minute and two check ticks beyond it.
    const std::tm started = LocalTimeNow();
    ASSERT_EQ(now.tm_min, started.tm_min) << "the program started too late in the minute";
    Sleep((60 - started.tm_sec + 4) * 1000);
    EXPECT_TRUE(velmora.Running());

    const std::string log = ReadBytes(logPath);
    EXPECT_EQ(1, CountOpens(log, ring));
    EXPECT_EQ(0, CountOpens(log, off));
    EXPECT_EQ(0, CountOpens(log, later));
}

// Adding an alarm in the settings dialogs -------------------------------------------
// In the ringing run: the added alarm's minute is waited for and its sound looked
// for in Wine's mmio log.

using Cells = std::vector<std::vector<std::wstring>>;

// The cell texts of a list view of another process, row by row. The list view
// writes a text only into its own process, so the item record and the text
// buffer live in a block allocated there.
Cells ListViewCells(HANDLE process, HWND listView, int columns) {
    struct Remote {
        LVITEMW item;
        wchar_t text[64];
    };
    Cells cells;
    void* const block = VirtualAllocEx(process, nullptr, sizeof(Remote), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (block == nullptr) return cells;
    Remote* const remote = static_cast<Remote*>(block);
    DWORD_PTR rows = 0;
    SendMessageTimeoutW(listView, LVM_GETITEMCOUNT, 0, 0, SMTO_BLOCK, kEndMs, &rows);
    for (DWORD_PTR row = 0; row < rows; ++row) {
        cells.emplace_back();
        for (int column = 0; column < columns; ++column) {
            LVITEMW item{};
            item.iSubItem = column;
            item.pszText = remote->text;
            item.cchTextMax = 64;
            wchar_t text[65] = L"";
            DWORD_PTR length = 0;
            if (WriteProcessMemory(process, &remote->item, &item, sizeof item, nullptr) &&
                SendMessageTimeoutW(listView, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&remote->item),
                                    SMTO_BLOCK, kEndMs, &length)) {
                ReadProcessMemory(process, remote->text, text, 64 * sizeof(wchar_t), nullptr);
            }
            cells.back().push_back(text);
        }
    }
    VirtualFreeEx(process, block, 0, MEM_RELEASE);
    return cells;
}

// The shown dialog of a process with this caption, or null.
HWND ShownDialog(DWORD processId, const wchar_t* caption) {
    for (HWND dialog : TopLevelWindows(processId, L"#32770", true)) {
        wchar_t text[64] = L"";
        GetWindowTextW(dialog, text, 64);
        if (std::wcscmp(text, caption) == 0) return dialog;
    }
    return nullptr;
}

// Clicks a button of a dialog, as the mouse would.
bool Click(HWND dialog, int id) {
    const HWND button = GetDlgItem(dialog, id);
    return button != nullptr && PostMessageW(button, BM_CLICK, 0, 0);
}

bool SetText(HWND dialog, int id, const wchar_t* text) {
    DWORD_PTR answer = 0;
    return SendMessageTimeoutW(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text), SMTO_BLOCK,
                               kEndMs, &answer) != 0;
}

TEST_F(Ringing, AlarmAddedInTheDialogsIsSavedAndRingsOnceInItsMinute) {
    wchar_t logPath[MAX_PATH] = L"";
    ASSERT_NE(0u, GetEnvironmentVariableW(L"VELMORA_WINE_LOG", logPath, MAX_PATH))
        << "run through run_with_wine_log.sh, which logs Wine's mmio channel";
    const std::size_t logStart = ReadBytes(logPath).size();
    auto opensOfChimes = [&] { return CountOpens(ReadBytes(logPath).substr(logStart), L"chimes.wav"); };

    // Only the added alarm may ring: the first sample alarm is switched off too.
    std::vector<CAlarm> alarms = SampleAlarms();
    alarms[0].m_on = false;
    WriteAlarmFile(alarms);
    WriteWave(folder_ / L"chimes.wav");  // the new alarm's sound, found in the working folder
    Velmora velmora(folder_.Path());
    const HWND window = velmora.WaitForMainWindow();
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(WaitFor([] { return TrayIconCount() == 1; }, kStartMs));

    PostMessageW(window, kTrayMessage, kTrayIconId, WM_LBUTTONDOWN);
    HWND list = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (list = ShownDialog(velmora.ProcessId(), L"アラームの設定")) != nullptr; },
                        kStartMs));
    const HWND listView = GetDlgItem(list, kAlarmListView);
    Cells rows = {
        {L"06:45", L"OFF", L"", L"○", L"○", L"○", L"○", L"○", L""},
        {L"21:05", L"OFF", L"○", L"", L"", L"", L"", L"", L"○"},
    };
    EXPECT_EQ(rows, ListViewCells(velmora.Process(), listView, 9));

    // The coming minute, with enough of this one left to add the alarm in it.
    std::tm now = LocalTimeNow();
    if (now.tm_sec >= 50) {
        Sleep((61 - now.tm_sec) * 1000);
        now = LocalTimeNow();
    }
    const int due = (now.tm_hour * 60 + now.tm_min + 1) % (24 * 60);
    ASSERT_TRUE(Click(list, kAddButton));
    HWND editor = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (editor = ShownDialog(velmora.ProcessId(), L"変更")) != nullptr; }, kStartMs));
    ASSERT_TRUE(SetText(editor, kHourEdit, std::to_wstring(due / 60).c_str()));
    ASSERT_TRUE(SetText(editor, kMinuteEdit, std::to_wstring(due % 60).c_str()));
    ASSERT_TRUE(Click(editor, IDOK));
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(editor); }, kEndMs));

    wchar_t time[8];
    std::swprintf(time, 8, L"%02d:%02d", due / 60, due % 60);
    rows.push_back({time, L"ON", L"○", L"○", L"○", L"○", L"○", L"○", L"○"});
    EXPECT_EQ(rows, ListViewCells(velmora.Process(), listView, 9));
    ASSERT_TRUE(Click(list, IDOK));
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(list); }, kEndMs));

    alarms.push_back(CAlarm(due / 60, due % 60, 1, 1, 1, 1, 1, 1, 1, true, L"chimes.wav"));
    const std::string expected = ToTextModeFileBytes(EncodeAlarmArchive(alarms));
    WaitFor([&] { return ReadBytes(AlarmFile()) == expected; }, kEndMs);
    EXPECT_EQ(expected, ReadBytes(AlarmFile()));

    // The time is read after the log, so it is never earlier than the ring.
    std::tm rang{};
    ASSERT_TRUE(WaitFor(
        [&] {
            const bool played = opensOfChimes() > 0;
            rang = LocalTimeNow();
            return played;
        },
        75000))
        << "the added alarm did not ring";
    EXPECT_EQ(due / 60, rang.tm_hour);
    EXPECT_EQ(due % 60, rang.tm_min);
    // Three more check ticks, all within its minute, ring nothing more.
    Sleep(6000);
    EXPECT_EQ(1, opensOfChimes());
    EXPECT_TRUE(velmora.Running());
}

}  // namespace
