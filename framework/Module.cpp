#include "Module.h"

#include <commctrl.h>

namespace fw {
namespace {
DWORD g_dwMainThreadId = 0;
}

ExeModule::ExeModule() {
    g_dwMainThreadId = ::GetCurrentThreadId();
    // Dialog templates name the up-down class; make sure it is registered before any dialog
    // is created (the manifest names no common-controls version).
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_UPDOWN_CLASS};
    ::InitCommonControlsEx(&icc);
}

ExeModule::~ExeModule() { Term(); }

HINSTANCE ExeModule::ResourceInstance() { return ::GetModuleHandleW(nullptr); }

DWORD ExeModule::MainThreadId() { return g_dwMainThreadId; }

}  // namespace fw
