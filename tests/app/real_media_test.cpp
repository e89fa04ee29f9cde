// The real velmora.exe on real faulty media, made by run_on_real_media.sh
// (tmpfs disks, as root): a read-only folder whose file.txt can still be
// written, a read-only folder with no file.txt, as under Program Files, and a
// read-only folder holding a damaged file.txt.
#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "e2e_harness.h"
#include "failure_checks.h"
#include "model/alarm_archive.h"

using namespace e2e;

namespace {

// The Windows path of a medium the wrapper made, or empty.
std::wstring Medium(const wchar_t* name) {
    wchar_t path[MAX_PATH] = L"";
    const DWORD length = GetEnvironmentVariableW(name, path, MAX_PATH);
    return length > 0 && length < MAX_PATH ? path : L"";
}

#define REQUIRE_MEDIUM(variable, name)                                                           \
    const std::wstring variable = Medium(name);                                                  \
    if (variable.empty()) {                                                                      \
        GTEST_SKIP() << "no real medium in " << #name                                            \
                     << ": run through run_on_real_media.sh as root (mount was refused or not tried)"; \
    }

std::string FileBytes(const std::vector<CAlarm>& alarms) { return ToTextModeFileBytes(EncodeAlarmArchive(alarms)); }

HWND OpenAlarmList(const Velmora& velmora) {
    velmora.TrayMouse(WM_LBUTTONDOWN);
    return WaitForDialog(velmora.ProcessId(), kAlarmListCaption);
}

using RealMedia = EndToEnd;

TEST_F(RealMedia, ReadOnlyFolderGetsItsFileWrittenInPlaceExactly) {
    REQUIRE_MEDIUM(folder, L"VELMORA_READ_ONLY");
    const std::wstring file = folder + L"\\file.txt";
    ASSERT_EQ(DefaultFileBytes(), ReadBytes(file)) << "the wrapper's file";
    Velmora velmora(folder);
    ASSERT_TRUE(velmora.WaitUntilServing());
    const std::set<std::wstring> names = ListFolder(folder);

    // Shorter bytes on disk: the save makes the file grow back...
    ASSERT_TRUE(WriteBytes(file, FileBytes(SampleAlarms())));
    const HWND list = OpenAlarmList(velmora);
    ASSERT_NE(nullptr, list);
    ASSERT_TRUE(Click(list, IDOK));
    EXPECT_TRUE(WaitFor([&] { return ReadBytes(file) == DefaultFileBytes(); }, kStartMs));
    EXPECT_EQ(nullptr, MessageBoxOf(velmora.ProcessId()));

    // ...and longer ones: the exit's save cuts it to its own length.
    std::vector<CAlarm> many;
    for (int i = 0; i < 10; ++i) many.push_back(SampleAlarms()[i % 2]);
    ASSERT_TRUE(WriteBytes(file, FileBytes(many)));
    ASSERT_TRUE(velmora.Command(kExitCommand));
    EXPECT_EQ(0u, velmora.WaitForExit());
    EXPECT_EQ(DefaultFileBytes(), ReadBytes(file));
    EXPECT_EQ(names, ListFolder(folder));
}

TEST_F(RealMedia, ReadOnlyFolderWithoutAFileIsToldAndNothingIsWritten) {
    REQUIRE_MEDIUM(folder, L"VELMORA_NO_FILE");
    const std::set<std::wstring> names = ListFolder(folder);
    Velmora velmora(folder);
    const HWND box = WaitForMessageBox(velmora.ProcessId());
    ASSERT_NE(nullptr, box);
    const std::wstring text = MessageBoxText(box);
    ExpectFileAndReason(text, folder + L"\\file.txt");
    EXPECT_NE(std::wstring::npos, text.find(L"書き込みのできるフォルダー")) << "what the user can do";
    ASSERT_TRUE(Click(box, IDOK));
    EXPECT_EQ(1u, velmora.WaitForExit());
    EXPECT_EQ(names, ListFolder(folder));
}

TEST_F(RealMedia, DamagedFileInAReadOnlyFolderIsToldAsDamagedAndLeftUntouched) {
    REQUIRE_MEDIUM(folder, L"VELMORA_DAMAGED");
    const std::wstring file = folder + L"\\file.txt";
    const std::string damaged = ReadBytes(file);
    ASSERT_FALSE(damaged.empty()) << "the wrapper's file";
    const std::set<std::wstring> names = ListFolder(folder);
    Velmora velmora(folder);
    const HWND box = WaitForMessageBox(velmora.ProcessId());
    ASSERT_NE(nullptr, box);
    const std::wstring text = MessageBoxText(box);
    ExpectFileAndReason(text, file);
    EXPECT_NE(std::wstring::npos, text.find(L"壊れています")) << "told as damaged";
    EXPECT_NE(std::wstring::npos, text.find(L"手を付けていません")) << "left untouched";
    EXPECT_EQ(std::wstring::npos, text.find(L"プログラムを閉じて")) << "no program holds it";
    ASSERT_TRUE(Click(box, IDOK));
    EXPECT_EQ(1u, velmora.WaitForExit());
    EXPECT_EQ(damaged, ReadBytes(file));
    EXPECT_EQ(names, ListFolder(folder));
}

}  // namespace
