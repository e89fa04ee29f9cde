// The DPI a window is drawn at, for scaling the program's 96-DPI pixel sizes.
#pragma once

#include <windows.h>

// The window's own DPI (GetDpiForWindow, Windows 10 1607 and later); where
// the system has none per window, the system's DPI; 96 when neither can be read.
int WindowDpi(HWND window);

// size, in pixels at 96 DPI, at the window's DPI (ScaleToDpi).
int ScaleForWindow(HWND window, int size);
