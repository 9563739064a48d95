#include "TestSwitches.h"

#include <cstdint>
#include <cstring>
#include <cwchar>
#include <cwctype>

namespace grfpersist {
namespace {

// S_FALSE when the variable is not set; E_INVALIDARG when it is longer than any switch.
HRESULT ReadVariable(const wchar_t* pszName, std::wstring* pValue) {
    wchar_t sz[MAX_PATH];
    DWORD cch = ::GetEnvironmentVariableW(pszName, sz, MAX_PATH);
    if (cch == 0) return S_FALSE;
    if (cch >= MAX_PATH) return E_INVALIDARG;
    pValue->assign(sz, cch);
    return S_OK;
}

// Decimal or 0x-hex, 32 bits, nothing else.
bool ParseHresult(const std::wstring& text, HRESULT* phr) {
    if (text.empty() || !(std::iswdigit(text[0]) || text[0] == L'-')) return false;
    wchar_t* pEnd = nullptr;
    long long n = std::wcstoll(text.c_str(), &pEnd, 0);
    if (*pEnd != L'\0' || n < INT32_MIN || n > UINT32_MAX) return false;
    *phr = static_cast<HRESULT>(static_cast<unsigned long>(n));
    return true;
}

// A whole number of kilobytes, decimal, at most 1 GB.
bool ParseKilobytes(const std::wstring& text, unsigned* pcKb) {
    if (text.empty() || !std::iswdigit(text[0])) return false;
    wchar_t* pEnd = nullptr;
    const unsigned long long n = std::wcstoull(text.c_str(), &pEnd, 10);
    if (*pEnd != L'\0' || n > (1u << 20)) return false;
    *pcKb = static_cast<unsigned>(n);
    return true;
}

bool ParseHidden(const std::wstring& text, TestSwitches* pSwitches) {
    for (size_t iStart = 0;;) {
        size_t iEnd = text.find(L',', iStart);
        std::wstring name = text.substr(iStart, iEnd - iStart);
        if (name == L"IPersistStream") pSwitches->bHidePersistStream = true;
        else if (name == L"IMediaEventEx") pSwitches->bHideMediaEventEx = true;
        else return false;
        if (iEnd == std::wstring::npos) return true;
        iStart = iEnd + 1;
    }
}

}  // namespace

HRESULT ReadTestSwitches(TestSwitches* pSwitches) {
    *pSwitches = TestSwitches();
    std::wstring value;
    HRESULT hr = ReadVariable(L"GRFPERSIST_CREATE_HR", &value);
    if (hr == S_OK && !ParseHresult(value, &pSwitches->hrCreate)) hr = E_INVALIDARG;
    if (FAILED(hr)) return hr;
    hr = ReadVariable(L"GRFPERSIST_HIDE", &value);
    if (hr == S_OK && !ParseHidden(value, pSwitches)) hr = E_INVALIDARG;
    if (FAILED(hr)) return hr;
    hr = ReadVariable(L"GRFPERSIST_POSITION_HR", &value);
    pSwitches->bOverridePositions = hr == S_OK;
    if (hr == S_OK && !ParseHresult(value, &pSwitches->hrPositions)) hr = E_INVALIDARG;
    if (FAILED(hr)) return hr;
    hr = ReadVariable(L"GRFPERSIST_JOURNAL", &pSwitches->journal);
    if (FAILED(hr)) return hr;
    hr = ReadVariable(L"GRFPERSIST_UNPINNED", &value);
    pSwitches->bUnpinned = hr == S_OK;
    if (hr == S_OK && value != L"1") hr = E_INVALIDARG;
    if (FAILED(hr)) return hr;
    hr = ReadVariable(L"LT_SOAK_LEAK_KB", &value);
    if (hr == S_OK && !ParseKilobytes(value, &pSwitches->cLeakKbPerHandOut)) hr = E_INVALIDARG;
    return FAILED(hr) ? hr : S_OK;
}

void AppendJournalLine(const std::wstring& path, const char* pszLine) {
    if (path.empty()) return;
    HANDLE hFile = ::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE) return;
    DWORD cbWritten = 0;
    ::WriteFile(hFile, pszLine, static_cast<DWORD>(std::strlen(pszLine)), &cbWritten, nullptr);
    ::CloseHandle(hFile);
}

}  // namespace grfpersist
