// When an alarm is due, what one check tick does, and which alarms minutes no
// tick saw kept from ringing: pure functions over the alarm list and the local
// time, without the platform, so they are tested along any timeline natively.
#pragma once

#include <cstddef>
#include <ctime>
#include <string>
#include <vector>

#include "model/alarm.h"

// True when the alarm rings at the local time now: it is switched on, its hour
// and minute are now's, and its flag for now's weekday (tm_wday, 0 = Sunday) is
// nonzero. Seconds and the date are not looked at, so an alarm is due for the
// whole of its minute; a weekday outside 0..6 is never due.
bool IsAlarmDueAt(const CAlarm& alarm, const std::tm& now);

// A local time as a count of minutes: the day number of its date (days since
// 1 January 1970) times 1440 plus its minute of the day. Both readings of a
// minute that the clock passes twice give one number.
long long LocalMinuteOf(const std::tm& local);

// The ring guard: the local minutes (LocalMinuteOf) that rang, so that none
// rings twice whatever the clock does, and the minute of the last check tick,
// so that minutes no tick saw are told.
struct RingGuard {
    std::vector<long long> rang;  // those of the last day, and any the clock was set back over
    bool ticked = false;
    long long lastTick = 0;
};

// What one check tick does.
struct AlarmTickStep {
    bool ring = false;  // play the sound of alarms[ringIndex]
    std::size_t ringIndex = 0;
    // The alarms of the minutes no check tick saw since the last one (a sleep,
    // the clock set forward), as for FindMissedAlarms. They are told, not rung.
    std::vector<int> missed;
};

// Decides the check tick at local time now and updates guard. In a minute
// that rang already, nothing is tested; otherwise the first alarm due now in
// list order rings, and its minute is kept in guard.
AlarmTickStep DecideAlarmTick(RingGuard& guard, const std::tm& now, const std::vector<CAlarm>& alarms);

// The alarms due in a minute strictly after the local minute from and before
// to, except minutes in rang: minutes of the day (hour * 60 + minute), in the
// order they would have rung, each time once. Of a stretch longer than two
// weeks only its last two weeks count: they hold every alarm that can ring.
std::vector<int> FindMissedAlarms(const std::vector<CAlarm>& alarms, long long from, long long to,
                                  const std::vector<long long>& rang = {});

// How many missed times a notice names.
constexpr std::size_t kMissedTimesNamed = 5;

// The first kMissedTimesNamed of times (minutes of the day) as "07:00, 07:30";
// *more gets how many are left out.
std::wstring NameMissedTimes(const std::vector<int>& times, std::size_t* more);
