// The alarm check on the real clock, in this process.
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
        g_alarms.clear();
        g_ringGuard = RingGuard{};
    }
    void TearDown() override {
        g_alarms.clear();
        g_ringGuard = RingGuard{};
    }

    // Runs body with g_alarms made from the local time by make; tries again
    // when the minute turned meanwhile, so the alarms matched the clock.
    template <class Make, class Body>
    void AtThisMinute(Make make, Body body) {
        for (int attempt = 0; attempt < 3; ++attempt) {
            const std::tm before = LocalNow();
            g_alarms = make(before);
            g_ringGuard = RingGuard{};
            body(before);
            if (LocalNow().tm_min == before.tm_min) return;
        }
        FAIL() << "the minute kept turning";
    }

    static void Tick() { AlarmTimerProc(nullptr, WM_TIMER, IDT_ALARM_CHECK, 0); }
};

CAlarm ThisMinute(const std::tm& now, bool on = true) {
    CAlarm alarm(now.tm_hour, now.tm_min, 0, 0, 0, 0, 0, 0, 0, on, kNoSound);
    alarm.SetDayFlag(now.tm_wday, 1);
    return alarm;
}

}  // namespace

TEST_F(AlarmCheck, TheAlarmOfThisMinuteOnThisDayRingsOnceInIt) {
    AtThisMinute([](const std::tm& now) { return std::vector<CAlarm>{ThisMinute(now, false), ThisMinute(now)}; },
                 [](const std::tm& now) {
                     Tick();
                     Tick();
                     EXPECT_EQ(std::vector<long long>{LocalMinuteOf(now)}, g_ringGuard.rang);
                 });
}

TEST_F(AlarmCheck, AlarmsOfOtherDaysAndMinutesRingNothing) {
    AtThisMinute(
        [](const std::tm& now) {
            CAlarm otherDays(now.tm_hour, now.tm_min, 1, 1, 1, 1, 1, 1, 1, true, kNoSound);
            otherDays.SetDayFlag(now.tm_wday, 0);
            CAlarm nextMinute = ThisMinute(now);
            nextMinute.m_minute = (now.tm_min + 1) % 60;
            return std::vector<CAlarm>{otherDays, nextMinute, ThisMinute(now, false)};
        },
        [](const std::tm&) {
            Tick();
            EXPECT_TRUE(g_ringGuard.rang.empty());
            EXPECT_TRUE(g_ringGuard.ticked);
        });
}
