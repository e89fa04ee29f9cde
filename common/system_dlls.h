// Functions of system DLLs that velmora needs only now and then: the DLL is
// loaded from the system folder on the first call, not at start, so the idle
// program does not carry it (and what it loads in turn).
#pragma once

#include <windows.h>
#include <commdlg.h>

// PlaySoundW of winmm.dll; FALSE when winmm.dll cannot be loaded.
BOOL WINAPI DeferredPlaySoundW(LPCWSTR sound, HMODULE module, DWORD flags);

// GetOpenFileNameW of comdlg32.dll; FALSE (as for a cancelled dialog) when
// comdlg32.dll cannot be loaded.
BOOL WINAPI DeferredGetOpenFileNameW(OPENFILENAMEW* file);
