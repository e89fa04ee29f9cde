// The About box "バージョン情報".
#pragma once

#include <windows.h>

// Dialog procedure of template IDD_ABOUT: ends with OK, Esc or the close box.
INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
