// The end-to-end harness (see e2e_harness.h).
#include "e2e_harness.h"

#include <commctrl.h>

#include <cstdio>
#include <cwchar>

#include "model/alarm_file.h"
#include "window_probe.h"

namespace e2e {

namespace {

// A copy of a process handle.
HANDLE CopyOfHandle(HANDLE process) {
    HANDLE copy = nullptr;
    DuplicateHandle(GetCurrentProcess(), process, GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS);
    return copy;
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

// Sabotage (e2e_harness.h): runs on a thread of its own, so it uses nothing
// of GoogleTest; what it did is printed.
struct Sabotage {
    bool crash;
    HANDLE process;
    DWORD processId;
};

HWND MainWindowOf(DWORD processId);
HOOKPROC ProbeProcedure(HMODULE probe, const char* name);

DWORD WINAPI RunSabotage(LPVOID parameter) {
    const Sabotage sabotage = *static_cast<Sabotage*>(parameter);
    delete static_cast<Sabotage*>(parameter);
    HWND main = nullptr;
    WaitFor([&] { return (main = MainWindowOf(sabotage.processId)) != nullptr; }, kStartMs);
    Sleep(1000);
    if (!sabotage.crash) {
        TerminateProcess(sabotage.process, 77);
        std::printf("sabotage: velmora.exe (process %lu) killed\n", sabotage.processId);
    } else if (main != nullptr) {
        const HMODULE probe = LoadLibraryW((TestProgramFolder() + L"\\window_probe.dll").c_str());
        const HHOOK hook = probe == nullptr ? nullptr
                                            : SetWindowsHookExW(WH_CALLWNDPROC, ProbeProcedure(probe, "AnswerRequest"),
                                                                probe, GetWindowThreadProcessId(main, nullptr));
        DWORD_PTR ignored = 0;
        const bool sent = hook != nullptr &&
                          SendMessageTimeoutW(main, RegisterWindowMessageW(kProbeMessage), kProbeCrash, 0,
                                              SMTO_BLOCK | SMTO_ABORTIFHUNG, kRemoteStepMs, &ignored);
        std::printf("sabotage: velmora.exe (process %lu) %s\n", sabotage.processId,
                    sent ? "made to crash" : "could not be made to crash");
        // The hook lives as long as this thread: until velmora has ended.
        WaitForSingleObject(sabotage.process, kEndMs);
        if (hook != nullptr) UnhookWindowsHookEx(hook);
    }
    std::fflush(stdout);
    CloseHandle(sabotage.process);
    return 0;
}

// Starts the sabotage asked for, if any, against the first velmora started.
void MaybeSabotage(HANDLE process, DWORD processId) {
    static bool done = false;
    wchar_t asked[16] = L"";
    if (done || GetEnvironmentVariableW(L"VELMORA_E2E_SABOTAGE", asked, 16) == 0) return;
    const bool crash = std::wcscmp(asked, L"crash") == 0;
    if (!crash && std::wcscmp(asked, L"kill") != 0) return;
    done = true;
    Sabotage* sabotage = new Sabotage{crash, CopyOfHandle(process), processId};
    const HANDLE thread = CreateThread(nullptr, 0, RunSabotage, sabotage, 0, nullptr);
    if (thread != nullptr) CloseHandle(thread);
}

// A hook procedure exported by the probe.
HOOKPROC ProbeProcedure(HMODULE probe, const char* name) {
    return reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(GetProcAddress(probe, name)));
}


HWND MainWindowOf(DWORD processId) {
    const std::vector<HWND> windows = TopLevelWindows(processId, kMainWindowClass, false);
    return windows.empty() ? nullptr : windows.front();
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

HeldFile::HeldFile(const std::wstring& path)
    : file_(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr)) {}

std::string HeldFile::Bytes() const {
    std::string bytes;
    if (SetFilePointer(file_, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return bytes;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file_, buffer, sizeof buffer, &read, nullptr) && read > 0) bytes.append(buffer, read);
    return bytes;
}

void HeldFile::Release() {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
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

Cells ListViewCells(HANDLE process, HWND listView, int columns) {
    WindowProbe probe(GetProcessId(process));
    return probe.ReadListView(listView, columns);
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
    MaybeSabotage(process_, processId_);
    CloseHandle(info.hThread);
    started_ = true;
}

Velmora::~Velmora() {
    if (process_ == nullptr) return;
    if (Running()) {
        Post(WM_CLOSE);
        if (WaitForSingleObject(process_, kEndMs) != WAIT_OBJECT_0) Kill();
    }
    // A crash ends the process with the exception's code (Wine's debugger,
    // its dialog off, ends it so): never a way for velmora to end.
    DWORD code = 0;
    if (GetExitCodeProcess(process_, &code) && (code & 0xF0000000) == 0xC0000000) {
        char text[16];
        std::snprintf(text, sizeof text, "0x%08lX", code);
        ADD_FAILURE() << "velmora.exe (process " << processId_ << ") crashed with exception " << text;
    }
    CloseHandle(process_);
}

bool Velmora::Running() const { return process_ != nullptr && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT; }

HWND Velmora::MainWindow() const { return MainWindowOf(processId_); }

HWND Velmora::WaitForMainWindow(DWORD ms) const {
    WaitFor([this] { return MainWindow() != nullptr || !Running(); }, ms);
    return MainWindow();
}

bool Velmora::WaitUntilServing(DWORD ms) const {
    return WaitForMainWindow(ms) != nullptr && WaitFor([] { return TrayIconCount() == 1; }, ms);
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

DWORD RunProgram(const std::wstring& commandLine, DWORD ms) {
    std::wstring line = commandLine;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr, &startup,
                        &info)) {
        return STILL_ACTIVE;
    }
    AssignProcessToJobObject(TheJob(), info.hProcess);
    ResumeThread(info.hThread);
    CloseHandle(info.hThread);
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(info.hProcess, ms) != WAIT_OBJECT_0) TerminateProcess(info.hProcess, STILL_ACTIVE);
    else GetExitCodeProcess(info.hProcess, &code);
    CloseHandle(info.hProcess);
    return code;
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

WindowProbe::WindowProbe(DWORD processId) : processId_(processId) {
    const std::vector<HWND> mains = TopLevelWindows(processId, kMainWindowClass, false);
    if (mains.empty()) {
        Fail("finding velmora's main window");
        return;
    }
    main_ = mains.front();
    const DWORD threadId = GetWindowThreadProcessId(main_, nullptr);
    local_ = LoadLibraryW((TestProgramFolder() + L"\\window_probe.dll").c_str());
    if (local_ == nullptr) {
        Fail("loading window_probe.dll into the test");
        return;
    }
    wchar_t name[64];
    ProbeBlockName(processId, name, 64);
    mapping_ = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(ProbeBlock), name);
    if (mapping_ != nullptr) {
        block_ = static_cast<ProbeBlock*>(MapViewOfFile(mapping_, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(ProbeBlock)));
    }
    if (block_ == nullptr) {
        Fail("making the block shared with the probe");
        return;
    }
    requestHook_ = SetWindowsHookExW(
        WH_CALLWNDPROC, ProbeProcedure(local_, "AnswerRequest"), local_, threadId);
    if (requestHook_ == nullptr) {
        Fail("hooking velmora's thread (error " + std::to_string(GetLastError()) + ")");
        return;
    }
    DWORD result = 0;
    Request("loading the probe into velmora", kProbePing, 0, &result);
}

WindowProbe::~WindowProbe() {
    if (createHook_ != nullptr) UnhookWindowsHookEx(createHook_);
    if (requestHook_ != nullptr) UnhookWindowsHookEx(requestHook_);
    if (block_ != nullptr) UnmapViewOfFile(block_);
    if (mapping_ != nullptr) CloseHandle(mapping_);
    if (local_ != nullptr) FreeLibrary(local_);
}

bool WindowProbe::WatchCreatedWindows() {
    DWORD result = STILL_ACTIVE;
    Call("WatchCreatedWindows", &result);
    return Loaded() && result == 0;
}

std::wstring WindowProbe::Call(const char* name, DWORD* result) {
    *result = STILL_ACTIVE;
    if (!Loaded()) return L"";
    const std::string call = name;
    if (call == "WatchCreatedWindows") {
        if (createHook_ == nullptr) {
            InterlockedExchange(&block_->createdUsed, 0);
            createHook_ = SetWindowsHookExW(WH_CBT,
                                            ProbeProcedure(local_, "RecordCreatedWindow"),
                                            local_, GetWindowThreadProcessId(main_, nullptr));
        }
        *result = createHook_ != nullptr ? 0 : 2;
        return L"";
    }
    if (call == "ReadCreatedWindows") {
        const LONG used = InterlockedCompareExchange(&block_->createdUsed, 0, 0);
        *result = 0;
        return std::wstring(block_->created, static_cast<std::size_t>(used));
    }
    if (call == "ReadPopupMenu") {
        if (!Request("reading the popup menu", kProbeReadPopupMenu, 0, result)) return L"";
        return std::wstring(block_->answer, wcsnlen(block_->answer, kProbeTextUnits));
    }
    Fail("unknown call " + call);
    return L"";
}

Cells WindowProbe::ReadListView(HWND listView, int columns) {
    Cells cells;
    DWORD result = 0;
    if (!Request("reading the list view", kProbeReadListView | (static_cast<WPARAM>(columns) << 8),
                 reinterpret_cast<LPARAM>(listView), &result) ||
        result != 0) {
        if (failure_.empty()) ADD_FAILURE() << "window probe: the list view could not be read (" << result << ")";
        return cells;
    }
    const std::wstring text(block_->answer, wcsnlen(block_->answer, kProbeTextUnits));
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find(L'\n', at);
        const std::wstring row = text.substr(at, end - at);
        cells.emplace_back();
        for (std::size_t cell = 0;;) {
            const std::size_t tab = row.find(L'\t', cell);
            cells.back().push_back(row.substr(cell, tab - cell));
            if (tab == std::wstring::npos) break;
            cell = tab + 1;
        }
        at = end == std::wstring::npos ? text.size() : end + 1;
    }
    return cells;
}

bool WindowProbe::Request(const char* step, WPARAM request, LPARAM window, DWORD* result) {
    *result = STILL_ACTIVE;
    if (block_ == nullptr || !failure_.empty()) return false;
    const LONG before = InterlockedCompareExchange(&block_->answers, 0, 0);
    DWORD_PTR ignored = 0;
    if (!SendMessageTimeoutW(main_, RegisterWindowMessageW(kProbeMessage), request, window,
                             SMTO_BLOCK | SMTO_ABORTIFHUNG, kRemoteStepMs, &ignored)) {
        Fail(std::string(step) + ": velmora did not answer within " + std::to_string(kRemoteStepMs) + " ms");
        return false;
    }
    if (InterlockedCompareExchange(&block_->answers, 0, 0) == before) {
        Fail(std::string(step) + ": velmora answered, but the probe did not (not loaded there)");
        return false;
    }
    *result = block_->answerResult;
    return true;
}

void WindowProbe::Fail(const std::string& why) {
    if (!failure_.empty()) return;
    failure_ = "window probe: " + why;
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, processId_);
    if (process == nullptr || WaitForSingleObject(process, 0) != WAIT_TIMEOUT) {
        DWORD code = 0;
        if (process != nullptr) GetExitCodeProcess(process, &code);
        char ended[64];
        std::snprintf(ended, sizeof ended, " (velmora has ended, exit code 0x%lX)", code);
        failure_ += ended;
    }
    if (process != nullptr) CloseHandle(process);
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
