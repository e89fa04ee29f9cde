#include "ui/accessible_name.h"

#include <initguid.h>
#include <oleacc.h>

#include "common/system_dlls.h"

namespace {

using CoInitializeExFunction = HRESULT(WINAPI*)(void*, DWORD);
using CoCreateInstanceFunction = HRESULT(WINAPI*)(REFCLSID, IUnknown*, DWORD, REFIID, void**);
using CoUninitializeFunction = void(WINAPI*)();

// ole32.dll is loaded with the first name given, not at start.
template <class Function>
Function Ole32(const char* name) {
    return SystemFunction<Function>(L"ole32.dll", name);
}

}  // namespace

bool AccessibleName::Set(HWND control, const wchar_t* name) {
    static const auto initialize = Ole32<CoInitializeExFunction>("CoInitializeEx");
    static const auto create = Ole32<CoCreateInstanceFunction>("CoCreateInstance");
    if (services_ != nullptr || initialize == nullptr || create == nullptr) return false;
    // Already started in this thread (S_FALSE) counts too: each start is ended.
    comStarted_ = SUCCEEDED(initialize(nullptr, COINIT_APARTMENTTHREADED));
    void* services = nullptr;
    if (FAILED(create(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER, IID_IAccPropServices, &services))) {
        return false;
    }
    services_ = static_cast<IAccPropServices*>(services);
    control_ = control;
    return SUCCEEDED(services_->SetHwndPropStr(control, OBJID_CLIENT, CHILDID_SELF, PROPID_ACC_NAME, name));
}

AccessibleName::~AccessibleName() {
    if (services_ != nullptr) {
        services_->ClearHwndProps(control_, OBJID_CLIENT, CHILDID_SELF, &PROPID_ACC_NAME, 1);
        services_->Release();
    }
    static const auto uninitialize = Ole32<CoUninitializeFunction>("CoUninitialize");
    if (comStarted_ && uninitialize != nullptr) uninitialize();
}
