#include "model/alarm.h"

#include <cwchar>

std::vector<CAlarm> g_alarms;

CAlarm::CAlarm()
    : m_hour(0), m_minute(0), m_sun(1), m_mon(1), m_tue(1), m_wed(1), m_thu(1),
      m_fri(1), m_sat(1), m_on(true) {}

CAlarm::CAlarm(int hour, int minute, int sun, int mon, int tue, int wed, int thu,
               int fri, int sat, bool on, const std::wstring& sound)
    : m_hour(hour), m_minute(minute), m_sun(sun), m_mon(mon), m_tue(tue),
      m_wed(wed), m_thu(thu), m_fri(fri), m_sat(sat), m_on(on), m_sound(sound) {}

namespace {

// Copies a text into the caller's buffer, cut to fit, always terminated.
void CopyCellText(wchar_t* buffer, std::size_t capacity, const wchar_t* text) {
    if (buffer == nullptr || capacity == 0) return;
    std::size_t i = 0;
    for (; i + 1 < capacity && text[i] != L'\0'; ++i) buffer[i] = text[i];
    buffer[i] = L'\0';
}

}  // namespace

void CAlarm::FormatTime(wchar_t* buffer, std::size_t capacity) const {
    // Large enough for two full ints, so the print itself is never cut.
    wchar_t text[32];
    std::swprintf(text, sizeof text / sizeof text[0], L"%02d:%02d", m_hour, m_minute);
    CopyCellText(buffer, capacity, text);
}

void CAlarm::FormatOnOff(wchar_t* buffer, std::size_t capacity) const {
    CopyCellText(buffer, capacity, m_on ? L"ON" : L"OFF");
}

void CAlarm::FormatDay(wchar_t* buffer, std::size_t capacity, int day) const {
    if (day < 0 || day > 6) return;
    CopyCellText(buffer, capacity, DayFlag(day) != 0 ? L"\u25CB" : L"");
}

int CAlarm::DayFlag(int day) const {
    switch (day) {
    case 0: return m_sun;
    case 1: return m_mon;
    case 2: return m_tue;
    case 3: return m_wed;
    case 4: return m_thu;
    case 5: return m_fri;
    case 6: return m_sat;
    default: return 0;
    }
}

void CAlarm::SetDayFlag(int day, int flag) {
    switch (day) {
    case 0: m_sun = flag; break;
    case 1: m_mon = flag; break;
    case 2: m_tue = flag; break;
    case 3: m_wed = flag; break;
    case 4: m_thu = flag; break;
    case 5: m_fri = flag; break;
    case 6: m_sat = flag; break;
    default: break;
    }
}
