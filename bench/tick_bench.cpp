// Cost of one check tick of the alarm timer with 4, 100 and 10,000 alarms,
// none due, so every alarm is tested; the last column is the bare scan with
// one reading of the clock, to tell the ring guard's share.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <ctime>

#include "app/alarm_due.h"
#include "app/alarm_tick.h"
#include "model/alarm.h"

// Keeps the scan's result alive, so the loop is not optimised away.
volatile std::size_t g_dueSeen;

namespace {

template <class F>
double MicrosecondsPerCall(F call) {
    using Clock = std::chrono::steady_clock;
    call();
    long calls = 0;
    const auto start = Clock::now();
    double seconds = 0;
    do {
        call();
        ++calls;
        seconds = std::chrono::duration<double>(Clock::now() - start).count();
    } while (seconds < 0.5 || calls < 5);
    return 1e6 * seconds / calls;
}

}  // namespace

int main() {
    std::printf("%-8s %16s %16s %16s\n", "alarms", "tick us", "per alarm us", "bare scan us");
    for (std::size_t count : {4u, 100u, 10000u}) {
        g_alarms.assign(count, CAlarm(25, 0, 1, 1, 1, 1, 1, 1, 1, true, L"chimes.wav"));  // never due
        g_ringGuard = RingGuard{};
        const double tick = MicrosecondsPerCall(
            [] { AlarmTimerProc(nullptr, WM_TIMER, IDT_ALARM_CHECK, 0); });
        const double once = MicrosecondsPerCall([] {
            SYSTEMTIME now{};
            GetLocalTime(&now);
            std::tm local{};
            local.tm_wday = now.wDayOfWeek;
            local.tm_hour = now.wHour;
            local.tm_min = now.wMinute;
            std::size_t due = 0;
            for (const CAlarm& alarm : g_alarms) due += IsAlarmDueAt(alarm, local);
            g_dueSeen = due;
        });
        std::printf("%-8zu %16.2f %16.3f %16.2f\n", count, tick, tick / count, once);
    }
    return 0;
}
