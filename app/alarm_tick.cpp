#include "app/alarm_tick.h"

#include <ctime>
#include <string>
#include <vector>

#include "app/alarm_due.h"
#include "app/tray_icon.h"
#include "common/guarded_call.h"
#include "common/message_box.h"
#include "common/sound.h"
#include "model/alarm.h"
#include "res/resource.h"

int g_ringGuard = 0;

namespace {

constexpr UINT kRingGuardMs = 60000;

// When the last check tick ran, by the system's tick count, which goes on
// counting while the PC sleeps or hibernates; no tick yet when unset.
bool s_ticked = false;
ULONGLONG s_lastTickMs = 0;

// The clock: the local time now, under the zone and daylight-saving rules in
// force at this very moment, and its millisecond. Read anew on every call, so
// a new zone counts at once; no environment variable (such as TZ) moves it.
// tm_yday is not filled in, and tm_isdst is -1 (not known).
std::tm ReadLocalTime(int* millisecond = nullptr) {
    SYSTEMTIME local{};
    GetLocalTime(&local);
    std::tm now{};
    now.tm_year = local.wYear - 1900;
    now.tm_mon = local.wMonth - 1;
    now.tm_mday = local.wDay;
    now.tm_wday = local.wDayOfWeek;  // 0 is Sunday, as in tm_wday
    now.tm_hour = local.wHour;
    now.tm_min = local.wMinute;
    now.tm_sec = local.wSecond;
    now.tm_isdst = -1;
    if (millisecond != nullptr) *millisecond = local.wMilliseconds;
    return now;
}

// After a gap between two check ticks (the PC slept), tells in a balloon from
// the tray icon which alarms would have rung meanwhile. They are not rung late.
void TellMissedAlarms() {
    const ULONGLONG nowMs = GetTickCount64();
    const ULONGLONG elapsedMs = nowMs - s_lastTickMs;
    const bool gap = s_ticked && elapsedMs > kTickGapMs;
    s_ticked = true;
    s_lastTickMs = nowMs;
    if (!gap) return;
    int millisecond = 0;
    const std::tm now = ReadLocalTime(&millisecond);
    const std::vector<int> missed = FindMissedAlarms(g_alarms, now, millisecond, elapsedMs);
    if (missed.empty()) return;
    std::size_t more = 0;
    std::wstring times = NameMissedTimes(missed, &more);
    if (more > 0) times += FillMessage(LoadText(IDS_MISSED_MORE), {std::to_wstring(more)});
    ShowTrayBalloon(LoadText(IDS_APP_TITLE), FillMessage(LoadText(IDS_MISSED_ALARMS), {times}));
}

void RunAlarmTick(HWND window, UINT_PTR timerId) {
    // Every check tick counts for the gap, while the ring guard is set too;
    // a notice that fails costs no ring.
    if (timerId != IDT_RING_GUARD) CallGuarded(TellMissedAlarms);
    const AlarmTickStep step =
        DecideAlarmTick(g_ringGuard, timerId == IDT_RING_GUARD, g_alarms, IsAlarmDue);
    if (step.stopGuardTimer) KillTimer(window, IDT_RING_GUARD);
    // Asynchronous and once: a new sound replaces the one playing.
    if (step.ring) PlaySoundFile(g_alarms[step.ringIndex].m_sound.c_str());
    g_ringGuard = step.ringGuard;
    if (step.startGuardTimer) SetTimer(window, IDT_RING_GUARD, kRingGuardMs, AlarmTimerProc);
}

}  // namespace

bool IsAlarmDue(std::size_t index) { return IsAlarmDueAt(g_alarms[index], ReadLocalTime()); }

void CALLBACK AlarmTimerProc(HWND window, UINT, UINT_PTR timerId, DWORD) {
    CallGuarded([&] { RunAlarmTick(window, timerId); });
}
