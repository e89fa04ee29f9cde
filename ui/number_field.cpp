#include "ui/number_field.h"

#include <imm.h>

#include <string>

#include "common/guarded_call.h"
#include "common/system_dlls.h"
#include "ui/typed_digits.h"

namespace {

// The edit's own procedure, kept on the edit itself while it is subclassed.
constexpr wchar_t kEditProcProperty[] = L"velmora.NumberField";

WNDPROC EditProcOf(HWND edit) { return reinterpret_cast<WNDPROC>(GetPropW(edit, kEditProcProperty)); }

std::wstring TextOf(HWND edit) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(edit)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(edit, &text[0], static_cast<int>(text.size()))));
    return text;
}

// Full-width digits that reached the text by a way other than typing become
// ASCII, one character for one, so the selection and caret stay where they were.
void NormaliseDigits(HWND edit) {
    std::wstring text = TextOf(edit);
    if (!ToAsciiDigits(text)) return;
    DWORD start = 0, end = 0;
    SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    SetWindowTextW(edit, text.c_str());
    SendMessageW(edit, EM_SETSEL, start, end);
}

// Whether message may have put text into the edit other than by a typed
// character: a paste, or the text an IME commits (an IME may write it into the
// edit itself rather than as characters).
bool MayBringText(UINT message, LPARAM lParam) {
    switch (message) {
    case WM_PASTE:
    case EM_REPLACESEL:
    case WM_IME_ENDCOMPOSITION:
        return true;
    case WM_IME_COMPOSITION:
        return (lParam & GCS_RESULTSTR) != 0;
    default:
        return false;
    }
}

LRESULT CALLBACK NumberFieldProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam) {
    const WNDPROC editProc = EditProcOf(edit);
    if (editProc == nullptr) return DefWindowProcW(edit, message, wParam, lParam);
    switch (message) {
    case WM_CHAR:
    case WM_IME_CHAR:
        // Typed: the edit sees the ASCII digit, which ES_NUMBER takes.
        return CallWindowProcW(editProc, edit, message, AsciiDigit(static_cast<wchar_t>(wParam)), lParam);
    case WM_NCDESTROY:
        SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(editProc));
        RemovePropW(edit, kEditProcProperty);
        return CallWindowProcW(editProc, edit, message, wParam, lParam);
    default: {
        const LRESULT result = CallWindowProcW(editProc, edit, message, wParam, lParam);
        if (MayBringText(message, lParam)) CallGuarded([edit] { NormaliseDigits(edit); });
        return result;
    }
    }
}

// The IME off in the field: digits need none. ImmAssociateContextEx of imm32,
// looked up from the system folder at run time; nothing happens without it.
void TurnImeOff(HWND edit) {
    using Function = BOOL(WINAPI*)(HWND, HIMC, DWORD);
    static const Function associate = SystemFunction<Function>(L"imm32.dll", "ImmAssociateContextEx");
    if (associate) associate(edit, nullptr, 0);
}

}  // namespace

void MakeNumberField(HWND edit) {
    if (edit == nullptr || EditProcOf(edit) != nullptr) return;
    const LONG_PTR editProc = GetWindowLongPtrW(edit, GWLP_WNDPROC);
    if (editProc == 0 || !SetPropW(edit, kEditProcProperty, reinterpret_cast<HANDLE>(editProc))) return;
    SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(NumberFieldProc));
    TurnImeOff(edit);
}
