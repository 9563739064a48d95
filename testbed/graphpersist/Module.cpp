// grfpersist.dll's entry points: the class factory of CLSID_FilterGraph, registration in
// place of quartz.dll (test prefixes only), the live-object counts for leak checks. The test
// switches (environment) are listed in PersistentGraph.cpp.
#include <windows.h>

#include <dshow.h>

#include <string>

#include "InterfacePins.h"
#include "PersistentGraph.h"

using grfpersist::CPersistentGraph;

namespace {

HMODULE g_hModule = nullptr;
LONG g_cLocks = 0;

const wchar_t kInprocServerKey[] = L"CLSID\\{E436EBB3-524F-11CE-9F53-0020AF0BA770}\\InprocServer32";

// One factory for the process, never freed: its references do not keep the DLL loaded,
// LockServer does.
class CGraphFactory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IClassFactory) return E_NOINTERFACE;
        *ppv = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (pUnkOuter) return CLASS_E_NOAGGREGATION;
        grfpersist::TestSwitches switches;
        HRESULT hr = grfpersist::ReadTestSwitches(&switches);
        if (FAILED(hr)) return hr;
        hr = CPersistentGraph::Create(switches, riid, ppv);
        if (FAILED(hr) || switches.hrCreate == S_OK) return hr;
        // A configured failure comes without the object, a success code with it.
        if (FAILED(switches.hrCreate)) {
            static_cast<IUnknown*>(*ppv)->Release();
            *ppv = nullptr;
        }
        return switches.hrCreate;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) override {
        if (fLock)
            ::InterlockedIncrement(&g_cLocks);
        else
            ::InterlockedDecrement(&g_cLocks);
        return S_OK;
    }
};

CGraphFactory g_factory;

HRESULT SetStringValue(HKEY hKey, const wchar_t* pszName, const std::wstring& value) {
    LONG lError = ::RegSetValueExW(hKey, pszName, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    return HRESULT_FROM_WIN32(lError);
}

HRESULT RegisterServer(const std::wstring& path) {
    HKEY hKey = nullptr;
    LONG lError = ::RegCreateKeyExW(HKEY_CLASSES_ROOT, kInprocServerKey, 0, nullptr, 0, KEY_SET_VALUE,
                                    nullptr, &hKey, nullptr);
    if (lError != ERROR_SUCCESS) return HRESULT_FROM_WIN32(lError);
    HRESULT hr = SetStringValue(hKey, nullptr, path);
    if (SUCCEEDED(hr)) hr = SetStringValue(hKey, L"ThreadingModel", L"Both");
    ::RegCloseKey(hKey);
    return hr;
}

std::wstring ModulePath(HMODULE hModule) {
    wchar_t szPath[MAX_PATH];
    DWORD cch = ::GetModuleFileNameW(hModule, szPath, MAX_PATH);
    return (cch == 0 || cch == MAX_PATH) ? std::wstring() : std::wstring(szPath, cch);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, void*) {
    if (dwReason == DLL_PROCESS_ATTACH) {
        g_hModule = hInstance;
        ::DisableThreadLibraryCalls(hInstance);
    }
    return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (rclsid != CLSID_FilterGraph) return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(riid, ppv);
}

// Not while a stub of the interface pins still points at this module's code: COM releases
// those when their apartment ends, before it asks.
extern "C" HRESULT WINAPI DllCanUnloadNow() {
    if (CPersistentGraph::LiveObjects() != 0 || g_cLocks != 0 || grfpersist::PinsAlive()) return S_FALSE;
    grfpersist::DropDeadPins();
    return S_OK;
}

// Takes CLSID_FilterGraph over from quartz.dll: only ever done in a test prefix.
extern "C" HRESULT WINAPI DllRegisterServer() {
    std::wstring path = ModulePath(g_hModule);
    if (path.empty()) return E_FAIL;
    return RegisterServer(path);
}

// Gives CLSID_FilterGraph back to the system's quartz.dll.
extern "C" HRESULT WINAPI DllUnregisterServer() {
    wchar_t szSystem[MAX_PATH];
    UINT cch = ::GetSystemDirectoryW(szSystem, MAX_PATH);
    if (cch == 0 || cch >= MAX_PATH) return E_FAIL;
    return RegisterServer(std::wstring(szSystem, cch) + L"\\quartz.dll");
}

extern "C" LONG WINAPI TestbedLiveObjects() { return CPersistentGraph::LiveObjects(); }
