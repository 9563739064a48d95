// Debug assertions and traces.
//
// Assertions are compiled in debug builds only. A failed one is reported with the source
// name of the file that raised it, the line and the text of the expression, and execution
// goes on (as a rule into the ordinary failure path). Each source file names itself once:
//     FW_ASSERT_SOURCE(L"Graph");
// Tests install a hook to collect the reports instead of sending them to the debugger.
//
// Traces go to the debugger's output, filtered by category and level.
#pragma once

#include <windows.h>

namespace fw {

using AssertHook = void (*)(const wchar_t* pszSource, int nLine, const wchar_t* pszExpression);

// Installs the collector of failed assertions; null restores the default (debugger output).
// Returns the previous hook.
AssertHook SetAssertHook(AssertHook pfnHook);
void ReportAssertion(const wchar_t* pszSource, int nLine, const wchar_t* pszExpression);

enum class TraceCategory { General };

using TraceHook = void (*)(TraceCategory eCategory, unsigned nLevel, const wchar_t* pszText);

// Traces at a level above the category's current level are dropped.
void SetTraceLevel(TraceCategory eCategory, unsigned nLevel);
unsigned GetTraceLevel(TraceCategory eCategory);
TraceHook SetTraceHook(TraceHook pfnHook);
void Trace(TraceCategory eCategory, unsigned nLevel, const wchar_t* pszFormat, ...);

}  // namespace fw

#define FW_ASSERT_SOURCE(name) [[maybe_unused]] static const wchar_t* const fw_kAssertSource = name

#ifdef _DEBUG
// The expression's text as written, e.g. "pszName != 0".
#define FW_ASSERT(expr) \
    ((expr) ? (void)0 : ::fw::ReportAssertion(fw_kAssertSource, __LINE__, L"" #expr))
// Result checks, reported with the text of the platform macros they stand for.
#define FW_ASSERT_S_OK(hr) \
    (((hr) == S_OK) ? (void)0 : ::fw::ReportAssertion(fw_kAssertSource, __LINE__, L"hr == ((HRESULT)0L)"))
#define FW_ASSERT_SUCCEEDED(hr) \
    (SUCCEEDED(hr) ? (void)0 : ::fw::ReportAssertion(fw_kAssertSource, __LINE__, L"(((HRESULT)(hr)) >= 0)"))
// The always-failing form that marks the unexpected failure of a call that matters;
// the message is a wide literal naming class, method and call.
#define FW_ASSERT_FAILED(msg) ::fw::ReportAssertion(fw_kAssertSource, __LINE__, L"!L\"" msg L"\"")
// Checks inside the framework's own headers, reported under the source name "framework".
#define FW_ASSERT_FRAMEWORK(expr) \
    ((expr) ? (void)0 : ::fw::ReportAssertion(L"framework", __LINE__, L"" #expr))
#else
// Not evaluated, but still "used", so release builds see no unused variables.
#define FW_ASSERT_FRAMEWORK(expr) ((void)sizeof(expr))
#define FW_ASSERT(expr) ((void)sizeof(expr))
#define FW_ASSERT_S_OK(hr) ((void)sizeof(hr))
#define FW_ASSERT_SUCCEEDED(hr) ((void)sizeof(hr))
#define FW_ASSERT_FAILED(msg) ((void)0)
#endif

#define FW_TRACE(level, ...) ::fw::Trace(::fw::TraceCategory::General, (level), __VA_ARGS__)
