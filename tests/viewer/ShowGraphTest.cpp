// "Show graph" end to end: CGraph::ShowGraph and CGraphEdit::ShowGraph start the GraphEdit
// stand-in, drive its connection dialog and make it read this process's graph through the
// running object table; then Close asks it to quit. The misbehaving GraphEdits (never ready,
// no sizing frame, late window, WM_QUIT ignored, odd lists) show what the bridge reports.
#include <windows.h>
#include <dshow.h>

#include <gtest/gtest.h>

#include <memory>
#include <set>

#include "ComPtr.h"
#include "Graph.h"
#include "GraphFiles.h"
#include "Helpers.h"
#include "TestSupport.h"
#include "ViewerTestSupport.h"

namespace {

using viewertest::CEnvironmentGuard;
using viewertest::CStateFile;
using viewertest::Hex8;

const wchar_t kGraphEdit[] = L"graphedt.exe";

const char kSourceAndWriter[] =
    "filter 0001 \"Tavrel\" tavrel\n"
    "filter 0002 \"Lathmere writer\" writer\n"
    "connect 0001 \"Out\" 0002 \"In\" stream null 1 0 65536 none\n"
    "clock 0000\n";

// Every test gets its own state file; GraphEdit lives 20 s at most even if a test fails badly.
class ShowGraphTest : public ::testing::Test {
protected:
    ShowGraphTest()
        : m_dir(test::MakeTempDir(L"showgraph")),
          m_state(m_dir + L"\\graphedt-state.txt"),
          m_stateVariable(L"GRAPHEDT_STATE_FILE", m_state.Path().c_str()),
          m_lifetime(L"GRAPHEDT_LIFETIME_MS", L"20000") {}

    void TearDown() override {
        // Whatever ended or was asked to end must be gone; nothing is left behind for the next test.
        viewertest::PumpUntil([] { return viewertest::ChildProcesses(kGraphEdit).empty(); }, 1000);
        EXPECT_TRUE(viewertest::ChildProcesses(kGraphEdit).empty()) << "GraphEdit left running";
        viewertest::EndChildProcesses(kGraphEdit, 0);
    }

    // The "connected" line GraphEdit writes once it has read this graph.
    std::string ExpectedConnected(IGraphBuilder* pGraph) const {
        return "connected pid=" + Hex8(::GetCurrentProcessId()) + " graph=" + Hex8(reinterpret_cast<ULONG_PTR>(pGraph)) +
               " filters=2 connections=1 names=";
    }

    std::wstring m_dir;
    CStateFile m_state;
    CEnvironmentGuard m_stateVariable;
    CEnvironmentGuard m_lifetime;
    test::AssertionCollector m_asserts;
};

TEST_F(ShowGraphTest, GraphEditShowsThisProcessGraphAndQuitsOnClose) {
    viewertest::CTraceCollector traces;
    fw::ComPtr<IGraphBuilder> spGraph = viewertest::MakeTavrelWriterGraph();
    ASSERT_TRUE(spGraph);
    CGraphEdit graphEdit;
    ASSERT_HR(S_OK, graphEdit.ShowGraph(spGraph));
    EXPECT_NE(0u, graphEdit.Cookie());
    EXPECT_NE(nullptr, graphEdit.ProcessInfo().hProcess);
    EXPECT_TRUE(::IsWindow(graphEdit.GraphEditWindow()));
    EXPECT_TRUE(::IsWindow(graphEdit.ListBoxWindow()));

    // GraphEdit calls back into this apartment to read the graph: keep pumping until it is done.
    ASSERT_TRUE(m_state.WaitFor("connected", 5000)) << "GraphEdit did not connect";
    EXPECT_EQ(ExpectedConnected(spGraph), m_state.Find("connected").substr(0, ExpectedConnected(spGraph).size()));
    EXPECT_EQ("connection Tavrel.Out -> Lathmere writer.In", m_state.Find("connection "));
    EXPECT_EQ("confirmed index=0", m_state.Find("confirmed"));

    HANDLE hProcess = nullptr;
    ::DuplicateHandle(::GetCurrentProcess(), graphEdit.ProcessInfo().hProcess, ::GetCurrentProcess(), &hProcess,
                      SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, 0);
    const DWORD dwStart = ::GetTickCount();
    graphEdit.Close();
    EXPECT_LT(::GetTickCount() - dwStart, 1000u);
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(hProcess, 1000));
    DWORD dwExit = 99;
    ::GetExitCodeProcess(hProcess, &dwExit);
    EXPECT_EQ(0u, dwExit);  // ended through WM_QUIT
    ::CloseHandle(hProcess);
    EXPECT_TRUE(m_state.Has("quit"));
    EXPECT_TRUE(traces.All().empty());
    EXPECT_TRUE(m_asserts.All().empty());
}

}  // namespace
