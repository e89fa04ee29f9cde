// The alarm record: construction, value semantics and the cell texts.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "model/alarm.h"

namespace {

std::wstring Time(const CAlarm& a) {
    wchar_t buffer[64];
    a.FormatTime(buffer, 64);
    return buffer;
}

std::wstring OnOff(const CAlarm& a) {
    wchar_t buffer[64];
    a.FormatOnOff(buffer, 64);
    return buffer;
}

std::wstring Day(const CAlarm& a, int day) {
    wchar_t buffer[64] = L"untouched";
    a.FormatDay(buffer, 64, day);
    return buffer;
}

std::wstring Days(const CAlarm& a) {
    std::wstring marks;
    for (int day = 0; day < 7; ++day) marks += Day(a, day).empty() ? L"-" : Day(a, day);
    return marks;
}

}  // namespace

TEST(Alarm, DefaultIsMidnightEveryDayOnWithoutSound) {
    const CAlarm a;
    EXPECT_EQ(L"00:00", Time(a));
    EXPECT_EQ(L"ON", OnOff(a));
    EXPECT_EQ(L"○○○○○○○", Days(a));
    EXPECT_TRUE(a.m_sound.empty());
}

TEST(Alarm, FullConstructorSetsEveryFieldInOrder) {
    const CAlarm a(7, 5, 10, 11, 12, 13, 14, 15, 16, false, L"x.wav");
    EXPECT_EQ(7, a.m_hour);
    EXPECT_EQ(5, a.m_minute);
    const int flags[7] = {a.m_sun, a.m_mon, a.m_tue, a.m_wed, a.m_thu, a.m_fri, a.m_sat};
    for (int day = 0; day < 7; ++day) {
        EXPECT_EQ(10 + day, flags[day]);
        EXPECT_EQ(10 + day, a.DayFlag(day));
    }
    EXPECT_FALSE(a.m_on);
    EXPECT_EQ(L"x.wav", a.m_sound);
}

TEST(Alarm, TimeIsTwoDigitsAtLeastEach) {
    const struct { int hour, minute; const wchar_t* text; } cases[] = {
        {8, 30, L"08:30"}, {0, 0, L"00:00"}, {17, 5, L"17:05"},
        {123, 4567, L"123:4567"}, {30, 99, L"30:99"}, {-1, 5, L"-1:05"},
    };
    for (const auto& c : cases) {
        CAlarm a;
        a.m_hour = c.hour;
        a.m_minute = c.minute;
        EXPECT_EQ(c.text, Time(a)) << c.hour << ":" << c.minute;
    }
}

TEST(Alarm, CellTextsAreCutToTheBufferAndTerminated) {
    const CAlarm a(12, 34, 1, 1, 1, 1, 1, 1, 1, false, L"");
    wchar_t buffer[4] = {L'x', L'x', L'x', L'x'};
    a.FormatTime(buffer, 3);
    EXPECT_EQ(std::wstring(L"12"), buffer);
    EXPECT_EQ(L'x', buffer[3]);  // nothing written past the capacity
    a.FormatOnOff(buffer, 2);
    EXPECT_EQ(std::wstring(L"O"), buffer);
    wchar_t one[1] = {L'x'};
    a.FormatDay(one, 1, 0);
    EXPECT_EQ(L'\0', one[0]);
}

TEST(Alarm, OffAlarmStillShowsItsDays) {
    const CAlarm a(7, 5, 0, 1, 0, 1, 0, 0, 0, false, L"chimes.wav");
    EXPECT_EQ(L"07:05", Time(a));
    EXPECT_EQ(L"OFF", OnOff(a));
    EXPECT_EQ(L"-○-○---", Days(a));
}

TEST(Alarm, AnyNonzeroFlagShowsTheMark) {
    const CAlarm a(0, 0, 2, -1, 0, 0, 0, 0, 0, true, L"");
    EXPECT_EQ(L"○○-----", Days(a));
}

TEST(Alarm, DayOutsideTheWeekLeavesTheBufferAsItWas) {
    const CAlarm a;
    EXPECT_EQ(L"untouched", Day(a, -1));
    EXPECT_EQ(L"untouched", Day(a, 7));
    EXPECT_EQ(0, a.DayFlag(7));
}

TEST(Alarm, SetDayFlagAddressesSundayToSaturday) {
    CAlarm a(0, 0, 0, 0, 0, 0, 0, 0, 0, true, L"");
    for (int day = 0; day < 7; ++day) a.SetDayFlag(day, day + 1);
    a.SetDayFlag(7, 99);
    a.SetDayFlag(-1, 99);
    EXPECT_EQ(1, a.m_sun);
    EXPECT_EQ(4, a.m_wed);
    EXPECT_EQ(7, a.m_sat);
}

TEST(Alarm, CopiesShareNothing) {
    CAlarm a(1, 2, 1, 0, 1, 0, 1, 0, 1, true, L"a.wav");
    CAlarm b = a;
    b.m_sound += L"x";
    b.m_mon = 5;
    EXPECT_EQ(L"a.wav", a.m_sound);
    EXPECT_EQ(0, a.m_mon);
    CAlarm c;
    c = a;
    EXPECT_EQ(L"○-○-○-○", Days(c));
    EXPECT_EQ(L"a.wav", c.m_sound);
}

TEST(AlarmList, ExchangeThroughATemporaryMovesEveryField) {
    std::vector<CAlarm> list = {CAlarm(6, 0, 1, 0, 0, 0, 0, 0, 0, true, L"a.wav"),
                                CAlarm(7, 0, 0, 0, 0, 0, 0, 0, 1, false, L"b.wav")};
    const CAlarm temp = list[0];
    list[0] = list[1];
    list[1] = temp;
    EXPECT_EQ(L"07:00", Time(list[0]));
    EXPECT_EQ(L"------○", Days(list[0]));
    EXPECT_EQ(L"OFF", OnOff(list[0]));
    EXPECT_EQ(L"b.wav", list[0].m_sound);
    EXPECT_EQ(L"○------", Days(list[1]));
    EXPECT_EQ(L"a.wav", list[1].m_sound);
}

TEST(AlarmList, ErasingTheFirstKeepsTheOthersWhole) {
    std::vector<CAlarm> list = {CAlarm(1, 0, 1, 1, 1, 1, 1, 1, 1, true, L"1"),
                                CAlarm(2, 0, 0, 1, 0, 0, 0, 0, 0, true, L"2"),
                                CAlarm(3, 0, 0, 0, 0, 0, 0, 0, 1, false, L"3")};
    list.erase(list.begin());
    ASSERT_EQ(2u, list.size());
    EXPECT_EQ(L"02:00", Time(list[0]));
    EXPECT_EQ(L"-○-----", Days(list[0]));
    EXPECT_EQ(L"03:00", Time(list[1]));
    EXPECT_EQ(L"------○", Days(list[1]));
    EXPECT_EQ(L"OFF", OnOff(list[1]));
}
