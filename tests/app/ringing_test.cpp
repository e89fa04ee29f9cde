// Ringing: velmora started on alarms due in the current minute, or given one
// in its dialogs, waited for in real time until that minute has passed; and
// rung by the system's clock: a new time zone, a TZ variable, a sleep.
//
// Run with Wine's "mmio" debug channel on and its output in the file named by
// VELMORA_WINE_LOG (tests/app/run_with_wine_log.sh): each sound that
// PlaySoundW plays is opened through mmio and logged as MMIO_Open ("name", ...).
// Run in a time zone of its own, UTC at first, whose zone file the tests may
// overwrite at VELMORA_ZONE_FILE (tests/app/run_in_own_zone.sh).
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
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

// The default alarms' chimes.wav --------------------------------------------------
// Windows keeps it in its Media folder, which PlaySound's own search passes over.

// A file of the Windows folder's Media folder in this prefix copy, there for
// the test's length: removed, with the folder if the test made it, however it ends.
struct MediaFile {
    std::wstring folder, file;
    bool made = false;
    explicit MediaFile(const wchar_t* name) {
        wchar_t windows[MAX_PATH] = L"";
        GetWindowsDirectoryW(windows, MAX_PATH);
        folder = std::wstring(windows) + L"\\Media";
        file = folder + L"\\" + name;
        made = CreateDirectoryW(folder.c_str(), nullptr) != 0;
        WriteWave(file);
    }
    ~MediaFile() {
        DeleteFileW(file.c_str());
        if (made) RemoveDirectoryW(folder.c_str());
    }
};

TEST_F(Ringing, DefaultSoundRingsFromTheMediaFolderUnlessOneLiesBesideTheProgram) {
    wchar_t logPath[MAX_PATH] = L"", system[MAX_PATH] = L"";
    ASSERT_NE(0u, GetEnvironmentVariableW(L"VELMORA_WINE_LOG", logPath, MAX_PATH));
    GetSystemDirectoryW(system, MAX_PATH);
    ASSERT_FALSE(Exists(std::wstring(system) + L"\\chimes.wav") || Exists(std::wstring(system) + L"\\..\\chimes.wav"));
    const MediaFile chimes(L"chimes.wav");
    std::wstring logged = L"\"";  // as Wine's log quotes a path: its backslashes doubled
    for (const wchar_t c : chimes.file) logged += c == L'\\' ? std::wstring(L"\\\\") : std::wstring(1, c);
    logged += L'"';
    for (const bool beside : {false, true}) {
        if (beside) WriteWave(folder_ / L"chimes.wav");
        std::tm now = LocalTimeNow();
        if (now.tm_sec >= 45) Sleep((61 - now.tm_sec) * 1000), now = LocalTimeNow();
        WriteAlarmFile({CAlarm(now.tm_hour, now.tm_min, 1, 1, 1, 1, 1, 1, 1, true, L"chimes.wav")});
        const std::size_t logStart = ReadBytes(logPath).size();
        const auto opens = [&](const std::wstring& name) { return CountOpens(ReadBytes(logPath).substr(logStart), name); };
        Velmora velmora(folder_.Path());
        ASSERT_TRUE(WaitFor([&] { return opens(L"chimes.wav") > 0; }, kStartMs)) << "beside: " << beside;
        EXPECT_EQ(beside ? 0 : 1, opens(logged)) << "beside: " << beside;
        EXPECT_EQ(beside ? 1 : 0, opens(L"\"chimes.wav\"")) << "beside: " << beside;
    }
}

}  // namespace

// By the system's clock --------------------------------------------------------------

namespace {

constexpr int kDay = 24 * 60;

// The UTC time of day in minutes, and its second.
int UtcMinuteOfDay(int* second = nullptr) {
    SYSTEMTIME utc{};
    GetSystemTime(&utc);
    if (second != nullptr) *second = utc.wSecond;
    return utc.wHour * 60 + utc.wMinute;
}

// How many minutes the local clock is ahead of UTC, modulo a day.
int AheadOfUtc() {
    SYSTEMTIME utc{}, local{};
    do {
        GetSystemTime(&utc);
        GetLocalTime(&local);
    } while (utc.wSecond != local.wSecond);
    return (local.wHour * 60 + local.wMinute - utc.wHour * 60 - utc.wMinute + kDay) % kDay;
}

class Clock : public EndToEnd {
protected:
    // The next UTC minute of the day, with 20 s left of this one for velmora
    // to start and tick.
    static int ComingMinute() {
        int second = 0;
        const int now = UtcMinuteOfDay(&second);
        if (second < 40) return (now + 1) % kDay;
        Sleep((61 - second) * 1000);
        return (UtcMinuteOfDay() + 1) % kDay;
    }
    // Adds an alarm, every day, at the UTC minute on a clock `ahead` minutes
    // ahead of UTC; returns the name of its sound.
    std::wstring AlarmAt(int minute, int ahead, const wchar_t* name) {
        const std::wstring sound = std::wstring(name) + L"-" + folder_.Tag() + L".wav";
        WriteWave(folder_ / sound.c_str());
        const int local = (minute + ahead) % kDay;
        alarms_.emplace_back(local / 60, local % 60, 1, 1, 1, 1, 1, 1, 1, true, folder_ / sound.c_str());
        return sound;
    }
    // Waits until the minute after minute has seen two check ticks; false
    // when velmora ended first.
    static bool WaitPastMinute(const Velmora& velmora, int minute) {
        const auto past = [minute] {
            int second = 0;
            return UtcMinuteOfDay(&second) == (minute + 1) % kDay && second >= 4;
        };
        WaitFor([&] { return past() || !velmora.Running(); }, 130000);
        return velmora.Running() && past();
    }
    int Plays(const std::wstring& sound) {
        wchar_t log[MAX_PATH] = L"";
        GetEnvironmentVariableW(L"VELMORA_WINE_LOG", log, MAX_PATH);
        return CountOpens(ReadBytes(log), sound);
    }

    std::vector<CAlarm> alarms_;
};

// Sends a signal to velmora's Wine process, the velmora.exe of this test
// program's prefix: STOP freezes it as a sleeping PC would, CONT thaws it.
// Wine runs the Linux shell that sends it; true once it was sent. The file
// that tells lies in this program's own prefix copy: under /tmp, named by the
// Wine process id, it was shared with the same test of another run, whose
// wineserver hands out the same small ids.
bool SignalVelmora(const std::wstring& signal) {
    wchar_t prefix[MAX_PATH] = L"";
    const DWORD length = GetEnvironmentVariableW(L"WINEPREFIX", prefix, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    const std::wstring done = std::wstring(prefix) + L"/velmora-signal-" + signal;
    std::wstring command = L"/bin/sh -c \"for p in $(pgrep -x velmora.exe); do grep -qzxF WINEPREFIX=$WINEPREFIX "
                           L"/proc/$p/environ && kill -" + signal + L" $p && echo $p; done >" + done + L".part; mv " +
                           done + L".part " + done + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    std::wstring file = L"Z:" + done;
    std::replace(file.begin(), file.end(), L'/', L'\\');
    // A Linux program gives Wine no process to wait for: its file tells.
    const bool sent = CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                     &started) && WaitFor([&] { return Exists(file); }, kEndMs) && !ReadBytes(file).empty();
    DeleteFileW(file.c_str());
    return sent;
}

}  // namespace

TEST_F(Clock, ANewTimeZoneCountsAtOnceAndATzVariableMovesNothing) {
    wchar_t zone[MAX_PATH] = L"";
    if (GetEnvironmentVariableW(L"VELMORA_ZONE_FILE", zone, MAX_PATH) == 0) GTEST_SKIP() << "no time zone of its own";
    ASSERT_EQ(0, AheadOfUtc());
    // Started under UTC, with TZ=JST-9 (UTC+9) in its Windows environment
    // alone, as MSYS2's shell leaves it; then the zone becomes India's (+5:30).
    const int due = ComingMinute();
    const std::wstring india = AlarmAt(due, 330, L"india"), utc = AlarmAt(due, 0, L"utc"),
                       tz = AlarmAt(due, 540, L"tz");
    WriteAlarmFile(alarms_);
    const std::wstring environment = EnvironmentBlock({L"TZ=JST-9"});
    Velmora velmora(folder_.Path(), environment.c_str());
    ASSERT_TRUE(velmora.WaitUntilServing());
    Sleep(3000);  // it ticked under UTC
    const std::string utcZone = ReadBytes(zone);
    ASSERT_TRUE(WriteBytes(zone, ReadBytes(L"Z:\\usr\\share\\zoneinfo\\Asia\\Kolkata")));
    ASSERT_TRUE(WaitFor([] { return AheadOfUtc() == 330; }, kEndMs)) << "the zone did not change";
    ASSERT_NE(due, UtcMinuteOfDay()) << "the zone changed too late";
    EXPECT_TRUE(WaitPastMinute(velmora, due));
    WriteBytes(zone, utcZone);
    EXPECT_EQ(1, Plays(india)) << "the alarm of the new zone's minute";
    EXPECT_EQ(0, Plays(utc)) << "the alarm of the zone left behind";
    EXPECT_EQ(0, Plays(tz)) << "the alarm of TZ's minute";
}

TEST_F(Clock, AnAlarmASleepKeptFromRingingIsToldAfterTheWakeNotRungLate) {
    const int ahead = AheadOfUtc(), due = ComingMinute();
    const std::wstring slept = AlarmAt(due, ahead, L"slept");
    WriteAlarmFile(alarms_);
    Velmora velmora(folder_.Path());
    ASSERT_TRUE(velmora.WaitUntilServing());
    Sleep(3000);  // it ticked before the sleep
    ASSERT_TRUE(SignalVelmora(L"STOP"));
    ASSERT_NE(due, UtcMinuteOfDay()) << "frozen too late";
    EXPECT_FALSE(velmora.Send(WM_NULL, 0, 0, 1000)) << "velmora answered while frozen";
    const bool overslept = WaitFor([&] { return UtcMinuteOfDay() == (due + 1) % kDay; }, 130000);
    ASSERT_TRUE(SignalVelmora(L"CONT"));
    ASSERT_TRUE(overslept);
    // Wine's notification area shows a balloon as a tooltip window of its own.
    wchar_t told[512] = L"";
    DWORD_PTR length = 0;
    WaitFor([&] {
        for (HWND tip : TopLevelWindows(0, L"tooltips_class32", true)) {
            SendMessageTimeoutW(tip, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(told), SMTO_BLOCK, kEndMs, &length);
        }
        return told[0] != L'\0';
    }, kEndMs);
    wchar_t time[8];
    std::swprintf(time, 8, L"%02d:%02d", (due + ahead) % kDay / 60, (due + ahead) % 60);
    EXPECT_EQ(L"PC がスリープしていたため、次のアラームは鳴りませんでした: " + std::wstring(time) +
                  L"\nアラームは PC が起動している間だけ鳴ります。",
              std::wstring(told));
    EXPECT_TRUE(WaitPastMinute(velmora, due));
    EXPECT_EQ(0, Plays(slept)) << "rung late";
}
