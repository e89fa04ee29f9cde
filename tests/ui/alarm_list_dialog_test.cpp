// The alarm list dialog, run from its template and driven as a user would.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/instance.h"
#include "model/alarm_archive.h"
#include "model/alarm_file.h"
#include "model/archive_test_util.h"
#include "model/faulty_disk.h"
#include "model/test_files.h"
#include "res/resource.h"
#include "ui/alarm_list_dialog.h"
#include "ui/dialog_driver.h"
#include "ui/window_dpi.h"

namespace {

const CAlarm kA(7, 5, 0, 1, 0, 1, 0, 0, 0, false, L"chimes.wav");
const CAlarm kB(12, 30, 1, 1, 1, 1, 1, 1, 1, true, L"C:\\音\\ベル.wav");
const CAlarm kC(23, 59, 1, 0, 0, 0, 0, 0, 1, true, L"");
const CAlarm kD(100, 7, 2, 0, 0, 0, 0, 0, 0, true, L"d.wav");
const CAlarm kNew(0, 0, 1, 1, 1, 1, 1, 1, 1, true, L"chimes.wav");
const wchar_t kO[] = L"\u25CB";

class AlarmListDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        UseTestProgramResources();
        ASSERT_TRUE(GetAlarmFilePath(filePath, kPathCapacity));
        DeleteFileW(filePath);
        g_alarms = {kA, kB, kC};
    }
    void TearDown() override {
        DeleteFileW(filePath);
        g_alarms.clear();
    }

    static INT_PTR Run(std::vector<DialogScript::Step> steps) {
        return DialogScript(std::move(steps)).Run([] {
            return DialogBoxParamW(g_hInstance, MAKEINTRESOURCEW(IDD_ALARM_LIST), nullptr,
                                   AlarmListDlgProc, 0);
        });
    }
    static HWND List() { return GetOpenAlarmListDialog(); }
    static HWND View() { return GetDlgItem(List(), IDC_ALARM_LIST); }
    static HWND Editor() { return FindDialog(L"変更"); }
    // Runs a command through the dialog procedure itself, to see its result.
    static INT_PTR Command(int id) { return AlarmListDlgProc(List(), WM_COMMAND, id, 0); }
    // The keyboard's place after a command: the row alone selected, focused
    // and in view, and the keyboard on the list.
    static void ExpectPlace(int row) {
        const int top = ListView_GetTopIndex(View());
        EXPECT_TRUE(SelectedRows(View()) == std::vector<int>{row} && GetFocus() == View() &&
                    ListView_GetNextItem(View(), -1, LVNI_FOCUSED) == row &&
                    row >= top && row < top + ListView_GetCountPerPage(View())) << "row " << row;
    }
    // Presses key in the list, Ctrl held or not; it acts once the step is done.
    static void PressInList(UINT key, bool control = false) {
        BYTE keys[256] = {};
        keys[VK_CONTROL] = control ? 0x80 : 0;
        SetKeyboardState(keys);
        PostMessageW(View(), WM_KEYDOWN, key, 1);
    }

    // Row i shows element i's cell texts, and there are no other rows.
    static void ExpectViewShowsTheList() {
        ASSERT_EQ(static_cast<int>(g_alarms.size()), RowCount(View()));
        for (std::size_t i = 0; i < g_alarms.size(); ++i) {
            std::vector<std::wstring> cells(9, std::wstring(64, L'\0'));
            g_alarms[i].FormatTime(&cells[0][0], 64);
            g_alarms[i].FormatOnOff(&cells[1][0], 64);
            for (int day = 0; day < 7; ++day) g_alarms[i].FormatDay(&cells[2 + day][0], 64, day);
            for (auto& cell : cells) cell.resize(cell.find(L'\0'));
            EXPECT_EQ(cells, RowTexts(View(), static_cast<int>(i))) << "row " << i;
        }
    }
    // The file as the dialog should have saved the list.
    std::string FileBytes() const { return ReadBytes(filePath); }
    static std::string Saved(const std::vector<CAlarm>& list) {
        return ToTextModeFileBytes(EncodeAlarmArchive(list));
    }

    wchar_t filePath[kPathCapacity] = {};
};

}  // namespace

TEST_F(AlarmListDialogTest, ShowsTheTemplateAndOneRowPerAlarm) {
    HWND dialog = nullptr;
    const INT_PTR result = Run({[&] {
        dialog = List();
        ASSERT_NE(nullptr, dialog);
        EXPECT_EQ(L"アラームの設定", WindowText(dialog));
        EXPECT_FALSE(IsWindowVisible(GetDlgItem(dialog, IDCANCEL)));
        EXPECT_EQ(L"キャンセル", WindowText(GetDlgItem(dialog, IDCANCEL)));
        EXPECT_TRUE(View() == GetFocus() && ListView_GetNextItem(View(), -1, LVNI_FOCUSED) == 0 && SelectedRows(View()).empty());
        EXPECT_TRUE(GetWindowLongW(View(), GWL_STYLE) & LVS_SHOWSELALWAYS && WindowText(View()) == L"アラーム一覧" &&
                    SendMessageW(dialog, DM_GETDEFID, 0, 0) == MAKELRESULT(IDOK, DC_HASDEFID));  // OK stays default
        EXPECT_EQ(0x21, SendMessageW(View(), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
        const wchar_t* titles[] = {L"TIME", L"ON_OFF", L"SUN", L"MON", L"TUE",
                                   L"WED",  L"THU",    L"FRI", L"SAT"};
        // At the prefix's display scale: 80, 60 and 40 pixels at 100 %.
        EXPECT_EQ(PrefixDpi(), WindowDpi(dialog));
        const int widths[] = {80, 60, 40, 40, 40, 40, 40, 40, 40};
        for (int i = 0; i < 9; ++i) {
            wchar_t title[32] = {};
            LVCOLUMNW column = {};
            column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM | LVCF_FMT;
            column.pszText = title;
            column.cchTextMax = 32;
            ASSERT_TRUE(SendMessageW(View(), LVM_GETCOLUMNW, i, reinterpret_cast<LPARAM>(&column)));
            EXPECT_EQ(std::wstring(titles[i]), title);
            EXPECT_EQ(AtPrefixDpi(widths[i]), column.cx);
            EXPECT_EQ(i, column.iSubItem);
            EXPECT_EQ(LVCFMT_LEFT, column.fmt & LVCFMT_JUSTIFYMASK);
        }
        EXPECT_EQ((std::vector<std::wstring>{L"07:05", L"OFF", L"", kO, L"", kO, L"", L"", L""}),
                  RowTexts(View(), 0));
        ExpectViewShowsTheList();
        Click(dialog, IDOK);
    }});
    EXPECT_EQ(IDOK, result);
    EXPECT_EQ(nullptr, GetOpenAlarmListDialog());
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(Saved({kA, kB, kC}), FileBytes());
}

// Moved to a screen of another scale, the columns follow it, from their
// 96-DPI widths each time; the dialog manager does the rest.
TEST_F(AlarmListDialogTest, ColumnsFollowAMoveToAScreenOfAnotherScale) {
    Run({[] {
        for (int dpi : {192, 120, 96}) {
            RECT suggested{};
            GetWindowRect(List(), &suggested);
            SendMessageW(List(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
            for (int i = 0; i < 9; ++i) EXPECT_EQ((i == 0 ? 80 : i == 1 ? 60 : 40) * dpi / 96, ColumnWidth(View(), i)) << dpi;
        }
        ExpectViewShowsTheList();
        Click(List(), IDOK);
    }});
}

TEST_F(AlarmListDialogTest, EmptyListShowsColumnsOnlyAndCommandsDoNothing) {
    g_alarms.clear();
    const INT_PTR result = Run({[&] {
        EXPECT_EQ(0, RowCount(View()));
        EXPECT_EQ(9u, RowTexts(View(), 0).size());
        for (int id : {IDC_ALARM_UP, IDC_ALARM_DOWN, IDC_ALARM_DELETE, IDC_ALARM_CHANGE, 4242})
            EXPECT_EQ(FALSE, Command(id)) << id;
        EXPECT_EQ(nullptr, Editor());
        EXPECT_TRUE(g_alarms.empty());
        Click(List(), IDOK);
    }});
    EXPECT_EQ(IDOK, result);
    EXPECT_EQ(36u, FileBytes().size());
    EXPECT_EQ(Saved({}), FileBytes());
}

// Up and down act on the first selected row, keep the moved alarm selected
// and put the focus on the list; at the ends or with nothing selected they
// move nothing and only move the focus.
TEST_F(AlarmListDialogTest, UpAndDownMoveTheFirstSelectedAlarmWhole) {
    struct Case {
        int command;
        std::vector<int> selected;
        BOOL moved;
        std::vector<CAlarm> after;
        std::vector<int> selectedAfter;
    };
    const Case cases[] = {
        {IDC_ALARM_UP, {1}, TRUE, {kB, kA, kC}, {0}},
        {IDC_ALARM_UP, {2}, TRUE, {kA, kC, kB}, {1}},
        {IDC_ALARM_UP, {1, 2}, TRUE, {kB, kA, kC}, {0}},
        {IDC_ALARM_UP, {0}, FALSE, {kA, kB, kC}, {0}},
        {IDC_ALARM_UP, {}, FALSE, {kA, kB, kC}, {}},
        {IDC_ALARM_DOWN, {1}, TRUE, {kA, kC, kB}, {2}},
        {IDC_ALARM_DOWN, {0, 2}, TRUE, {kB, kA, kC}, {1}},
        {IDC_ALARM_DOWN, {2}, FALSE, {kA, kB, kC}, {2}},
        {IDC_ALARM_DOWN, {}, FALSE, {kA, kB, kC}, {}},
    };
    Run({[&] {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << (c.command == IDC_ALARM_UP ? "up" : "down") << " from "
                                            << (c.selected.empty() ? -1 : c.selected[0]));
            g_alarms = {kA, kB, kC};
            FillAlarmListView(View());
            SelectRows(View(), c.selected);
            SetFocus(GetDlgItem(List(), IDOK));
            EXPECT_EQ(c.moved, Command(c.command));
            EXPECT_TRUE(SameAlarms(c.after, g_alarms));
            ExpectViewShowsTheList();
            EXPECT_EQ(c.selectedAfter, SelectedRows(View()));
            if (!c.selectedAfter.empty()) ExpectPlace(c.selectedAfter[0]);
            EXPECT_EQ(View(), GetFocus());
        }
        // And as clicks on the buttons.
        SelectRows(View(), {2});
        Click(List(), IDC_ALARM_UP);
        Click(List(), IDC_ALARM_UP);
        EXPECT_TRUE(SameAlarms({kC, kA, kB}, g_alarms));
        Click(List(), IDC_ALARM_DOWN);
        EXPECT_TRUE(SameAlarms({kA, kC, kB}, g_alarms));
        EXPECT_EQ(std::vector<int>{1}, SelectedRows(View()));
        Click(List(), IDOK);
    }});
    EXPECT_EQ(Saved({kA, kC, kB}), FileBytes());
}

TEST_F(AlarmListDialogTest, AddThenCancelLeavesTheListAsBefore) {
    Run({
        [&] {
            EXPECT_EQ(FALSE, Command(IDC_ALARM_ADD));  // returns once the editor has ended
            EXPECT_TRUE(SameAlarms({kA, kB, kC}, g_alarms));
            ExpectViewShowsTheList();
            Click(List(), IDOK);
        },
        [&] {
            const HWND editor = Editor();
            ASSERT_NE(nullptr, editor);
            EXPECT_EQ(List(), GetWindow(editor, GW_OWNER));
            // Already in the list, so the alarm check counts it, but not shown
            // yet, and no save may write it before its OK.
            EXPECT_TRUE(SameAlarms({kA, kB, kC, kNew}, g_alarms));
            EXPECT_TRUE(SameAlarms({kA, kB, kC}, AlarmsToSave()));
            EXPECT_EQ(3, RowCount(View()));
            SetDlgItemTextW(editor, IDC_HOUR_EDIT, L"9");
            Click(editor, IDCANCEL);
        },
    });
    EXPECT_EQ(Saved({kA, kB, kC}), FileBytes());
}

TEST_F(AlarmListDialogTest, AddThenOkKeepsTheEditedAlarmLast) {
    const CAlarm edited(6, 45, 0, 1, 1, 1, 1, 1, 0, true, L"alarm.wav");
    Run({
        [&] {
            EXPECT_EQ(TRUE, Command(IDC_ALARM_ADD));
            EXPECT_TRUE(SameAlarms({kA, kB, kC, edited}, g_alarms));
            ExpectPlace(3);
            EXPECT_EQ((std::vector<std::wstring>{L"06:45", L"ON", L"", kO, kO, kO, kO, kO, L""}),
                      RowTexts(View(), 3));
            ExpectViewShowsTheList();
            Click(List(), IDC_ALARM_ADD);  // the second time accepted unchanged
            EXPECT_TRUE(SameAlarms({kA, kB, kC, edited, kNew}, g_alarms));
            EXPECT_EQ((std::vector<std::wstring>{L"00:00", L"ON", kO, kO, kO, kO, kO, kO, kO}),
                      RowTexts(View(), 4));
            Click(List(), IDOK);
        },
        [&] {
            const HWND editor = Editor();
            ASSERT_NE(nullptr, editor);
            SetDlgItemTextW(editor, IDC_HOUR_EDIT, L"6");
            SetDlgItemTextW(editor, IDC_MINUTE_EDIT, L"45");
            LVITEMW off = {};
            off.stateMask = LVIS_STATEIMAGEMASK;
            off.state = INDEXTOSTATEIMAGEMASK(1);
            for (int day : {0, 6})
                SendDlgItemMessageW(editor, IDC_DAY_LIST, LVM_SETITEMSTATE, day, reinterpret_cast<LPARAM>(&off));
            SetDlgItemTextW(editor, IDC_SOUND_EDIT, L"alarm.wav");
            Click(editor, IDOK);
        },
        [&] { Click(Editor(), IDOK); },
    });
    EXPECT_EQ(Saved({kA, kB, kC, edited, kNew}), FileBytes());
}

TEST_F(AlarmListDialogTest, DeleteRemovesOnlyTheFirstSelectedAlarm) {
    g_alarms = {kA, kB, kC, kD};
    Run({[&] {
        SelectRows(View(), {1, 3});
        Click(List(), IDC_ALARM_DELETE);
        EXPECT_TRUE(SameAlarms({kA, kC, kD}, g_alarms));
        ExpectViewShowsTheList();
        ExpectPlace(1);  // the row that took its place
        SelectRows(View(), {});
        EXPECT_EQ(FALSE, Command(IDC_ALARM_DELETE));  // nothing selected now
        EXPECT_EQ(3u, g_alarms.size());
        SelectRows(View(), {2});
        EXPECT_EQ(TRUE, Command(IDC_ALARM_DELETE));
        ExpectPlace(1);  // the new last row
        SelectRows(View(), {0});
        EXPECT_EQ(TRUE, Command(IDC_ALARM_DELETE));
        EXPECT_TRUE(SameAlarms({kC}, g_alarms));
        Click(List(), IDOK);
    }});
    EXPECT_EQ(Saved({kC}), FileBytes());
}

TEST_F(AlarmListDialogTest, DeletingTheOnlyAlarmThenEscSavesAnEmptyList) {
    g_alarms = {kD};
    const INT_PTR result = Run({[&] {
        SelectRows(View(), {0});
        Click(List(), IDC_ALARM_DELETE);
        EXPECT_EQ(0, RowCount(View()));
        PressKey(List(), VK_ESCAPE);
    }});
    EXPECT_EQ(IDCANCEL, result);
    EXPECT_TRUE(g_alarms.empty());
    EXPECT_EQ(Saved({}), FileBytes());
}

TEST_F(AlarmListDialogTest, ChangeEditsTheSelectedAlarm) {
    CAlarm changed = kC;
    changed.m_minute = 0;
    Run({
        [&] {
            SelectRows(View(), {2});
            EXPECT_EQ(TRUE, Command(IDC_ALARM_CHANGE));
            EXPECT_TRUE(SameAlarms({kA, kB, changed}, g_alarms));
            ExpectViewShowsTheList();
            ExpectPlace(2);
            // Cancelled: nothing changes and the list view is not refilled.
            SelectRows(View(), {1});
            EXPECT_EQ(FALSE, Command(IDC_ALARM_CHANGE));
            EXPECT_TRUE(SameAlarms({kA, kB, changed}, g_alarms));
            ExpectPlace(1);
            Click(List(), IDOK);
        },
        [&] {
            const HWND editor = Editor();
            ASSERT_NE(nullptr, editor);
            EXPECT_EQ(L"23", WindowText(GetDlgItem(editor, IDC_HOUR_EDIT)));
            EXPECT_EQ(L"59", WindowText(GetDlgItem(editor, IDC_MINUTE_EDIT)));
            SetDlgItemTextW(editor, IDC_MINUTE_EDIT, L"0");
            Click(editor, IDOK);
        },
        [&] {
            const HWND editor = Editor();
            ASSERT_NE(nullptr, editor);
            EXPECT_EQ(L"12", WindowText(GetDlgItem(editor, IDC_HOUR_EDIT)));
            SetDlgItemTextW(editor, IDC_HOUR_EDIT, L"1");
            PressKey(editor, VK_ESCAPE);
        },
    });
}

TEST_F(AlarmListDialogTest, DoubleClickChangesTheSelectedRowOnly) {
    auto doubleClick = [](int x, int y) {
        SendMessageW(View(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(x, y));
    };
    Run({
        [&] {
            SelectRows(View(), {1});
            RECT row = {LVIR_BOUNDS, 0, 0, 0};
            SendMessageW(View(), LVM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&row));
            doubleClick(row.left + 20, (row.top + row.bottom) / 2);  // returns when the editor ends
            CAlarm changed = kB;
            changed.m_hour = 5;
            EXPECT_TRUE(SameAlarms({kA, changed, kC}, g_alarms));
            ExpectViewShowsTheList();
            // Below the rows, with nothing selected: no editor opens.
            SelectRows(View(), {});
            RECT client;
            GetClientRect(View(), &client);
            doubleClick(client.right / 2, client.bottom - 5);
            EXPECT_TRUE(SameAlarms({kA, changed, kC}, g_alarms));
            EXPECT_EQ(nullptr, Editor());
            // Any other notification is left to the list view: FALSE.
            NMHDR other = {View(), IDC_ALARM_LIST, static_cast<UINT>(NM_CLICK)};
            EXPECT_EQ(FALSE, AlarmListDlgProc(List(), WM_NOTIFY, IDC_ALARM_LIST, reinterpret_cast<LPARAM>(&other)));
            EXPECT_EQ(FALSE, AlarmListDlgProc(List(), WM_USER + 7, 0, 0));
            Click(List(), IDOK);
        },
        [&] {
            const HWND editor = Editor();
            ASSERT_NE(nullptr, editor);
            EXPECT_EQ(L"12", WindowText(GetDlgItem(editor, IDC_HOUR_EDIT)));
            SetDlgItemTextW(editor, IDC_HOUR_EDIT, L"5");
            Click(editor, IDOK);
        },
    });
}

TEST_F(AlarmListDialogTest, TheCloseBoxSavesTheChangesLikeOk) {
    const INT_PTR result = Run({[&] {
        SelectRows(View(), {0});
        Click(List(), IDC_ALARM_DOWN);
        PostMessageW(List(), WM_SYSCOMMAND, SC_CLOSE, 0);
    }});
    EXPECT_EQ(IDCANCEL, result);
    EXPECT_TRUE(SameAlarms({kB, kA, kC}, g_alarms));
    EXPECT_EQ(Saved({kB, kA, kC}), FileBytes());
}

// A save that could not put the old bytes back either says the file may be
// damaged, with the number of the system's error that this met, not our own.
TEST_F(AlarmListDialogTest, ASaveThatCannotBeUndoneTellsTheSystemsErrorNumber) {
    ASSERT_TRUE(WriteBytes(filePath, Saved({kA, kB, kC, kD})));  // longer: its head is overwritten
    std::wstring text;
    {
        FaultyDisk disk;
        disk.refuseNewFiles = true;  // so written in place
        disk.writesBeforeFault = 0;
        disk.failingWrites = 2;  // the overwrite, then putting the old bytes back
        Run({[] { Click(List(), IDOK); },
             [&] {
                 const HWND box = FindDialog(L"velmora");
                 ASSERT_NE(nullptr, box);
                 text = WindowText(GetDlgItem(box, 0xFFFF));  // a message box's text
                 Click(box, IDCANCEL);
             }});
    }
    EXPECT_NE(std::wstring::npos, text.find(L"壊れているおそれがあります")) << text;
    EXPECT_NE(std::wstring::npos, text.find(L"（エラー " + std::to_wstring(ERROR_DISK_FULL) + L"）")) << text;
}

// Rows that name no alarm (the list shrank without the view following it)
// are never used: no command acts on them and no editor opens for them.
TEST_F(AlarmListDialogTest, RowsBeyondTheListAreNeverUsed) {
    Run({[&] {
        g_alarms = {kA, kB};
        SelectRows(View(), {2});
        for (int id : {IDC_ALARM_UP, IDC_ALARM_DOWN, IDC_ALARM_DELETE, IDC_ALARM_CHANGE})
            EXPECT_EQ(FALSE, Command(id)) << id;
        SelectRows(View(), {1});  // a row of the list whose lower neighbour is gone
        EXPECT_EQ(FALSE, Command(IDC_ALARM_DOWN));
        EXPECT_TRUE(SameAlarms({kA, kB}, g_alarms));
        EXPECT_EQ(nullptr, Editor());
        Click(List(), IDOK);
    }});
    EXPECT_EQ(Saved({kA, kB}), FileBytes());
}

namespace {

// What the list view was last told about redrawing, seen from a subclass.
LRESULT CALLBACK WatchRedraw(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                             DWORD_PTR data) {
    if (message == WM_SETREDRAW) {
        auto* log = reinterpret_cast<std::vector<bool>*>(data);
        log->push_back(wParam != FALSE);
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

}  // namespace

// The view is refilled with its drawing paused; whatever a command does, and
// however it ends, the view draws itself again afterwards.
TEST_F(AlarmListDialogTest, EveryCommandLeavesTheViewDrawing) {
    g_alarms = {kA, kB, kC, kD};
    std::vector<bool> redraws;
    auto expectDrawing = [&](const char* what) {
        SCOPED_TRACE(what);
        if (!redraws.empty()) {
            EXPECT_TRUE(redraws.back());
        }
        // Pauses never nest: each one is ended before the next begins.
        for (std::size_t i = 0; i < redraws.size(); ++i) EXPECT_EQ(i % 2 == 1, redraws[i]) << i;
        EXPECT_TRUE(IsWindowVisible(View()));
        redraws.clear();
    };
    Run({
        [&] {
            ASSERT_TRUE(SetWindowSubclass(View(), WatchRedraw, 1, reinterpret_cast<DWORD_PTR>(&redraws)));
            SelectRows(View(), {2});
            Click(List(), IDC_ALARM_UP);
            expectDrawing("up");
            Click(List(), IDC_ALARM_DOWN);
            expectDrawing("down");
            SelectRows(View(), {3});
            Click(List(), IDC_ALARM_DOWN);  // at the end: no refill
            expectDrawing("down at the end");
            Click(List(), IDC_ALARM_ADD);  // cancelled in its editor
            expectDrawing("add, cancelled");
            Click(List(), IDC_ALARM_ADD);  // kept
            expectDrawing("add, kept");
            SelectRows(View(), {0});
            Click(List(), IDC_ALARM_CHANGE);
            expectDrawing("change");
            SelectRows(View(), {4});
            Click(List(), IDC_ALARM_DELETE);
            expectDrawing("delete");
            SelectRows(View(), {});
            Click(List(), IDC_ALARM_DELETE);  // nothing selected
            expectDrawing("delete with nothing selected");
            ExpectViewShowsTheList();
            RemoveWindowSubclass(View(), WatchRedraw, 1);
            Click(List(), IDOK);
        },
        [&] { Click(Editor(), IDCANCEL); },
        [&] { Click(Editor(), IDOK); },
        [&] { Click(Editor(), IDOK); },
    });
    EXPECT_EQ(4u, g_alarms.size());
}

// In the list, Insert, Delete, F2, Ctrl+Up and Ctrl+Down do what 追加, 削除,
// 変更, UP and DOWN do, each keeping the keyboard's place.
TEST_F(AlarmListDialogTest, TheListsKeysDoWhatItsButtonsDo) {
    CAlarm changed = kNew;
    changed.m_hour = 5;
    Run({
        [] {
            SelectRows(View(), {0});
            for (UINT key : {VK_DOWN, VK_DOWN, VK_UP}) PressInList(key, true);
        },
        [] {
            EXPECT_TRUE(SameAlarms({kB, kA, kC}, g_alarms));
            ExpectPlace(1);
            PressInList(VK_DELETE);
            PressInList(VK_INSERT);  // runs once the delete is done
        },
        [] {
            Click(Editor(), IDOK);
            PressInList(VK_F2);  // on the new alarm, once it is kept
        },
        [] {
            SetDlgItemTextW(Editor(), IDC_HOUR_EDIT, L"5");
            Click(Editor(), IDOK);
        },
        [&] {
            EXPECT_TRUE(SameAlarms({kB, kC, changed}, g_alarms));
            ExpectPlace(2);
            g_alarms.assign(40, kA);  // far down a long list, the moved row comes into view
            FillAlarmListView(View());
            SelectRows(View(), {38});
            Command(IDC_ALARM_DOWN);
            ExpectPlace(39);
            Click(List(), IDOK);
        },
    });
}
