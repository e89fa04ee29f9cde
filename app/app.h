// Process-wide state of the tray program.
#pragma once

#include <windows.h>

// The module instance, stored by wWinMain before the main window exists and
// never changed; resources and dialogs are loaded from it.
extern HINSTANCE g_hInstance;
