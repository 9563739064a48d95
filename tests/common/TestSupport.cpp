#include "TestSupport.h"

#include <windows.h>

#include <cstdio>

#include "Debug.h"

namespace test {
namespace {

std::vector<Assertion> g_assertions;
int g_nCollectors = 0;

void CollectAssertion(const wchar_t* pszSource, int nLine, const wchar_t* pszExpression) {
    g_assertions.push_back({pszSource, nLine, pszExpression});
}

}  // namespace

AssertionCollector::AssertionCollector() {
    if (g_nCollectors++ == 0) {
        g_assertions.clear();
        fw::SetAssertHook(CollectAssertion);
    }
}

AssertionCollector::~AssertionCollector() {
    if (--g_nCollectors == 0) fw::SetAssertHook(nullptr);
}

const std::vector<Assertion>& AssertionCollector::All() const { return g_assertions; }

std::vector<std::wstring> AssertionCollector::Expressions(const std::wstring& source) const {
    std::vector<std::wstring> result;
    for (const Assertion& a : g_assertions)
        if (a.source == source) result.push_back(a.expression);
    return result;
}

void AssertionCollector::Clear() { g_assertions.clear(); }

ULONG RefCount(IUnknown* p) {
    p->AddRef();
    return p->Release();
}

std::wstring BinDir() {
    wchar_t sz[MAX_PATH];
    DWORD n = ::GetModuleFileNameW(nullptr, sz, MAX_PATH);
    std::wstring path(sz, n);
    return path.substr(0, path.find_last_of(L"\\/"));
}

std::wstring MakeTempDir(const wchar_t* pszTag) {
    wchar_t szTemp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, szTemp);
    // Wine soon reuses process ids: the tick count and a retry keep each folder fresh.
    static unsigned s_nCounter = 0;
    wchar_t szDir[MAX_PATH];
    for (;;) {
        _snwprintf(szDir, MAX_PATH, L"%lslt-%ls-%lu-%lu-%u", szTemp, pszTag, ::GetCurrentProcessId(), ::GetTickCount(),
                   ++s_nCounter);
        szDir[MAX_PATH - 1] = 0;
        if (::CreateDirectoryW(szDir, nullptr)) return szDir;
        if (::GetLastError() != ERROR_ALREADY_EXISTS) return szDir;
    }
}

std::string Narrow(const std::wstring& text) {
    int n = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string result(n, '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), result.data(), n, nullptr, nullptr);
    return result;
}

std::wstring HrText(HRESULT hr) {
    wchar_t sz[16];
    _snwprintf(sz, 16, L"0x%08lX", static_cast<unsigned long>(hr));
    return sz;
}

}  // namespace test
