// How fast the alarm list dialog of the real velmora.exe answers, driven from
// outside as a user would: velmora is started in a fresh folder on an alarm
// file of N alarms, its list is opened, and each list command is sent to the
// dialog. A sent WM_COMMAND returns when the dialog's handler has returned,
// so its time is the time the user waits for the list to answer.
//   list_bench <velmora.exe> [alarm counts...]   (default: 50 200 1000)
// Prints one line per count: the time to open the list, then the median of
// each command in milliseconds. 追加 (add) and 変更 (chg) open the alarm
// editor, which the benchmark closes with OK or キャンセル (esc) as soon as it
// is shown; "editor" is 変更 closed with キャンセル, which refills nothing:
// the editor's own cost, included in the add and chg columns.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <thread>
#include <vector>

#include "bench/alarm_file_ops.h"
#include "model/alarm_file.h"
#include "res/resource.h"

namespace {

constexpr DWORD kDeadlineMs = 120000;  // generous: Wine may run emulated
constexpr int kRepeats = 5;

LARGE_INTEGER s_frequency;

double NowMs() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(s_frequency.QuadPart);
}

[[noreturn]] void Fail(const char* step) {
    std::fprintf(stderr, "list_bench: %s\n", step);
    std::fflush(stderr);
    ExitProcess(1);
}

struct Search {
    DWORD process;
    const wchar_t* className;
    const wchar_t* caption;  // null: any
    HWND found;
};

BOOL CALLBACK FindWindowOf(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t text[256];
    if (process != search->process || !GetClassNameW(window, text, 256) ||
        std::wcscmp(text, search->className) != 0)
        return TRUE;
    if (search->caption != nullptr) {
        if (!IsWindowVisible(window) || !IsWindowEnabled(window)) return TRUE;
        GetWindowTextW(window, text, 256);
        if (std::wcscmp(text, search->caption) != 0) return TRUE;
    }
    search->found = window;
    return FALSE;
}

// velmora's process, so that a wait for its windows ends when it does.
HANDLE s_velmora = nullptr;

// Fails when velmora has ended, naming its exit code.
void FailIfEnded(const char* step) {
    DWORD code = STILL_ACTIVE;
    if (!GetExitCodeProcess(s_velmora, &code) || code == STILL_ACTIVE) return;
    std::fprintf(stderr, "list_bench: %s: velmora.exe ended with exit code %lu\n", step, code);
    std::fflush(stderr);
    ExitProcess(1);
}

// The window of the process with this class (and visible, enabled, with this
// caption when one is given), waited for until the deadline or velmora's end.
HWND WaitForWindow(DWORD process, const wchar_t* className, const wchar_t* caption, const char* step) {
    const DWORD start = GetTickCount();
    for (;;) {
        Search search = {process, className, caption, nullptr};
        EnumWindows(FindWindowOf, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr) return search.found;
        FailIfEnded(step);
        if (GetTickCount() - start > kDeadlineMs) Fail(step);
        Sleep(1);
    }
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

class Run {
public:
    Run(const std::wstring& velmora, std::size_t count) : count_(count) {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        folder_ = std::wstring(temp) + L"velmora-list-bench-" + std::to_wstring(GetCurrentProcessId()) +
                  L"-" + std::to_wstring(count);
        CreateDirectoryW(folder_.c_str(), nullptr);
        const std::wstring program = folder_ + L"\\velmora.exe";
        if (!CopyFileW(velmora.c_str(), program.c_str(), FALSE)) Fail("cannot copy velmora.exe");
        if (!SaveAlarmFileTo((folder_ + L"\\file.txt").c_str(), BenchAlarms(count)))
            Fail("cannot write the alarm file");
        // Tied to the benchmark: nothing outlives it, even when it fails.
        job_ = CreateJobObjectW(nullptr, nullptr);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(job_, JobObjectExtendedLimitInformation, &limits, sizeof limits);
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        std::wstring command = L"\"" + program + L"\"";
        if (!CreateProcessW(program.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, folder_.c_str(),
                            &startup, &process_))
            Fail("cannot start velmora.exe");
        AssignProcessToJobObject(job_, process_.hProcess);
        s_velmora = process_.hProcess;
        // Serving once its start is done and its message loop waits for input;
        // a first start in a new Wine session may take a while.
        const DWORD idle = WaitForInputIdle(process_.hProcess, kDeadlineMs);
        FailIfEnded("no main window");
        if (idle != 0) Fail("velmora.exe did not finish its start");
        main_ = WaitForWindow(process_.dwProcessId, L"VELMORA", nullptr, "no main window");
    }
    ~Run() {
        PostMessageW(main_, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(process_.hProcess, kDeadlineMs) != WAIT_OBJECT_0)
            TerminateProcess(process_.hProcess, 1);
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
        CloseHandle(job_);
        DeleteFileW((folder_ + L"\\file.txt").c_str());
        DeleteFileW((folder_ + L"\\velmora.exe").c_str());
        RemoveDirectoryW(folder_.c_str());
    }

    // From the settings command to a shown list that holds every alarm.
    double OpenList() {
        const double start = NowMs();
        PostMessageW(main_, WM_COMMAND, IDM_ALARM_SETTINGS, 0);
        dialog_ = WaitForWindow(process_.dwProcessId, L"#32770", L"アラームの設定", "the list did not open");
        view_ = GetDlgItem(dialog_, IDC_ALARM_LIST);
        const DWORD since = GetTickCount();
        while (Rows() != static_cast<LRESULT>(count_)) {
            if (GetTickCount() - since > kDeadlineMs) Fail("the list does not show every alarm");
            Sleep(1);
        }
        return NowMs() - start;
    }

    LRESULT Rows() const { return SendMessageW(view_, LVM_GETITEMCOUNT, 0, 0); }
    LRESULT Selected() const {
        return SendMessageW(view_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), MAKELPARAM(LVNI_SELECTED, 0));
    }

    // Selects a row the way the keyboard does: Home, then Down row times.
    void Select(int row) {
        SendMessageW(view_, WM_KEYDOWN, VK_HOME, 0);
        for (int i = 0; i < row; ++i) SendMessageW(view_, WM_KEYDOWN, VK_DOWN, 0);
        if (Selected() != row) Fail("cannot select a row");
    }

    // One command; answer: IDOK or IDCANCEL for the editor it opens, 0 if none.
    double Command(int id, int answer = 0) {
        std::thread closer;
        if (answer != 0) {
            closer = std::thread([this, answer] {
                const HWND editor = WaitForWindow(process_.dwProcessId, L"#32770", L"変更", "no editor");
                PostMessageW(editor, WM_COMMAND, answer, 0);
            });
        }
        const double start = NowMs();
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutW(dialog_, WM_COMMAND, id, 0, SMTO_NORMAL, kDeadlineMs, &result))
            Fail("a list command did not return");
        const double took = NowMs() - start;
        if (closer.joinable()) closer.join();
        return took;
    }

private:
    std::size_t count_;
    std::wstring folder_;
    HANDLE job_ = nullptr;
    PROCESS_INFORMATION process_ = {};
    HWND main_ = nullptr;
    HWND dialog_ = nullptr;
    HWND view_ = nullptr;
};

void Measure(const std::wstring& velmora, std::size_t count) {
    Run run(velmora, count);
    const double open = run.OpenList();
    const int middle = static_cast<int>(count / 2);
    std::vector<double> up, down, del, addOk, addCancel, changeOk, editor;
    run.Select(middle);
    for (int i = 0; i < kRepeats; ++i) up.push_back(run.Command(IDC_ALARM_UP));
    for (int i = 0; i < kRepeats; ++i) down.push_back(run.Command(IDC_ALARM_DOWN));
    if (run.Selected() != middle) Fail("up and down did not keep the moved alarm selected");
    for (int i = 0; i < kRepeats; ++i) {
        run.Select(middle);
        changeOk.push_back(run.Command(IDC_ALARM_CHANGE, IDOK));
        run.Select(middle);
        editor.push_back(run.Command(IDC_ALARM_CHANGE, IDCANCEL));
    }
    for (int i = 0; i < kRepeats; ++i) {
        addOk.push_back(run.Command(IDC_ALARM_ADD, IDOK));
        addCancel.push_back(run.Command(IDC_ALARM_ADD, IDCANCEL));
    }
    for (int i = 0; i < kRepeats; ++i) {
        run.Select(middle);
        del.push_back(run.Command(IDC_ALARM_DELETE));
    }
    if (run.Rows() != static_cast<LRESULT>(count)) Fail("the list did not end with as many alarms");
    std::printf("%6zu %8.1f %8.1f %8.1f %8.1f %8.1f %8.1f %8.1f %8.1f\n", count, open, Median(up), Median(down),
                Median(del), Median(addOk), Median(addCancel), Median(changeOk), Median(editor));
    std::fflush(stdout);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: list_bench velmora.exe [alarm counts...]\n");
        return 2;
    }
    QueryPerformanceFrequency(&s_frequency);
    std::vector<std::size_t> counts;
    for (int i = 2; i < argc; ++i) counts.push_back(static_cast<std::size_t>(_wtoi(argv[i])));
    if (counts.empty()) counts = {50, 200, 1000};
    std::printf("milliseconds; list commands: median of %d\n", kRepeats);
    std::printf("%6s %8s %8s %8s %8s %8s %8s %8s %8s\n", "alarms", "open", "up", "down", "delete", "add+ok",
                "add+esc", "chg+ok", "editor");
    for (std::size_t count : counts) Measure(argv[1], count);
    return 0;
}
