// Alarm lists and alarm file bytes made by hand for tests.
#pragma once

#include <random>
#include <string>
#include <vector>

#include "model/alarm.h"

// The path bytes of an ASCII text as the alarm file stores them: each
// character followed by a zero byte.
inline std::string Units(const std::string& ascii) {
    std::string bytes;
    for (char c : ascii) {
        bytes.push_back(c);
        bytes.push_back('\0');
    }
    return bytes;
}

// The 85-byte file of one alarm at 06:45, Monday to Friday, on, "chimes.wav".
inline std::string WorkedExampleFile() {
    return "22 serialization::archive 10 0 0 1 0 0 0 6 45 0 1 1 1 1 1 0 1 10 " + Units("chimes.wav");
}

// A random list exercising every field: any int, both switch states, empty,
// long and non-ASCII paths, units whose bytes are space, zero, 0x0A, 0x0D, 0x1A.
inline std::vector<CAlarm> RandomAlarms(std::mt19937& random, std::size_t count) {
    static const wchar_t kAwkward[] = {L' ', L'\0', L'\n', L'\r', 0x1A, 0x4E0A, 0x4F1A, 0x30AB,
                                       0x0A0D, 0x0D0A, 0x1A1A, 0xFFFF, L'a', L'\\', 0x25CB};
    std::uniform_int_distribution<int> anyInt(-2147483647 - 1, 2147483647);
    std::uniform_int_distribution<int> small(-3, 70);
    std::uniform_int_distribution<int> length(0, 40);
    std::uniform_int_distribution<int> pick(0, sizeof kAwkward / sizeof kAwkward[0] - 1);
    std::vector<CAlarm> list;
    for (std::size_t i = 0; i < count; ++i) {
        auto value = [&] { return random() % 4 == 0 ? anyInt(random) : small(random); };
        CAlarm a(value(), value(), value(), value(), value(), value(), value(), value(), value(),
                 random() % 2 == 0, L"");
        const int n = random() % 10 == 0 ? 300 : length(random);
        for (int k = 0; k < n; ++k) a.m_sound.push_back(kAwkward[pick(random)]);
        list.push_back(a);
    }
    return list;
}

inline bool SameAlarm(const CAlarm& a, const CAlarm& b) {
    return a.m_hour == b.m_hour && a.m_minute == b.m_minute && a.m_sun == b.m_sun &&
           a.m_mon == b.m_mon && a.m_tue == b.m_tue && a.m_wed == b.m_wed && a.m_thu == b.m_thu &&
           a.m_fri == b.m_fri && a.m_sat == b.m_sat && a.m_on == b.m_on && a.m_sound == b.m_sound;
}

inline bool SameAlarms(const std::vector<CAlarm>& a, const std::vector<CAlarm>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (!SameAlarm(a[i], b[i])) return false;
    return true;
}
