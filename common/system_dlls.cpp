#include "common/system_dlls.h"

#include <string>

namespace {

// LOAD_LIBRARY_SEARCH_SYSTEM32, from Windows 8 on and on Windows Vista and 7
// with their update KB2533623; named here for headers that lack it.
constexpr DWORD kSearchSystem32 = 0x00000800;

using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);

// The search flags of LoadLibraryExW come with SetDefaultDllDirectories.
SetDefaultDllDirectoriesFunction SetDefaultDllDirectoriesOfSystem() {
    return SystemFunction<SetDefaultDllDirectoriesFunction>(L"kernel32.dll", "SetDefaultDllDirectories");
}

}  // namespace

FARPROC SystemProc(const wchar_t* dll, const char* name) {
    HMODULE module = GetModuleHandleW(dll);
    if (module == nullptr) module = LoadSystemDll(dll);
    return module ? GetProcAddress(module, name) : nullptr;
}

void LimitDllSearchToSystemFolder() {
    const SetDefaultDllDirectoriesFunction limit = SetDefaultDllDirectoriesOfSystem();
    if (limit != nullptr) limit(kSearchSystem32);
}

HMODULE LoadSystemDll(const wchar_t* dll) {
    if (SetDefaultDllDirectoriesOfSystem() != nullptr) return LoadLibraryExW(dll, nullptr, kSearchSystem32);
    // An older system: by its full path, and what it loads in turn searched
    // from the system folder rather than from the program's.
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    const std::wstring path = std::wstring(folder) + L"\\" + dll;
    return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

BOOL WINAPI SystemInitCommonControlsEx(const INITCOMMONCONTROLSEX* controls) {
    using Function = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    static const Function init = SystemFunction<Function>(L"comctl32.dll", "InitCommonControlsEx");
    return init ? init(controls) : FALSE;
}

BOOL WINAPI DeferredPlaySoundW(LPCWSTR sound, HMODULE module, DWORD flags) {
    using Function = BOOL(WINAPI*)(LPCWSTR, HMODULE, DWORD);
    static const Function play = SystemFunction<Function>(L"winmm.dll", "PlaySoundW");
    return play ? play(sound, module, flags) : FALSE;
}

BOOL WINAPI DeferredGetOpenFileNameW(OPENFILENAMEW* file) {
    using Function = BOOL(WINAPI*)(OPENFILENAMEW*);
    static const Function open = SystemFunction<Function>(L"comdlg32.dll", "GetOpenFileNameW");
    return open ? open(file) : FALSE;
}
