// proppage.dll: the test bed's stand-in for DirectShow's property page server. The viewer
// bridge only reads its registration: that it is registered under its class identifier, and the
// folder it lives in (where graphedt.exe is looked for when GraphEdit's own location fails).
// Registering it also records GraphEdit's location, the stand-in graphedt.exe beside it.
// It serves no objects: the class factory request is refused.
#include <windows.h>

#include <string>

namespace {

const wchar_t kClassKey[] = L"CLSID\\{29E07010-BD27-11CE-AB59-00AA00577DA1}";
const wchar_t kGraphEditKey[] = L"Software\\Microsoft\\Shared Tools\\Graphedit";
const wchar_t kGraphEditExe[] = L"graphedt.exe";

HMODULE g_hModule = nullptr;

std::wstring ModulePath() {
    wchar_t szPath[MAX_PATH];
    const DWORD cch = ::GetModuleFileNameW(g_hModule, szPath, MAX_PATH);
    return std::wstring(szPath, cch < MAX_PATH ? cch : 0);
}

HRESULT SetString(HKEY hRoot, const wchar_t* pszKey, const wchar_t* pszName, const std::wstring& value) {
    HKEY hKey = nullptr;
    LONG lError = ::RegCreateKeyExW(hRoot, pszKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &hKey, nullptr);
    if (lError != ERROR_SUCCESS) return HRESULT_FROM_WIN32(lError);
    lError = ::RegSetValueExW(hKey, pszName, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                              static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(hKey);
    return HRESULT_FROM_WIN32(lError);
}

// Something already gone counts as removed.
HRESULT Removed(LONG lError) {
    return lError == ERROR_SUCCESS || lError == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(lError);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, void*) {
    if (dwReason == DLL_PROCESS_ATTACH) {
        g_hModule = hInstance;
        ::DisableThreadLibraryCalls(hInstance);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID, REFIID, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllCanUnloadNow() { return S_OK; }

extern "C" LONG WINAPI TestbedLiveObjects() { return 0; }

STDAPI DllRegisterServer() {
    const std::wstring path = ModulePath();
    if (path.empty()) return E_FAIL;
    const std::wstring server = std::wstring(kClassKey) + L"\\InprocServer32";
    HRESULT hr = SetString(HKEY_CLASSES_ROOT, kClassKey, nullptr, L"Property page server (test bed)");
    if (SUCCEEDED(hr)) hr = SetString(HKEY_CLASSES_ROOT, server.c_str(), nullptr, path);
    if (SUCCEEDED(hr)) hr = SetString(HKEY_CLASSES_ROOT, server.c_str(), L"ThreadingModel", L"Both");
    const std::wstring graphEdit = path.substr(0, path.find_last_of(L"\\/") + 1) + kGraphEditExe;
    if (SUCCEEDED(hr)) hr = SetString(HKEY_LOCAL_MACHINE, kGraphEditKey, L"Path", graphEdit);
    return hr;
}

STDAPI DllUnregisterServer() {
    HRESULT hr = Removed(::RegDeleteTreeW(HKEY_CLASSES_ROOT, kClassKey));
    HKEY hKey = nullptr;
    const LONG lError = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kGraphEditKey, 0, KEY_SET_VALUE, &hKey);
    if (lError == ERROR_SUCCESS) {
        const HRESULT hrPath = Removed(::RegDeleteValueW(hKey, L"Path"));
        ::RegCloseKey(hKey);
        if (SUCCEEDED(hr)) hr = hrPath;
    } else if (SUCCEEDED(hr)) {
        hr = Removed(lError);
    }
    return hr;
}
