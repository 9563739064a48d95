// The executable module in place of ATL's CAtlExeModuleT: COM for the main thread, the
// resource instance, and the common controls the dialog templates use.
#pragma once

#include <windows.h>

namespace fw {

class ExeModule {
public:
    ExeModule();
    ~ExeModule();
    ExeModule(const ExeModule&) = delete;
    ExeModule& operator=(const ExeModule&) = delete;

    // COM for the calling thread in a single-threaded apartment.
    static HRESULT InitializeCom() { return ::CoInitialize(nullptr); }
    static void UninitializeCom() { ::CoUninitialize(); }

    // Releases the window-class bookkeeping: the framework registers no window class of its
    // own, so there is nothing to unregister.
    void Term() {}

    // The program's own file serves as both the code and the resource module.
    static HINSTANCE ResourceInstance();
    static DWORD MainThreadId();
};

}  // namespace fw
