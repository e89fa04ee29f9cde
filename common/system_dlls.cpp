#include "common/system_dlls.h"

#include <string>

namespace {

// The address of name in the system folder's dll, loaded once; null when
// either cannot be found. Never a DLL of the program's own folder.
FARPROC SystemFunction(const wchar_t* dll, const char* name) {
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    const std::wstring path = std::wstring(folder) + L"\\" + dll;
    HMODULE module = LoadLibraryW(path.c_str());
    return module ? GetProcAddress(module, name) : nullptr;
}

template <class Function>
Function Resolve(const wchar_t* dll, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(SystemFunction(dll, name)));
}

}  // namespace

BOOL WINAPI DeferredPlaySoundW(LPCWSTR sound, HMODULE module, DWORD flags) {
    using Function = BOOL(WINAPI*)(LPCWSTR, HMODULE, DWORD);
    static const Function play = Resolve<Function>(L"winmm.dll", "PlaySoundW");
    return play ? play(sound, module, flags) : FALSE;
}

BOOL WINAPI DeferredGetOpenFileNameW(OPENFILENAMEW* file) {
    using Function = BOOL(WINAPI*)(OPENFILENAMEW*);
    static const Function open = Resolve<Function>(L"comdlg32.dll", "GetOpenFileNameW");
    return open ? open(file) : FALSE;
}
