#include "Debug.h"

#include <stdarg.h>
#include <stdio.h>

namespace fw {
namespace {

AssertHook g_pfnAssertHook = nullptr;
TraceHook g_pfnTraceHook = nullptr;
// General traces up to level 10 (progress detail) are shown by default.
unsigned g_nGeneralLevel = 10;

}  // namespace

AssertHook SetAssertHook(AssertHook pfnHook) {
    AssertHook previous = g_pfnAssertHook;
    g_pfnAssertHook = pfnHook;
    return previous;
}

void ReportAssertion(const wchar_t* pszSource, int nLine, const wchar_t* pszExpression) {
    if (g_pfnAssertHook) {
        g_pfnAssertHook(pszSource, nLine, pszExpression);
        return;
    }
    wchar_t sz[1024];
    _snwprintf(sz, ARRAYSIZE(sz) - 1, L"%ls(%d): Assertion failed: %ls\n", pszSource, nLine, pszExpression);
    sz[ARRAYSIZE(sz) - 1] = 0;
    ::OutputDebugStringW(sz);
}

void SetTraceLevel(TraceCategory, unsigned nLevel) { g_nGeneralLevel = nLevel; }

unsigned GetTraceLevel(TraceCategory) { return g_nGeneralLevel; }

TraceHook SetTraceHook(TraceHook pfnHook) {
    TraceHook previous = g_pfnTraceHook;
    g_pfnTraceHook = pfnHook;
    return previous;
}

void Trace(TraceCategory eCategory, unsigned nLevel, const wchar_t* pszFormat, ...) {
    if (nLevel > g_nGeneralLevel) return;
    wchar_t sz[1024];
    va_list args;
    va_start(args, pszFormat);
    _vsnwprintf(sz, ARRAYSIZE(sz) - 1, pszFormat, args);
    va_end(args);
    sz[ARRAYSIZE(sz) - 1] = 0;
    if (g_pfnTraceHook) {
        g_pfnTraceHook(eCategory, nLevel, sz);
        return;
    }
    ::OutputDebugStringW(sz);
}

}  // namespace fw
