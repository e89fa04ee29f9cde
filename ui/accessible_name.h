// A name for screen readers that a control's window text cannot give: the
// system's Dynamic Annotation API (IAccPropServices of oleacc, through COM).
#pragma once

#include <windows.h>

struct IAccPropServices;

class AccessibleName {
public:
    AccessibleName() = default;
    // Takes the name back: ends before the control is destroyed.
    ~AccessibleName();
    AccessibleName(const AccessibleName&) = delete;
    AccessibleName& operator=(const AccessibleName&) = delete;

    // Gives control the name name, once; false where the system offers no way.
    bool Set(HWND control, const wchar_t* name);

private:
    HWND control_ = nullptr;
    IAccPropServices* services_ = nullptr;
    bool comStarted_ = false;
};
