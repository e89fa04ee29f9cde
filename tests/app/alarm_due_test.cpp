// When an alarm is due, the ring guard and the list order, on chosen times.
// Portable: no platform headers, so it builds natively as well as for Windows.
#include <gtest/gtest.h>

#include <climits>
#include <cstddef>
#include <ctime>
#include <functional>
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

// One firing of the alarm timer -------------------------------------------------------

namespace {

// Records the indexes the tick asks about.
struct DueAnswers {
    std::vector<bool> due;
    std::vector<std::size_t> asked;
    std::function<bool(std::size_t)> Ask() {
        return [this](std::size_t index) {
            asked.push_back(index);
            return static_cast<bool>(due.at(index));
        };
    }
};

std::vector<CAlarm> Alarms(std::size_t count) { return std::vector<CAlarm>(count, Every(7, 5)); }

}  // namespace

TEST(AlarmTick, IdleWithNothingDueAsksEveryAlarmInOrderAndStaysIdle) {
    DueAnswers answers{{false, false, false, false}, {}};
    const AlarmTickStep step = DecideAlarmTick(0, false, Alarms(4), answers.Ask());
    EXPECT_FALSE(step.ring);
    EXPECT_EQ(0, step.ringGuard);
    EXPECT_FALSE(step.startGuardTimer);
    EXPECT_FALSE(step.stopGuardTimer);
    EXPECT_EQ((std::vector<std::size_t>{0, 1, 2, 3}), answers.asked);
}

TEST(AlarmTick, EmptyListAsksNothing) {
    DueAnswers answers;
    const AlarmTickStep step = DecideAlarmTick(0, false, {}, answers.Ask());
    EXPECT_FALSE(step.ring);
    EXPECT_EQ(0, step.ringGuard);
    EXPECT_FALSE(step.startGuardTimer);
    EXPECT_TRUE(answers.asked.empty());
}

TEST(AlarmTick, RingsTheFirstDueAlarmSetsTheGuardAndStopsAsking) {
    DueAnswers answers{{false, true, true, false}, {}};
    const AlarmTickStep step = DecideAlarmTick(0, false, Alarms(4), answers.Ask());
    ASSERT_TRUE(step.ring);
    EXPECT_EQ(1u, step.ringIndex);
    EXPECT_EQ(1, step.ringGuard);
    EXPECT_TRUE(step.startGuardTimer);
    EXPECT_FALSE(step.stopGuardTimer);
    EXPECT_EQ((std::vector<std::size_t>{0, 1}), answers.asked);
}

TEST(AlarmTick, WhileGuardingACheckTickAsksNothing) {
    DueAnswers answers{{true, true}, {}};
    const AlarmTickStep step = DecideAlarmTick(1, false, Alarms(2), answers.Ask());
    EXPECT_FALSE(step.ring);
    EXPECT_EQ(1, step.ringGuard);
    EXPECT_FALSE(step.startGuardTimer);
    EXPECT_FALSE(step.stopGuardTimer);
    EXPECT_TRUE(answers.asked.empty());
}

TEST(AlarmTick, GuardTimerEndsTheGuardAndStopsItselfWithoutTesting) {
    for (int guard : {1, 0}) {
        DueAnswers answers{{true}, {}};
        const AlarmTickStep step = DecideAlarmTick(guard, true, Alarms(1), answers.Ask());
        EXPECT_FALSE(step.ring) << guard;
        EXPECT_EQ(0, step.ringGuard) << guard;
        EXPECT_TRUE(step.stopGuardTimer) << guard;
        EXPECT_FALSE(step.startGuardTimer) << guard;
        EXPECT_TRUE(answers.asked.empty()) << guard;
    }
}

TEST(AlarmTick, FirstDueInListOrderRingsAtAGivenTime) {
    const std::vector<CAlarm> alarms = {
        Every(7, 5, false),   // due but off
        Every(7, 6),          // another minute
        OnlyOn(2, 7, 5),      // Tuesday only
        Every(7, 5),          // the first due one on a Monday
        OnlyOn(1, 7, 5),      // due too, but later in the list
    };
    const auto dueAt = [&alarms](const std::tm& now) {
        return [&alarms, now](std::size_t index) { return IsAlarmDueAt(alarms[index], now); };
    };
    AlarmTickStep step = DecideAlarmTick(0, false, alarms, dueAt(At(1, 7, 5, 20)));
    ASSERT_TRUE(step.ring);
    EXPECT_EQ(3u, step.ringIndex);
    step = DecideAlarmTick(0, false, alarms, dueAt(At(2, 7, 5, 20)));
    ASSERT_TRUE(step.ring);
    EXPECT_EQ(2u, step.ringIndex);
    step = DecideAlarmTick(0, false, alarms, dueAt(At(1, 7, 6, 0)));
    ASSERT_TRUE(step.ring);
    EXPECT_EQ(1u, step.ringIndex);
    step = DecideAlarmTick(0, false, alarms, dueAt(At(1, 7, 7, 0)));
    EXPECT_FALSE(step.ring);
}

// The guard over a stretch of time -------------------------------------------------

namespace {

struct Ring {
    long long atMs;  // since midnight
    std::size_t index;
    bool operator==(const Ring& other) const { return atMs == other.atMs && index == other.index; }
};

std::ostream& operator<<(std::ostream& out, const Ring& ring) {
    return out << "alarm " << ring.index << " at " << ring.atMs << " ms";
}

// Runs the check tick every 2000 ms from startMs to endMs (ms since midnight of
// a Monday) and the guard timer once, 60 s after each ring, with the clock
// read at each step; returns the rings.
std::vector<Ring> Simulate(const std::vector<CAlarm>& alarms, long long startMs, long long endMs) {
    std::vector<Ring> rings;
    int guard = 0;
    long long guardFiresAt = -1;
    for (long long now = startMs; now <= endMs; now += 2000) {
        const auto clock = [](long long ms) {
            return At(1, static_cast<int>(ms / 3600000), static_cast<int>(ms / 60000 % 60),
                      static_cast<int>(ms / 1000 % 60));
        };
        // The guard timer fires between two check ticks.
        if (guardFiresAt >= 0 && guardFiresAt <= now) {
            const AlarmTickStep step =
                DecideAlarmTick(guard, true, alarms, [&](std::size_t i) { return IsAlarmDueAt(alarms[i], clock(guardFiresAt)); });
            guard = step.ringGuard;
            if (step.stopGuardTimer) guardFiresAt = -1;
        }
        const AlarmTickStep step =
            DecideAlarmTick(guard, false, alarms, [&](std::size_t i) { return IsAlarmDueAt(alarms[i], clock(now)); });
        if (step.ring) rings.push_back({now, step.ringIndex});
        guard = step.ringGuard;
        // Armed while the ringing tick runs, so it fires just after the tick
        // that falls 60 s later.
        if (step.startGuardTimer) guardFiresAt = now + 60000 + 1;
    }
    return rings;
}

constexpr long long Ms(int hour, int minute, int second, int ms = 0) {
    return ((hour * 60LL + minute) * 60 + second) * 1000 + ms;
}

}  // namespace

TEST(RingGuard, AlarmRingsOnceInItsMinute) {
    const std::vector<Ring> rings = Simulate({Every(7, 5)}, Ms(7, 4, 0, 500), Ms(7, 8, 0));
    EXPECT_EQ((std::vector<Ring>{{Ms(7, 5, 0, 500), 0}}), rings);
}

TEST(RingGuard, OtherAlarmsOfTheSameMinuteDoNotRingAtAll) {
    const std::vector<Ring> rings =
        Simulate({Every(7, 5, false), Every(7, 5), Every(7, 5)}, Ms(7, 4, 0, 900), Ms(7, 8, 0));
    EXPECT_EQ((std::vector<Ring>{{Ms(7, 5, 0, 900), 1}}), rings);
}

TEST(RingGuard, NextMinutesAlarmRingsAfterTheGuard) {
    // The guard ends just after 07:06:00.5; the next tick still falls in 07:06.
    const std::vector<Ring> rings = Simulate({Every(7, 5), Every(7, 6)}, Ms(7, 4, 0, 500), Ms(7, 8, 0));
    EXPECT_EQ((std::vector<Ring>{{Ms(7, 5, 0, 500), 0}, {Ms(7, 6, 2, 500), 1}}), rings);
}

TEST(RingGuard, LateRingCoversTheNextMinuteWhichIsNotCaughtUp) {
    // The first tick inside 07:05 falls at 07:05:59.1, so the guard lasts
    // past every tick of 07:06, and 07:06 is not rung later either.
    const std::vector<Ring> rings = Simulate({Every(7, 5), Every(7, 6)}, Ms(7, 5, 59, 100), Ms(7, 9, 0));
    EXPECT_EQ((std::vector<Ring>{{Ms(7, 5, 59, 100), 0}}), rings);
}

TEST(RingGuard, StartedAfterTheMinuteDoesNotCatchUp) {
    const std::vector<Ring> rings = Simulate({Every(7, 5)}, Ms(7, 6, 0, 0), Ms(7, 10, 0));
    EXPECT_TRUE(rings.empty());
}

// Alarms missed in a gap between two check ticks ------------------------------------

TEST(MissedAlarms, InTheOrderTheyWouldHaveRungOnTheirOwnDaysEachTimeOnce) {
    // Asleep from Monday 23:40:05 to Tuesday 01:00:05; then for five weeks.
    const std::vector<CAlarm> alarms = {OnlyOn(2, 0, 10), OnlyOn(1, 0, 30), OnlyOn(1, 23, 50), Every(23, 30),
                                        Every(0, 20, false), Every(24, 0), OnlyOn(2, 0, 10)};
    EXPECT_EQ((std::vector<int>{23 * 60 + 50, 10}), FindMissedAlarms(alarms, At(2, 1, 0, 5), 0, 80 * 60000));
    EXPECT_EQ((std::vector<int>{23 * 60 + 30, 30, 23 * 60 + 50, 10}),
              FindMissedAlarms(alarms, At(2, 1, 0, 5), 0, 5ull * 7 * 24 * 3600000));
}

TEST(MissedAlarms, OnlyMinutesNoTickSawAndNoneWhenTheClockWasSetForward) {
    const std::vector<CAlarm> alarms = {Every(7, 0), Every(7, 1), Every(7, 2), Every(7, 3)};
    // From 07:00:59.900 to 07:03:00.100: the tick checks 07:03 as usual.
    EXPECT_EQ((std::vector<int>{421, 422}), FindMissedAlarms(alarms, At(1, 7, 3, 0), 100, 120200));
    EXPECT_EQ((std::vector<int>{422}), FindMissedAlarms(alarms, At(1, 7, 3, 0), 100, 120100));
    // Set forward from 06:59 to 07:03 between two ticks two seconds apart.
    EXPECT_TRUE(FindMissedAlarms(alarms, At(1, 7, 3, 1), 0, 2000).empty());
}

TEST(MissedAlarms, ANoticeNamesFiveTimesAndCountsTheRest) {
    std::size_t more = 99;
    EXPECT_EQ(L"23:59, 00:00, 00:05, 01:10, 12:00", NameMissedTimes({1439, 0, 5, 70, 720, 780, 840}, &more));
    EXPECT_EQ(2u, more);
    EXPECT_EQ(L"07:00", NameMissedTimes({420}, &more));
    EXPECT_EQ(0u, more);
}
