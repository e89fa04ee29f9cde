// Ringing: velmora started on alarms due in the current minute, or given one
// in its dialogs, waited for in real time until that minute has passed.
//
// Run with Wine's "mmio" debug channel on and its output in the file named by
// VELMORA_WINE_LOG (tests/app/run_with_wine_log.sh): each sound that
// PlaySoundW plays is opened through mmio and logged as MMIO_Open ("name", ...).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "e2e_harness.h"
#include "model/alarm.h"
#include "model/alarm_archive.h"

using namespace e2e;

namespace {

int CountOpens(const std::string& log, const std::wstring& fileName) {
    const std::string name(fileName.begin(), fileName.end());  // ASCII names only
    int count = 0;
    for (std::size_t at = log.find("MMIO_Open"); at != std::string::npos; at = log.find("MMIO_Open", at + 1)) {
        const std::size_t lineEnd = log.find('\n', at);
        if (log.substr(at, lineEnd - at).find(name) != std::string::npos) ++count;
    }
    return count;
}

std::tm LocalTimeNow() {
    const __time64_t now = _time64(nullptr);
    std::tm local{};
    _localtime64_s(&local, &now);
    return local;
}

using Ringing = EndToEnd;

TEST_F(Ringing, AlarmOfTheMinutePlaysOnceAndOnlyTheFirstDueOneThatIsOn) {
    wchar_t logPath[MAX_PATH] = L"";
    ASSERT_NE(0u, GetEnvironmentVariableW(L"VELMORA_WINE_LOG", logPath, MAX_PATH))
        << "run through run_with_wine_log.sh, which logs Wine's mmio channel";

    // Enough of the minute must be left for the program to start and tick.
    std::tm now = LocalTimeNow();
    if (now.tm_sec >= 45) {
        Sleep((61 - now.tm_sec) * 1000);
        now = LocalTimeNow();
    }
    const std::wstring off = L"off-" + folder_.Tag() + L".wav";
    const std::wstring ring = L"ring-" + folder_.Tag() + L".wav";
    const std::wstring later = L"later-" + folder_.Tag() + L".wav";
    for (const std::wstring& name : {off, ring, later}) WriteWave(folder_ / name.c_str());
    CAlarm alarm(now.tm_hour, now.tm_min, 0, 0, 0, 0, 0, 0, 0, true, L"");
    alarm.SetDayFlag(now.tm_wday, 1);
    std::vector<CAlarm> alarms(3, alarm);
    alarms[0].m_on = false;  // due in all else, and first in the list
    alarms[0].m_sound = folder_ / off.c_str();
    alarms[1].m_sound = folder_ / ring.c_str();
    alarms[2].m_sound = folder_ / later.c_str();  // due too, but after the one that rings
    WriteAlarmFile(alarms);

    Velmora velmora(folder_.Path());
    ASSERT_NE(nullptr, velmora.WaitForMainWindow());
    // Watch the whole minute and two check ticks beyond it.
    const std::tm started = LocalTimeNow();
    ASSERT_EQ(now.tm_min, started.tm_min) << "the program started too late in the minute";
    // A velmora that ends meanwhile fails the test at once.
    ASSERT_FALSE(WaitFor([&] { return !velmora.Running(); }, (60 - started.tm_sec + 4) * 1000))
        << "velmora ended while its minute was watched, exit code 0x" << std::hex << velmora.WaitForExit(0);

    const std::string log = ReadBytes(logPath);
    EXPECT_EQ(1, CountOpens(log, ring));
    EXPECT_EQ(0, CountOpens(log, off));
    EXPECT_EQ(0, CountOpens(log, later));
}

// Adding an alarm in the settings dialogs -------------------------------------------
// The added alarm's minute is waited for and its sound looked for in the log.

TEST_F(Ringing, AlarmAddedInTheDialogsIsSavedAndRingsOnceInItsMinute) {
    wchar_t logPath[MAX_PATH] = L"";
    ASSERT_NE(0u, GetEnvironmentVariableW(L"VELMORA_WINE_LOG", logPath, MAX_PATH))
        << "run through run_with_wine_log.sh, which logs Wine's mmio channel";
    const std::size_t logStart = ReadBytes(logPath).size();
    auto opensOfChimes = [&] { return CountOpens(ReadBytes(logPath).substr(logStart), L"chimes.wav"); };

    // Only the added alarm may ring: the first sample alarm is switched off too.
    std::vector<CAlarm> alarms = SampleAlarms();
    alarms[0].m_on = false;
    WriteAlarmFile(alarms);
    WriteWave(folder_ / L"chimes.wav");  // the new alarm's sound, found in the working folder
    Velmora velmora(folder_.Path());
    const HWND window = velmora.WaitForMainWindow();
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(WaitFor([] { return TrayIconCount() == 1; }, kStartMs));

    PostMessageW(window, kTrayMessage, kTrayIconId, WM_LBUTTONDOWN);
    HWND list = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (list = ShownDialog(velmora.ProcessId(), L"アラームの設定")) != nullptr; },
                        kStartMs));
    const HWND listView = GetDlgItem(list, kAlarmListView);
    Cells rows = {
        {L"06:45", L"OFF", L"", L"○", L"○", L"○", L"○", L"○", L""},
        {L"21:05", L"OFF", L"○", L"", L"", L"", L"", L"", L"○"},
    };
    EXPECT_EQ(rows, ListViewCells(velmora.Process(), listView, 9));

    // The coming minute, with enough of this one left to add the alarm in it.
    std::tm now = LocalTimeNow();
    if (now.tm_sec >= 50) {
        Sleep((61 - now.tm_sec) * 1000);
        now = LocalTimeNow();
    }
    const int due = (now.tm_hour * 60 + now.tm_min + 1) % (24 * 60);
    ASSERT_TRUE(Click(list, kAddButton));
    HWND editor = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (editor = ShownDialog(velmora.ProcessId(), L"変更")) != nullptr; }, kStartMs));
    ASSERT_TRUE(SetText(editor, kHourEdit, std::to_wstring(due / 60).c_str()));
    ASSERT_TRUE(SetText(editor, kMinuteEdit, std::to_wstring(due % 60).c_str()));
    ASSERT_TRUE(Click(editor, IDOK));
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(editor); }, kEndMs));

    wchar_t time[8];
    std::swprintf(time, 8, L"%02d:%02d", due / 60, due % 60);
    rows.push_back({time, L"ON", L"○", L"○", L"○", L"○", L"○", L"○", L"○"});
    EXPECT_EQ(rows, ListViewCells(velmora.Process(), listView, 9));
    ASSERT_TRUE(Click(list, IDOK));
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(list); }, kEndMs));

    alarms.push_back(CAlarm(due / 60, due % 60, 1, 1, 1, 1, 1, 1, 1, true, L"chimes.wav"));
    const std::string expected = ToTextModeFileBytes(EncodeAlarmArchive(alarms));
    WaitFor([&] { return ReadBytes(AlarmFile()) == expected; }, kEndMs);
    EXPECT_EQ(expected, ReadBytes(AlarmFile()));

    // The time is read after the log, so it is never earlier than the ring.
    std::tm rang{};
    bool played = false;
    WaitFor(
        [&] {
            played = opensOfChimes() > 0;
            rang = LocalTimeNow();
            return played || !velmora.Running();
        },
        75000);
    ASSERT_TRUE(velmora.Running()) << "velmora ended, exit code 0x" << std::hex << velmora.WaitForExit(0);
    ASSERT_TRUE(played) << "the added alarm did not ring";
    EXPECT_EQ(due / 60, rang.tm_hour);
    EXPECT_EQ(due % 60, rang.tm_min);
    // Three more check ticks, all within its minute, ring nothing more.
    Sleep(6000);
    EXPECT_EQ(1, opensOfChimes());
    EXPECT_TRUE(velmora.Running());
}

}  // namespace
