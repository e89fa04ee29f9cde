#include "ui/dialog_driver.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "common/instance.h"

namespace {

constexpr UINT kStepMs = 20;
constexpr UINT kWatchdogMs = 5000;
constexpr int kMaxWaits = 100;
constexpr int kTextCapacity = 1024;

DialogScript* g_running = nullptr;

void CALLBACK OnScriptTimer(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    if (g_running != nullptr) g_running->OnTick();
}

bool IsDialogWindow(HWND window) {
    wchar_t name[16] = {};
    GetClassNameW(window, name, 16);
    return std::wstring(name) == L"#32770";
}

BOOL CALLBACK CollectDialog(HWND window, LPARAM list) {
    if (IsDialogWindow(window)) reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

// The dialogs of this thread, visible ones only unless hidden is set.
std::vector<HWND> ThreadDialogs(bool hidden = false) {
    std::vector<HWND> found;
    EnumThreadWindows(GetCurrentThreadId(), CollectDialog, reinterpret_cast<LPARAM>(&found));
    if (!hidden) found.erase(std::remove_if(found.begin(), found.end(), [](HWND w) { return !IsWindowVisible(w); }),
                             found.end());
    return found;
}

// A modal dialog is shown only once its loop first runs out of messages, and
// a timer can fall before that: a user would wait until it shows.
bool ADialogIsStillHidden() {
    for (HWND dialog : ThreadDialogs(true))
        if (IsWindowEnabled(dialog) && !IsWindowVisible(dialog)) return true;
    return false;
}

}  // namespace

INT_PTR DialogScript::Run(const std::function<INT_PTR()>& open) {
    g_running = this;
    m_next = 0;
    m_timer = SetTimer(nullptr, 0, kStepMs, OnScriptTimer);
    const INT_PTR result = open();
    KillTimer(nullptr, m_timer);
    g_running = nullptr;
    EXPECT_EQ(m_steps.size(), m_next) << "the dialog ended before every step had run";
    return result;
}

void DialogScript::OnTick() {
    if (m_next < m_steps.size() && ADialogIsStillHidden() && m_waits++ < kMaxWaits) {
        m_timer = SetTimer(nullptr, 0, kStepMs, OnScriptTimer);
        return;
    }
    m_waits = 0;
    if (m_next == m_steps.size()) {
        ADD_FAILURE() << "a dialog is still open after the last step";
        for (HWND dialog : ThreadDialogs(true)) EndDialog(dialog, 0);
        return;
    }
    const Step step = m_steps[m_next++];
    m_timer = SetTimer(nullptr, 0, m_next < m_steps.size() ? kStepMs : kWatchdogMs, OnScriptTimer);
    step();
}

HWND FindDialog(const wchar_t* caption) {
    for (HWND dialog : ThreadDialogs())
        if (IsWindowEnabled(dialog) && WindowText(dialog) == caption) return dialog;
    return nullptr;
}

HWND FindOwnedDialog(HWND owner) {
    for (HWND dialog : ThreadDialogs())
        if (GetWindow(dialog, GW_OWNER) == owner) return dialog;
    return nullptr;
}

std::wstring WindowText(HWND window) {
    wchar_t text[kTextCapacity] = {};
    GetWindowTextW(window, text, kTextCapacity);
    return text;
}

int RowCount(HWND listView) { return static_cast<int>(SendMessageW(listView, LVM_GETITEMCOUNT, 0, 0)); }

std::wstring ItemText(HWND listView, int row, int column) {
    wchar_t text[kTextCapacity] = {};
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = kTextCapacity;
    SendMessageW(listView, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    return text;
}

std::vector<std::wstring> RowTexts(HWND listView, int row) {
    const HWND header = reinterpret_cast<HWND>(SendMessageW(listView, LVM_GETHEADER, 0, 0));
    const int columns = static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
    std::vector<std::wstring> texts;
    for (int column = 0; column < columns; ++column) texts.push_back(ItemText(listView, row, column));
    return texts;
}

std::vector<int> SelectedRows(HWND listView) {
    std::vector<int> rows;
    for (int row = 0; row < RowCount(listView); ++row)
        if (SendMessageW(listView, LVM_GETITEMSTATE, row, LVIS_SELECTED) & LVIS_SELECTED) rows.push_back(row);
    return rows;
}

void SelectRows(HWND listView, const std::vector<int>& rows) {
    LVITEMW item = {};
    item.stateMask = LVIS_SELECTED;
    SendMessageW(listView, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
    item.state = LVIS_SELECTED;
    for (int row : rows) SendMessageW(listView, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
}

UINT StateImage(HWND listView, int row) {
    return static_cast<UINT>(SendMessageW(listView, LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK)) >> 12;
}

void Click(HWND dialog, int id) { SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

void PressKey(HWND dialog, UINT key) {
    HWND target = GetFocus();
    if (target == nullptr || (target != dialog && !IsChild(dialog, target))) target = dialog;
    PostMessageW(target, WM_KEYDOWN, key, 1);
    PostMessageW(target, WM_KEYUP, key, 0xC0000001);
}

int PrefixDpi() {
    wchar_t text[16] = L"";
    const DWORD length = GetEnvironmentVariableW(L"VELMORA_DPI", text, 16);
    return length > 0 && length < 16 ? _wtoi(text) : 96;
}

int AtPrefixDpi(int size) {
    EXPECT_EQ(0, size * PrefixDpi() % 96) << size << " is no whole size at " << PrefixDpi() << " DPI";
    return size * PrefixDpi() / 96;
}

int ColumnWidth(HWND listView, int column) {
    return static_cast<int>(SendMessageW(listView, LVM_GETCOLUMNWIDTH, column, 0));
}

void UseTestProgramResources() {
    g_hInstance = GetModuleHandleW(nullptr);
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES | ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&controls);
}
