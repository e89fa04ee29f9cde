// The timers of the main window, each with an id of its own.
#pragma once

#include <windows.h>

constexpr UINT_PTR IDT_ALARM_CHECK = 1;  // the alarm check, every two seconds (alarm_tick.h)
constexpr UINT_PTR IDT_TRAY_RETRY = 3;   // adds the tray icon again while the shell refuses it (tray_icon.h)
constexpr UINT_PTR IDT_NOTICE_WAIT = 4;  // holds the damaged-file notice back (main_window.cpp)
