// The alarm editor, run from its template and driven as a user would.
#include <windows.h>
#include <commctrl.h>
#include <oleacc.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "common/instance.h"
#include "common/sound.h"
#include "common/system_dlls.h"
#include "model/alarm_archive.h"
#include "model/archive_test_util.h"
#include "model/test_files.h"
#include "res/resource.h"
#include "ui/alarm_edit_dialog.h"
#include "ui/dialog_driver.h"

namespace {

const CAlarm kFirst(8, 30, 1, 1, 1, 1, 1, 1, 1, true, L"chimes.wav");
const CAlarm kSevenOFive(7, 5, 0, 1, 0, 1, 0, 0, 0, false, L"chimes.wav");
const CAlarm kLast(17, 0, 1, 0, 0, 0, 0, 0, 1, true, L"ring.wav");

// Ids of the file dialog's own controls (from <dlgs.h>).
constexpr int kFileTypeCombo = 0x470;
constexpr int kFileNameCombo = 0x47c;
constexpr int kFileNameEdit = 0x480;

BOOL CALLBACK FindNameEdit(HWND window, LPARAM found) {
    wchar_t name[16] = {};
    GetClassNameW(window, name, 16);
    const int id = GetDlgCtrlID(window);
    if (std::wstring(name) != L"Edit" || (id != kFileNameCombo && id != kFileNameEdit)) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

// The edit in which the file dialog takes a typed file name.
HWND FileNameEdit(HWND files) {
    HWND edit = nullptr;
    EnumChildWindows(files, FindNameEdit, reinterpret_cast<LPARAM>(&edit));
    return edit;
}

// Types a name into the file dialog of the editor and presses its OK.
void EnterFileName(HWND editor, const std::wstring& name) {
    const HWND files = FindOwnedDialog(editor);
    ASSERT_NE(nullptr, files);
    ASSERT_NE(nullptr, FileNameEdit(files));
    SetWindowTextW(FileNameEdit(files), name.c_str());
    PostMessageW(files, WM_COMMAND, IDOK, 0);
}

// The name oleacc gives a control, which is what a screen reader reads.
std::wstring ReaderName(HWND control) {
    IAccessible* object = nullptr;
    VARIANT self{};
    self.vt = VT_I4;  // CHILDID_SELF
    BSTR name = nullptr;
    if (SUCCEEDED(AccessibleObjectFromWindow(control, OBJID_CLIENT, IID_IAccessible, reinterpret_cast<void**>(&object)))) {
        object->get_accName(self, &name);
        object->Release();
    }
    const std::wstring text = name != nullptr ? name : L"";
    SysFreeString(name);
    return text;
}

struct PlayCall {
    bool hasSound;
    std::wstring sound;
    HMODULE module;
    DWORD flags;
};
std::vector<PlayCall> s_playCalls;

BOOL WINAPI RecordPlay(LPCWSTR sound, HMODULE module, DWORD flags) {
    s_playCalls.push_back({sound != nullptr, sound != nullptr ? sound : L"", module, flags});
    return TRUE;
}

class AlarmEditDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        UseTestProgramResources();
        g_alarms = {kFirst, kSevenOFive, kLast};
        s_playCalls.clear();
        g_playSound = RecordPlay;
    }
    void TearDown() override {
        g_playSound = DeferredPlaySoundW;
        g_alarms.clear();
    }

    static INT_PTR Open(LPARAM index, HWND owner = nullptr) {
        return DialogBoxParamW(g_hInstance, MAKEINTRESOURCEW(IDD_ALARM_EDIT), owner, AlarmEditDlgProc, index);
    }
    static INT_PTR Run(LPARAM index, std::vector<DialogScript::Step> steps) {
        return DialogScript(std::move(steps)).Run([index] { return Open(index); });
    }
    static HWND Editor() { return FindDialog(L"変更"); }
    static HWND Item(int id) { return GetDlgItem(Editor(), id); }
    static void SetText(int id, const std::wstring& text) { SetWindowTextW(Item(id), text.c_str()); }
    static std::wstring Text(int id) { return WindowText(Item(id)); }
    static void SetDay(int day, bool checked) {
        LVITEMW item = {};
        item.stateMask = LVIS_STATEIMAGEMASK;
        item.state = INDEXTOSTATEIMAGEMASK(checked ? 2 : 1);
        SendMessageW(Item(IDC_DAY_LIST), LVM_SETITEMSTATE, day, reinterpret_cast<LPARAM>(&item));
    }
    // What the seven check boxes show, Sunday first: 1 unchecked, 2 checked.
    static std::vector<UINT> DayImages() {
        std::vector<UINT> images;
        for (int day = 0; day < 7; ++day) images.push_back(StateImage(Item(IDC_DAY_LIST), day));
        return images;
    }
};

}  // namespace

TEST_F(AlarmEditDialogTest, ShowsTheAlarmInTheTemplatesControls) {
    const INT_PTR result = Run(1, {[] {
        ASSERT_NE(nullptr, Editor());
        EXPECT_EQ(GetDlgItem(Editor(), IDOK), GetFocus());
        EXPECT_EQ(L"7", Text(IDC_HOUR_EDIT));
        EXPECT_EQ(L"5", Text(IDC_MINUTE_EDIT));
        EXPECT_EQ(BST_UNCHECKED, SendMessageW(Item(IDC_ON_CHECK), BM_GETCHECK, 0, 0));
        EXPECT_EQ(L"chimes.wav", Text(IDC_SOUND_EDIT));

        const HWND days = Item(IDC_DAY_LIST);
        EXPECT_EQ(0x25, SendMessageW(days, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
        wchar_t title[16] = {};
        LVCOLUMNW column = {};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        column.pszText = title;
        column.cchTextMax = 16;
        ASSERT_TRUE(SendMessageW(days, LVM_GETCOLUMNW, 0, reinterpret_cast<LPARAM>(&column)));
        EXPECT_EQ(std::wstring(L"曜日"), title);
        EXPECT_EQ(AtPrefixDpi(100), column.cx);  // 100 pixels at 100 %
        RECT suggested{};
        GetWindowRect(Editor(), &suggested);
        SendMessageW(Editor(), WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
        EXPECT_EQ(150, ColumnWidth(days, 0));  // on a screen at 150 %
        EXPECT_EQ(LVCFMT_LEFT, column.fmt & LVCFMT_JUSTIFYMASK);
        EXPECT_EQ(1u, RowTexts(days, 0).size());
        const wchar_t* labels[] = {L"SUN", L"MON", L"TUE", L"WED", L"THU", L"FRI", L"SAT"};
        ASSERT_EQ(7, RowCount(days));
        for (int day = 0; day < 7; ++day) EXPECT_EQ(std::wstring(labels[day]), ItemText(days, day, 0));
        EXPECT_EQ((std::vector<UINT>{1, 2, 1, 2, 1, 1, 1}), DayImages());

        // Each up-down drives the edit before it, within the hour's or minute's range.
        for (auto [spin, edit, top] : {std::tuple{IDC_HOUR_SPIN, IDC_HOUR_EDIT, 23},
                                       std::tuple{IDC_MINUTE_SPIN, IDC_MINUTE_EDIT, 59}}) {
            int low = -1, high = -1;
            SendMessageW(Item(spin), UDM_GETRANGE32, reinterpret_cast<WPARAM>(&low), reinterpret_cast<LPARAM>(&high));
            EXPECT_EQ(0, low);
            EXPECT_EQ(top, high);
            EXPECT_EQ(Item(edit), reinterpret_cast<HWND>(SendMessageW(Item(spin), UDM_GETBUDDY, 0, 0)));
        }
        Click(Editor(), IDCANCEL);
    }});
    EXPECT_EQ(IDCANCEL, result);
    EXPECT_TRUE(SameAlarms({kFirst, kSevenOFive, kLast}, g_alarms));
}

TEST_F(AlarmEditDialogTest, TheArrowKeysStopAtTheEndsOfTheRange) {
    auto press = [](int id, UINT key) {
        SendMessageW(Item(id), WM_KEYDOWN, key, 1);
        SendMessageW(Item(id), WM_KEYUP, key, 0xC0000001);
    };
    Run(1, {[&] {
        SetText(IDC_HOUR_EDIT, L"22");
        press(IDC_HOUR_EDIT, VK_UP);
        EXPECT_EQ(L"23", Text(IDC_HOUR_EDIT));
        press(IDC_HOUR_EDIT, VK_UP);
        EXPECT_EQ(L"23", Text(IDC_HOUR_EDIT));
        SetText(IDC_MINUTE_EDIT, L"1");
        press(IDC_MINUTE_EDIT, VK_DOWN);
        press(IDC_MINUTE_EDIT, VK_DOWN);
        EXPECT_EQ(L"0", Text(IDC_MINUTE_EDIT));
        Click(Editor(), IDOK);
    }});
    EXPECT_EQ(23, g_alarms[1].m_hour);
    EXPECT_EQ(0, g_alarms[1].m_minute);
}

TEST_F(AlarmEditDialogTest, OkKeepsEveryFieldItDidNotTouchByteForByte) {
    // A 300-character path, day flags of 2 and -1, an hour of -1 and a path
    // with a NUL in it that the edit cannot show whole.
    const std::wstring longPath = L"C:\\" + std::wstring(300, L'\u30AB') + L".wav";
    const CAlarm odd(-1, 0, 2, 0, 0, 0, 0, 0, -1, true, longPath);
    const CAlarm nul(9, 0, 1, 1, 1, 1, 1, 1, 1, true, std::wstring(L"a.wav\0b", 7));
    g_alarms = {odd, nul};
    const std::string before = EncodeAlarmArchive(g_alarms);
    EXPECT_EQ(IDOK, Run(0, {[] { Click(Editor(), IDOK); }}));
    EXPECT_EQ(IDOK, Run(1, {[] { Click(Editor(), IDOK); }}));
    EXPECT_EQ(before, EncodeAlarmArchive(g_alarms));
    // Only the hour and Monday changed: the rest stays as it was.
    EXPECT_EQ(IDOK, Run(0, {[&] {
        EXPECT_EQ(longPath, Text(IDC_SOUND_EDIT));
        SetText(IDC_HOUR_EDIT, L"6");
        SetDay(1, true);
        Click(Editor(), IDOK);
    }}));
    EXPECT_TRUE(SameAlarms({CAlarm(6, 0, 2, 1, 0, 0, 0, 0, -1, true, longPath), nul}, g_alarms));
}

TEST_F(AlarmEditDialogTest, OkStoresWhatIsTypedAllAtOnce) {
    struct Case {
        const wchar_t* hour;
        const wchar_t* minute;
        int storedHour;
        int storedMinute;
    };
    const Case cases[] = {{L"30", L"5", 30, 5}, {L"", L"", 0, 0}, {L"23", L"99", 23, 99}, {L"007", L"0", 7, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "hour \"" << c.hour << "\"");
        g_alarms = {kFirst, kSevenOFive, kLast};
        const INT_PTR result = Run(1, {[&] {
            SetText(IDC_HOUR_EDIT, c.hour);
            SetText(IDC_MINUTE_EDIT, c.minute);
            Click(Editor(), IDC_ON_CHECK);
            for (int day = 0; day < 7; ++day) SetDay(day, day % 2 == 0);
            SetText(IDC_SOUND_EDIT, L"");
            // Nothing reaches the alarm before OK.
            EXPECT_TRUE(SameAlarm(kSevenOFive, g_alarms[1]));
            Click(Editor(), IDOK);
        }});
        EXPECT_EQ(IDOK, result);
        EXPECT_TRUE(SameAlarms({kFirst, CAlarm(c.storedHour, c.storedMinute, 1, 0, 1, 0, 1, 0, 1, true, L""), kLast},
                               g_alarms));
    }
}

// The Japanese IME in its ひらがな mode types full-width digits: typed or
// pasted, they count as the digits they stand for, shown as ASCII at once.
// Typing takes no other character.
TEST_F(AlarmEditDialogTest, FullWidthDigitsTypedOrPastedCountAsDigits) {
    auto type = [](int id, const std::wstring& text) {
        for (wchar_t c : text) SendMessageW(Item(id), WM_CHAR, c, 1);
    };
    g_alarms[1] = CAlarm(12, 30, 0, 1, 0, 1, 0, 0, 0, false, L"chimes.wav");
    EXPECT_EQ(IDOK, Run(1, {[&] {
        SetText(IDC_HOUR_EDIT, L"");
        SetText(IDC_MINUTE_EDIT, L"");
        type(IDC_HOUR_EDIT, L"\uFF11\uFF12a\uFF21:");
        type(IDC_MINUTE_EDIT, L"\uFF13\uFF10");
        EXPECT_TRUE(Text(IDC_HOUR_EDIT) == L"12" && Text(IDC_MINUTE_EDIT) == L"30");
        Click(Editor(), IDOK);
    }}));
    EXPECT_TRUE(g_alarms[1].m_hour == 12 && g_alarms[1].m_minute == 30);

    const wchar_t pasted[] = L"\uFF10\uFF17";  // through the clipboard, over the whole field
    const HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, sizeof pasted);
    ASSERT_NE(nullptr, memory);
    memcpy(GlobalLock(memory), pasted, sizeof pasted);
    GlobalUnlock(memory);
    ASSERT_TRUE(OpenClipboard(nullptr) && EmptyClipboard() && SetClipboardData(CF_UNICODETEXT, memory));
    CloseClipboard();
    EXPECT_EQ(IDOK, Run(1, {[&] {
        SendMessageW(Item(IDC_MINUTE_EDIT), EM_SETSEL, 0, -1);
        SendMessageW(Item(IDC_MINUTE_EDIT), WM_PASTE, 0, 0);
        DWORD start = 0, end = 0;  // the caret after the paste, as for any
        SendMessageW(Item(IDC_MINUTE_EDIT), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        EXPECT_TRUE(Text(IDC_MINUTE_EDIT) == L"07" && start == 2 && end == 2);
        SetText(IDC_HOUR_EDIT, L"\uFF18");  // should one stay in a field, OK still reads it
        Click(Editor(), IDOK);
    }}));
    EXPECT_TRUE(g_alarms[1].m_hour == 8 && g_alarms[1].m_minute == 7);
}

TEST_F(AlarmEditDialogTest, CancelAndEscWriteNothing) {
    for (bool esc : {false, true}) {
        const INT_PTR result = Run(0, {[&] {
            SetText(IDC_HOUR_EDIT, L"1");
            Click(Editor(), IDC_ON_CHECK);
            for (int day = 0; day < 7; ++day) SetDay(day, false);
            SetText(IDC_SOUND_EDIT, L"other.wav");
            if (esc)
                PressKey(Editor(), VK_ESCAPE);
            else
                Click(Editor(), IDCANCEL);
        }});
        EXPECT_EQ(IDCANCEL, result) << esc;
        EXPECT_TRUE(SameAlarms({kFirst, kSevenOFive, kLast}, g_alarms)) << esc;
    }
}

TEST_F(AlarmEditDialogTest, PlayPlaysTheEditsTextAndStopSilences) {
    const std::wstring longPath(280, L'x');
    Run(1, {[&] {
        Click(Editor(), IDC_SOUND_PLAY);
        SetText(IDC_SOUND_EDIT, longPath);
        Click(Editor(), IDC_SOUND_PLAY);
        Click(Editor(), IDC_SOUND_STOP);
        Click(Editor(), IDC_SOUND_PLAY);
        Click(Editor(), IDCANCEL);
    }});
    ASSERT_EQ(4u, s_playCalls.size());  // and none when the editor closes
    const DWORD flags = SND_FILENAME | SND_ASYNC;
    EXPECT_EQ(L"chimes.wav", s_playCalls[0].sound);
    EXPECT_EQ(longPath, s_playCalls[1].sound);
    EXPECT_FALSE(s_playCalls[2].hasSound);
    EXPECT_EQ(longPath, s_playCalls[3].sound);
    for (const PlayCall& call : s_playCalls) {
        EXPECT_EQ(nullptr, call.module);
        EXPECT_EQ(flags, call.flags);
    }
    EXPECT_TRUE(SameAlarm(kSevenOFive, g_alarms[1]));
}

TEST_F(AlarmEditDialogTest, CancellingTheFileDialogKeepsTheEdit) {
    HWND editor = nullptr;  // disabled, so not found by caption, while the file dialog is open
    Run(1, {
        [&] {
            editor = Editor();
            SetText(IDC_SOUND_EDIT, L"keep.wav");
            Click(Editor(), IDC_SOUND_BROWSE);  // returns once the file dialog has ended
            EXPECT_EQ(L"keep.wav", Text(IDC_SOUND_EDIT));
            Click(Editor(), IDOK);
        },
        [&] {
            const HWND files = FindOwnedDialog(editor);
            ASSERT_NE(nullptr, files);
            ASSERT_NE(nullptr, FileNameEdit(files));
            EXPECT_EQ(L"", WindowText(FileNameEdit(files)));  // not opened on the edit's path
            const HWND types = GetDlgItem(files, kFileTypeCombo);
            ASSERT_EQ(2, SendMessageW(types, CB_GETCOUNT, 0, 0));
            EXPECT_EQ(0, SendMessageW(types, CB_GETCURSEL, 0, 0));
            wchar_t type[32] = {};
            SendMessageW(types, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(type));
            EXPECT_EQ(std::wstring(L"wave Files"), type);
            SendMessageW(types, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(type));
            EXPECT_EQ(std::wstring(L"all Files"), type);
            PostMessageW(files, WM_COMMAND, IDCANCEL, 0);
        },
    });
    EXPECT_EQ(L"keep.wav", g_alarms[1].m_sound);
}

TEST_F(AlarmEditDialogTest, AChosenFileFillsTheEditButOnlyOkKeepsItAndTheCurrentFolderStays) {
    TempFolder folder;
    const std::wstring bell = folder.Path(L"bell.wav");
    ASSERT_TRUE(WriteBytes(bell, "RIFF"));
    wchar_t before[MAX_PATH] = L"", after[MAX_PATH] = L"";
    ASSERT_NE(0u, GetCurrentDirectoryW(MAX_PATH, before));
    ASSERT_NE(0, _wcsicmp(before, folder.Root().c_str()));
    HWND editor = nullptr;
    Run(1, {
        [&] {
            editor = Editor();
            Click(Editor(), IDC_SOUND_BROWSE);
            EXPECT_EQ(0, _wcsicmp(bell.c_str(), Text(IDC_SOUND_EDIT).c_str())) << Text(IDC_SOUND_EDIT);
            Click(Editor(), IDCANCEL);
        },
        // Into the folder first, as a user browses, then the file by its name.
        [&] { EnterFileName(editor, folder.Root()); },
        [&] { EnterFileName(editor, L"bell.wav"); },
    });
    EXPECT_EQ(L"chimes.wav", g_alarms[1].m_sound);
    ASSERT_NE(0u, GetCurrentDirectoryW(MAX_PATH, after));
    EXPECT_EQ(std::wstring(before), after);
}

// Each editor keeps its own index: two open at once each write their own
// alarm, and an index that no longer names an alarm writes nothing.
TEST_F(AlarmEditDialogTest, EachEditorWritesOnlyItsOwnAlarmWhileItExists) {
    const INT_PTR outer = Run(0, {
        [] {
            SetText(IDC_HOUR_EDIT, L"1");
            EXPECT_EQ(IDOK, Open(2, Editor()));
            Click(Editor(), IDOK);
        },
        [] {
            SetText(IDC_HOUR_EDIT, L"2");
            Click(Editor(), IDOK);
        },
    });
    EXPECT_EQ(IDOK, outer);
    EXPECT_EQ(1, g_alarms[0].m_hour);
    EXPECT_EQ(2, g_alarms[2].m_hour);

    g_alarms = {kFirst, kSevenOFive, kLast};
    const INT_PTR stale = Run(2, {[] {
        g_alarms.erase(g_alarms.begin());  // the list changed beneath the editor
        SetText(IDC_HOUR_EDIT, L"3");
        Click(Editor(), IDOK);
    }});
    EXPECT_EQ(IDCANCEL, stale);
    EXPECT_TRUE(SameAlarms({kSevenOFive, kLast}, g_alarms));

    for (LPARAM index : {LPARAM{2}, LPARAM{-1}}) {
        EXPECT_EQ(IDCANCEL, Run(index, {})) << index;
        EXPECT_TRUE(SameAlarms({kSevenOFive, kLast}, g_alarms));
    }
}

// A name for each field, as Wine's oleacc gives it by Windows' rule (the
// label before the field in the window order), and the day list's text; the
// "..." button's annotation Wine does not keep. The tab order stays.
TEST_F(AlarmEditDialogTest, AScreenReaderHearsANameForEachFieldAndTheTabOrderStays) {
    Run(0, {[] {
        EXPECT_EQ(L"時", ReaderName(Item(IDC_HOUR_EDIT)));
        EXPECT_EQ(L"分", ReaderName(Item(IDC_MINUTE_EDIT)));
        EXPECT_EQ(L"サウンドファイル", ReaderName(Item(IDC_SOUND_EDIT)));
        EXPECT_TRUE(!IsWindowVisible(GetWindow(Item(IDC_SOUND_EDIT), GW_HWNDPREV)) && Text(IDC_DAY_LIST) == L"曜日");
        std::vector<int> tabOrder;
        for (HWND c = Item(IDOK); tabOrder.size() < 10; c = GetNextDlgTabItem(Editor(), c, FALSE)) tabOrder.push_back(GetDlgCtrlID(c));
        EXPECT_EQ((std::vector<int>{IDOK, IDCANCEL, IDC_HOUR_EDIT, IDC_MINUTE_EDIT, IDC_ON_CHECK, IDC_SOUND_EDIT,
                                    IDC_SOUND_BROWSE, IDC_SOUND_PLAY, IDC_SOUND_STOP, IDC_DAY_LIST}), tabOrder);
        Click(Editor(), IDCANCEL);
    }});
}
