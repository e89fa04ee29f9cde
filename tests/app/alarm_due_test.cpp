// When an alarm is due, and what the check tick rings and tells along timelines.
// Portable: no platform headers, so it builds natively as well as for Windows.
#include <gtest/gtest.h>

#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "app/alarm_due.h"
#include "model/alarm.h"

namespace {

// A local time on the given weekday (0 = Sunday); the date fields are set to
// something arbitrary, since the due test must not look at them.
std::tm At(int wday, int hour, int minute, int second = 0) {
    std::tm time{};
    time.tm_year = 126;
    time.tm_mon = 11;
    time.tm_mday = 8;
    time.tm_yday = 341;
    time.tm_isdst = 0;
    time.tm_wday = wday;
    time.tm_hour = hour;
    time.tm_min = minute;
    time.tm_sec = second;
    return time;
}

CAlarm Every(int hour, int minute, bool on = true) {
    return CAlarm(hour, minute, 1, 1, 1, 1, 1, 1, 1, on, L"x.wav");
}

CAlarm OnlyOn(int day, int hour, int minute) {
    CAlarm alarm(hour, minute, 0, 0, 0, 0, 0, 0, 0, true, L"x.wav");
    alarm.SetDayFlag(day, 1);
    return alarm;
}

}  // namespace

// The due test --------------------------------------------------------------------

TEST(AlarmDue, DueForTheWholeOfItsMinuteOnEveryFlaggedDay) {
    const CAlarm alarm = Every(7, 5);
    for (int day = 0; day < 7; ++day) {
        for (int second : {0, 1, 30, 59}) {
            EXPECT_TRUE(IsAlarmDueAt(alarm, At(day, 7, 5, second))) << day << " " << second;
        }
    }
}

TEST(AlarmDue, SwitchedOffNeverDue) {
    const CAlarm alarm = Every(7, 5, false);
    for (int day = 0; day < 7; ++day) EXPECT_FALSE(IsAlarmDueAt(alarm, At(day, 7, 5))) << day;
}

TEST(AlarmDue, HourAndMinuteMustBothMatch) {
    const CAlarm alarm = Every(7, 5);
    const struct {
        int hour, minute;
    } others[] = {{6, 5}, {8, 5}, {19, 5}, {7, 4}, {7, 6}, {5, 7}, {0, 0}, {23, 59}};
    for (const auto& other : others) {
        EXPECT_FALSE(IsAlarmDueAt(alarm, At(1, other.hour, other.minute))) << other.hour << ":" << other.minute;
    }
}

TEST(AlarmDue, EachWeekdayReadsItsOwnFlag) {
    // tm_wday 0 is Sunday: the alarm flagged for one day rings on that day only.
    for (int flagged = 0; flagged < 7; ++flagged) {
        const CAlarm alarm = OnlyOn(flagged, 12, 30);
        for (int day = 0; day < 7; ++day) {
            EXPECT_EQ(day == flagged, IsAlarmDueAt(alarm, At(day, 12, 30))) << flagged << " on " << day;
        }
    }
}

TEST(AlarmDue, FlagsBySunToSatField) {
    CAlarm alarm(9, 0, 0, 0, 0, 0, 0, 0, 0, true, L"x.wav");
    int CAlarm::*const fields[7] = {&CAlarm::m_sun, &CAlarm::m_mon, &CAlarm::m_tue, &CAlarm::m_wed,
                                    &CAlarm::m_thu, &CAlarm::m_fri, &CAlarm::m_sat};
    for (int day = 0; day < 7; ++day) {
        alarm.*fields[day] = 1;
        EXPECT_TRUE(IsAlarmDueAt(alarm, At(day, 9, 0))) << day;
        alarm.*fields[day] = 0;
        EXPECT_FALSE(IsAlarmDueAt(alarm, At(day, 9, 0))) << day;
    }
}

TEST(AlarmDue, AnyNonzeroFlagCounts) {
    for (int flag : {2, 7, -1, INT_MAX, INT_MIN}) {
        const CAlarm alarm(7, 5, flag, flag, flag, flag, flag, flag, flag, true, L"x.wav");
        for (int day = 0; day < 7; ++day) EXPECT_TRUE(IsAlarmDueAt(alarm, At(day, 7, 5))) << flag;
    }
}

TEST(AlarmDue, NoFlagNeverDue) {
    const CAlarm alarm(7, 5, 0, 0, 0, 0, 0, 0, 0, true, L"x.wav");
    for (int day = 0; day < 7; ++day) EXPECT_FALSE(IsAlarmDueAt(alarm, At(day, 7, 5)));
}

TEST(AlarmDue, WeekdayOutsideTheWeekNeverDue) {
    const CAlarm alarm = Every(7, 5);
    for (int day : {-1, 7, 8, INT_MIN, INT_MAX}) EXPECT_FALSE(IsAlarmDueAt(alarm, At(day, 7, 5))) << day;
}

TEST(AlarmDue, TimesTheClockNeverShowsAreNeverDue) {
    const std::pair<int, int> impossible[] = {{24, 0}, {30, 5}, {-1, 0}, {7, 60}, {7, 99}, {7, -1}, {99, 99}};
    for (const auto& time : impossible) {
        const CAlarm alarm = Every(time.first, time.second);
        for (int day = 0; day < 7; ++day) {
            for (int hour = 0; hour < 24; ++hour) {
                for (int minute = 0; minute < 60; ++minute) {
                    ASSERT_FALSE(IsAlarmDueAt(alarm, At(day, hour, minute)))
                        << time.first << ":" << time.second << " at " << hour << ":" << minute;
                }
            }
        }
    }
}

// The check tick along a timeline ----------------------------------------------------

namespace {

// Seconds since 1970 of a date and time of day, counted as UTC.
long long Seconds(int year, int month, int day, int hour, int minute, int second = 0) {
    std::tm date{};
    date.tm_year = year - 1900;
    date.tm_mon = month - 1;
    date.tm_mday = day;
    return LocalMinuteOf(date) * 60 + (hour * 60 + minute) * 60 + second;
}

// The clock's fields at seconds since 1970, as GetLocalTime gives them: no
// daylight-saving flag.
std::tm Fields(long long seconds) {
    const std::time_t time = static_cast<std::time_t>(seconds);
    std::tm fields = *std::gmtime(&time);
    fields.tm_isdst = -1;
    return fields;
}

// What a zone's wall clock shows at a UTC time, in seconds since 1970.
using Zone = long long (*)(long long utc);
long long Utc(long long utc) { return utc; }
// Central European Time: UTC+1, UTC+2 from 01:00 UTC of the last Sunday of
// March to 01:00 UTC of the last Sunday of October.
long long CentralEurope(long long utc) {
    const int year = Fields(utc).tm_year + 1900;
    const auto lastSunday = [year](int month) {
        const long long last = Seconds(year, month, 31, 1, 0);
        return last - Fields(last).tm_wday * 86400LL;
    };
    return utc + (utc >= lastSunday(3) && utc < lastSunday(10) ? 7200 : 3600);
}

struct Timeline {
    std::vector<CAlarm> alarms;
    long long start;    // the first tick, UTC
    long long seconds;  // how long the ticks run
    Zone zone = Utc;
    // From a UTC time of the real clock on, the wall clock is set by seconds.
    std::vector<std::pair<long long, long long>> setClock = {};
    // The tick due at a UTC time comes seconds late (a sleep, a busy machine).
    std::vector<std::pair<long long, long long>> delays = {};
    bool jitter = false;  // up to 0.3 s more between ticks
};

// Ticks every 2 s along the timeline; what rang and what was told, by the
// wall clock: "08:30:00 rings 1", "10:00:00 tells 08:30, 09:00".
std::vector<std::string> Follow(const Timeline& line) {
    std::vector<std::string> done;
    RingGuard guard;
    long long set = 0;
    unsigned random = 1;
    std::size_t nextSet = 0, nextDelay = 0;
    for (long long ms = line.start * 1000; ms <= (line.start + line.seconds) * 1000;) {
        for (; nextSet < line.setClock.size() && line.setClock[nextSet].first * 1000 <= ms; ++nextSet) {
            set += line.setClock[nextSet].second;
        }
        const std::tm now = Fields(line.zone(ms / 1000 + set));
        const AlarmTickStep step = DecideAlarmTick(guard, now, line.alarms);
        char at[16];
        std::snprintf(at, sizeof at, "%02d:%02d:%02d ", now.tm_hour, now.tm_min, now.tm_sec);
        if (step.ring) done.push_back(at + std::string("rings ") + std::to_string(step.ringIndex));
        if (!step.missed.empty()) {
            std::size_t more = 0;
            const std::wstring told = NameMissedTimes(step.missed, &more);
            done.push_back(at + std::string("tells ") + std::string(told.begin(), told.end()));
        }
        random = random * 1103515245u + 12345u;
        ms += 2000 + (line.jitter ? (random >> 16) % 300 : 0);
        for (; nextDelay < line.delays.size() && line.delays[nextDelay].first * 1000 <= ms; ++nextDelay) {
            ms += line.delays[nextDelay].second * 1000;
        }
    }
    return done;
}

using Done = std::vector<std::string>;

// Monday 7 December 2026 at a time of day, UTC.
long long Monday(int hour, int minute, int second = 0) { return Seconds(2026, 12, 7, hour, minute, second); }

}  // namespace

TEST(Timeline, OverDaysWithJitterEachAlarmRingsOnceEarlyInItsMinuteTheFirstOfAMinuteOnly) {
    const std::vector<CAlarm> alarms = {OnlyOn(2, 6, 45), Every(12, 0), Every(23, 59), Every(0, 0), Every(12, 0)};
    Done expected, rings;
    for (const char* day : {"", "06:45 rings 0", ""}) {
        expected.push_back("00:00 rings 3");
        if (*day) expected.push_back(day);
        expected.push_back("12:00 rings 1");
        expected.push_back("23:59 rings 2");
    }
    for (const std::string& ring : Follow({alarms, Monday(0, 0), 3 * 86400 - 1, Utc, {}, {}, true})) {
        EXPECT_LE(ring.substr(6, 2), "02") << "rung late: " << ring;
        rings.push_back(ring.substr(0, 5) + ring.substr(8));
    }
    EXPECT_EQ(expected, rings);
}

TEST(Timeline, ARingLateInItsMinuteLeavesTheNextMinuteFree) {
    const std::vector<CAlarm> alarms = {Every(8, 30), Every(8, 31)};
    EXPECT_EQ((Done{"08:30:50 rings 0", "08:31:00 rings 1"}), Follow({alarms, Monday(8, 30, 50), 120}));
    EXPECT_EQ((Done{"08:30:59 rings 0", "08:31:01 rings 1"}), Follow({alarms, Monday(8, 30, 59), 120}));
    // Ticks held up by a busy machine: each alarm still rings in its minute.
    const std::vector<CAlarm> three = {Every(8, 30), Every(8, 31), Every(8, 32)};
    EXPECT_EQ((Done{"08:30:00 rings 0", "08:31:28 rings 1", "08:32:03 rings 2"}),
              Follow({three, Monday(8, 29, 58), 240, Utc, {}, {{Monday(8, 30, 58), 30}, {Monday(8, 31, 58), 5}}}));
}

TEST(Timeline, AMinuteThatRangNeverRingsAgainWhenTheClockIsSetBack) {
    EXPECT_EQ((Done{"08:30:00 rings 0"}),
              Follow({{Every(8, 30)}, Monday(8, 29, 58), 180, Utc, {{Monday(8, 30, 20), -40}}}));
    // Set back an hour at 08:40: 08:00 and 08:30 rang; 08:45 had not.
    EXPECT_EQ((Done{"08:00:00 rings 0", "08:30:00 rings 1", "08:45:00 rings 2"}),
              Follow({{Every(8, 0), Every(8, 30), Every(8, 45)}, Monday(7, 59, 58), 6600, Utc,
                   {{Monday(8, 40), -3600}}}));
}

TEST(Timeline, MinutesTheClockJumpsOverAreToldNotRung) {
    // A time sync sets the clock 90 s forward over 08:30.
    EXPECT_EQ((Done{"08:31:00 rings 1", "08:31:00 tells 08:30"}),
              Follow({{Every(8, 30), Every(8, 31)}, Monday(8, 29), 120, Utc, {{Monday(8, 29, 30), 90}}}));
    // A sleep from 08:10 to 10:00: the wake's own minute rings as usual.
    EXPECT_EQ((Done{"10:00:00 rings 3", "10:00:00 tells 08:30, 09:00"}),
              Follow({{Every(8, 30), Every(9, 0), Every(9, 15, false), Every(10, 0)}, Monday(8, 0), 8000, Utc, {},
                   {{Monday(8, 10), 6600}}}));
}

TEST(Timeline, DaylightSavingTimeSkipsAnHourThatIsToldAndRepeatsOneThatRingsOnce) {
    // 29 March 2026: 02:00 becomes 03:00; 25 October 2026: 03:00 becomes 02:00.
    const std::vector<CAlarm> alarms = {Every(2, 30), Every(3, 0), Every(1, 59)};
    EXPECT_EQ((Done{"01:59:00 rings 2", "03:00:00 rings 1", "03:00:00 tells 02:30"}),
              Follow({alarms, Seconds(2026, 3, 29, 0, 58), 300, CentralEurope}));
    EXPECT_EQ((Done{"02:30:00 rings 0"}), Follow({alarms, Seconds(2026, 10, 25, 0, 29), 4000, CentralEurope}));
}

#ifndef _WIN32
TEST(Timeline, TheSimulatedZoneIsTheSystemsCentralEuropeanTime) {
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    for (long long utc = Seconds(2026, 1, 1, 0, 0); utc < Seconds(2027, 1, 1, 0, 0); utc += 900) {
        const std::time_t time = static_cast<std::time_t>(utc);
        std::tm local{};
        localtime_r(&time, &local);
        ASSERT_EQ(LocalMinuteOf(local), LocalMinuteOf(Fields(CentralEurope(utc)))) << utc;
    }
    unsetenv("TZ");
    tzset();
}
#endif

TEST(Timeline, TheFirstAlarmDueInListOrderRings) {
    const std::vector<CAlarm> alarms = {
        Every(7, 5, false),  // due but off
        Every(7, 6),         // another minute
        OnlyOn(2, 7, 5),     // Tuesday only
        Every(7, 5),         // the first due one on a Monday
        OnlyOn(1, 7, 5),     // due too, but later in the list
    };
    EXPECT_EQ((Done{"07:05:00 rings 3", "07:06:00 rings 1"}), Follow({alarms, Monday(7, 4, 58), 130}));
    EXPECT_EQ((Done{"07:05:00 rings 2"}), Follow({alarms, Monday(31, 4, 58), 10}));
}

// Alarms missed in minutes no check tick saw ---------------------------------------

TEST(MissedAlarms, InTheOrderTheyWouldHaveRungOnTheirOwnDaysEachTimeOnce) {
    // From Monday 23:40 to Tuesday 01:00; then for five weeks.
    const std::vector<CAlarm> alarms = {OnlyOn(2, 0, 10), OnlyOn(1, 0, 30), OnlyOn(1, 23, 50), Every(23, 30),
                                        Every(0, 20, false), Every(24, 0), OnlyOn(2, 0, 10)};
    const long long wake = Monday(25, 0) / 60;
    EXPECT_EQ((std::vector<int>{23 * 60 + 50, 10}), FindMissedAlarms(alarms, Monday(23, 40) / 60, wake));
    EXPECT_EQ((std::vector<int>{23 * 60 + 30, 30, 23 * 60 + 50, 10}),
              FindMissedAlarms(alarms, wake - 5 * 7 * 1440, wake));
}

TEST(MissedAlarms, OnlyMinutesNoTickSawAndThatDidNotRing) {
    const std::vector<CAlarm> alarms = {Every(7, 0), Every(7, 1), Every(7, 2), Every(7, 3)};
    const long long seven = Monday(7, 0) / 60;
    EXPECT_EQ((std::vector<int>{421, 422}), FindMissedAlarms(alarms, seven, seven + 3));
    EXPECT_EQ((std::vector<int>{422}), FindMissedAlarms(alarms, seven, seven + 3, {seven + 1}));
    EXPECT_TRUE(FindMissedAlarms(alarms, seven + 3, seven).empty());
}

TEST(MissedAlarms, ANoticeNamesFiveTimesAndCountsTheRest) {
    std::size_t more = 99;
    EXPECT_EQ(L"23:59, 00:00, 00:05, 01:10, 12:00", NameMissedTimes({1439, 0, 5, 70, 720, 780, 840}, &more));
    EXPECT_EQ(2u, more);
    EXPECT_EQ(L"07:00", NameMissedTimes({420}, &more));
    EXPECT_EQ(0u, more);
}
