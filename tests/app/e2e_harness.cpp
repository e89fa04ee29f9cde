// The end-to-end harness (see e2e_harness.h).
#include "e2e_harness.h"

#include <commctrl.h>

#include <cstdio>
#include <cwchar>
#include <functional>

#include "model/alarm_file.h"
#include "window_probe.h"

namespace e2e {

namespace {

// Steps into another process with a deadline -------------------------------------
//
// Under Wine, CreateRemoteThread, VirtualAllocEx and VirtualFreeEx on another
// process are carried out by that process (the call is queued to it), and the
// caller waits for the answer without a time limit. So each such call runs on
// a worker thread of its own here, waited for with a deadline. A worker that
// misses it is left behind with everything it uses (its own copy of the
// process handle included), so it never touches what the caller frees.

struct Deferred {
    std::function<ULONG_PTR()> work;
    ULONG_PTR result = 0;
};

DWORD WINAPI RunDeferred(LPVOID parameter) {
    std::shared_ptr<Deferred>* held = static_cast<std::shared_ptr<Deferred>*>(parameter);
    (*held)->result = (*held)->work();
    delete held;
    return 0;
}

// Runs work on a worker thread; true with its result in *result when it
// ended within ms.
bool RunWithDeadline(std::function<ULONG_PTR()> work, DWORD ms, ULONG_PTR* result) {
    const std::shared_ptr<Deferred> deferred = std::make_shared<Deferred>();
    deferred->work = std::move(work);
    std::shared_ptr<Deferred>* held = new std::shared_ptr<Deferred>(deferred);
    const HANDLE thread = CreateThread(nullptr, 0, RunDeferred, held, 0, nullptr);
    if (thread == nullptr) {
        delete held;
        return false;
    }
    const bool ended = WaitForSingleObject(thread, ms) == WAIT_OBJECT_0;
    CloseHandle(thread);
    if (ended) *result = deferred->result;
    return ended;
}

// A copy of a process handle for a worker, which closes it itself.
HANDLE CopyOfHandle(HANDLE process) {
    HANDLE copy = nullptr;
    DuplicateHandle(GetCurrentProcess(), process, GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS);
    return copy;
}

// VirtualAllocEx with a deadline: the block, or null (failure added, naming step).
void* AllocateIn(HANDLE process, SIZE_T size, const char* step) {
    const HANDLE copy = CopyOfHandle(process);
    if (copy == nullptr) return nullptr;
    ULONG_PTR block = 0;
    if (!RunWithDeadline(
            [copy, size] {
                void* allocated =
                    VirtualAllocEx(copy, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
                CloseHandle(copy);
                return reinterpret_cast<ULONG_PTR>(allocated);
            },
            kRemoteStepMs, &block)) {
        ADD_FAILURE() << step << ": VirtualAllocEx into velmora did not return within " << kRemoteStepMs << " ms";
        return nullptr;
    }
    return reinterpret_cast<void*>(block);
}

// VirtualFreeEx with a deadline; false (failure added, naming step) when it hung.
bool FreeIn(HANDLE process, void* block, const char* step) {
    const HANDLE copy = CopyOfHandle(process);
    if (copy == nullptr) return false;
    ULONG_PTR freed = 0;
    if (!RunWithDeadline(
            [copy, block] {
                const BOOL done = VirtualFreeEx(copy, block, 0, MEM_RELEASE);
                CloseHandle(copy);
                return static_cast<ULONG_PTR>(done);
            },
            kRemoteStepMs, &freed)) {
        ADD_FAILURE() << step << ": VirtualFreeEx in velmora did not return within " << kRemoteStepMs << " ms";
        return false;
    }
    return true;
}

// The test program's job --------------------------------------------------------
//
// Closing the job's last handle ends every process in it, so nothing started
// here survives the test program, even when it is killed. The processes are
// also kept in a list of their own, to end and count them between tests.

HANDLE TheJob() {
    static const HANDLE job = [] {
        const HANDLE made = CreateJobObjectW(nullptr, nullptr);
        if (made != nullptr) {
            JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
            limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
            SetInformationJobObject(made, JobObjectExtendedLimitInformation, &limits, sizeof limits);
        }
        return made;
    }();
    return job;
}

std::vector<HANDLE>& StartedProcesses() {
    static std::vector<HANDLE> started;
    return started;
}

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

BOOL CALLBACK CollectChild(HWND window, LPARAM lParam) {
    reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(window);
    return TRUE;
}

std::vector<HWND> Children(HWND parent) {
    std::vector<HWND> children;
    EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&children));
    return children;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = L"";
    GetClassNameW(window, name, 64);
    return name;
}

}  // namespace

// Files and folders -----------------------------------------------------------------

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

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL wrote = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return wrote && written == bytes.size();
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

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
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
        return;
    }
    for (const std::wstring& name : ListFolder(path)) RemoveTree(path + L"\\" + name);
    RemoveDirectoryW(path.c_str());
}

TempFolder::TempFolder() {
    static int made = 0;
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    wchar_t name[64];
    std::swprintf(name, 64, L"velmora-e2e-%lu-%lu-%d", GetCurrentProcessId(), GetTickCount(), ++made);
    tag_ = name;
    path_ = std::wstring(base) + name;
    CreateDirectoryW(path_.c_str(), nullptr);
}

TempFolder::~TempFolder() { RemoveTree(path_); }

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
    WriteBytes(path, wave);
}

std::wstring EnvironmentBlock(const std::vector<std::wstring>& entries) {
    auto nameOf = [](const std::wstring& entry) {
        // "=C:=C:\..." entries start with '=': their name runs to the second one.
        const std::size_t equals = entry.find(L'=', 1);
        std::wstring name = entry.substr(0, equals);
        CharUpperBuffW(&name[0], static_cast<DWORD>(name.size()));
        return name;
    };
    std::vector<std::wstring> block;
    const LPWCH own = GetEnvironmentStringsW();
    for (const wchar_t* entry = own; entry != nullptr && *entry != L'\0'; entry += std::wcslen(entry) + 1) {
        bool replaced = false;
        for (const std::wstring& added : entries) replaced = replaced || nameOf(added) == nameOf(entry);
        if (!replaced) block.emplace_back(entry);
    }
    if (own != nullptr) FreeEnvironmentStringsW(own);
    block.insert(block.end(), entries.begin(), entries.end());
    std::wstring joined;
    for (const std::wstring& entry : block) joined += entry + L'\0';
    joined += L'\0';
    return joined;
}

// Windows ---------------------------------------------------------------------------

std::vector<HWND> TopLevelWindows(DWORD processId, const wchar_t* className, bool visibleOnly) {
    WindowSearch search{processId, className, visibleOnly, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::wstring WindowText(HWND window) {
    wchar_t text[512] = L"";
    GetWindowTextW(window, text, 512);
    return text;
}

HWND ShownDialog(DWORD processId, const wchar_t* caption) {
    for (HWND dialog : TopLevelWindows(processId, L"#32770", true)) {
        if (WindowText(dialog) == caption) return dialog;
    }
    return nullptr;
}

HWND WaitForDialog(DWORD processId, const wchar_t* caption, DWORD ms) {
    HWND dialog = nullptr;
    WaitFor([&] { return (dialog = ShownDialog(processId, caption)) != nullptr; }, ms);
    return dialog;
}

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

bool Click(HWND dialog, int id) {
    const HWND button = GetDlgItem(dialog, id);
    return button != nullptr && PostMessageW(button, BM_CLICK, 0, 0);
}

bool SetText(HWND dialog, int id, const wchar_t* text) {
    DWORD_PTR answer = 0;
    return SendMessageTimeoutW(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text),
                               SMTO_BLOCK | SMTO_ABORTIFHUNG, kEndMs, &answer) != 0;
}

HWND MessageBoxOf(DWORD processId) { return ShownDialog(processId, kMessageBoxCaption); }

HWND WaitForMessageBox(DWORD processId, DWORD ms) { return WaitForDialog(processId, kMessageBoxCaption, ms); }

std::wstring MessageBoxText(HWND box) {
    std::wstring text;
    for (HWND child : Children(box)) {
        if (_wcsicmp(ClassOf(child).c_str(), L"Static") != 0) continue;
        if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) continue;
        const std::wstring part = WindowText(child);
        if (part.empty()) continue;
        if (!text.empty()) text += L"\n";
        text += part;
    }
    return text;
}

std::vector<int> ButtonIds(HWND dialog) {
    std::vector<int> ids;
    for (HWND child : Children(dialog)) {
        if (_wcsicmp(ClassOf(child).c_str(), L"Button") == 0 && IsWindowVisible(child)) {
            ids.push_back(GetDlgCtrlID(child));
        }
    }
    return ids;
}

// The list view writes a text only into its own process, so the item record
// and the text buffer live in a block allocated there.
Cells ListViewCells(HANDLE process, HWND listView, int columns) {
    struct Remote {
        LVITEMW item;
        wchar_t text[64];
    };
    Cells cells;
    void* const block = AllocateIn(process, sizeof(Remote), "reading the list view");
    if (block == nullptr) return cells;
    Remote* const remote = static_cast<Remote*>(block);
    DWORD_PTR rows = 0;
    SendMessageTimeoutW(listView, LVM_GETITEMCOUNT, 0, 0, SMTO_BLOCK | SMTO_ABORTIFHUNG, kEndMs, &rows);
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
                                    SMTO_BLOCK | SMTO_ABORTIFHUNG, kEndMs, &length)) {
                ReadProcessMemory(process, remote->text, text, 64 * sizeof(wchar_t), nullptr);
            }
            cells.back().push_back(text);
        }
    }
    FreeIn(process, block, "reading the list view");
    return cells;
}

// One running velmora.exe -------------------------------------------------------------

Velmora::Velmora(const std::wstring& folder, const wchar_t* environment) {
    const std::wstring program = folder + L"\\velmora.exe";
    std::wstring commandLine = L"\"" + program + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    // Started suspended, so it runs only once it belongs to the job.
    if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE,
                        CREATE_UNICODE_ENVIRONMENT | CREATE_SUSPENDED, const_cast<wchar_t*>(environment),
                        folder.c_str(), &startup, &info)) {
        return;
    }
    process_ = info.hProcess;
    processId_ = info.dwProcessId;
    const HANDLE job = TheJob();
    if (job == nullptr || !AssignProcessToJobObject(job, process_)) {
        ADD_FAILURE() << "velmora.exe could not be put into the test's job (error " << GetLastError() << ")";
    }
    HANDLE tracked = CopyOfHandle(process_);
    if (tracked != nullptr) StartedProcesses().push_back(tracked);
    ResumeThread(info.hThread);
    CloseHandle(info.hThread);
    started_ = true;
}

Velmora::~Velmora() {
    if (process_ == nullptr) return;
    if (Running()) {
        Post(WM_CLOSE);
        if (WaitForSingleObject(process_, kEndMs) != WAIT_OBJECT_0) Kill();
    }
    CloseHandle(process_);
}

bool Velmora::Running() const { return process_ != nullptr && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT; }

HWND Velmora::MainWindow() const {
    const std::vector<HWND> windows = TopLevelWindows(processId_, kMainWindowClass, false);
    return windows.empty() ? nullptr : windows.front();
}

HWND Velmora::WaitForMainWindow(DWORD ms) const {
    WaitFor([this] { return MainWindow() != nullptr || !Running(); }, ms);
    return MainWindow();
}

DWORD Velmora::WaitForExit(DWORD ms) const {
    if (process_ == nullptr) return STILL_ACTIVE;
    WaitForSingleObject(process_, ms);
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process_, &code);
    return code;
}

bool Velmora::Post(UINT message, WPARAM wParam, LPARAM lParam) const {
    const HWND window = MainWindow();
    return window != nullptr && PostMessageW(window, message, wParam, lParam);
}

bool Velmora::Send(UINT message, WPARAM wParam, LPARAM lParam, DWORD ms, DWORD_PTR* answer) const {
    const HWND window = MainWindow();
    DWORD_PTR ignored = 0;
    return window != nullptr && SendMessageTimeoutW(window, message, wParam, lParam, SMTO_BLOCK, ms,
                                                    answer != nullptr ? answer : &ignored) != 0;
}

bool Velmora::Kill(UINT exitCode) const {
    if (process_ == nullptr) return true;
    TerminateProcess(process_, exitCode);
    return WaitForSingleObject(process_, kEndMs) == WAIT_OBJECT_0;
}

int RunningJobProcesses() {
    std::vector<HANDLE>& started = StartedProcesses();
    int running = 0;
    for (auto it = started.begin(); it != started.end();) {
        if (WaitForSingleObject(*it, 0) == WAIT_TIMEOUT) {
            ++running;
            ++it;
        } else {
            CloseHandle(*it);
            it = started.erase(it);
        }
    }
    return running;
}

void EndJobProcesses() {
    if (TheJob() != nullptr) TerminateJobObject(TheJob(), 98);
    for (HANDLE process : StartedProcesses()) {
        TerminateProcess(process, 98);
        WaitForSingleObject(process, kEndMs);
    }
    RunningJobProcesses();
}

// The window probe -----------------------------------------------------------------

WindowProbe::WindowProbe(DWORD processId) {
    dllPath_ = TestProgramFolder() + L"\\window_probe.dll";
    local_ = LoadLibraryW(dllPath_.c_str());
    if (local_ == nullptr) {
        Fail("loading window_probe.dll into the test");
        return;
    }
    process_ = OpenProcess(PROCESS_ALL_ACCESS, FALSE, processId);
    if (process_ == nullptr) {
        Fail("opening velmora's process");
        return;
    }
    buffer_ = AllocateIn(process_, kProbeTextUnits * sizeof(wchar_t), "loading the window probe");
    if (buffer_ == nullptr) {
        Fail("allocating the probe's buffer in velmora");
        return;
    }
    if (!WriteProcessMemory(process_, buffer_, dllPath_.c_str(), (dllPath_.size() + 1) * sizeof(wchar_t),
                            nullptr)) {
        Fail("writing the probe's path into velmora");
        return;
    }
    const FARPROC loadLibrary = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "LoadLibraryW");
    DWORD base = 0;
    if (!RunRemote("LoadLibraryW", reinterpret_cast<ULONG_PTR>(loadLibrary), &base)) return;
    if (base == 0) {
        Fail("LoadLibraryW of the probe in velmora");
        return;
    }
    remoteBase_ = base;
}

WindowProbe::~WindowProbe() {
    // After a failure a remote thread may still use the buffer: it is left to
    // the process, which ends with the test.
    const bool running = process_ != nullptr && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
    if (buffer_ != nullptr && failure_.empty() && running) FreeIn(process_, buffer_, "unloading the window probe");
    if (process_ != nullptr) CloseHandle(process_);
    if (local_ != nullptr) FreeLibrary(local_);
}

std::wstring WindowProbe::Call(const char* name, DWORD* result) {
    *result = STILL_ACTIVE;
    if (!Loaded()) return L"";
    const FARPROC local = GetProcAddress(local_, name);
    if (local == nullptr) {
        Fail(std::string("finding the probe's export ") + name);
        return L"";
    }
    const ULONG_PTR offset = reinterpret_cast<ULONG_PTR>(local) - reinterpret_cast<ULONG_PTR>(local_);
    if (!RunRemote(name, remoteBase_ + offset, result)) return L"";
    std::vector<wchar_t> text(kProbeTextUnits + 1, L'\0');
    if (!ReadProcessMemory(process_, buffer_, text.data(), kProbeTextUnits * sizeof(wchar_t), nullptr)) {
        Fail(std::string("reading the answer of ") + name);
        return L"";
    }
    return text.data();
}

bool WindowProbe::RunRemote(const char* step, ULONG_PTR start, DWORD* result) {
    *result = STILL_ACTIVE;
    const HANDLE copy = CopyOfHandle(process_);
    if (copy == nullptr) {
        Fail(std::string(step) + ": copying the process handle");
        return false;
    }
    void* const buffer = buffer_;
    ULONG_PTR created = 0;
    if (!RunWithDeadline(
            [copy, start, buffer] {
                const HANDLE thread = CreateRemoteThread(
                    copy, nullptr, 0, reinterpret_cast<LPTHREAD_START_ROUTINE>(start), buffer, 0, nullptr);
                CloseHandle(copy);
                return reinterpret_cast<ULONG_PTR>(thread);
            },
            kRemoteStepMs, &created)) {
        Fail(std::string(step) + ": CreateRemoteThread did not return within " + std::to_string(kRemoteStepMs) +
             " ms");
        return false;
    }
    const HANDLE thread = reinterpret_cast<HANDLE>(created);
    if (thread == nullptr) {
        Fail(std::string(step) + ": CreateRemoteThread failed");
        return false;
    }
    const bool ended = WaitForSingleObject(thread, kRemoteStepMs) == WAIT_OBJECT_0;
    if (ended) GetExitCodeThread(thread, result);
    CloseHandle(thread);
    if (!ended) {
        Fail(std::string(step) + ": the probe's thread in velmora did not end within " +
             std::to_string(kRemoteStepMs) + " ms");
        return false;
    }
    return true;
}

void WindowProbe::Fail(const std::string& why) {
    if (!failure_.empty()) return;
    failure_ = "window probe: " + why;
    if (process_ != nullptr && WaitForSingleObject(process_, 0) != WAIT_TIMEOUT) {
        DWORD code = 0;
        GetExitCodeProcess(process_, &code);
        char ended[64];
        std::snprintf(ended, sizeof ended, " (velmora has ended, exit code 0x%lX)", code);
        failure_ += ended;
    }
    ADD_FAILURE() << failure_;
}

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

// Alarm files ---------------------------------------------------------------------------

std::string DefaultFileBytes() {
    std::string bytes = "22 serialization::archive 10 0 0 4 0 0 0";
    const std::string chimes("c\0h\0i\0m\0e\0s\0.\0w\0a\0v\0", 20);
    for (const char* time : {"8 30", "12 30", "13 30", "17 0"}) {
        bytes += std::string(" ") + time + " 1 1 1 1 1 1 1 1 10 " + chimes;
    }
    return bytes;
}

std::vector<CAlarm> SampleAlarms() {
    return {CAlarm(6, 45, 0, 1, 1, 1, 1, 1, 0, true, L"chimes.wav"),
            CAlarm(21, 5, 1, 0, 0, 0, 0, 0, 1, false, L"C:\\sounds\\bell.wav")};
}

// The fixture ------------------------------------------------------------------------------

void EndToEnd::SetUp() {
    if (RunningJobProcesses() > 0) {
        ADD_FAILURE() << "a velmora.exe of an earlier test still ran; it is ended now";
        EndJobProcesses();
    }
    // The first window of a Wine session starts its desktop and tray; the
    // program adds its icon once and never again, so the tray must be up.
    GetDesktopWindow();
    ASSERT_TRUE(WaitFor([] { return FindWindowW(L"Shell_TrayWnd", nullptr) != nullptr; }, kStartMs))
        << "Wine's tray did not start";
    ASSERT_TRUE(WaitFor([] { return TrayIconCount() == 0; }, kEndMs)) << "an icon of another run is left";
    ASSERT_TRUE(CopyFileW((TestProgramFolder() + L"\\velmora.exe").c_str(), (folder_ / L"velmora.exe").c_str(),
                          FALSE));
}

EndToEnd::~EndToEnd() {
    if (RunningJobProcesses() > 0) {
        ADD_FAILURE() << "a velmora.exe outlived its test; it is ended now";
        EndJobProcesses();
    }
}

void EndToEnd::WriteAlarmFile(const std::vector<CAlarm>& alarms) {
    ASSERT_TRUE(SaveAlarmFileTo(AlarmFile().c_str(), alarms));
}

}  // namespace e2e
