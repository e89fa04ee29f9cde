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

RingGuard g_ringGuard;

namespace {

// The local time now, under the zone and daylight-saving rules in force at
// this very moment; no environment variable (such as TZ) moves it.
std::tm ReadLocalTime() {
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
    return now;
}

// Alarms a sleep or a clock set forward kept from ringing are told in a
// balloon from the tray icon, never rung late.
void TellMissedAlarms(const std::vector<int>& missed) {
    std::size_t more = 0;
    std::wstring times = NameMissedTimes(missed, &more);
    if (more > 0) times += FillMessage(LoadText(IDS_MISSED_MORE), {std::to_wstring(more)});
    ShowTrayBalloon(LoadText(IDS_APP_TITLE), FillMessage(LoadText(IDS_MISSED_ALARMS), {times}));
}

void RunAlarmTick() {
    const AlarmTickStep step = DecideAlarmTick(g_ringGuard, ReadLocalTime(), g_alarms);
    // Asynchronous and once: a new sound replaces the one playing.
    if (step.ring) PlaySoundFile(g_alarms[step.ringIndex].m_sound.c_str());
    // A notice that fails costs no ring.
    if (!step.missed.empty()) CallGuarded([&step] { TellMissedAlarms(step.missed); });
}

}  // namespace

void CALLBACK AlarmTimerProc(HWND, UINT, UINT_PTR, DWORD) { CallGuarded(RunAlarmTick); }
