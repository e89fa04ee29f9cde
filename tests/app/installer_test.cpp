// The installer end to end: the real velmora-setup.exe around this build's
// velmora.exe, run silently or clicked through, with velmora running or not.
#include <shlobj.h>
#include <tlhelp32.h>

#include <atomic>
#include <cstring>
#include <map>
#include <thread>

#include "e2e_harness.h"
#include "res/version.h"

namespace e2e {
namespace {

const wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\velmora";
constexpr DWORD kSetupMs = 60000;

std::wstring KnownFolder(REFKNOWNFOLDERID id) {
    PWSTR path = nullptr;
    std::wstring result = SHGetKnownFolderPath(id, 0, nullptr, &path) == S_OK ? path : L"";
    CoTaskMemFree(path);
    return result;
}

std::wstring StartupLink() { return KnownFolder(FOLDERID_Startup) + L"\\velmora.lnk"; }
std::wstring MenuLink() { return KnownFolder(FOLDERID_Programs) + L"\\velmora.lnk"; }

// A value of the uninstall entry as text ("<none>" when missing).
std::wstring EntryValue(const wchar_t* name) {
    wchar_t text[1024];
    DWORD number = 0;
    DWORD size = sizeof text;
    DWORD type = 0;
    if (RegGetValueW(HKEY_CURRENT_USER, kUninstallKey, name, RRF_RT_REG_SZ | RRF_RT_REG_DWORD, &type, text,
                     &size) != ERROR_SUCCESS) {
        return L"<none>";
    }
    if (type == REG_SZ) return text;
    std::memcpy(&number, text, sizeof number);
    return std::to_wstring(number);
}

// The ids of the processes whose main window is that of folder\velmora.exe.
std::vector<DWORD> VelmorasOf(const std::wstring& folder) {
    std::vector<DWORD> found;
    for (HWND window : TopLevelWindows(0, kMainWindowClass, false)) {
        DWORD id = 0;
        GetWindowThreadProcessId(window, &id);
        const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
        wchar_t image[MAX_PATH];
        DWORD size = MAX_PATH;
        if (process != nullptr && QueryFullProcessImageNameW(process, 0, image, &size) &&
            _wcsicmp(image, (folder + L"\\velmora.exe").c_str()) == 0) {
            found.push_back(id);
        }
        if (process != nullptr) CloseHandle(process);
    }
    return found;
}

// Suspends (or resumes) every thread of a process: a velmora that hangs.
void Suspend(DWORD processId, bool suspend) {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != processId) continue;
        const HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID);
        if (thread == nullptr) continue;
        suspend ? SuspendThread(thread) : ResumeThread(thread);
        CloseHandle(thread);
    }
    CloseHandle(snapshot);
}

// The image name of the process that started a process; empty when unknown.
std::wstring ParentImage(DWORD processId) {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    std::map<DWORD, std::pair<DWORD, std::wstring>> processes;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        processes[entry.th32ProcessID] = {entry.th32ParentProcessID, entry.szExeFile};
    CloseHandle(snapshot);
    const auto child = processes.find(processId);
    if (child == processes.end()) return L"";
    const auto parent = processes.find(child->second.first);
    return parent == processes.end() ? L"" : parent->second.second;
}

bool Elevated(HANDLE process) {
    HANDLE token = nullptr;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    const bool read = OpenProcessToken(process, TOKEN_QUERY, &token) &&
                      GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
    if (token != nullptr) CloseHandle(token);
    return read && elevation.TokenIsElevated != 0;
}

class Installer : public EndToEnd {
protected:
    // setup.exe with these arguments: its exit code.
    static DWORD Setup(const std::wstring& arguments) {
        return RunProgram(L"\"" + TestProgramFolder() + L"\\velmora-setup.exe\" " + arguments, kSetupMs);
    }
    // Removed with the test: the installer's traces, the velmora the shell started.
    void TearDown() override {
        EndJobProcesses();
        for (HWND window : TopLevelWindows(0, kMainWindowClass, false)) {
            DWORD id = 0;
            GetWindowThreadProcessId(window, &id);
            const HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
            if (process == nullptr) continue;
            TerminateProcess(process, 98);
            WaitForSingleObject(process, kEndMs);
            CloseHandle(process);
        }
        RegDeleteTreeW(HKEY_CURRENT_USER, kUninstallKey);
        DeleteFileW(StartupLink().c_str());
        DeleteFileW(MenuLink().c_str());
        RemoveTree(defaultFolder_);
    }

    const std::wstring defaultFolder_ = KnownFolder(FOLDERID_LocalAppData) + L"\\Programs\\velmora";
};

TEST_F(Installer, SilentInstallUpgradeOverARunningVelmoraAndUninstall) {
    const std::wstring app = defaultFolder_;
    ASSERT_EQ(0u, Setup(L"/S"));
    EXPECT_EQ(ReadBytes(TestProgramFolder() + L"\\velmora.exe"), ReadBytes(app + L"\\velmora.exe"));
    EXPECT_EQ((std::set<std::wstring>{L"velmora.exe", L"README-ja.txt", L"LICENSE.txt", L"THIRD-PARTY-NOTICES.txt",
                                      L"uninstall.exe"}),
              ListFolder(app));
    EXPECT_TRUE(Exists(MenuLink()));
    EXPECT_TRUE(Exists(StartupLink()));
    const std::wstring uninstaller = L"\"" + app + L"\\uninstall.exe\"";
    const std::vector<std::pair<const wchar_t*, std::wstring>> entry = {
        {L"DisplayName", L"velmora"}, {L"DisplayVersion", L"" VELMORA_VERSION},
        {L"Publisher", L"the velmora authors"}, {L"InstallLocation", app},
        {L"UninstallString", uninstaller}, {L"QuietUninstallString", uninstaller + L" /S"},
        {L"DisplayIcon", app + L"\\velmora.exe,0"}, {L"NoModify", L"1"}, {L"NoRepair", L"1"}};
    for (const auto& value : entry) EXPECT_EQ(value.second, EntryValue(value.first)) << value.first;
    // In KB: velmora.exe alone is over 1 MB.
    EXPECT_GT(_wtoi(EntryValue(L"EstimatedSize").c_str()), 1000);
    EXPECT_FALSE(WaitFor([&] { return !VelmorasOf(app).empty(); }, 2000)) << "a silent installation started velmora";

    // velmora of the folder runs, and one of another folder; the file on disk
    // is changed behind the back of the first, which read it at its start.
    std::string held;
    {
        Velmora running(app);
        Velmora other(folder_.Path());
        ASSERT_TRUE(running.WaitForMainWindow() && other.WaitForMainWindow());
        // The icons come after the load, and with it the first start's file.
        ASSERT_TRUE(WaitFor([] { return TrayIconCount() == 2; }, kStartMs));
        held = ReadBytes(app + L"\\file.txt");
        ASSERT_EQ(DefaultFileBytes(), held);
        ASSERT_TRUE(WriteBytes(app + L"\\file.txt", "changed behind its back"));
        ASSERT_TRUE(WriteBytes(app + L"\\file.txt.bad", "a damaged file kept"));
        ASSERT_EQ(0u, Setup(L"/S"));
        EXPECT_EQ(0u, running.WaitForExit()) << "velmora did not end on the close request";
        EXPECT_EQ(held, ReadBytes(app + L"\\file.txt")) << "the list velmora held was not saved";
        EXPECT_EQ("a damaged file kept", ReadBytes(app + L"\\file.txt.bad"));
        EXPECT_TRUE(other.Running()) << "the velmora of another folder was closed";
        EXPECT_TRUE(WaitFor([&] { return VelmorasOf(app).size() == 1; }, kStartMs)) << "velmora was not started again";
        // By the shell, not the installer (elevated, as every process under Wine).
        EXPECT_TRUE(Elevated(GetCurrentProcess()));
        for (DWORD id : VelmorasOf(app)) EXPECT_EQ(L"explorer.exe", ParentImage(id));
        EXPECT_TRUE(Exists(StartupLink()));
    }

    // Leftovers of interrupted saves go beside a kept file.txt; other names stay.
    for (const wchar_t* name :
         {L"file.txt.1234-5.tmp", L"file.txt.tmp", L"FILE.TXT.BAD2.7-8.tmp", L"file.txt.1-.tmp"})
        ASSERT_TRUE(WriteBytes(app + L"\\" + name, "a save cut short"));
    // The uninstaller runs from a copy and returns at once: wait for its work.
    ASSERT_EQ(0u, RunProgram(uninstaller + L" /S", kSetupMs));
    const std::set<std::wstring> kept = {L"file.txt", L"file.txt.bad", L"file.txt.1-.tmp"};
    EXPECT_TRUE(WaitFor([&] { return ListFolder(app) == kept; }, 30000)) << "the alarms alone are not left";
    EXPECT_TRUE(VelmorasOf(app).empty());
    EXPECT_EQ(held, ReadBytes(app + L"\\file.txt"));
    EXPECT_EQ(L"<none>", EntryValue(L"DisplayName"));
    EXPECT_FALSE(Exists(MenuLink()));
    EXPECT_FALSE(Exists(StartupLink()));
}

// Without file.txt, a leftover may be the only copy of the list: kept.
TEST_F(Installer, UninstallKeepsALeftoverThatMayBeTheOnlyList) {
    const std::wstring app = folder_ / L"app";
    ASSERT_EQ(0u, Setup(L"/S /D=" + app));
    ASSERT_TRUE(WriteBytes(app + L"\\file.txt.1234-5.tmp", DefaultFileBytes()));
    ASSERT_EQ(0u, RunProgram(L"\"" + app + L"\\uninstall.exe\" /S", kSetupMs));
    const std::set<std::wstring> kept = {L"file.txt.1234-5.tmp"};
    EXPECT_TRUE(WaitFor([&] { return ListFolder(app) == kept; }, 30000)) << "the leftover alone is not left";
}

// Clicked through, the finish page's "velmora を起動する" has the shell start velmora too.
TEST_F(Installer, FinishPageStartsVelmoraFromTheDesktopShell) {
    const std::wstring app = folder_ / L"app";
    std::atomic<bool> ended{false};
    std::thread clicker([&] {
        for (; !ended; Sleep(300)) {
            for (HWND page : TopLevelWindows(0, L"#32770", true)) Click(page, IDOK);
        }
    });
    const DWORD code = Setup(L"/D=" + app);
    ended = true;
    clicker.join();
    ASSERT_EQ(0u, code);
    ASSERT_TRUE(WaitFor([&] { return VelmorasOf(app).size() == 1; }, kStartMs)) << "velmora was not started";
    EXPECT_EQ(L"explorer.exe", ParentImage(VelmorasOf(app)[0]));
}

TEST_F(Installer, AutostartChoiceIsKeptOnUpgrade) {
    const std::wstring app = folder_ / L"app";
    ASSERT_EQ(0u, Setup(L"/S /AUTOSTART=0 /D=" + app));
    EXPECT_TRUE(Exists(app + L"\\velmora.exe"));
    EXPECT_TRUE(Exists(MenuLink()));
    EXPECT_FALSE(Exists(StartupLink()));
    // Into the same folder, found in the uninstall entry; the choice stays.
    ASSERT_EQ(0u, Setup(L"/S"));
    EXPECT_EQ(app, EntryValue(L"InstallLocation"));
    EXPECT_FALSE(Exists(StartupLink()));
    ASSERT_EQ(0u, Setup(L"/S /AUTOSTART=1"));
    EXPECT_TRUE(Exists(StartupLink()));
}

TEST_F(Installer, GivesUpWithoutReplacingAnythingWhenItCannotWriteOrVelmoraDoesNotEnd) {
    // A folder nobody can make, root included: Wine's Z: is the Linux root.
    EXPECT_NE(0u, Setup(L"/S /D=Z:\\proc\\velmora"));
    EXPECT_EQ(L"<none>", EntryValue(L"DisplayName"));

    const std::wstring app = folder_ / L"app";
    ASSERT_EQ(0u, Setup(L"/S /D=" + app));
    ASSERT_TRUE(WriteBytes(app + L"\\README-ja.txt", "not replaced"));
    Velmora hung(app);
    ASSERT_TRUE(hung.WaitForMainWindow());
    Suspend(hung.ProcessId(), true);
    EXPECT_NE(0u, Setup(L"/S"));
    EXPECT_TRUE(hung.Running()) << "the installer ended velmora";
    EXPECT_EQ("not replaced", ReadBytes(app + L"\\README-ja.txt"));
    Suspend(hung.ProcessId(), false);
}

}  // namespace
}  // namespace e2e
