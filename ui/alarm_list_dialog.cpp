// The alarm list dialog "アラームの設定": every alarm of g_alarms as a row;
// reorders, adds, changes and deletes alarms in the list itself, and saves
// the list to the alarm file whenever it ends.
#include "ui/alarm_list_dialog.h"

#include <commctrl.h>

#include <cstddef>
#include <utility>

#include "common/alarm_file_messages.h"
#include "common/guarded_call.h"
#include "common/instance.h"
#include "model/alarm.h"
#include "model/alarm_file.h"
#include "res/resource.h"
#include "ui/alarm_edit_dialog.h"
#include "ui/dpi_scale.h"
#include "ui/window_dpi.h"

namespace {

constexpr DWORD kListExStyles = LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT;
constexpr std::size_t kCellCapacity = 64;
constexpr int kDayCount = 7;
constexpr int kFirstDayColumn = 2;

struct Column {
    const wchar_t* title;
    int width;  // in pixels at 96 DPI
};
constexpr Column kColumns[] = {
    {L"TIME", 80}, {L"ON_OFF", 60}, {L"SUN", 40}, {L"MON", 40}, {L"TUE", 40},
    {L"WED", 40},  {L"THU", 40},    {L"FRI", 40}, {L"SAT", 40},
};
constexpr int kColumnCount = sizeof kColumns / sizeof kColumns[0];

static_assert(kListExStyles == 0x21, "grid lines and full-row selection");
static_assert(kColumnCount == kFirstDayColumn + kDayCount, "time, switch, seven days");

constexpr wchar_t kListName[] = L"アラーム一覧";  // what a screen reader calls the list

HWND s_openDialog = nullptr;

// The index in g_alarms of a new alarm whose editor has not ended yet.
constexpr std::size_t kNoPendingAlarm = static_cast<std::size_t>(-1);
std::size_t s_pendingNewAlarm = kNoPendingAlarm;

// 00:00, every day, on, with the default sound.
CAlarm NewAlarm() { return CAlarm(0, 0, 1, 1, 1, 1, 1, 1, 1, true, L"chimes.wav"); }

void InsertColumns(HWND listView) {
    const LRESULT styles = SendMessageW(listView, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
    SendMessageW(listView, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, styles | kListExStyles);
    const int dpi = WindowDpi(listView);
    for (int i = 0; i < kColumnCount; ++i) {
        LVCOLUMNW column = {};
        column.mask = LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.cx = ScaleToDpi(kColumns[i].width, dpi);
        column.pszText = const_cast<wchar_t*>(kColumns[i].title);
        column.iSubItem = i;
        SendMessageW(listView, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
}

// Each column at its 96-DPI width scaled to dpi: always from the constants,
// so that moving between screens never gathers rounding.
void ScaleColumns(HWND listView, int dpi) {
    for (int i = 0; i < kColumnCount; ++i)
        SendMessageW(listView, LVM_SETCOLUMNWIDTH, i, MAKELPARAM(ScaleToDpi(kColumns[i].width, dpi), 0));
}

// The first selected row, or -1 when none is selected or when the row names
// no alarm of the list (the list changed without the view following it).
int SelectedAlarm(HWND listView) {
    const LRESULT row =
        SendMessageW(listView, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), MAKELPARAM(LVNI_SELECTED, 0));
    if (row < 0 || static_cast<std::size_t>(row) >= g_alarms.size()) return -1;
    return static_cast<int>(row);
}

void SetRowState(HWND listView, int row, UINT state) {
    LVITEMW item = {};
    item.stateMask = state;
    item.state = state;
    SendMessageW(listView, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
}

// The keyboard's place after a command: the row it concerns (none when -1)
// selected, focused and in view, and the keyboard on the list, moved by the
// dialog manager so that OK stays the default button. Returns result.
INT_PTR KeepPlace(HWND dialog, int row, INT_PTR result) {
    const HWND listView = GetDlgItem(dialog, IDC_ALARM_LIST);
    if (row >= 0 && static_cast<std::size_t>(row) < g_alarms.size()) {
        SetRowState(listView, row, LVIS_SELECTED | LVIS_FOCUSED);
        SendMessageW(listView, LVM_ENSUREVISIBLE, row, FALSE);
    }
    SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(listView), TRUE);
    return result;
}

// Opens the alarm editor on top of the dialog; returns how it ended.
INT_PTR EditAlarm(HWND dialog, std::size_t index) {
    return DialogBoxParamW(g_hInstance, MAKEINTRESOURCEW(IDD_ALARM_EDIT), dialog, AlarmEditDlgProc,
                           static_cast<LPARAM>(index));
}

INT_PTR OnInitDialog(HWND dialog) {
    s_openDialog = dialog;
    const HWND listView = GetDlgItem(dialog, IDC_ALARM_LIST);
    // The selection stays in sight when the keyboard is on a button.
    SetWindowTextW(listView, kListName);
    SetWindowLongPtrW(listView, GWL_STYLE, GetWindowLongPtrW(listView, GWL_STYLE) | LVS_SHOWSELALWAYS);
    InsertColumns(listView);
    FillAlarmListView(listView);
    // The keyboard starts on the list, on its first row, which is not selected.
    if (!g_alarms.empty()) SetRowState(listView, 0, LVIS_FOCUSED);
    KeepPlace(dialog, -1, FALSE);
    return FALSE;  // the focus is set
}

INT_PTR OnEnd(HWND dialog, int id) {
    // Cancel saves too: every change is already in the list, and stays there.
    // A failed save is told while the list is still in sight; given up, the
    // list stays in memory and the next save tries again.
    SaveOrAsk([] { return SaveAlarmFile(AlarmsToSave()); },
              [dialog](AlarmFileError error) { return AskAboutFailedSave(dialog, false, error); });
    EndDialog(dialog, id);
    if (s_openDialog == dialog) s_openDialog = nullptr;
    return TRUE;
}

INT_PTR OnMoveUp(HWND dialog) {
    const HWND listView = GetDlgItem(dialog, IDC_ALARM_LIST);
    const int row = SelectedAlarm(listView);
    if (row <= 0) return KeepPlace(dialog, row, FALSE);
    std::swap(g_alarms[row - 1], g_alarms[row]);
    FillAlarmListView(listView);
    return KeepPlace(dialog, row - 1, TRUE);
}

INT_PTR OnMoveDown(HWND dialog) {
    const HWND listView = GetDlgItem(dialog, IDC_ALARM_LIST);
    const int row = SelectedAlarm(listView);
    const LRESULT rows = SendMessageW(listView, LVM_GETITEMCOUNT, 0, 0);
    if (row < 0 || row == rows - 1 || static_cast<std::size_t>(row) + 1 >= g_alarms.size()) {
        return KeepPlace(dialog, row, FALSE);
    }
    std::swap(g_alarms[row], g_alarms[row + 1]);
    FillAlarmListView(listView);
    return KeepPlace(dialog, row + 1, TRUE);
}

INT_PTR OnAdd(HWND dialog) {
    g_alarms.push_back(NewAlarm());
    // The view does not show the new alarm, and no save writes it, until the
    // editor has kept it with OK. An editor that goes down with the program
    // (Exit, the end of the session) keeps nothing either.
    s_pendingNewAlarm = g_alarms.size() - 1;
    const INT_PTR result = EditAlarm(dialog, s_pendingNewAlarm);
    s_pendingNewAlarm = kNoPendingAlarm;
    const HWND listView = GetDlgItem(dialog, IDC_ALARM_LIST);
    if (result != IDOK) {
        if (!g_alarms.empty()) g_alarms.pop_back();
        return KeepPlace(dialog, SelectedAlarm(listView), FALSE);
    }
    FillAlarmListView(listView);
    return KeepPlace(dialog, static_cast<int>(g_alarms.size()) - 1, TRUE);
}

INT_PTR OnDelete(HWND dialog) {
    const HWND listView = GetDlgItem(dialog, IDC_ALARM_LIST);
    const int row = SelectedAlarm(listView);
    if (row < 0) return KeepPlace(dialog, row, FALSE);
    g_alarms.erase(g_alarms.begin() + row);
    FillAlarmListView(listView);
    // The row that took its place, or the new last one.
    const int rows = static_cast<int>(g_alarms.size());
    return KeepPlace(dialog, row < rows ? row : rows - 1, TRUE);
}

INT_PTR OnChange(HWND dialog) {
    const HWND listView = GetDlgItem(dialog, IDC_ALARM_LIST);
    const int row = SelectedAlarm(listView);
    if (row < 0) return KeepPlace(dialog, row, FALSE);
    if (EditAlarm(dialog, static_cast<std::size_t>(row)) == IDCANCEL) return KeepPlace(dialog, row, FALSE);
    FillAlarmListView(listView);
    return KeepPlace(dialog, row, TRUE);
}

INT_PTR OnCommand(HWND dialog, int id) {
    switch (id) {
    case IDOK:
    case IDCANCEL:
        return OnEnd(dialog, id);
    case IDC_ALARM_UP:
        return OnMoveUp(dialog);
    case IDC_ALARM_DOWN:
        return OnMoveDown(dialog);
    case IDC_ALARM_ADD:
        return OnAdd(dialog);
    case IDC_ALARM_DELETE:
        return OnDelete(dialog);
    case IDC_ALARM_CHANGE:
        return OnChange(dialog);
    default:
        return FALSE;
    }
}

// Moved to a screen of another scale. The dialog manager resizes the dialog,
// its controls and fonts itself (per-monitor awareness, version 2), once this
// procedure has returned FALSE; the list view's columns are in pixels, and
// follow here.
INT_PTR OnDpiChanged(HWND dialog, WPARAM dpis) {
    ScaleColumns(GetDlgItem(dialog, IDC_ALARM_LIST), LOWORD(dpis));
    return FALSE;
}

// Keys in the list that do what its buttons do: Insert adds, Delete deletes,
// F2 changes, Ctrl+Up and Ctrl+Down move the row. Posted, so that the list
// view has done with the key (Ctrl+arrows move its focus) when they run.
INT_PTR OnListKey(HWND dialog, WORD key) {
    const bool control = GetKeyState(VK_CONTROL) < 0;
    int command = 0;
    switch (key) {
    case VK_INSERT: command = IDC_ALARM_ADD; break;
    case VK_DELETE: command = IDC_ALARM_DELETE; break;
    case VK_F2: command = IDC_ALARM_CHANGE; break;
    case VK_UP: command = control ? IDC_ALARM_UP : 0; break;
    case VK_DOWN: command = control ? IDC_ALARM_DOWN : 0; break;
    default: break;
    }
    if (command == 0) return FALSE;
    PostMessageW(dialog, WM_COMMAND, command, 0);
    return TRUE;
}

// TRUE for the notifications handled here, FALSE for the list view's others.
INT_PTR OnNotify(HWND dialog, const NMHDR* header) {
    if (header == nullptr) return FALSE;
    switch (header->code) {
    case NM_DBLCLK:
        // A double click anywhere in the list changes the first selected alarm.
        SendMessageW(dialog, WM_COMMAND, IDC_ALARM_CHANGE, 0);
        return TRUE;
    case LVN_KEYDOWN:
        return OnListKey(dialog, reinterpret_cast<const NMLVKEYDOWN*>(header)->wVKey);
    default:
        return FALSE;
    }
}

INT_PTR OnMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(dialog);
    case WM_COMMAND:
        return OnCommand(dialog, LOWORD(wParam));
    case WM_NOTIFY:
        return OnNotify(dialog, reinterpret_cast<const NMHDR*>(lParam));
    case WM_DPICHANGED:
        return OnDpiChanged(dialog, wParam);
    case WM_DESTROY:
        // Also when the dialog goes down with its owner, without EndDialog.
        if (s_openDialog == dialog) s_openDialog = nullptr;
        return FALSE;
    default:
        return FALSE;
    }
}

}  // namespace

INT_PTR CALLBACK AlarmListDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return CallGuarded<INT_PTR>(FALSE, [&] { return OnMessage(dialog, message, wParam, lParam); });
}

void FillAlarmListView(HWND listView) {
    // A visible list view repaints after every row it is given; drawn once at
    // the end instead, a refill of a thousand rows takes milliseconds, not
    // seconds, and nobody sees the list empty in between.
    const ListViewRedrawPause pause(listView);
    SendMessageW(listView, LVM_DELETEALLITEMS, 0, 0);
    SendMessageW(listView, LVM_SETITEMCOUNT, g_alarms.size(), 0);
    wchar_t text[kCellCapacity];
    for (std::size_t i = 0; i < g_alarms.size(); ++i) {
        // A copy: the messages below notify the dialog before they return.
        const CAlarm alarm = g_alarms[i];
        LVITEMW item = {};
        item.mask = LVIF_TEXT;
        item.iItem = static_cast<int>(i);
        item.pszText = text;

        alarm.FormatTime(text, kCellCapacity);
        item.iSubItem = 0;
        SendMessageW(listView, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));

        alarm.FormatOnOff(text, kCellCapacity);
        item.iSubItem = 1;
        SendMessageW(listView, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));

        for (int day = 0; day < kDayCount; ++day) {
            alarm.FormatDay(text, kCellCapacity, day);
            item.iSubItem = kFirstDayColumn + day;
            SendMessageW(listView, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
        }
    }
}

ListViewRedrawPause::ListViewRedrawPause(HWND listView) : listView_(listView) {
    SendMessageW(listView_, WM_SETREDRAW, FALSE, 0);
}

ListViewRedrawPause::~ListViewRedrawPause() {
    SendMessageW(listView_, WM_SETREDRAW, TRUE, 0);
    // Redrawing was off, so nothing was invalidated meanwhile: the whole view,
    // its rows and its scroll bar, is drawn anew, at once.
    RedrawWindow(listView_, nullptr, nullptr,
                 RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

HWND GetOpenAlarmListDialog() { return s_openDialog; }

std::vector<CAlarm> AlarmsToSave() {
    std::vector<CAlarm> alarms = g_alarms;
    if (s_pendingNewAlarm < alarms.size()) alarms.erase(alarms.begin() + static_cast<std::ptrdiff_t>(s_pendingNewAlarm));
    return alarms;
}
