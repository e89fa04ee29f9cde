// The alarm editor dialog "変更": shows one alarm of g_alarms in its controls
// and writes the fields the user changed back into it, all at once, at OK.
#include "ui/alarm_edit_dialog.h"

#include <commctrl.h>
#include <commdlg.h>

#include <cstddef>
#include <new>
#include <string>
#include <utility>

#include "common/guarded_call.h"
#include "common/instance.h"
#include "common/message_box.h"
#include "common/sound.h"
#include "common/system_dlls.h"
#include "model/alarm.h"
#include "res/resource.h"
#include "ui/accessible_name.h"
#include "ui/dpi_scale.h"
#include "ui/number_field.h"
#include "ui/typed_digits.h"
#include "ui/window_dpi.h"

namespace {

constexpr int kDayCount = 7;
constexpr const wchar_t* kDayLabels[kDayCount] = {L"SUN", L"MON", L"TUE", L"WED",
                                                  L"THU", L"FRI", L"SAT"};
constexpr DWORD kDayListExStyles = LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT;
constexpr int kDayColumnWidth = 100;  // in pixels at 96 DPI
constexpr wchar_t kDayColumnTitle[] = L"曜日";
constexpr UINT kStateImageShift = 12;
constexpr UINT kUncheckedImage = 1u << kStateImageShift;
constexpr UINT kCheckedImage = 2u << kStateImageShift;
constexpr int kHourMax = 23;
constexpr int kMinuteMax = 59;
constexpr DWORD kBrowseFlags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
// The longest path Windows takes, in extended form, and its terminator.
constexpr DWORD kChooserChars = 32768;
// Pairs of description and pattern; the literal's own NUL ends the list.
constexpr wchar_t kSoundFilter[] = L"wave Files\0*.wav\0all Files\0*.*\0";
// Names for screen readers: the sound field's hidden label, the "..." button.
constexpr wchar_t kSoundLabel[] = L"サウンドファイル";
constexpr wchar_t kBrowseName[] = L"参照";

static_assert(kDayListExStyles == 0x25, "grid lines, check boxes, full-row selection");
static_assert(kBrowseFlags == 0x1800, "path and file must exist, nothing else");
static_assert(sizeof(void*) != 4 || sizeof(OPENFILENAMEW) == 88,
              "the file dialog is given the full structure");

// What one open editor keeps: a second editor, opened from a second list
// dialog, has its own, so neither can write through the other's index. What
// the fields showed at the start tells which the user touched: OK writes only
// those, so a field left alone keeps its value exactly (a day flag of 2, a
// path the edit cannot show whole).
struct EditorState {
    AccessibleName browseName;
    LPARAM index = 0;
    std::wstring hour, minute, sound;
    UINT days[kDayCount] = {};
};

EditorState* StateOf(HWND dialog) {
    return reinterpret_cast<EditorState*>(GetWindowLongPtrW(dialog, DWLP_USER));
}

// The alarm that index names now, or null when it names none of the list.
CAlarm* AlarmAt(LPARAM index) {
    if (index < 0 || static_cast<std::size_t>(index) >= g_alarms.size()) return nullptr;
    return &g_alarms[static_cast<std::size_t>(index)];
}

void FillDayList(HWND dayList, const CAlarm& alarm) {
    const LRESULT styles = SendMessageW(dayList, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
    SendMessageW(dayList, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, styles | kDayListExStyles);

    LVCOLUMNW column = {};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = LVCFMT_LEFT;
    column.cx = ScaleForWindow(dayList, kDayColumnWidth);
    column.pszText = const_cast<wchar_t*>(kDayColumnTitle);
    column.iSubItem = 0;
    SendMessageW(dayList, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));

    for (int day = 0; day < kDayCount; ++day) {
        LVITEMW item = {};
        item.mask = LVIF_TEXT;
        item.iItem = day;
        item.iSubItem = 0;
        item.pszText = const_cast<wchar_t*>(kDayLabels[day]);
        SendMessageW(dayList, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));

        LVITEMW check = {};
        check.stateMask = LVIS_STATEIMAGEMASK;
        check.state = alarm.DayFlag(day) != 0 ? kCheckedImage : kUncheckedImage;
        SendMessageW(dayList, LVM_SETITEMSTATE, day, reinterpret_cast<LPARAM>(&check));
    }
}

// A field's whole text, however long.
std::wstring FieldText(HWND dialog, int id) {
    const HWND field = GetDlgItem(dialog, id);
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(field)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(field, &text[0], static_cast<int>(text.size()))));
    return text;
}

UINT DayImage(HWND dialog, int day) {
    return static_cast<UINT>(SendDlgItemMessageW(dialog, IDC_DAY_LIST, LVM_GETITEMSTATE, day, LVIS_STATEIMAGEMASK));
}

// Puts label just before field in the window order, where screen readers
// look for a field's name; the tab order and the look stay as they are.
void PlaceLabelBefore(HWND label, HWND field) {
    const HWND previous = GetWindow(field, GW_HWNDPREV);
    if (label == nullptr || previous == label) return;
    SetWindowPos(label, previous != nullptr ? previous : HWND_TOP, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

// A name for every field: the template's labels 時 and 分 stand after their
// fields, the sound field has none, "..." is read as punctuation, and list
// views are named by their window text.
void NameFields(HWND dialog, EditorState& state) {
    HWND labels[2] = {};  // the template's two statics, 時 then 分
    int found = 0;
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr && found < 2;
         child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t className[16] = L"";
        GetClassNameW(child, className, 16);
        if (lstrcmpiW(className, L"Static") == 0) labels[found++] = child;
    }
    PlaceLabelBefore(labels[0], GetDlgItem(dialog, IDC_HOUR_EDIT));
    PlaceLabelBefore(labels[1], GetDlgItem(dialog, IDC_MINUTE_EDIT));
    PlaceLabelBefore(CreateWindowExW(0, L"STATIC", kSoundLabel, WS_CHILD, 0, 0, 0, 0, dialog, nullptr,
                                     g_hInstance, nullptr),
                     GetDlgItem(dialog, IDC_SOUND_EDIT));
    state.browseName.Set(GetDlgItem(dialog, IDC_SOUND_BROWSE), kBrowseName);
    SetWindowTextW(GetDlgItem(dialog, IDC_DAY_LIST), kDayColumnTitle);
}

INT_PTR OnInitDialog(HWND dialog, LPARAM index) {
    EditorState* state = new (std::nothrow) EditorState();
    const CAlarm* alarm = AlarmAt(index);
    if (state == nullptr || alarm == nullptr) {
        delete state;
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
    state->index = index;
    SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(state));

    MakeNumberField(GetDlgItem(dialog, IDC_HOUR_EDIT));
    MakeNumberField(GetDlgItem(dialog, IDC_MINUTE_EDIT));
    SendDlgItemMessageW(dialog, IDC_HOUR_SPIN, UDM_SETRANGE, 0, MAKELPARAM(kHourMax, 0));
    SetDlgItemInt(dialog, IDC_HOUR_EDIT, static_cast<UINT>(alarm->m_hour), FALSE);
    SendDlgItemMessageW(dialog, IDC_MINUTE_SPIN, UDM_SETRANGE, 0, MAKELPARAM(kMinuteMax, 0));
    SetDlgItemInt(dialog, IDC_MINUTE_EDIT, static_cast<UINT>(alarm->m_minute), FALSE);
    SendDlgItemMessageW(dialog, IDC_ON_CHECK, BM_SETCHECK, alarm->m_on ? BST_CHECKED : BST_UNCHECKED, 0);
    FillDayList(GetDlgItem(dialog, IDC_DAY_LIST), *alarm);
    SetWindowTextW(GetDlgItem(dialog, IDC_SOUND_EDIT), alarm->m_sound.c_str());
    state->hour = FieldText(dialog, IDC_HOUR_EDIT);
    state->minute = FieldText(dialog, IDC_MINUTE_EDIT);
    state->sound = FieldText(dialog, IDC_SOUND_EDIT);
    for (int day = 0; day < kDayCount; ++day) state->days[day] = DayImage(dialog, day);
    NameFields(dialog, *state);
    return TRUE;
}

INT_PTR OnOk(HWND dialog) {
    EditorState* state = StateOf(dialog);
    CAlarm* alarm = state != nullptr ? AlarmAt(state->index) : nullptr;
    if (alarm == nullptr) {
        // The list changed beneath the editor: its index names no alarm now.
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
    // Stored as typed: no range check, and an empty field reads as 0.
    // Full-width digits count, should any still be in a field.
    CAlarm edited = *alarm;
    const std::wstring hour = FieldText(dialog, IDC_HOUR_EDIT), minute = FieldText(dialog, IDC_MINUTE_EDIT);
    if (hour != state->hour) edited.m_hour = static_cast<int>(ReadFieldNumber(hour));
    if (minute != state->minute) edited.m_minute = static_cast<int>(ReadFieldNumber(minute));
    edited.m_on = SendDlgItemMessageW(dialog, IDC_ON_CHECK, BM_GETCHECK, 0, 0) != BST_UNCHECKED;
    for (int day = 0; day < kDayCount; ++day) {
        const UINT image = DayImage(dialog, day);
        if (image != state->days[day]) edited.SetDayFlag(day, static_cast<int>(image >> kStateImageShift) - 1);
    }
    const std::wstring sound = FieldText(dialog, IDC_SOUND_EDIT);
    if (sound != state->sound) edited.m_sound = sound;
    // One move, which cannot fail halfway, so neither the alarm check nor an
    // abandoned edit ever leaves half an edit.
    *alarm = std::move(edited);
    EndDialog(dialog, IDOK);
    return TRUE;
}

// The process's current folder, which the file dialog moves to wherever the
// user browsed; empty when it cannot be read.
std::wstring CurrentFolder() {
    const DWORD size = GetCurrentDirectoryW(0, nullptr);
    std::wstring folder(size, L'\0');
    const DWORD length = size != 0 ? GetCurrentDirectoryW(size, &folder[0]) : 0;
    folder.resize(length < size ? length : 0);
    return folder;
}

INT_PTR OnBrowse(HWND dialog) {
    EditorState* state = StateOf(dialog);
    if (state == nullptr) return TRUE;
    // Put back afterwards: a current folder left on the chosen file's folder
    // would keep that folder (a USB stick, say) in use, and a bare sound name
    // such as "chimes.wav" would be looked for there first. OFN_NOCHANGEDIR
    // does not do this for the open dialog on Windows.
    const std::wstring folder = CurrentFolder();
    // The file dialog opens with no name, not on the path the edit shows.
    std::wstring chosen(kChooserChars, L'\0');
    OPENFILENAMEW file = {};
    file.lStructSize = sizeof file;
    file.hwndOwner = dialog;
    file.lpstrFilter = kSoundFilter;
    file.lpstrFile = &chosen[0];
    file.nMaxFile = kChooserChars;
    file.Flags = kBrowseFlags;
    const BOOL picked = DeferredGetOpenFileNameW(&file);
    if (!folder.empty()) SetCurrentDirectoryW(folder.c_str());
    if (picked) {
        SetDlgItemTextW(dialog, IDC_SOUND_EDIT, chosen.c_str());
        return TRUE;
    }
    // Cancelled is 0; anything else is a failure the user is told of.
    using ExtendedErrorFunction = DWORD(WINAPI*)();
    static const auto extendedError = SystemFunction<ExtendedErrorFunction>(L"comdlg32.dll", "CommDlgExtendedError");
    const DWORD error = extendedError ? extendedError() : 0;
    if (error != 0) {
        wchar_t code[16];
        wsprintfW(code, L"0x%04lX", error);
        ShowMessageBox(dialog, FillMessage(LoadText(IDS_CHOOSER_FAILED), {code}), MB_OK | MB_ICONERROR);
    }
    return TRUE;
}

INT_PTR OnPlay(HWND dialog) {
    if (StateOf(dialog) == nullptr) return TRUE;
    // What the edit shows now, not the alarm's stored path.
    PlaySoundFile(FieldText(dialog, IDC_SOUND_EDIT).c_str());
    return TRUE;
}

INT_PTR OnCommand(HWND dialog, int id) {
    switch (id) {
    case IDOK:
        return OnOk(dialog);
    case IDCANCEL:
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    case IDC_SOUND_BROWSE:
        return OnBrowse(dialog);
    case IDC_SOUND_PLAY:
        return OnPlay(dialog);
    case IDC_SOUND_STOP:
        // No sound: stops whatever the process plays, a ringing alarm included.
        StopSound();
        return TRUE;
    default:
        return FALSE;
    }
}

// Moved to a screen of another scale: the dialog manager rescales the dialog
// itself once this returns FALSE; the day column, in pixels, follows here,
// from its 96-DPI width.
INT_PTR OnDpiChanged(HWND dialog, WPARAM dpis) {
    SendDlgItemMessageW(dialog, IDC_DAY_LIST, LVM_SETCOLUMNWIDTH, 0,
                        MAKELPARAM(ScaleToDpi(kDayColumnWidth, LOWORD(dpis)), 0));
    return FALSE;
}

void ReleaseState(HWND dialog) {
    delete StateOf(dialog);
    SetWindowLongPtrW(dialog, DWLP_USER, 0);
}

INT_PTR OnMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(dialog, lParam);
    case WM_COMMAND:
        return OnCommand(dialog, LOWORD(wParam));
    case WM_DPICHANGED:
        return OnDpiChanged(dialog, wParam);
    case WM_DESTROY:
        ReleaseState(dialog);
        return FALSE;
    default:
        return FALSE;
    }
}

}  // namespace

INT_PTR CALLBACK AlarmEditDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return CallGuarded<INT_PTR>(FALSE, [&] { return OnMessage(dialog, message, wParam, lParam); });
}
