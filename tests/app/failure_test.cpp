// When something goes wrong, the real velmora.exe tells the user and loses
// nothing: an alarm file it cannot use at start, saves that fail, a damaged
// file, a new alarm still in its editor when the program ends (the harness:
// e2e_harness.h).
//
// The failing saves are real faults, not a hook inside velmora.exe: the test
// program holds file.txt open without sharing, as a backup or antivirus
// program does, so velmora can neither read nor replace it.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "e2e_harness.h"
#include "failure_checks.h"
#include "model/alarm_archive.h"
#include "model/alarm_file.h"

using namespace e2e;

namespace {

const wchar_t kAlarmListDialog[] = L"#32770|アラームの設定";

// Start-up with a file it cannot use ---------------------------------------------

using StartFailure = EndToEnd;

TEST_F(StartFailure, FolderWhereTheFileShouldBeIsToldAndNothingIsWritten) {
    ASSERT_TRUE(CreateDirectoryW(AlarmFile().c_str(), nullptr));
    const std::set<std::wstring> before = ListFolder(folder_.Path());
    Velmora velmora(folder_.Path());
    const HWND box = WaitForMessageBox(velmora.ProcessId());
    ASSERT_NE(nullptr, box);
    const std::wstring text = MessageBoxText(box);
    ExpectFileAndReason(text, AlarmFile());
    EXPECT_NE(std::wstring::npos, text.find(L"書き込みのできるフォルダー")) << "what the user can do";
    EXPECT_EQ(std::vector<int>{IDOK}, ButtonIds(box));
    EXPECT_EQ(nullptr, velmora.MainWindow());
    EXPECT_EQ(0, TrayIconCount());

    // Its claim on the file is already given up: a second start is not handed
    // over to it, but finds the file unusable and says so itself.
    Velmora second(folder_.Path());
    const HWND secondBox = WaitForMessageBox(second.ProcessId());
    ASSERT_NE(nullptr, secondBox);
    ASSERT_TRUE(Click(secondBox, IDOK));
    EXPECT_EQ(1u, second.WaitForExit());

    ASSERT_TRUE(Click(box, IDOK));
    EXPECT_EQ(1u, velmora.WaitForExit());
    EXPECT_EQ(before, ListFolder(folder_.Path()));
    EXPECT_TRUE(GetFileAttributesW(AlarmFile().c_str()) & FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(StartFailure, FileHeldForTwoSecondsIsWaitedFor) {
    WriteAlarmFile(SampleAlarms());
    const std::string sample = ReadBytes(AlarmFile());
    HeldFile held(AlarmFile());
    ASSERT_TRUE(held.Held());
    Velmora velmora(folder_.Path());
    // The main window exists from the start of its creation, which is where
    // the file is read: from now on velmora is waiting for it.
    ASSERT_TRUE(WaitFor([&] { return velmora.MainWindow() != nullptr || !velmora.Running(); }, kStartMs));
    Sleep(2000);
    EXPECT_EQ(0, TrayIconCount()) << "started without the file";
    held.Release();
    ASSERT_TRUE(WaitFor([] { return TrayIconCount() == 1; }, kStartMs));
    EXPECT_EQ(nullptr, MessageBoxOf(velmora.ProcessId()));

    // It read the list: the exit writes the same list into a removed file.
    ASSERT_TRUE(DeleteFileW(AlarmFile().c_str()));
    ASSERT_TRUE(velmora.Command(kExitCommand));
    EXPECT_EQ(0u, velmora.WaitForExit());
    EXPECT_EQ(sample, ReadBytes(AlarmFile()));
}

TEST_F(StartFailure, FileHeldLongerIsToldAndNeverOverwritten) {
    WriteAlarmFile(SampleAlarms());
    const std::string sample = ReadBytes(AlarmFile());
    const std::set<std::wstring> before = ListFolder(folder_.Path());
    HeldFile held(AlarmFile());
    ASSERT_TRUE(held.Held());
    Velmora velmora(folder_.Path());
    const HWND box = WaitForMessageBox(velmora.ProcessId(), kStartMs + kEndMs);
    ASSERT_NE(nullptr, box);
    const std::wstring text = MessageBoxText(box);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), ExpectFileAndReason(text, AlarmFile()));
    EXPECT_NE(std::wstring::npos, text.find(L"プログラムを閉じて")) << "what the user can do";
    EXPECT_EQ(0, TrayIconCount());
    held.Release();

    ASSERT_TRUE(Click(box, IDOK));
    EXPECT_EQ(1u, velmora.WaitForExit());
    EXPECT_EQ(sample, ReadBytes(AlarmFile()));
    EXPECT_EQ(before, ListFolder(folder_.Path()));
}

// Saves that fail -----------------------------------------------------------------

// velmora runs on the sample list; then the file on disk is given other
// (whole) bytes and held, so every save fails, and whatever the file holds
// afterwards shows what was written.
class SaveFailure : public EndToEnd {
protected:
    void Start(Velmora& velmora) {
        WriteAlarmFile(SampleAlarms());
        sample_ = ReadBytes(AlarmFile());
        ASSERT_TRUE(velmora.WaitUntilServing());
        HoldOtherBytes();
    }
    void HoldOtherBytes() {
        ASSERT_TRUE(WriteBytes(AlarmFile(), DefaultFileBytes()));
        held_ = std::make_unique<HeldFile>(AlarmFile());
        ASSERT_TRUE(held_->Held());
        names_ = ListFolder(folder_.Path());
    }
    // The file is as the holder left it: whole, and no temporary file beside it.
    void ExpectUntouched() {
        EXPECT_EQ(DefaultFileBytes(), held_->Held() ? held_->Bytes() : ReadBytes(AlarmFile()));
        EXPECT_EQ(names_, ListFolder(folder_.Path()));
    }
    // After a save given up with Cancel: velmora runs on with its icon, and
    // the file and the folder are as they were.
    void ExpectStillServingUntouched(const Velmora& velmora) {
        EXPECT_TRUE(velmora.Running());
        EXPECT_EQ(1, TrayIconCount());
        ExpectUntouched();
    }
    // Waits for the box of a failed save (after velmora's own wait for the
    // file) and checks that it names the file and the reason.
    HWND WaitForSaveFailedBox(const Velmora& velmora) {
        const HWND box = WaitForMessageBox(velmora.ProcessId(), kStartMs + kEndMs);
        if (box != nullptr) {
            EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), ExpectFileAndReason(MessageBoxText(box), AlarmFile()));
        }
        return box;
    }
    HWND OpenAlarmList(const Velmora& velmora) {
        velmora.TrayMouse(WM_LBUTTONDOWN);
        return WaitForDialog(velmora.ProcessId(), kAlarmListCaption);
    }

    std::string sample_;
    std::unique_ptr<HeldFile> held_;
    std::set<std::wstring> names_;
};

TEST_F(SaveFailure, ListClosingAsksRetryOrCancelAndTheNextSaveWrites) {
    Velmora velmora(folder_.Path());
    ASSERT_NO_FATAL_FAILURE(Start(velmora));
    HWND list = OpenAlarmList(velmora);
    ASSERT_NE(nullptr, list);
    ASSERT_TRUE(Click(list, IDOK));
    HWND box = WaitForSaveFailedBox(velmora);
    ASSERT_NE(nullptr, box);
    EXPECT_EQ((std::vector<int>{IDCANCEL, IDRETRY}), SortedButtons(box));

    // Retry tries again, and fails again.
    ASSERT_TRUE(Click(box, IDRETRY));
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(box); }, kEndMs));
    box = WaitForSaveFailedBox(velmora);
    ASSERT_NE(nullptr, box);
    // Cancel: the list closes, velmora runs on with the list in memory.
    ASSERT_TRUE(Click(box, IDCANCEL));
    EXPECT_TRUE(WaitFor([&] { return !IsWindow(list); }, kEndMs));
    ExpectStillServingUntouched(velmora);

    // The next save tries again, and writes the list it kept.
    held_->Release();
    list = OpenAlarmList(velmora);
    ASSERT_NE(nullptr, list);
    ASSERT_TRUE(Click(list, IDOK));
    EXPECT_TRUE(WaitFor([&] { return ReadBytes(AlarmFile()) == sample_; }, kStartMs));
    EXPECT_EQ(nullptr, MessageBoxOf(velmora.ProcessId()));
}

TEST_F(SaveFailure, ExitCanBeCancelledAndRetriedAndRefusesHandOversMeanwhile) {
    Velmora velmora(folder_.Path());
    ASSERT_NO_FATAL_FAILURE(Start(velmora));
    WindowProbe probe(velmora.ProcessId());
    ASSERT_TRUE(probe.WatchCreatedWindows()) << probe.Failure();
    DWORD result = 0;

    ASSERT_TRUE(velmora.Command(kExitCommand));
    HWND box = WaitForSaveFailedBox(velmora);
    ASSERT_NE(nullptr, box);
    EXPECT_EQ((std::vector<int>{IDCANCEL, IDTRYAGAIN, IDCONTINUE}), SortedButtons(box));
    {
        // While it is exiting it takes no hand-over: it would end right after.
        Velmora second(folder_.Path());
        Sleep(3000);
        EXPECT_EQ(std::wstring::npos, probe.Call("ReadCreatedWindows", &result).find(kAlarmListDialog));
    }

    // Cancel: it runs on, and takes hand-overs again.
    box = MessageBoxOf(velmora.ProcessId());
    ASSERT_NE(nullptr, box);
    ASSERT_TRUE(Click(box, IDCANCEL));
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(box); }, kEndMs));
    ExpectStillServingUntouched(velmora);
    {
        Velmora third(folder_.Path());
        EXPECT_EQ(0u, third.WaitForExit(kStartMs));
        const HWND list = WaitForDialog(velmora.ProcessId(), kAlarmListCaption);
        ASSERT_NE(nullptr, list);
        held_->Release();
        ASSERT_TRUE(Click(list, IDOK));
        EXPECT_TRUE(WaitFor([&] { return ReadBytes(AlarmFile()) == sample_; }, kStartMs));
    }

    // Try again, once the file is free: saved, and ended.
    ASSERT_NO_FATAL_FAILURE(HoldOtherBytes());
    ASSERT_TRUE(velmora.Post(WM_CLOSE));
    box = WaitForSaveFailedBox(velmora);
    ASSERT_NE(nullptr, box);
    held_->Release();
    ASSERT_TRUE(Click(box, IDTRYAGAIN));
    EXPECT_EQ(0u, velmora.WaitForExit());
    EXPECT_EQ(sample_, ReadBytes(AlarmFile()));
}

TEST_F(SaveFailure, TheExitQuestionAloneIsAnsweredAndIsOwnedByWhatIsOnScreen) {
    Velmora velmora(folder_.Path());
    ASSERT_NO_FATAL_FAILURE(Start(velmora));
    // With nothing on screen, the question stands on its own (a taskbar button)...
    ASSERT_TRUE(velmora.Command(kExitCommand));
    HWND box = WaitForSaveFailedBox(velmora);
    ASSERT_NE(nullptr, box);
    EXPECT_EQ(nullptr, GetWindow(box, GW_OWNER));
    {
        // ...and while it is up, the icon's clicks, the settings command and
        // a later start open nothing beside it.
        WindowProbe probe(velmora.ProcessId());
        ASSERT_TRUE(probe.WatchCreatedWindows()) << probe.Failure();
        velmora.TrayMouse(WM_LBUTTONDOWN);
        velmora.TrayMouse(WM_RBUTTONDOWN);
        velmora.Command(kAlarmSettingsCommand);
        Velmora second(folder_.Path());
        Sleep(2000);
        DWORD result = 0;
        EXPECT_EQ(L"", DialogsAndMenus(probe.Call("ReadCreatedWindows", &result)));
        EXPECT_TRUE(IsWindow(box));
    }
    ASSERT_TRUE(Click(box, IDCANCEL));
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(box); }, kEndMs));

    // With the alarm list open, the question is the list's, and 続行 ends it all.
    const HWND list = OpenAlarmList(velmora);
    ASSERT_NE(nullptr, list);
    ASSERT_TRUE(velmora.Command(kExitCommand));
    box = WaitForSaveFailedBox(velmora);
    ASSERT_NE(nullptr, box);
    EXPECT_EQ(list, GetWindow(box, GW_OWNER));
    ASSERT_TRUE(Click(box, IDCONTINUE));
    EXPECT_EQ(0u, velmora.WaitForExit());
    ExpectUntouched();
}

TEST_F(SaveFailure, ExitContinueEndsWithoutSaving) {
    Velmora velmora(folder_.Path());
    ASSERT_NO_FATAL_FAILURE(Start(velmora));
    ASSERT_TRUE(velmora.Post(WM_CLOSE));
    const HWND box = WaitForSaveFailedBox(velmora);
    ASSERT_NE(nullptr, box);
    ASSERT_TRUE(Click(box, IDCONTINUE));
    EXPECT_EQ(0u, velmora.WaitForExit());
    EXPECT_EQ(0, TrayIconCount());
    ExpectUntouched();
}

TEST_F(SaveFailure, EndOfSessionTriesOnceAndShowsNoWindow) {
    Velmora velmora(folder_.Path());
    ASSERT_NO_FATAL_FAILURE(Start(velmora));
    WindowProbe probe(velmora.ProcessId());
    ASSERT_TRUE(probe.WatchCreatedWindows()) << probe.Failure();
    DWORD result = 0;

    const DWORD start = GetTickCount();
    ASSERT_TRUE(velmora.Send(WM_ENDSESSION, TRUE, 0));
    // One try: no wait for the file to come free, which would take 5 s.
    EXPECT_LT(GetTickCount() - start, 4000u);
    Sleep(1000);
    EXPECT_EQ(L"", DialogsAndMenus(probe.Call("ReadCreatedWindows", &result)));
    ExpectUntouched();
    held_->Release();
}

// Another program reading the file over and over, as sync and indexing
// programs do, each time holding it open without leave to replace it.
class BusyFile : public EndToEnd {
protected:
    ~BusyFile() override {
        reading_ = false;
        if (reader_.joinable()) reader_.join();
    }
    void StartReading() {
        reader_ = std::thread([this] {
            while (reading_) {
                const HANDLE file = CreateFileW(AlarmFile().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                nullptr, OPEN_EXISTING, 0, nullptr);
                if (file == INVALID_HANDLE_VALUE) continue;
                char bytes[4096];
                DWORD read = 0;
                ReadFile(file, bytes, sizeof bytes, &read, nullptr);
                CloseHandle(file);
            }
        });
    }
    // The file system's identity of the file: a save that replaces it gives a new one.
    ULONGLONG Identity() {
        const HANDLE file = CreateFileW(AlarmFile().c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, 0, nullptr);
        BY_HANDLE_FILE_INFORMATION information{};
        const bool known = file != INVALID_HANDLE_VALUE && GetFileInformationByHandle(file, &information);
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        return known ? (static_cast<ULONGLONG>(information.nFileIndexHigh) << 32) | information.nFileIndexLow : 0;
    }

    std::atomic<bool> reading_{true};
    std::thread reader_;
};

TEST_F(BusyFile, EveryCloseOfTheListSavesWithoutAQuestion) {
    WriteAlarmFile(SampleAlarms());
    const std::string sample = ReadBytes(AlarmFile());
    Velmora velmora(folder_.Path());
    ASSERT_TRUE(velmora.WaitUntilServing());
    StartReading();
    for (int round = 0; round < 3; ++round) {
        const ULONGLONG before = Identity();
        velmora.TrayMouse(WM_LBUTTONDOWN);
        const HWND list = WaitForDialog(velmora.ProcessId(), kAlarmListCaption);
        ASSERT_NE(nullptr, list);
        ASSERT_TRUE(Click(list, IDOK));
        // The list closes once its save is done or told.
        ASSERT_TRUE(WaitFor([&] { return !IsWindow(list) || MessageBoxOf(velmora.ProcessId()) != nullptr; },
                            kStartMs));
        ASSERT_EQ(nullptr, MessageBoxOf(velmora.ProcessId())) << "round " << round;
        EXPECT_NE(before, Identity()) << "not saved in round " << round;
    }
    EXPECT_EQ(sample, ReadBytes(AlarmFile()));
}

// A damaged file ------------------------------------------------------------------

using DamagedFile = EndToEnd;

TEST_F(DamagedFile, IsToldOnceWithTheAlarmsReadAndWhereTheOriginalIs) {
    const std::string whole = DefaultFileBytes();
    const std::string damaged = whole.substr(0, whole.size() - 7);  // the last path cut short
    ASSERT_TRUE(WriteBytes(AlarmFile(), damaged));
    Velmora velmora(folder_.Path());
    const HWND box = WaitForMessageBox(velmora.ProcessId());
    ASSERT_NE(nullptr, box);
    EXPECT_EQ(1, TrayIconCount()) << "told before the icon was up";
    EXPECT_TRUE(GetWindow(box, GW_OWNER) == nullptr && !(GetWindowLongW(box, GWL_EXSTYLE) & WS_EX_TOOLWINDOW));
    const std::wstring text = MessageBoxText(box);
    EXPECT_NE(std::wstring::npos, text.find(L"3 件")) << "how many alarms were read";
    EXPECT_NE(std::wstring::npos, text.find(AlarmFile() + L".bad")) << "where the original is kept";
    EXPECT_EQ(std::vector<int>{IDOK}, ButtonIds(box));
    EXPECT_EQ(damaged, ReadBytes(AlarmFile() + L".bad"));

    ASSERT_TRUE(Click(box, IDOK));
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(box); }, kEndMs));
    Sleep(1500);
    EXPECT_EQ(nullptr, MessageBoxOf(velmora.ProcessId())) << "told more than once";
    EXPECT_TRUE(velmora.Running());
}

// The notice asks nothing, so it holds no close up: WM_CLOSE and Exit close it
// and save what was read; only a save that fails asks, and that question stands.
TEST_F(DamagedFile, ItsNoticeGoesWithWmCloseAndExitAndTheListReadIsSaved) {
    const std::string whole = DefaultFileBytes();
    std::vector<CAlarm> read = DefaultAlarms();
    read.pop_back();  // the one whose path is cut short
    for (int round = 0; round < 3; ++round) {  // WM_CLOSE, Exit, WM_CLOSE with the file held
        SCOPED_TRACE(round);
        ASSERT_TRUE(WriteBytes(AlarmFile(), whole.substr(0, whole.size() - 7)));
        Velmora velmora(folder_.Path());
        const HWND notice = WaitForMessageBox(velmora.ProcessId());
        ASSERT_NE(nullptr, notice);
        auto held = round == 2 ? std::make_unique<HeldFile>(AlarmFile()) : nullptr;
        ASSERT_TRUE(round == 1 ? velmora.Command(kExitCommand) : velmora.Post(WM_CLOSE));
        if (held) {
            ASSERT_TRUE(WaitFor([&] { return !IsWindow(notice); }, kEndMs));
            const HWND question = WaitForMessageBox(velmora.ProcessId(), kStartMs + kEndMs);
            ASSERT_NE(nullptr, question);
            EXPECT_EQ((std::vector<int>{IDCANCEL, IDTRYAGAIN, IDCONTINUE}), SortedButtons(question));
            ASSERT_TRUE(velmora.Post(WM_CLOSE));
            Sleep(1000);
            EXPECT_EQ(question, MessageBoxOf(velmora.ProcessId())) << "the question did not stand";
            held.reset();
            ASSERT_TRUE(Click(question, IDTRYAGAIN));
        }
        EXPECT_EQ(0u, velmora.WaitForExit());
        EXPECT_EQ(ToTextModeFileBytes(EncodeAlarmArchive(read)), ReadBytes(AlarmFile()));
    }
}

// A new alarm still in its editor ------------------------------------------------------

class PendingNewAlarm : public EndToEnd {
protected:
    // Starts on the sample list, opens the editor of a new alarm with 追加, and
    // removes the file, so whatever file is there afterwards was written then.
    void OpenNewAlarm(const Velmora& velmora) {
        WriteAlarmFile(SampleAlarms());
        sample_ = ReadBytes(AlarmFile());
        ASSERT_TRUE(velmora.WaitUntilServing());
        velmora.TrayMouse(WM_LBUTTONDOWN);
        list_ = WaitForDialog(velmora.ProcessId(), kAlarmListCaption);
        ASSERT_NE(nullptr, list_);
        ASSERT_TRUE(Click(list_, kAddButton));
        editor_ = WaitForDialog(velmora.ProcessId(), kEditorCaption);
        ASSERT_NE(nullptr, editor_);
        ASSERT_TRUE(DeleteFileW(AlarmFile().c_str()));
    }

    std::string sample_;
    HWND list_ = nullptr;
    HWND editor_ = nullptr;
};

TEST_F(PendingNewAlarm, ExitSavesTheListWithoutIt) {
    Velmora velmora(folder_.Path());
    ASSERT_NO_FATAL_FAILURE(OpenNewAlarm(velmora));
    ASSERT_TRUE(velmora.Command(kExitCommand));
    EXPECT_EQ(0u, velmora.WaitForExit());
    EXPECT_EQ(sample_, ReadBytes(AlarmFile()));
}

TEST_F(PendingNewAlarm, EndOfSessionSavesTheListWithoutItAndItsOkKeepsIt) {
    Velmora velmora(folder_.Path());
    ASSERT_NO_FATAL_FAILURE(OpenNewAlarm(velmora));
    ASSERT_TRUE(velmora.Send(WM_ENDSESSION, TRUE, 0));
    EXPECT_EQ(sample_, ReadBytes(AlarmFile()));

    // Kept with OK, the new alarm is saved with the list when it closes.
    ASSERT_TRUE(Click(editor_, IDOK));
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(editor_); }, kEndMs));
    ASSERT_TRUE(Click(list_, IDOK));
    std::vector<CAlarm> alarms = SampleAlarms();
    alarms.push_back(CAlarm(0, 0, 1, 1, 1, 1, 1, 1, 1, true, L"chimes.wav"));
    const std::string expected = ToTextModeFileBytes(EncodeAlarmArchive(alarms));
    EXPECT_TRUE(WaitFor([&] { return ReadBytes(AlarmFile()) == expected; }, kStartMs));
}

}  // namespace
