#include "app/about_box.h"

#include "common/guarded_call.h"

namespace {

INT_PTR OnMessage(HWND dialog, UINT message, WPARAM wParam) {
    switch (message) {
    case WM_INITDIALOG:
        // TRUE: the dialog manager puts the focus on the default button.
        return TRUE;
    case WM_COMMAND:
        // OK, and Esc or the close box as IDCANCEL; other ids are not handled.
        if (LOWORD(wParam) != IDOK && LOWORD(wParam) != IDCANCEL) return FALSE;
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    default:
        return FALSE;
    }
}

}  // namespace

INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    return CallGuarded<INT_PTR>(FALSE, [&] { return OnMessage(dialog, message, wParam); });
}
