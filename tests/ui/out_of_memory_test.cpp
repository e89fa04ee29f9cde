// The alarm list dialog when memory runs out halfway through a command: the
// command is abandoned, nothing escapes the dialog procedure, and the list
// stays whole.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/instance.h"
#include "model/alarm_file.h"
#include "res/resource.h"
#include "ui/alarm_list_dialog.h"
#include "ui/dialog_driver.h"
#include "model/failing_allocator.h"

namespace {

bool SameSounds(const std::vector<std::wstring>& sounds) {
    if (sounds.size() != g_alarms.size()) return false;
    for (std::size_t i = 0; i < sounds.size(); ++i) {
        if (g_alarms[i].m_sound != sounds[i]) return false;
    }
    return true;
}

}  // namespace

TEST(OutOfMemory, AListCommandThatRunsOutIsAbandonedAndTheListStaysWhole) {
    UseTestProgramResources();
    wchar_t filePath[kPathCapacity] = {};
    ASSERT_TRUE(GetAlarmFilePath(filePath, kPathCapacity));
    // Too long to be kept inside the string: copying one allocates.
    const std::wstring a(100, L'a');
    const std::wstring b(100, L'b');
    g_alarms = {CAlarm(7, 0, 1, 1, 1, 1, 1, 1, 1, true, a), CAlarm(8, 0, 1, 1, 1, 1, 1, 1, 1, true, b)};
    DialogScript({[&] {
        const HWND list = GetOpenAlarmListDialog();
        ASSERT_NE(nullptr, list);
        const HWND view = GetDlgItem(list, IDC_ALARM_LIST);
        SelectRows(view, {1});
        INT_PTR moved = TRUE;
        {
            const AllocationsFail fail;
            moved = AlarmListDlgProc(list, WM_COMMAND, IDC_ALARM_UP, 0);
        }
        // The move itself was made, whole; refilling the view was abandoned.
        EXPECT_FALSE(moved);
        EXPECT_TRUE(SameSounds({b, a}));
        EXPECT_EQ(7, g_alarms[1].m_hour);
        // The dialog goes on working once there is memory again.
        FillAlarmListView(view);
        SelectRows(view, {1});
        EXPECT_EQ(TRUE, AlarmListDlgProc(list, WM_COMMAND, IDC_ALARM_UP, 0));
        EXPECT_TRUE(SameSounds({a, b}));
        EXPECT_EQ(2, RowCount(view));
        Click(list, IDCANCEL);
    }}).Run([] {
        return DialogBoxParamW(g_hInstance, MAKEINTRESOURCEW(IDD_ALARM_LIST), nullptr, AlarmListDlgProc, 0);
    });
    EXPECT_EQ(nullptr, GetOpenAlarmListDialog());
    DeleteFileW(filePath);
    g_alarms.clear();
}
