// The module instance of the program, which every floor above loads its
// resources and dialogs from.
#pragma once

#include <windows.h>

// Stored by wWinMain (and by a test program, for its own module) before the
// main window exists, and never changed.
extern HINSTANCE g_hInstance;
