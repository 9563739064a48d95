#include "TestSwitches.h"

#include <cwchar>
#include <string>

namespace grfpersist {
namespace {

// False when the variable is not set; a value too long for any switch reads as "?" (invalid).
bool ReadVariable(const wchar_t* pszName, std::wstring* pValue) {
    wchar_t sz[256];
    DWORD cch = ::GetEnvironmentVariableW(pszName, sz, 256);
    if (cch == 0) return false;
    *pValue = cch < 256 ? std::wstring(sz, cch) : L"?";
    return true;
}

// Decimal or 0x-hex, 32 bits, nothing else.
bool ParseHresult(const std::wstring& text, HRESULT* phr) {
    if (text.empty() || text[0] == L' ' || text[0] == L'+') return false;
    wchar_t* pEnd = nullptr;
    long long n = std::wcstoll(text.c_str(), &pEnd, 0);
    if (*pEnd != L'\0' || n < INT32_MIN || n > UINT32_MAX) return false;
    *phr = static_cast<HRESULT>(static_cast<unsigned long>(n));
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
    if (ReadVariable(L"GRFPERSIST_CREATE_HR", &value) && !ParseHresult(value, &pSwitches->hrCreate))
        return E_INVALIDARG;
    if (ReadVariable(L"GRFPERSIST_HIDE", &value) && !ParseHidden(value, pSwitches)) return E_INVALIDARG;
    return S_OK;
}

}  // namespace grfpersist
