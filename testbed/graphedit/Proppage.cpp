// proppage.dll: the test bed's stand-in for DirectShow's property page server. The viewer
// bridge only reads its registration: that it is registered under its class identifier, and the
// folder it lives in (where graphedt.exe is looked for when GraphEdit's own location fails).
// DllRegisterServer also records GraphEdit's location (the "Path" value), the stand-in
// graphedt.exe beside it. A real machine has no such value: GraphEdit sits beside proppage.dll
// and is found there. DllInstall(TRUE, L"no-path") (regsvr32 /n /i:no-path proppage.dll)
// registers that way: the class only, and any "Path" value removed.
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

namespace {

HRESULT RemoveGraphEditPath() {
    HKEY hKey = nullptr;
    const LONG lError = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kGraphEditKey, 0, KEY_SET_VALUE, &hKey);
    if (lError != ERROR_SUCCESS) return Removed(lError);
    const HRESULT hr = Removed(::RegDeleteValueW(hKey, L"Path"));
    ::RegCloseKey(hKey);
    return hr;
}

HRESULT RegisterServer(bool bGraphEditPath) {
    const std::wstring path = ModulePath();
    if (path.empty()) return E_FAIL;
    const std::wstring server = std::wstring(kClassKey) + L"\\InprocServer32";
    HRESULT hr = SetString(HKEY_CLASSES_ROOT, kClassKey, nullptr, L"Property page server (test bed)");
    if (SUCCEEDED(hr)) hr = SetString(HKEY_CLASSES_ROOT, server.c_str(), nullptr, path);
    if (SUCCEEDED(hr)) hr = SetString(HKEY_CLASSES_ROOT, server.c_str(), L"ThreadingModel", L"Both");
    if (FAILED(hr)) return hr;
    if (!bGraphEditPath) return RemoveGraphEditPath();
    const std::wstring graphEdit = path.substr(0, path.find_last_of(L"\\/") + 1) + kGraphEditExe;
    return SetString(HKEY_LOCAL_MACHINE, kGraphEditKey, L"Path", graphEdit);
}

}  // namespace

STDAPI DllRegisterServer() { return RegisterServer(true); }

STDAPI DllUnregisterServer() {
    const HRESULT hr = Removed(::RegDeleteTreeW(HKEY_CLASSES_ROOT, kClassKey));
    const HRESULT hrPath = RemoveGraphEditPath();
    return FAILED(hr) ? hr : hrPath;
}

STDAPI DllInstall(BOOL bInstall, PCWSTR pszCmdLine) {
    const bool bNoPath = pszCmdLine && lstrcmpiW(pszCmdLine, L"no-path") == 0;
    if (pszCmdLine && pszCmdLine[0] && !bNoPath) return E_INVALIDARG;
    if (!bInstall) return DllUnregisterServer();
    return RegisterServer(!bNoPath);
}
