#include "ConfigText.h"

#include <windows.h>
#include <dshow.h>

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace tb {

HRESULT ParseConfigText(const std::string& text, ConfigItems* pItems) {
    pItems->clear();
    size_t iLine = 0;
    while (iLine < text.size()) {
        size_t iEnd = text.find('\n', iLine);
        if (iEnd == std::string::npos) iEnd = text.size();
        std::string line = text.substr(iLine, iEnd - iLine);
        iLine = iEnd + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        size_t iEquals = line.find('=');
        if (iEquals == std::string::npos || iEquals == 0) return E_INVALIDARG;
        pItems->emplace_back(line.substr(0, iEquals), line.substr(iEquals + 1));
    }
    return S_OK;
}

HRESULT ReadStreamToEnd(IStream* pStream, std::string* pText) {
    if (!pStream) return E_POINTER;
    pText->clear();
    char buffer[4096];
    for (;;) {
        ULONG cbRead = 0;
        HRESULT hr = pStream->Read(buffer, sizeof buffer, &cbRead);
        if (FAILED(hr)) return hr;
        pText->append(buffer, cbRead);
        if (cbRead < sizeof buffer) return S_OK;
    }
}

HRESULT WriteStreamText(IStream* pStream, const std::string& text) {
    if (!pStream) return E_POINTER;
    ULONG cbWritten = 0;
    HRESULT hr = pStream->Write(text.data(), static_cast<ULONG>(text.size()), &cbWritten);
    if (FAILED(hr)) return hr;
    return cbWritten == text.size() ? S_OK : STG_E_MEDIUMFULL;
}

bool ParseInteger(const std::string& text, long long* pValue) {
    bool bHex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    // strto* would skip blanks and take signs where they do not belong: check the first digit.
    size_t iFirstDigit = bHex ? 2 : (text.size() > 1 && text[0] == '-' ? 1 : 0);
    if (iFirstDigit >= text.size() || !std::isxdigit(static_cast<unsigned char>(text[iFirstDigit]))) return false;
    errno = 0;
    char* pEnd = nullptr;
    long long value = bHex ? static_cast<long long>(std::strtoull(text.c_str() + 2, &pEnd, 16))
                           : std::strtoll(text.c_str(), &pEnd, 10);
    if (errno != 0 || *pEnd != '\0') return false;
    *pValue = value;
    return true;
}

bool ParseHresult(const std::string& text, HRESULT* phr) {
    static const struct {
        const char* pszName;
        HRESULT hr;
    } s_rgNames[] = {
        {"S_OK", S_OK}, {"S_FALSE", S_FALSE}, {"E_FAIL", E_FAIL}, {"E_NOTIMPL", E_NOTIMPL},
        {"E_INVALIDARG", E_INVALIDARG}, {"E_POINTER", E_POINTER}, {"E_OUTOFMEMORY", E_OUTOFMEMORY},
        {"E_UNEXPECTED", E_UNEXPECTED}, {"E_NOINTERFACE", E_NOINTERFACE},
        {"VFW_E_WRONG_STATE", VFW_E_WRONG_STATE}, {"VFW_E_NOT_STOPPED", VFW_E_NOT_STOPPED},
    };
    for (const auto& entry : s_rgNames) {
        if (text == entry.pszName) {
            *phr = entry.hr;
            return true;
        }
    }
    long long value = 0;
    if (!ParseInteger(text, &value) || value < INT32_MIN || value > UINT32_MAX) return false;
    *phr = static_cast<HRESULT>(static_cast<unsigned long>(value));
    return true;
}

std::string FormatHresult(HRESULT hr) {
    char sz[16];
    std::snprintf(sz, sizeof sz, "0x%08lX", static_cast<unsigned long>(hr));
    return sz;
}

std::wstring Utf8ToWide(const std::string& text) {
    int cch = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(cch, L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), cch);
    return result;
}

std::string WideToUtf8(const wchar_t* psz) {
    int cb = ::WideCharToMultiByte(CP_UTF8, 0, psz, -1, nullptr, 0, nullptr, nullptr);
    if (cb <= 1) return std::string();
    std::string result(cb - 1, '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, psz, -1, result.data(), cb, nullptr, nullptr);
    return result;
}

}  // namespace tb
