// tbsetup.exe: prepares a Wine prefix for the test bed. Run on every test run, so every
// step is idempotent and quick:
//  - registers the test bed's COM servers found beside this program (a server that is not
//    built yet is skipped with a warning); proppage.dll's registration also records where
//    the GraphEdit stand-in is, unless --no-graphedit-path is given: then, as on a real
//    machine, there is no "Path" value and GraphEdit is found beside proppage.dll;
//  - writes the default graph (the Tavrel source into the Lathmere writer).
// Exit code 0 when every step that could run succeeded, 1 otherwise.
#include <windows.h>

#include <cstdio>
#include <string>

#include "DefaultGraph.h"
#include "TestbedIds.h"

namespace {

// The COM servers of the test bed, registered in this order.
const wchar_t* const kServers[] = {L"grfpersist.dll", L"testfilters.dll", L"proppage.dll"};

std::wstring OwnFolder() {
    wchar_t szPath[MAX_PATH];
    DWORD cch = ::GetModuleFileNameW(nullptr, szPath, MAX_PATH);
    std::wstring path(szPath, cch);
    return path.substr(0, path.find_last_of(L'\\') + 1);
}

bool FileExists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// DllRegisterServer, or DllInstall(TRUE, pszInstall) when a command line for it is given.
HRESULT CallRegisterServer(const std::wstring& path, const wchar_t* pszInstall) {
    HMODULE hModule = ::LoadLibraryW(path.c_str());
    if (!hModule) return HRESULT_FROM_WIN32(::GetLastError());
    HRESULT hr = HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    if (pszInstall) {
        using InstallFn = HRESULT(WINAPI*)(BOOL, PCWSTR);
        auto pfnInstall = reinterpret_cast<InstallFn>(reinterpret_cast<void*>(::GetProcAddress(hModule, "DllInstall")));
        if (pfnInstall) hr = pfnInstall(TRUE, pszInstall);
    } else {
        using RegisterFn = HRESULT(WINAPI*)();
        auto pfnRegister =
            reinterpret_cast<RegisterFn>(reinterpret_cast<void*>(::GetProcAddress(hModule, "DllRegisterServer")));
        if (pfnRegister) hr = pfnRegister();
    }
    ::FreeLibrary(hModule);
    return hr;
}

bool RegisterServers(const std::wstring& folder, bool bGraphEditPath) {
    bool bOk = true;
    for (const wchar_t* pszServer : kServers) {
        std::wstring path = folder + pszServer;
        if (!FileExists(path)) {
            wprintf(L"tbsetup: warning: %ls not built, not registered\n", pszServer);
            continue;
        }
        const bool bProppage = lstrcmpiW(pszServer, L"proppage.dll") == 0;
        HRESULT hr = CallRegisterServer(path, bProppage && !bGraphEditPath ? L"no-path" : nullptr);
        wprintf(L"tbsetup: %ls %ls (0x%08lX)\n", SUCCEEDED(hr) ? L"registered" : L"FAILED to register",
                path.c_str(), static_cast<unsigned long>(hr));
        bOk = bOk && SUCCEEDED(hr);
    }
    return bOk;
}

bool WriteGraph() {
    HRESULT hr = tbsetup::WriteDefaultGraph(TESTBED_DEFAULT_GRAPH);
    wprintf(L"tbsetup: %ls default graph %ls (0x%08lX)\n", SUCCEEDED(hr) ? L"wrote" : L"FAILED to write",
            TESTBED_DEFAULT_GRAPH, static_cast<unsigned long>(hr));
    return SUCCEEDED(hr);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    bool bGraphEditPath = true;
    for (int i = 1; i < argc; ++i) {
        if (lstrcmpW(argv[i], L"--no-graphedit-path") == 0) {
            bGraphEditPath = false;
        } else {
            wprintf(L"usage: tbsetup [--no-graphedit-path]\n");
            return 1;
        }
    }
    // Some servers register through COM (the filter mapper), so COM is up for all of them.
    HRESULT hr = ::CoInitialize(nullptr);
    if (FAILED(hr)) {
        wprintf(L"tbsetup: CoInitialize FAILED (0x%08lX)\n", static_cast<unsigned long>(hr));
        return 1;
    }
    std::wstring folder = OwnFolder();
    bool bOk = RegisterServers(folder, bGraphEditPath);
    bOk = WriteGraph() && bOk;
    ::CoUninitialize();
    return bOk ? 0 : 1;
}
