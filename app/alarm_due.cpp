#include "app/alarm_due.h"

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
