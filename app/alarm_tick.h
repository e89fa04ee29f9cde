// The alarm check: every two seconds the alarms are tested against the local
// time in list order, and the first due one rings once, followed by the
// one-minute ring guard.
#pragma once

#include <windows.h>

#include <cstddef>

#include "app/timers.h"

// The check timer (IDT_ALARM_CHECK) repeats every two seconds; both it and the
// guard timer (IDT_RING_GUARD) call AlarmTimerProc.
constexpr UINT kAlarmCheckPeriodMs = 2000;

// 1 from a ring until the guard timer fires, else 0. While it is 1 the check
// ticks test nothing, so an alarm rings once in its minute.
extern int g_ringGuard;

// Callback of both timers of the main window: a check tick rings the first due
// alarm; the guard timer's firing ends the guard.
void CALLBACK AlarmTimerProc(HWND window, UINT message, UINT_PTR timerId, DWORD time);

// True when the alarm at index of g_alarms is due now; reads the clock on every
// call. The index must lie within g_alarms.
bool IsAlarmDue(std::size_t index);
