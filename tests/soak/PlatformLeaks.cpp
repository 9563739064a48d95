#include "PlatformLeaks.h"

#include <windows.h>

#include <dshow.h>

#include "ProcessMeter.h"

namespace soak {
namespace {

// The first of each is not counted: it loads DLLs and starts services that stay.
const int kWarmUps = 2;
const int kMeasured = 10;
const DWORD kChildTimeoutMs = 5000;

DWORD OwnHandles() {
    return CountHandles(::GetCurrentProcess(), ::GetCurrentProcessId());
}

bool MakeGraphs(int cGraphs) {
    for (int i = 0; i < cGraphs; ++i) {
        IGraphBuilder* pGraph = nullptr;
        if (FAILED(::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                      reinterpret_cast<void**>(&pGraph))))
            return false;
        pGraph->Release();
    }
    return true;
}

std::wstring RegisteredGraphEdit() {
    wchar_t sz[MAX_PATH] = L"graphedt.exe";
    DWORD cb = sizeof(sz);
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Shared Tools\\Graphedit", L"Path", RRF_RT_REG_SZ,
                       nullptr, sz, &cb) != ERROR_SUCCESS)
        return L"graphedt.exe";
    return sz;
}

// Started as the program starts it; ended with WM_QUIT as the program ends it.
bool StartGraphEdits(const std::wstring& path, int cTimes) {
    for (int i = 0; i < cTimes; ++i) {
        STARTUPINFOW si = {};
        si.cb = sizeof(si);
        si.dwFlags = STARTF_USESHOWWINDOW;
        si.wShowWindow = SW_SHOWNORMAL;
        PROCESS_INFORMATION pi = {};
        if (!::CreateProcessW(path.c_str(), nullptr, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr, nullptr,
                              &si, &pi))
            return false;
        const DWORD dwWait = ::WaitForInputIdle(pi.hProcess, kChildTimeoutMs);
        ::PostThreadMessageW(pi.dwThreadId, WM_QUIT, 0, 0);
        const DWORD dwEnd = ::WaitForSingleObject(pi.hProcess, kChildTimeoutMs);
        if (dwEnd != WAIT_OBJECT_0) ::TerminateProcess(pi.hProcess, 1);
        ::CloseHandle(pi.hThread);
        ::CloseHandle(pi.hProcess);
        if (dwWait != 0 || dwEnd != WAIT_OBJECT_0) return false;
    }
    return true;
}

}  // namespace

bool MeasurePlatformLeaks(PlatformLeaks* pLeaks, std::string* pError) {
    if (!MakeGraphs(kWarmUps)) {
        *pError = "creating a filter graph manager failed";
        return false;
    }
    DWORD cBefore = OwnHandles();
    MakeGraphs(kMeasured);
    pLeaks->perGraph = (static_cast<double>(OwnHandles()) - cBefore) / kMeasured;

    const std::wstring graphEdit = RegisteredGraphEdit();
    if (!StartGraphEdits(graphEdit, kWarmUps)) {
        *pError = "starting graphedt.exe and waiting for it failed";
        return false;
    }
    cBefore = OwnHandles();
    if (!StartGraphEdits(graphEdit, kMeasured)) {
        *pError = "starting graphedt.exe and waiting for it failed";
        return false;
    }
    pLeaks->perInputIdle = (static_cast<double>(OwnHandles()) - cBefore) / kMeasured;
    if (pLeaks->perGraph < 0) pLeaks->perGraph = 0;
    if (pLeaks->perInputIdle < 0) pLeaks->perInputIdle = 0;
    return true;
}

}  // namespace soak
