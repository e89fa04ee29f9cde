// The system DLLs velmora loads itself, always from the system folder: never
// a DLL of the same name lying beside velmora.exe (a portable copy unpacked in
// Downloads, say). comctl32.dll is loaded at start; winmm.dll and
// comdlg32.dll only on first use, so the idle program does not carry them
// (and what they load in turn).
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>

// From now on, DLLs that anything in the process loads by name are searched
// in the system folder only, not in the program's own folder. Does nothing
// where the system lacks SetDefaultDllDirectories (Windows 7 without its
// update KB2533623, and older). Called first at start.
void LimitDllSearchToSystemFolder();

// Loads the system folder's dll (a file name), and what it loads in turn from
// there; null when it cannot be loaded. The module stays loaded.
HMODULE LoadSystemDll(const wchar_t* dll);

// InitCommonControlsEx of comctl32.dll; FALSE when comctl32.dll cannot be
// loaded.
BOOL WINAPI SystemInitCommonControlsEx(const INITCOMMONCONTROLSEX* controls);

// PlaySoundW of winmm.dll; FALSE when winmm.dll cannot be loaded.
BOOL WINAPI DeferredPlaySoundW(LPCWSTR sound, HMODULE module, DWORD flags);

// GetOpenFileNameW of comdlg32.dll; FALSE (as for a cancelled dialog) when
// comdlg32.dll cannot be loaded.
BOOL WINAPI DeferredGetOpenFileNameW(OPENFILENAMEW* file);

// The address of name in the system's dll (taken as loaded when it is, else
// loaded from the system folder); null where that system lacks it. Every
// function that older Windows lacks is looked up here.
FARPROC SystemProc(const wchar_t* dll, const char* name);

template <class Function>
Function SystemFunction(const wchar_t* dll, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(SystemProc(dll, name)));
}
