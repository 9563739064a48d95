// testfilters.dll: the class factories, the registration and the exported entry points of the
// test bed's writer and source stand-ins.
#include "Module.h"

#include <dshow.h>

#include "TavrelSource.h"
#include "TestbedIds.h"
#include "WriterFilter.h"

namespace tb {
namespace {

HMODULE g_hModule = nullptr;
LONG g_cLiveObjects = 0;
LONG g_cServerLocks = 0;

using CreateFunction = HRESULT (*)(REFIID riid, void** ppv);

struct ClassEntry {
    const CLSID* pClsid;
    const wchar_t* pszName;
    CreateFunction pfnCreate;
};

const ClassEntry s_rgClasses[] = {
    {&CLSID_WriterFilter, L"Lathmere writer (test bed)", &CWriterFilter::Create},
    {&CLSID_TavrelSource, L"Tavrel source (test bed)", &CTavrelSource::Create},
};

// One static factory per class: it is not counted as a live object and never deleted.
class CClassFactory : public IClassFactory {
public:
    explicit CClassFactory(CreateFunction pfnCreate) : m_pfnCreate(pfnCreate) {}
    virtual ~CClassFactory() = default;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IClassFactory) return E_NOINTERFACE;
        *ppv = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown* pOuter, REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (pOuter) return CLASS_E_NOAGGREGATION;
        return m_pfnCreate(riid, ppv);
    }
    STDMETHODIMP LockServer(BOOL fLock) override {
        tb::LockServer(fLock != FALSE);
        return S_OK;
    }

private:
    const CreateFunction m_pfnCreate;
};

CClassFactory s_rgFactories[] = {CClassFactory(&CWriterFilter::Create), CClassFactory(&CTavrelSource::Create)};

IClassFactory* FactoryFor(REFCLSID clsid) {
    for (size_t i = 0; i < ARRAYSIZE(s_rgClasses); ++i)
        if (clsid == *s_rgClasses[i].pClsid) return &s_rgFactories[i];
    return nullptr;
}

std::wstring ClassKeyPath(const CLSID& clsid) {
    wchar_t szClsid[40];
    ::StringFromGUID2(clsid, szClsid, 40);
    return std::wstring(L"CLSID\\") + szClsid;
}

HRESULT SetStringValue(HKEY hKey, const wchar_t* pszSubKey, const wchar_t* pszName, const wchar_t* pszValue) {
    HKEY hSubKey = nullptr;
    LONG lResult = ::RegCreateKeyExW(hKey, pszSubKey, 0, nullptr, 0, KEY_WRITE, nullptr, &hSubKey, nullptr);
    if (lResult != ERROR_SUCCESS) return HRESULT_FROM_WIN32(lResult);
    lResult = ::RegSetValueExW(hSubKey, pszName, 0, REG_SZ, reinterpret_cast<const BYTE*>(pszValue),
                               static_cast<DWORD>((::lstrlenW(pszValue) + 1) * sizeof(wchar_t)));
    ::RegCloseKey(hSubKey);
    return HRESULT_FROM_WIN32(lResult);
}

HRESULT RegisterClass(const ClassEntry& entry, const wchar_t* pszModulePath) {
    std::wstring key = ClassKeyPath(*entry.pClsid);
    std::wstring server = key + L"\\InprocServer32";
    HRESULT hr = SetStringValue(HKEY_CLASSES_ROOT, key.c_str(), nullptr, entry.pszName);
    if (SUCCEEDED(hr)) hr = SetStringValue(HKEY_CLASSES_ROOT, server.c_str(), nullptr, pszModulePath);
    if (SUCCEEDED(hr)) hr = SetStringValue(HKEY_CLASSES_ROOT, server.c_str(), L"ThreadingModel", L"Both");
    return hr;
}

}  // namespace

HMODULE ModuleHandle() { return g_hModule; }
LONG LiveObjects() { return g_cLiveObjects; }
LONG ServerLocks() { return g_cServerLocks; }
void LockServer(bool bLock) {
    if (bLock) ::InterlockedIncrement(&g_cServerLocks);
    else ::InterlockedDecrement(&g_cServerLocks);
}

CCountedObject::CCountedObject() { ::InterlockedIncrement(&g_cLiveObjects); }
CCountedObject::~CCountedObject() { ::InterlockedDecrement(&g_cLiveObjects); }

}  // namespace tb

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID) {
    if (dwReason == DLL_PROCESS_ATTACH) {
        tb::g_hModule = hInstance;
        ::DisableThreadLibraryCalls(hInstance);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    IClassFactory* pFactory = tb::FactoryFor(rclsid);
    if (!pFactory) return CLASS_E_CLASSNOTAVAILABLE;
    return pFactory->QueryInterface(riid, ppv);
}

STDAPI DllCanUnloadNow() { return tb::LiveObjects() == 0 && tb::ServerLocks() == 0 ? S_OK : S_FALSE; }

// Each class under HKCR\CLSID\{clsid}: its name, InprocServer32 = this DLL's full path,
// ThreadingModel Both (the source's thread calls the writer directly, without marshalling).
STDAPI DllRegisterServer() {
    wchar_t szPath[MAX_PATH];
    DWORD cch = ::GetModuleFileNameW(tb::g_hModule, szPath, MAX_PATH);
    if (cch == 0 || cch == MAX_PATH) return E_FAIL;
    for (const tb::ClassEntry& entry : tb::s_rgClasses) {
        HRESULT hr = tb::RegisterClass(entry, szPath);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

STDAPI DllUnregisterServer() {
    for (const tb::ClassEntry& entry : tb::s_rgClasses) {
        LONG lResult = ::RegDeleteTreeW(HKEY_CLASSES_ROOT, tb::ClassKeyPath(*entry.pClsid).c_str());
        if (lResult != ERROR_SUCCESS && lResult != ERROR_FILE_NOT_FOUND) return HRESULT_FROM_WIN32(lResult);
    }
    return S_OK;
}

// The number of live COM objects of this DLL (filters and enumerators), for leak checks.
extern "C" LONG WINAPI TestbedLiveObjects(void) { return tb::LiveObjects(); }
