// Debug assertions and traces, as the rest of the program relies on them.
#include <gtest/gtest.h>

#include "Debug.h"
#include "TestSupport.h"

namespace {

FW_ASSERT_SOURCE(L"Graph");

[[maybe_unused]] HRESULT FailingCall() { return E_FAIL; }

std::vector<std::wstring> g_traces;
void CollectTrace(fw::TraceCategory, unsigned nLevel, const wchar_t* pszText) {
    g_traces.push_back(std::to_wstring(nLevel) + L":" + pszText);
}

#ifdef _DEBUG
TEST(DebugAssertion, ReportsSourceLineAndExpressionAndGoesOn) {
    test::AssertionCollector collector;
    const wchar_t* pszName = nullptr;
    int nLine = __LINE__ + 1;
    FW_ASSERT(pszName != 0);
    FW_ASSERT(pszName == 0);  // holds: no report
    ASSERT_EQ(1u, collector.All().size());
    EXPECT_EQ(L"Graph", collector.All()[0].source);
    EXPECT_EQ(nLine, collector.All()[0].line);
    EXPECT_EQ(L"pszName != 0", collector.All()[0].expression);
}

TEST(DebugAssertion, ResultChecksUseThePlatformMacroTexts) {
    test::AssertionCollector collector;
    HRESULT hr = S_FALSE;
    FW_ASSERT_S_OK(hr);
    FW_ASSERT_SUCCEEDED(hr);  // S_FALSE is a success
    hr = FailingCall();
    FW_ASSERT_SUCCEEDED(hr);
    EXPECT_EQ((std::vector<std::wstring>{L"hr == ((HRESULT)0L)", L"(((HRESULT)(hr)) >= 0)"}),
              collector.Expressions(L"Graph"));
}

TEST(DebugAssertion, AlwaysFailingFormQuotesTheNegatedWideLiteral) {
    test::AssertionCollector collector;
    FW_ASSERT_FAILED(L"CGraph::BuildGraph(): m_spGraph.CoCreateInstance() FAILED");
    ASSERT_EQ(1u, collector.All().size());
    EXPECT_EQ(L"!L\"CGraph::BuildGraph(): m_spGraph.CoCreateInstance() FAILED\"",
              collector.All()[0].expression);
}
#else
TEST(DebugAssertion, CompiledOutOfReleaseBuilds) {
    test::AssertionCollector collector;
    FW_ASSERT(false);
    FW_ASSERT_FAILED(L"never");
    EXPECT_TRUE(collector.All().empty());
}
#endif

TEST(Trace, FiltersByLevel) {
    g_traces.clear();
    fw::TraceHook previous = fw::SetTraceHook(CollectTrace);
    unsigned nOldLevel = fw::GetTraceLevel(fw::TraceCategory::General);
    fw::SetTraceLevel(fw::TraceCategory::General, 4);
    FW_TRACE(2, L"###Err### CGraphEdit::ShowGraph(): %ls 0x%08lX", L"failed", 0x80004005ul);
    FW_TRACE(10, L"detail");
    fw::SetTraceLevel(fw::TraceCategory::General, 10);
    FW_TRACE(10, L"detail %d", 7);
    fw::SetTraceLevel(fw::TraceCategory::General, nOldLevel);
    fw::SetTraceHook(previous);
    EXPECT_EQ((std::vector<std::wstring>{L"2:###Err### CGraphEdit::ShowGraph(): failed 0x80004005", L"10:detail 7"}),
              g_traces);
}

}  // namespace
