// The alarm record and the process-wide alarm list.
// Portable: no platform headers, so the model builds and is tested natively too.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include <boost/serialization/split_member.hpp>

#include "model/utf16_text.h"

// One alarm: a time of day, the weekdays it rings on, a switch and a WAV file.
// A plain value: copies share nothing. The record checks no range; an hour
// above 23 is kept as given and is simply never due.
class CAlarm {
public:
    CAlarm();
    CAlarm(int hour, int minute, int sun, int mon, int tue, int wed, int thu,
           int fri, int sat, bool on, const std::wstring& sound);

    // Cell texts of the alarm list view. Each writes a terminated text of at
    // most capacity - 1 characters into the caller's buffer.
    void FormatTime(wchar_t* buffer, std::size_t capacity) const;   // "08:30"
    void FormatOnOff(wchar_t* buffer, std::size_t capacity) const;  // "ON" / "OFF"
    // "○" when the flag of day 0 (Sunday) .. 6 (Saturday) is nonzero, else "".
    // Any other day index leaves the buffer as it was.
    void FormatDay(wchar_t* buffer, std::size_t capacity, int day) const;

    // The day flag of day 0 (Sunday) .. 6 (Saturday); 0 for any other index.
    int DayFlag(int day) const;
    void SetDayFlag(int day, int flag);

    int m_hour;
    int m_minute;
    int m_sun;
    int m_mon;
    int m_tue;
    int m_wed;
    int m_thu;
    int m_fri;
    int m_sat;
    bool m_on;
    std::wstring m_sound;

    // The eleven fields in the alarm file's order; the path as UTF-16 units.
    template <class Archive>
    void save(Archive& ar, unsigned int /*version*/) const {
        const Utf16Text sound(m_sound);
        ar << m_hour << m_minute << m_sun << m_mon << m_tue << m_wed << m_thu
           << m_fri << m_sat << m_on << sound;
    }

    // Reads into a copy and takes it over only when every field has been read,
    // so a fault in the middle of a record never leaves a half-read alarm.
    template <class Archive>
    void load(Archive& ar, unsigned int /*version*/) {
        CAlarm read;
        Utf16Text sound;
        ar >> read.m_hour >> read.m_minute >> read.m_sun >> read.m_mon >>
            read.m_tue >> read.m_wed >> read.m_thu >> read.m_fri >>
            read.m_sat >> read.m_on >> sound;
        read.m_sound = sound.ToWide();
        *this = std::move(read);
        ++ar.template get_helper<WholeAlarmsRead>().count;
    }
    BOOST_SERIALIZATION_SPLIT_MEMBER()

    // Counts, per input archive, the alarms read whole so far.
    struct WholeAlarmsRead {
        std::size_t count = 0;
    };
};

// The one alarm list of the process. Its order is the order of the list view
// rows, of the alarm file and of the alarm check; an alarm is known by its index.
extern std::vector<CAlarm> g_alarms;
