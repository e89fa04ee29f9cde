#include "app/alarm_due.h"

#include <algorithm>

namespace {

constexpr long long kMinutesPerDay = 24 * 60;
// Two weeks hold every alarm that can ring at all.
constexpr long long kLongestGapMinutes = 14 * kMinutesPerDay;

bool IsClockTime(int hour, int minute) { return hour >= 0 && hour < 24 && minute >= 0 && minute < 60; }

// Days from 1 January 1970 to the given date of the proleptic Gregorian calendar.
long long DaysFromCivil(long long year, int month, int day) {
    year -= month <= 2;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const long long yearOfEra = year - era * 400;
    const long long dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

// The day number of a local minute.
long long FloorDay(long long minute) {
    return minute >= 0 ? minute / kMinutesPerDay : -((-minute + kMinutesPerDay - 1) / kMinutesPerDay);
}

// tm_wday of a day number: 1 January 1970 was a Thursday.
int WeekdayOf(long long day) { return static_cast<int>(((day + 4) % 7 + 7) % 7); }

bool Contains(const std::vector<long long>& minutes, long long minute) {
    return std::find(minutes.begin(), minutes.end(), minute) != minutes.end();
}

}  // namespace

bool IsAlarmDueAt(const CAlarm& alarm, const std::tm& now) {
    if (!alarm.m_on) return false;
    if (now.tm_hour != alarm.m_hour) return false;
    if (now.tm_min != alarm.m_minute) return false;
    if (now.tm_wday < 0 || now.tm_wday > 6) return false;
    return alarm.DayFlag(now.tm_wday) != 0;
}

long long LocalMinuteOf(const std::tm& local) {
    return DaysFromCivil(local.tm_year + 1900LL, local.tm_mon + 1, local.tm_mday) * kMinutesPerDay +
           local.tm_hour * 60 + local.tm_min;
}

AlarmTickStep DecideAlarmTick(RingGuard& guard, const std::tm& now, const std::vector<CAlarm>& alarms) {
    AlarmTickStep step;
    const long long minute = LocalMinuteOf(now);
    if (guard.ticked) step.missed = FindMissedAlarms(alarms, guard.lastTick, minute, guard.rang);
    guard.ticked = true;
    guard.lastTick = minute;
    // A minute set back over can come again only within a day (the end of
    // daylight saving time, a corrected clock); later ones are kept until passed.
    guard.rang.erase(std::remove_if(guard.rang.begin(), guard.rang.end(),
                                    [minute](long long rang) { return rang < minute - kMinutesPerDay; }),
                     guard.rang.end());
    if (Contains(guard.rang, minute)) return step;
    for (std::size_t index = 0; index < alarms.size(); ++index) {
        if (!IsAlarmDueAt(alarms[index], now)) continue;
        step.ring = true;
        step.ringIndex = index;
        guard.rang.push_back(minute);
        break;
    }
    return step;
}

std::vector<int> FindMissedAlarms(const std::vector<CAlarm>& alarms, long long from, long long to,
                                  const std::vector<long long>& rang) {
    std::vector<int> times;
    const long long first = std::max(from + 1, to - kLongestGapMinutes);
    if (first >= to) return times;
    struct Missed {
        long long at;  // local minute
        int time;      // minute of the day
    };
    std::vector<Missed> missed;
    const long long firstDay = FloorDay(first), lastDay = FloorDay(to);
    for (const CAlarm& alarm : alarms) {
        if (!alarm.m_on || !IsClockTime(alarm.m_hour, alarm.m_minute)) continue;
        const int time = alarm.m_hour * 60 + alarm.m_minute;
        for (long long day = firstDay; day <= lastDay; ++day) {
            const long long at = day * kMinutesPerDay + time;
            if (at < first || at >= to || alarm.DayFlag(WeekdayOf(day)) == 0 || Contains(rang, at)) continue;
            missed.push_back({at, time});
            break;
        }
    }
    std::stable_sort(missed.begin(), missed.end(), [](const Missed& a, const Missed& b) { return a.at < b.at; });
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
