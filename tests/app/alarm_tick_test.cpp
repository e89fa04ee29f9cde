// The alarm check on the real clock and real timers, in this process.
#include <windows.h>

#include <gtest/gtest.h>

#include <ctime>
#include <vector>

#include "app/alarm_tick.h"
#include "model/alarm.h"

namespace {

std::tm LocalNow() {
    const __time64_t now = _time64(nullptr);
    std::tm local{};
    _localtime64_s(&local, &now);
    return local;
}

// The sound of a ring here: a file that does not exist, so at most the
// system's default sound is asked for.
const wchar_t kNoSound[] = L"Z:\\velmora-no-such-sound.wav";

class AlarmCheck : public testing::Test {
protected:
    void SetUp() override {
        window_ = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, window_);
        g_alarms.clear();
        g_ringGuard = 0;
    }
    void TearDown() override {
        KillTimer(window_, IDT_RING_GUARD);
        DestroyWindow(window_);
        g_alarms.clear();
        g_ringGuard = 0;
    }

    // Runs body with g_alarms made from the local time by make; tries again
    // when the minute turned meanwhile, so the alarms matched the clock.
    template <class Make, class Body>
    void AtThisMinute(Make make, Body body) {
        for (int attempt = 0; attempt < 3; ++attempt) {
            const std::tm before = LocalNow();
            g_alarms = make(before);
            g_ringGuard = 0;
            KillTimer(window_, IDT_RING_GUARD);
            body();
            if (LocalNow().tm_min == before.tm_min) return;
        }
        FAIL() << "the minute kept turning";
    }

    // True when the guard timer was running; stops it.
    bool GuardTimerWasRunning() { return KillTimer(window_, IDT_RING_GUARD) != FALSE; }

    HWND window_ = nullptr;
};

CAlarm ThisMinute(const std::tm& now, bool on = true) {
    CAlarm alarm(now.tm_hour, now.tm_min, 0, 0, 0, 0, 0, 0, 0, on, kNoSound);
    alarm.SetDayFlag(now.tm_wday, 1);
    return alarm;
}

}  // namespace

TEST_F(AlarmCheck, IsAlarmDueReadsTheClock) {
    AtThisMinute(
        [](const std::tm& now) {
            CAlarm otherDays(now.tm_hour, now.tm_min, 1, 1, 1, 1, 1, 1, 1, true, kNoSound);
            otherDays.SetDayFlag(now.tm_wday, 0);
            CAlarm nextMinute = ThisMinute(now);
            nextMinute.m_minute = (now.tm_min + 1) % 60;
            return std::vector<CAlarm>{ThisMinute(now), otherDays, nextMinute, ThisMinute(now, false)};
        },
        [] {
            EXPECT_TRUE(IsAlarmDue(0));
            EXPECT_FALSE(IsAlarmDue(1));
            EXPECT_FALSE(IsAlarmDue(2));
            EXPECT_FALSE(IsAlarmDue(3));
        });
}

TEST_F(AlarmCheck, DueAlarmRingsArmsTheGuardAndItsTimer) {
    AtThisMinute([](const std::tm& now) { return std::vector<CAlarm>{ThisMinute(now)}; },
                 [this] {
                     AlarmTimerProc(window_, WM_TIMER, IDT_ALARM_CHECK, 0);
                     EXPECT_EQ(1, g_ringGuard);
                     EXPECT_TRUE(GuardTimerWasRunning());
                 });
}

TEST_F(AlarmCheck, NothingDueLeavesTheGuardIdle) {
    AtThisMinute(
        [](const std::tm& now) {
            return std::vector<CAlarm>{ThisMinute(now, false)};
        },
        [this] {
            AlarmTimerProc(window_, WM_TIMER, IDT_ALARM_CHECK, 0);
            EXPECT_EQ(0, g_ringGuard);
            EXPECT_FALSE(GuardTimerWasRunning());
        });
}

TEST_F(AlarmCheck, EmptyListLeavesTheGuardIdle) {
    AlarmTimerProc(window_, WM_TIMER, IDT_ALARM_CHECK, 0);
    EXPECT_EQ(0, g_ringGuard);
    EXPECT_FALSE(GuardTimerWasRunning());
}

TEST_F(AlarmCheck, GuardTimerEndsTheGuardAndStopsItself) {
    AtThisMinute([](const std::tm& now) { return std::vector<CAlarm>{ThisMinute(now)}; },
                 [this] {
                     AlarmTimerProc(window_, WM_TIMER, IDT_ALARM_CHECK, 0);
                     ASSERT_EQ(1, g_ringGuard);
                     // While guarding, a check tick rings nothing and arms nothing.
                     KillTimer(window_, IDT_RING_GUARD);
                     AlarmTimerProc(window_, WM_TIMER, IDT_ALARM_CHECK, 0);
                     EXPECT_EQ(1, g_ringGuard);
                     EXPECT_FALSE(GuardTimerWasRunning());
                     SetTimer(window_, IDT_RING_GUARD, 60000, AlarmTimerProc);
                     AlarmTimerProc(window_, WM_TIMER, IDT_RING_GUARD, 0);
                     EXPECT_EQ(0, g_ringGuard);
                     EXPECT_FALSE(GuardTimerWasRunning());
                 });
}
