#include "app/alarm_tick.h"

#include <mmsystem.h>

#include <ctime>

#include "app/alarm_due.h"
#include "app/guarded_call.h"
#include "app/system_dlls.h"
#include "model/alarm.h"

int g_ringGuard = 0;

namespace {

constexpr UINT kRingGuardMs = 60000;

// The current local time under the system's zone and daylight-saving rules.
bool ReadLocalTime(std::tm* now) {
    const __time64_t seconds = _time64(nullptr);
    return _localtime64_s(now, &seconds) == 0;
}

void RunAlarmTick(HWND window, UINT_PTR timerId) {
    const AlarmTickStep step =
        DecideAlarmTick(g_ringGuard, timerId == IDT_RING_GUARD, g_alarms, IsAlarmDue);
    if (step.stopGuardTimer) KillTimer(window, IDT_RING_GUARD);
    // Asynchronous and once: a new sound replaces the one playing.
    if (step.ring) {
        DeferredPlaySoundW(g_alarms[step.ringIndex].m_sound.c_str(), nullptr, SND_FILENAME | SND_ASYNC);
    }
    g_ringGuard = step.ringGuard;
    if (step.startGuardTimer) SetTimer(window, IDT_RING_GUARD, kRingGuardMs, AlarmTimerProc);
}

}  // namespace

bool IsAlarmDue(std::size_t index) {
    std::tm now{};
    if (!ReadLocalTime(&now)) return false;
    return IsAlarmDueAt(g_alarms[index], now);
}

void CALLBACK AlarmTimerProc(HWND window, UINT, UINT_PTR timerId, DWORD) {
    CallGuarded([&] { RunAlarmTick(window, timerId); });
}
