// The end-to-end harness: the real velmora.exe started in a fresh folder and
// driven from outside, the way the desktop and the user drive it.
//
// Every wait here has a deadline, and so has every step that crosses into
// velmora's process; a step that misses its deadline is reported as a test
// failure that names it. Every velmora.exe started here belongs to a job
// object of the test program, so none outlives the test that started it, nor
// the test program, however that ends.
//
// Two observation points need a word. Wine's X11 driver shows each tray icon
// as a window of class "__winex11_tray_icon" in its stand-alone tray when no
// tray of the X desktop takes them, which is the case under Xvfb; the icons are
// counted there. What only velmora's own process can see (the items of the
// popup menu on screen, the windows its thread creates) is read by the window
// probe, a DLL loaded into it with CreateRemoteThread (window_probe.cpp).
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "model/alarm.h"

struct ProbeBlock;  // window_probe.h

namespace e2e {

// The program's interface, as its users know it ------------------------------

constexpr UINT kTrayMessage = 1025;
constexpr WPARAM kTrayIconId = 32769;
constexpr WPARAM kAboutCommand = 104;
constexpr WPARAM kExitCommand = 105;
constexpr WPARAM kAlarmSettingsCommand = 32773;
const wchar_t kMainWindowClass[] = L"VELMORA";
const wchar_t kAlarmListCaption[] = L"アラームの設定";
const wchar_t kEditorCaption[] = L"変更";
const wchar_t kAboutCaption[] = L"バージョン情報";
// The caption of velmora's message boxes.
const wchar_t kMessageBoxCaption[] = L"velmora";
// Controls of the alarm list and of the alarm editor.
constexpr int kAlarmListView = 1000;
constexpr int kAddButton = 1010;
constexpr int kHourEdit = 1006;
constexpr int kMinuteEdit = 1008;

// Deadlines: for something to appear, for something to end, for one request
// answered by velmora's process.
constexpr DWORD kStartMs = 15000;
constexpr DWORD kEndMs = 10000;
constexpr DWORD kRemoteStepMs = 5000;

// Waiting ---------------------------------------------------------------------

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

// Files and folders -------------------------------------------------------------

// The folder of the running test program, where velmora.exe and the probe lie.
std::wstring TestProgramFolder();
// The bytes of a file; empty when it cannot be read.
std::string ReadBytes(const std::wstring& path);
bool WriteBytes(const std::wstring& path, const std::string& bytes);
bool Exists(const std::wstring& path);
// The names in a folder, "." and ".." left out.
std::set<std::wstring> ListFolder(const std::wstring& folder);
// Removes a file, or a folder with everything in it.
void RemoveTree(const std::wstring& path);

// A folder of its own for each test, removed with everything in it.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::wstring& Path() const { return path_; }
    // Unique among all folders of all runs: for file names to look for in logs.
    const std::wstring& Tag() const { return tag_; }
    std::wstring operator/(const wchar_t* name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
    std::wstring tag_;
};

// A file held open by the test program without sharing, as backup, sync and
// antivirus programs hold files: no other process can open or replace it
// while it is held. Released by Release() or when the object ends.
class HeldFile {
public:
    explicit HeldFile(const std::wstring& path);
    ~HeldFile() { Release(); }
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;

    bool Held() const { return file_ != INVALID_HANDLE_VALUE; }
    // The file's bytes, read through the holder's own handle.
    std::string Bytes() const;
    void Release();

private:
    HANDLE file_ = INVALID_HANDLE_VALUE;
};

// A short silent PCM sound, so that a file that rings is a real WAV file.
void WriteWave(const std::wstring& path);

// An environment block for CreateProcessW: this process's own environment
// with these NAME=value entries added (or replacing those of the same name).
std::wstring EnvironmentBlock(const std::vector<std::wstring>& entries);

// Windows -----------------------------------------------------------------------

// The top-level windows of a class, of one process (processId 0: of any).
std::vector<HWND> TopLevelWindows(DWORD processId, const wchar_t* className, bool visibleOnly);
std::wstring WindowText(HWND window);
// The shown dialog (class "#32770") of a process with this caption, or null.
HWND ShownDialog(DWORD processId, const wchar_t* caption);
// Waits up to ms for that dialog; null when it did not show.
HWND WaitForDialog(DWORD processId, const wchar_t* caption, DWORD ms = kStartMs);
// The icons that Wine's stand-alone tray shows now.
int TrayIconCount();

// Clicks a button of a dialog, as the mouse would (posted: returns at once).
bool Click(HWND dialog, int id);
// Sets the text of a control of a dialog (sent, with a deadline).
bool SetText(HWND dialog, int id, const wchar_t* text);

// A message box of velmora (a dialog captioned "velmora") shown by this
// process, or null; WaitForMessageBox waits up to ms for one.
HWND MessageBoxOf(DWORD processId);
HWND WaitForMessageBox(DWORD processId, DWORD ms = kStartMs);
// The message of a message box: the texts of its static controls that are
// not icons, joined by line ends.
std::wstring MessageBoxText(HWND box);
// The ids of the buttons of a dialog, in window order (IDOK, IDRETRY, ...).
std::vector<int> ButtonIds(HWND dialog);

// The cell texts of a list view of velmora, row by row (read by a window probe
// of its own); empty when they could not be read (failure added).
using Cells = std::vector<std::vector<std::wstring>>;
Cells ListViewCells(HANDLE process, HWND listView, int columns);

// One running velmora.exe ---------------------------------------------------------

class Velmora {
public:
    // Starts velmora.exe of folder, with folder as its working folder;
    // environment: a block for the process (see EnvironmentBlock), or null for
    // this process's own. The process belongs to the test program's job.
    explicit Velmora(const std::wstring& folder, const wchar_t* environment = nullptr);
    // Ends it if it still runs: WM_CLOSE, then by force. Fails the test if
    // it crashed (ended with an exception code).
    ~Velmora();
    Velmora(const Velmora&) = delete;
    Velmora& operator=(const Velmora&) = delete;

    bool Started() const { return started_; }
    DWORD ProcessId() const { return processId_; }
    HANDLE Process() const { return process_; }
    bool Running() const;

    // Its main window (class "VELMORA"), or null.
    HWND MainWindow() const;
    // Waits for the main window, or for the process to end; null if none came.
    HWND WaitForMainWindow(DWORD ms = kStartMs) const;
    // Waits for the main window and then for the one tray icon (each up to
    // ms): true once velmora serves its file.
    bool WaitUntilServing(DWORD ms = kStartMs) const;
    // The exit code, or STILL_ACTIVE when the process has not ended within ms.
    DWORD WaitForExit(DWORD ms = kEndMs) const;

    // Posts a message to the main window; false when there is none.
    bool Post(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    // Sends one with a deadline; false when it was not answered in time.
    bool Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0, DWORD ms = kEndMs,
              DWORD_PTR* answer = nullptr) const;
    // A command of the tray menu (kAboutCommand, kExitCommand, ...).
    bool Command(WPARAM command) const { return Post(WM_COMMAND, command, 0); }
    // A mouse message of the tray icon (WM_LBUTTONDOWN, WM_RBUTTONDOWN, ...).
    bool TrayMouse(LPARAM mouseMessage) const { return Post(kTrayMessage, kTrayIconId, mouseMessage); }

    // Ends it at once, as the Task Manager does; true once it has ended.
    bool Kill(UINT exitCode = 99) const;

private:
    bool started_ = false;
    HANDLE process_ = nullptr;
    DWORD processId_ = 0;
};

// Sabotage, to prove that the tests survive a velmora that dies in the middle
// of a test: with VELMORA_E2E_SABOTAGE=kill or =crash in the environment, the
// first velmora.exe a test program starts is ended by force (TerminateProcess),
// or made to crash (an access violation in a thread of its own, through the
// window probe), a second after its main window appeared. scripts/soak uses it.

// Runs a program (an installer, say) in the test program's job, with its
// children, and waits up to ms for it to end: its exit code, or STILL_ACTIVE
// when it did not start or end in time (it is then ended).
DWORD RunProgram(const std::wstring& commandLine, DWORD ms);

// The number of processes of the test program's job that still run.
int RunningJobProcesses();
// Ends every process of the test program's job and waits for them.
void EndJobProcesses();

// The window probe, loaded into a running velmora.exe ------------------------------
//
// Loaded as a hook DLL on velmora's user-interface thread (window_probe.cpp):
// each request is a message sent with a deadline, answered on that thread.

class WindowProbe {
public:
    // Hooks velmora's user-interface thread (that of its main window) and
    // waits for the probe's first answer.
    explicit WindowProbe(DWORD processId);
    ~WindowProbe();
    WindowProbe(const WindowProbe&) = delete;
    WindowProbe& operator=(const WindowProbe&) = delete;

    bool Loaded() const { return block_ != nullptr && failure_.empty(); }
    // Why the probe failed to load or a request failed, naming the step;
    // empty while all went well. After a failure no request is made any more.
    const std::string& Failure() const { return failure_; }

    // "WatchCreatedWindows": starts recording the top-level windows velmora's
    // thread creates; "ReadCreatedWindows": those recorded, "class|title\n"
    // each; "ReadPopupMenu": the items of the popup menu on screen,
    // "type|id|text\n" each (result 1: no menu shown). Returns the text, and
    // the result in *result: 0 when done, STILL_ACTIVE when it failed.
    std::wstring Call(const char* name, DWORD* result);
    // Loaded, and recording from now on the windows velmora creates.
    bool WatchCreatedWindows();
    // The cell texts of a list view of velmora, row by row.
    std::vector<std::vector<std::wstring>> ReadListView(HWND listView, int columns);

private:
    bool Request(const char* step, WPARAM request, LPARAM window, DWORD* result);
    void Fail(const std::string& why);

    DWORD processId_ = 0;
    HWND main_ = nullptr;
    HMODULE local_ = nullptr;
    HANDLE mapping_ = nullptr;
    ProbeBlock* block_ = nullptr;
    HHOOK requestHook_ = nullptr;
    HHOOK createHook_ = nullptr;
    std::string failure_;
};

// The dialogs ("#32770") and popup menus ("#32768") among the windows the
// probe saw created, one "class|title" line each; helper windows that Wine
// makes on its own (such as OLE's) are left out.
std::wstring DialogsAndMenus(const std::wstring& created);

// Alarm files ------------------------------------------------------------------------

// The 222 bytes of a new alarm file: 08:30, 12:30, 13:30 and 17:00, every day,
// on, "chimes.wav".
std::string DefaultFileBytes();
// A list unlike the defaults, to tell a file written from memory apart.
std::vector<CAlarm> SampleAlarms();

// The fixture -------------------------------------------------------------------------

// Each test gets a fresh folder holding a copy of velmora.exe, an empty tray,
// and no process left of an earlier test.
class EndToEnd : public testing::Test {
protected:
    void SetUp() override;
    // Fails the test if a velmora.exe it started still runs, and ends it.
    ~EndToEnd() override;

    std::wstring AlarmFile() const { return folder_ / L"file.txt"; }
    void WriteAlarmFile(const std::vector<CAlarm>& alarms);

    TempFolder folder_;
};

}  // namespace e2e
