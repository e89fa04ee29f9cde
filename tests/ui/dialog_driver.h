// Drives the real dialogs in the test's own process, as a user would.
#pragma once

#include <windows.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// Steps run one per tick of a thread timer, so each runs inside whichever
// modal loop is innermost when it is due: a step that opens a nested dialog
// (a click on 追加) blocks there, and the next step acts on that dialog.
class DialogScript {
public:
    using Step = std::function<void()>;
    explicit DialogScript(std::vector<Step> steps) : m_steps(std::move(steps)) {}

    // Calls open, which runs a dialog modally, with the steps running
    // meanwhile; returns open's result. A dialog still open a while after the
    // last step is reported as a failure and ended, so a broken test never hangs.
    INT_PTR Run(const std::function<INT_PTR()>& open);
    void OnTick();

private:
    std::vector<Step> m_steps;
    std::size_t m_next = 0;
    int m_waits = 0;
    UINT_PTR m_timer = 0;
};

// The visible dialog of this thread with this caption that takes input, so
// the innermost when nested dialogs share one; null when there is none.
HWND FindDialog(const wchar_t* caption);
// A visible dialog of this thread owned by owner, or null.
HWND FindOwnedDialog(HWND owner);

std::wstring WindowText(HWND window);
int RowCount(HWND listView);
std::wstring ItemText(HWND listView, int row, int column);
// The texts of a row in every column of the list view.
std::vector<std::wstring> RowTexts(HWND listView, int row);
std::vector<int> SelectedRows(HWND listView);
// Selects exactly these rows.
void SelectRows(HWND listView, const std::vector<int>& rows);
UINT StateImage(HWND listView, int row);  // 1 unchecked, 2 checked

void Click(HWND dialog, int id);
// Posts a key press and release to the dialog's focused control.
void PressKey(HWND dialog, UINT key);

// The display scale this run's prefix is set to: VELMORA_DPI where the
// runner set one (run_at_dpi.sh), else 96.
int PrefixDpi();
// A size in pixels at 96 DPI as it is at PrefixDpi(); the scales the tests
// run at make each size a whole number of pixels.
int AtPrefixDpi(int size);
// A column's width in a list view.
int ColumnWidth(HWND listView, int column);

// Makes the dialogs load from the test program, whose resources hold the
// templates, and registers the list-view and up-down classes.
void UseTestProgramResources();
