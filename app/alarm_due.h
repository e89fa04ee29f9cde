// When an alarm is due, and what one firing of the alarm timer does: pure
// functions over the alarm list and a broken-down local time, without the
// platform, so they can be tested on any time and built natively too.
#pragma once

#include <cstddef>
#include <ctime>
#include <functional>
#include <vector>

#include "model/alarm.h"

// True when the alarm rings at the local time now: it is switched on, its hour
// and minute are now's, and its flag for now's weekday (tm_wday, 0 = Sunday) is
// nonzero. Seconds and the date are not looked at, so an alarm is due for the
// whole of its minute; a weekday outside 0..6 is never due.
bool IsAlarmDueAt(const CAlarm& alarm, const std::tm& now);

// What one firing of the alarm timer does.
struct AlarmTickStep {
    bool ring = false;             // play the sound of alarms[ringIndex]
    std::size_t ringIndex = 0;
    bool startGuardTimer = false;  // arm the one-minute guard timer
    bool stopGuardTimer = false;   // the guard timer has fired: stop it
    int ringGuard = 0;             // the ring guard after this firing
};

// Decides one firing of the alarm timer. ringGuard is the ring guard before it
// (0 idle, 1 guarding); guardTimerFired tells the guard timer from a check
// tick. A check tick while idle asks isDue about each index of alarms in list
// order, the length read anew before each step, and rings the first due one;
// the later alarms are not asked. A check tick while guarding asks nothing.
AlarmTickStep DecideAlarmTick(int ringGuard, bool guardTimerFired,
                              const std::vector<CAlarm>& alarms,
                              const std::function<bool(std::size_t)>& isDue);
