#include "app/alarm_due.h"

#include <algorithm>

namespace {

constexpr long long kMinutesPerDay = 24 * 60;
constexpr long long kMinutesPerWeek = 7 * kMinutesPerDay;
constexpr long long kMsPerMinute = 60000;
// A gap longer than two weeks misses what one of a week and a day misses:
// every alarm that can ring at all. Beyond it the gap is counted as that long.
constexpr unsigned long long kLongestGapMs = 2 * kMinutesPerWeek * kMsPerMinute;

// Division and remainder that round towards minus infinity.
long long FloorDiv(long long value, long long divisor) {
    const long long quotient = value / divisor;
    return value % divisor != 0 && value < 0 ? quotient - 1 : quotient;
}
long long FloorMod(long long value, long long divisor) { return value - divisor * FloorDiv(value, divisor); }

bool IsClockTime(int hour, int minute) { return hour >= 0 && hour < 24 && minute >= 0 && minute < 60; }

}  // namespace

bool IsAlarmDueAt(const CAlarm& alarm, const std::tm& now) {
    if (!alarm.m_on) return false;
    if (now.tm_hour != alarm.m_hour) return false;
    if (now.tm_min != alarm.m_minute) return false;
    if (now.tm_wday < 0 || now.tm_wday > 6) return false;
    return alarm.DayFlag(now.tm_wday) != 0;
}

AlarmTickStep DecideAlarmTick(int ringGuard, bool guardTimerFired,
                              const std::vector<CAlarm>& alarms,
                              const std::function<bool(std::size_t)>& isDue) {
    AlarmTickStep step;
    step.ringGuard = ringGuard;
    if (guardTimerFired) {
        // The guard timer fires once: it ends the guard and stops itself.
        step.ringGuard = 0;
        step.stopGuardTimer = true;
        return step;
    }
    if (ringGuard == 1) return step;
    for (std::size_t index = 0; index < alarms.size(); ++index) {
        if (!isDue(index)) continue;
        step.ring = true;
        step.ringIndex = index;
        step.ringGuard = 1;
        step.startGuardTimer = true;
        return step;
    }
    return step;
}

std::vector<int> FindMissedAlarms(const std::vector<CAlarm>& alarms, const std::tm& now, int nowMillisecond,
                                  unsigned long long elapsedMs) {
    std::vector<int> times;
    if (elapsedMs <= kTickGapMs || now.tm_wday < 0 || now.tm_wday > 6 || !IsClockTime(now.tm_hour, now.tm_min)) {
        return times;
    }
    // Minutes and milliseconds are counted from the start of now's week
    // (Sunday 00:00); the tick before the gap may lie weeks earlier.
    const long long nowMs =
        ((now.tm_wday * kMinutesPerDay + now.tm_hour * 60 + now.tm_min) * 60 + now.tm_sec) * 1000 + nowMillisecond;
    const long long gapMs = static_cast<long long>(std::min(elapsedMs, kLongestGapMs));
    const long long first = FloorDiv(nowMs - gapMs, kMsPerMinute) + 1;  // the first minute no tick saw
    const long long end = FloorDiv(nowMs, kMsPerMinute);                // the first tick's own minute
    struct Missed {
        long long at;  // minute of the week, counted as first is
        int time;      // minute of the day
    };
    std::vector<Missed> missed;
    for (const CAlarm& alarm : alarms) {
        if (!alarm.m_on || !IsClockTime(alarm.m_hour, alarm.m_minute)) continue;
        const int time = alarm.m_hour * 60 + alarm.m_minute;
        long long earliest = end;
        for (int day = 0; day < 7; ++day) {
            if (alarm.DayFlag(day) == 0) continue;
            // The first time this alarm was due on or after the minute first.
            const long long at = first + FloorMod(day * kMinutesPerDay + time - first, kMinutesPerWeek);
            earliest = std::min(earliest, at);
        }
        if (earliest < end) missed.push_back({earliest, time});
    }
    std::stable_sort(missed.begin(), missed.end(),
                     [](const Missed& a, const Missed& b) { return a.at < b.at; });
    for (const Missed& one : missed) {
        if (std::find(times.begin(), times.end(), one.time) == times.end()) times.push_back(one.time);
    }
    return times;
}

std::wstring NameMissedTimes(const std::vector<int>& times, std::size_t* more) {
    std::wstring named;
    const std::size_t count = std::min(times.size(), kMissedTimesNamed);
    for (std::size_t i = 0; i < count; ++i) {
        const int hour = times[i] / 60;
        const int minute = times[i] % 60;
        if (i > 0) named += L", ";
        named += {static_cast<wchar_t>(L'0' + hour / 10), static_cast<wchar_t>(L'0' + hour % 10), L':',
                  static_cast<wchar_t>(L'0' + minute / 10), static_cast<wchar_t>(L'0' + minute % 10)};
    }
    *more = times.size() - count;
    return named;
}
