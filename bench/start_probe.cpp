// Starts a program and measures the time until its main window exists.
//   start_probe <program.exe> <window class> <runs> <hold seconds>
// For each run prints "start_ms <milliseconds>"; with a hold it then prints
// "ready" and keeps the program running that long (so its memory and CPU
// time can be read from outside) before closing it with WM_CLOSE.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

struct Found {
    DWORD process;
    const wchar_t* className;
    HWND window;
};

BOOL CALLBACK FindOwnWindow(HWND window, LPARAM param) {
    Found* found = reinterpret_cast<Found*>(param);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t name[256];
    if (process == found->process && GetClassNameW(window, name, 256) &&
        std::wcscmp(name, found->className) == 0) {
        found->window = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: start_probe program.exe class runs hold-seconds\n");
        return 2;
    }
    const std::wstring program = argv[1];
    const int runs = _wtoi(argv[3]);
    const int hold = _wtoi(argv[4]);
    std::wstring folder = program.substr(0, program.find_last_of(L"\\/"));
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    for (int run = 0; run < runs; ++run) {
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        std::wstring command = L"\"" + program + L"\"";
        LARGE_INTEGER start, now;
        QueryPerformanceCounter(&start);
        if (!CreateProcessW(program.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                            folder.c_str(), &startup, &process)) {
            std::fprintf(stderr, "cannot start the program (%lu)\n", GetLastError());
            return 1;
        }
        Found found = {process.dwProcessId, argv[2], nullptr};
        for (;;) {
            EnumWindows(FindOwnWindow, reinterpret_cast<LPARAM>(&found));
            if (found.window) break;
            if (WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0) {
                std::fprintf(stderr, "the program ended without a window\n");
                return 1;
            }
            Sleep(0);
        }
        QueryPerformanceCounter(&now);
        std::printf("start_ms %.2f\n", 1000.0 * (now.QuadPart - start.QuadPart) / frequency.QuadPart);
        if (hold > 0) {
            std::printf("ready\n");
            std::fflush(stdout);
            Sleep(static_cast<DWORD>(hold) * 1000);
        }
        std::fflush(stdout);
        PostMessageW(found.window, WM_CLOSE, 0, 0);
        WaitForSingleObject(process.hProcess, 10000);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    return 0;
}
