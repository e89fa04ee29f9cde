// A DLL that tells only that it was loaded: its DllMain makes a file named
// after it beside it ("comctl32.dll.loaded"). It exports what velmora takes
// from comctl32.dll and winmm.dll, so that an import of them would load it too.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    wchar_t path[MAX_PATH + 8];
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    if (reason == DLL_PROCESS_ATTACH && length != 0 && length < MAX_PATH) {
        CloseHandle(CreateFileW(lstrcatW(path, L".loaded"), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    }
    return TRUE;
}

extern "C" __declspec(dllexport) BOOL WINAPI InitCommonControlsEx(const void*) { return FALSE; }
extern "C" __declspec(dllexport) BOOL WINAPI PlaySoundW(const wchar_t*, HMODULE, DWORD) { return FALSE; }
