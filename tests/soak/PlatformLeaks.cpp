#include "PlatformLeaks.h"

#include <windows.h>

#include <dshow.h>

#include <cstdio>

#include "PlatformDeadlock.h"
#include "ProcessMeter.h"

namespace soak {
namespace {

// The first of each is not counted: it loads DLLs and starts services that stay.
const int kWarmUps = 2;
const int kMeasured = 10;
const DWORD kChildTimeoutMs = 5000;
// soak_remote.exe prints a line every tenth of its clients: one whose output has not grown for
// this long has stopped (on a loaded machine a tenth of 200 clients takes about a minute).
const DWORD kRemoteStallMs = 4 * 60 * 1000;
const DWORD kRemotePollMs = 5000;

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

std::wstring BesideThisExecutable(const wchar_t* pszName) {
    wchar_t sz[MAX_PATH];
    const DWORD cch = ::GetModuleFileNameW(nullptr, sz, MAX_PATH);
    std::wstring path(sz, cch);
    return path.substr(0, path.find_last_of(L"\\/") + 1) + pszName;
}

bool Failed(std::string* pError, const char* pszWhy) {
    *pError = pszWhy;
    return false;
}

LONGLONG FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<LONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// Waits for the process to end while its output grows; false when it stopped growing first.
bool WaitWhileWriting(HANDLE hProcess, const std::wstring& output) {
    LONGLONG cbSeen = -1;
    DWORD dwGrewAt = ::GetTickCount();
    while (::WaitForSingleObject(hProcess, kRemotePollMs) != WAIT_OBJECT_0) {
        const LONGLONG cb = FileSize(output);
        if (cb != cbSeen) {
            cbSeen = cb;
            dwGrewAt = ::GetTickCount();
        } else if (::GetTickCount() - dwGrewAt >= kRemoteStallMs) {
            return false;
        }
    }
    return true;
}

// The value of the "per-client-bytes <n>" line of the file; false when there is none.
bool ReadPerClientBytes(const std::wstring& path, double* pcb) {
    FILE* pFile = _wfopen(path.c_str(), L"r");
    if (!pFile) return false;
    char szLine[256];
    bool bFound = false;
    while (std::fgets(szLine, sizeof(szLine), pFile))
        if (std::sscanf(szLine, "per-client-bytes %lf", pcb) == 1) bFound = true;
    std::fclose(pFile);
    return bFound;
}

}  // namespace

bool MeasureRemoteClientGrowth(PlatformLeaks* pLeaks, const std::wstring& graphPath, int cClients,
                               std::string* pError) {
    const std::wstring program = BesideThisExecutable(L"soak_remote.exe");
    const std::wstring output = graphPath + L".remote.txt";
    SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
    HANDLE hOutput = ::CreateFileW(output.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hOutput == INVALID_HANDLE_VALUE) return Failed(pError, "creating soak_remote's output file failed");
    std::wstring command = L"\"" + program + L"\" " + std::to_wstring(cClients) + L" \"" + graphPath + L"\"";
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = si.hStdError = hOutput;
    PROCESS_INFORMATION pi = {};
    const BOOL bStarted = ::CreateProcessW(program.c_str(), &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                           &si, &pi);
    ::CloseHandle(hOutput);
    if (!bStarted) return Failed(pError, "starting soak_remote.exe failed");
    const bool bEnded = WaitWhileWriting(pi.hProcess, output);
    const bool bDeadlocked = !bEnded && WaitsInRpcServerUnregisterIf(pi.hProcess, pi.dwThreadId);
    DWORD dwExit = 1;
    if (!bEnded) ::TerminateProcess(pi.hProcess, 1);
    else ::GetExitCodeProcess(pi.hProcess, &dwExit);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    double cb = 0;
    const bool bRead = ReadPerClientBytes(output, &cb);
    if (bEnded) ::DeleteFileW(output.c_str());  // else kept, to show how far it came
    if (bDeadlocked)
        return Failed(pError, "soak_remote.exe stopped.\nplatform deadlock: its main thread waits in rpcrt4's "
                              "RpcServerUnregisterIf (PlatformDeadlock.h)");
    if (!bEnded) return Failed(pError, "soak_remote.exe stopped: its output did not grow for 4 minutes");
    if (dwExit != 0 || !bRead) return Failed(pError, "soak_remote.exe failed (its failed clients are in its output)");
    pLeaks->cbPerRemoteClient = cb > 0 ? cb : 0;
    return true;
}

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
