// The alarm check: every two seconds the alarms are tested against the local
// time in list order, and the first due one rings once in its minute.
#pragma once

#include <windows.h>

#include "app/alarm_due.h"
#include "app/timers.h"

constexpr UINT kAlarmCheckPeriodMs = 2000;

// The minutes that rang and the last tick's (alarm_due.h).
extern RingGuard g_ringGuard;

// Callback of the check timer (IDT_ALARM_CHECK): rings the first due alarm,
// and tells in a balloon which alarms minutes no tick saw kept from ringing.
void CALLBACK AlarmTimerProc(HWND window, UINT message, UINT_PTR timerId, DWORD time);
