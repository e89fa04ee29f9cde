// When an alarm is due, what one firing of the alarm timer does, and which
// alarms a gap between two check ticks kept from ringing: pure functions over
// the alarm list and a broken-down local time, without the platform, so they
// can be tested on any time and built natively too.
#pragma once

#include <cstddef>
#include <ctime>
#include <functional>
#include <string>
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

// A stretch between two check ticks longer than this, by a clock that goes on
// counting while the PC sleeps, is a gap: the program did not run meanwhile
// (the PC slept or hibernated, or the process was frozen).
constexpr unsigned long long kTickGapMs = 60000;

// The alarms that a gap kept from ringing, as minutes of the day (hour * 60 +
// minute), in the order they would have rung, each time once. now is the
// local time of the first check tick after the gap, nowMillisecond its
// millisecond, and elapsedMs the real time since the tick before it. An alarm
// is missed when it is switched on and due at a minute strictly after that of
// the tick before the gap and before now's minute, which the tick checks as
// usual. Nothing when elapsedMs is no gap: a clock set forward while the ticks
// went on is not a sleep.
std::vector<int> FindMissedAlarms(const std::vector<CAlarm>& alarms, const std::tm& now, int nowMillisecond,
                                  unsigned long long elapsedMs);

// How many missed times a notice names.
constexpr std::size_t kMissedTimesNamed = 5;

// The first kMissedTimesNamed of times (minutes of the day) as "07:00, 07:30";
// *more gets how many are left out.
std::wstring NameMissedTimes(const std::vector<int>& times, std::size_t* more);
