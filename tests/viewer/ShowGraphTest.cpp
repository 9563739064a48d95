// "Show graph" end to end: CGraph::ShowGraph and CGraphEdit::ShowGraph start the GraphEdit
// stand-in, drive its connection dialog and make it read this process's graph through the
// running object table; Close asks it to quit. Misbehaving GraphEdits (never ready, no sizing
// frame, late window, WM_QUIT ignored, odd lists) show what the bridge reports and traces.
//
// GraphEdit reads the graph by calling back into this thread's apartment, so the tests pump
// messages while they wait for its state file to say "connected".
#include <windows.h>
#include <dshow.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ComPtr.h"
#include "Graph.h"
#include "GraphFiles.h"
#include "Helpers.h"
#include "TestSupport.h"
#include "ViewerTestSupport.h"

namespace {

using viewertest::CEnvironmentGuard;
using viewertest::Hex8;
using viewertest::kGraphEditExe;

const char kSourceAndWriter[] =
    "filter 0001 \"Tavrel\" tavrel\n"
    "filter 0002 \"Lathmere writer\" writer\n"
    "connect 0001 \"Out\" 0002 \"In\" stream null 1 0 65536 none\n"
    "clock 0000\n";

const wchar_t kNotFoundTrace[] = L"###Err### CGraphEdit::FindMainWindow(): GraphEdit window not found\n";
const wchar_t kWaitEndingTrace[] = L"###Err### CGraphEdit::WaitWhileHidden(): Wait time is ending\n";
const wchar_t kWaitRestPrefix[] = L"CGraphEdit::WaitWhileHidden(): wait time rest is ";

class ShowGraphTest : public viewertest::GraphEditTest {
protected:
    // A second handle on GraphEdit's process, so the test can watch it after the bridge let go.
    static HANDLE Watch(const CGraphEdit& graphEdit) {
        HANDLE hProcess = nullptr;
        ::DuplicateHandle(::GetCurrentProcess(), graphEdit.ProcessInfo().hProcess, ::GetCurrentProcess(), &hProcess,
                          SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, 0);
        EXPECT_NE(nullptr, hProcess);
        return hProcess;
    }
    // Waits for the process to end and gives its exit code (STILL_ACTIVE if it did not), closing the handle.
    static DWORD ExitCode(HANDLE hProcess, DWORD dwWaitMs) {
        ::WaitForSingleObject(hProcess, dwWaitMs);
        DWORD dwExit = 99;
        ::GetExitCodeProcess(hProcess, &dwExit);
        ::CloseHandle(hProcess);
        return dwExit;
    }
    static void ExpectIdle(const CGraphEdit& graphEdit) {
        EXPECT_EQ(0u, graphEdit.Cookie());
        EXPECT_EQ(nullptr, graphEdit.ProcessInfo().hProcess);
        EXPECT_EQ(nullptr, graphEdit.ProcessInfo().hThread);
        EXPECT_EQ(0u, graphEdit.ProcessInfo().dwProcessId);
        EXPECT_EQ(nullptr, graphEdit.GraphEditWindow());
        EXPECT_EQ(nullptr, graphEdit.ListBoxWindow());
    }
    // The start of the line GraphEdit writes once it has read this process's Tavrel-writer graph.
    static std::string Connected(const void* pGraph) {
        return "connected pid=" + Hex8(::GetCurrentProcessId()) + " graph=" + Hex8(reinterpret_cast<ULONG_PTR>(pGraph)) +
               " filters=2 connections=1 names=";
    }
    bool WaitConnected() { return m_state.WaitFor("connected", 5000); }
    std::wstring GraphFile() { return test::WriteGraphFile(m_dir, L"both.grf", kSourceAndWriter); }

    test::AssertionCollector m_asserts;
    viewertest::CTraceCollector m_traces;
};

// ---- GraphEdit that keeps the contract ------------------------------------------------------

TEST_F(ShowGraphTest, GraphEditShowsThisProcessGraphAndQuitsOnClose) {
    fw::ComPtr<IGraphBuilder> spGraph = viewertest::MakeTavrelWriterGraph();
    ASSERT_TRUE(spGraph);
    const ULONG cRefBefore = test::RefCount(spGraph);
    CGraphEdit graphEdit;
    ASSERT_HR(S_OK, graphEdit.ShowGraph(spGraph));
    EXPECT_NE(0u, graphEdit.Cookie());
    EXPECT_NE(nullptr, graphEdit.ProcessInfo().hProcess);
    EXPECT_TRUE(::IsWindow(graphEdit.GraphEditWindow()));
    EXPECT_TRUE(::IsWindow(graphEdit.ListBoxWindow()));

    ASSERT_TRUE(WaitConnected());
    EXPECT_EQ(0u, m_state.Find("connected").find(Connected(spGraph))) << m_state.Find("connected") << " / " << Connected(spGraph);
    EXPECT_EQ("connection Tavrel.Out -> Lathmere writer.In", m_state.Find("connection "));
    EXPECT_EQ("confirmed index=0", m_state.Find("confirmed"));
    // The messages exactly as GraphEdit received them: the command as from an accelerator, and
    // OK as a button's click.
    EXPECT_EQ(1u, m_state.Count("command "));
    EXPECT_EQ("command wParam=0x00018034 lParam=0x00000000", m_state.Find("command "));
    EXPECT_EQ(1u, m_state.Count("dialog-command "));
    EXPECT_EQ("dialog-command wParam=0x00000001 lParam=0x00000000", m_state.Find("dialog-command "));
    EXPECT_GT(test::RefCount(spGraph), cRefBefore);  // GraphEdit holds the graph while it shows it

    HANDLE hProcess = Watch(graphEdit);
    const DWORD dwStart = ::GetTickCount();
    graphEdit.Close();
    EXPECT_LT(::GetTickCount() - dwStart, 1000u);
    // It let go on its way out, and ended within Close: its releases were answered meanwhile.
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(hProcess, 0));
    EXPECT_EQ(0u, ExitCode(hProcess, 0));  // its message loop ended on WM_QUIT
    EXPECT_TRUE(m_state.Has("quit"));
    EXPECT_EQ(0u, m_state.Find("released").find("released filters=2 pins=2 ")) << m_state.Find("released");
    ExpectIdle(graphEdit);
    EXPECT_EQ(cRefBefore, test::RefCount(spGraph));  // neither the table nor GraphEdit holds it now
    EXPECT_TRUE(m_traces.All().empty());
    EXPECT_TRUE(m_asserts.All().empty());
}

TEST_F(ShowGraphTest, GraphBuiltFromFileIsShownAndClearEndsGraphEdit) {
    CGraph graph;
    ASSERT_HR(S_OK, graph.BuildGraph(GraphFile().c_str()));
    ASSERT_HR(S_OK, graph.ShowGraph());
    ASSERT_TRUE(WaitConnected());
    const std::string connected = m_state.Find("connected");
    EXPECT_NE(std::string::npos, connected.find("pid=" + Hex8(::GetCurrentProcessId()) + " ")) << connected;
    EXPECT_NE(std::string::npos, connected.find(" filters=2 connections=1 ")) << connected;
    EXPECT_EQ("connection Tavrel.Out -> Lathmere writer.In", m_state.Find("connection "));
    const std::vector<DWORD> running = viewertest::ChildProcesses(kGraphEditExe);
    ASSERT_EQ(1u, running.size());
    HANDLE hProcess = ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, running[0]);

    graph.Clear();  // the teardown closes the bridge: GraphEdit is asked to quit and waited for
    EXPECT_TRUE(m_state.Has("quit"));
    EXPECT_TRUE(m_state.Has("released filters=2 "));
    EXPECT_EQ(0u, ExitCode(hProcess, 0));  // ended within Clear
    EXPECT_TRUE(m_traces.All().empty());
    EXPECT_TRUE(m_asserts.All().empty());
}

TEST_F(ShowGraphTest, SecondShowGraphConnectsWhileTheFirstGraphEditKeptTheGraph) {
    CGraph graph;
    ASSERT_HR(S_OK, graph.BuildGraph(GraphFile().c_str()));
    ASSERT_HR(S_OK, graph.ShowGraph());
    ASSERT_TRUE(WaitConnected());
    ASSERT_EQ(1u, viewertest::ChildProcesses(kGraphEditExe).size());
    const DWORD dwFirst = viewertest::ChildProcesses(kGraphEditExe)[0];
    HANDLE hFirst = ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, dwFirst);
    EXPECT_FALSE(m_state.Has("released"));  // the first one keeps the graph while it shows it

    // No pumping here: only the bridge's own waits serve GraphEdit's calls, as in the dialog.
    ASSERT_HR(S_OK, graph.ShowGraph());
    // The first one let go and ended within the press, before the second was started.
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(hFirst, 0));
    EXPECT_EQ(0u, ExitCode(hFirst, 0));
    EXPECT_EQ(1u, m_state.Count("quit"));
    EXPECT_EQ(1u, m_state.Count("released filters=2 "));
    EXPECT_EQ(1u, viewertest::RotEntriesOfProcess(::GetCurrentProcessId()));

    // The second one finds the graph in the running object table and reads its filters.
    ASSERT_TRUE(viewertest::PumpUntil([&] { return m_state.Count("connected") == 2; }, 5000)) << m_state.Find("connect-failed");
    EXPECT_FALSE(m_state.Has("connect-failed"));
    EXPECT_EQ(2u, m_state.Count("connected pid=" + Hex8(::GetCurrentProcessId()) + " "));
    EXPECT_EQ(2u, m_state.Count("connection Tavrel.Out -> Lathmere writer.In"));
    const std::vector<DWORD> running = viewertest::ChildProcesses(kGraphEditExe);
    ASSERT_EQ(1u, running.size());
    EXPECT_NE(dwFirst, running[0]);
    EXPECT_EQ(1u, viewertest::RotEntriesOfProcess(::GetCurrentProcessId()));

    graph.Clear();
    EXPECT_EQ(2u, m_state.Count("quit"));
    EXPECT_EQ(2u, m_state.Count("released filters=2 "));
    EXPECT_EQ(0u, viewertest::RotEntriesOfProcess(::GetCurrentProcessId()));
}

// ---- What stops the bridge before GraphEdit runs --------------------------------------------

TEST_F(ShowGraphTest, NoGraphBuiltFailsWithoutStartingGraphEdit) {
    CGraph graph;
    EXPECT_HR(E_FAIL, graph.ShowGraph());
    EXPECT_TRUE(viewertest::ChildProcesses(kGraphEditExe).empty());
    EXPECT_TRUE(m_state.Lines().empty());
    EXPECT_TRUE(m_traces.All().empty());
}

TEST_F(ShowGraphTest, ProppageNotRegisteredGivesClassNotRegistered) {
    viewertest::CProppageValue proppage;
    proppage.Remove();
    fw::ComPtr<IGraphBuilder> spGraph = viewertest::MakeTavrelWriterGraph();
    CGraphEdit graphEdit;
    EXPECT_HR(REGDB_E_CLASSNOTREG, graphEdit.ShowGraph(spGraph));
    ExpectIdle(graphEdit);  // nothing published, nothing started
    EXPECT_TRUE(m_state.Lines().empty());
    EXPECT_TRUE(m_traces.All().empty());
#ifdef _DEBUG
    EXPECT_EQ(std::vector<std::wstring>{L"!L\"CGraphEdit::ShowGraph(): Proppage.dll is not registered\""},
              m_asserts.Expressions(L"Helpers"));
#endif
}

TEST_F(ShowGraphTest, GraphEditThatCannotStartLeavesThePublicationUntilClose) {
    viewertest::CGraphEditPathValue path;
    viewertest::CProppageValue proppage;
    path.SetString(m_dir + L"\\absent.exe");
    proppage.SetString(m_dir + L"\\proppage.dll");  // no graphedt.exe beside it either
    fw::ComPtr<IGraphBuilder> spGraph = viewertest::MakeTavrelWriterGraph();
    CGraphEdit graphEdit;
    EXPECT_HR(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), graphEdit.ShowGraph(spGraph));
    EXPECT_NE(0u, graphEdit.Cookie());
    EXPECT_EQ(nullptr, graphEdit.ProcessInfo().hProcess);
    EXPECT_TRUE(m_traces.All().empty());
    graphEdit.Close();
    ExpectIdle(graphEdit);
}

// ---- GraphEdit that misbehaves --------------------------------------------------------------

TEST_F(ShowGraphTest, NeverReadyTimesOutAfterOneSecondAndRunsOnUntracked) {
    CEnvironmentGuard neverIdle(L"GRAPHEDT_NEVER_IDLE", L"1");
    CEnvironmentGuard lifetime(L"GRAPHEDT_LIFETIME_MS", nullptr);  // its own: about 3 s
    fw::ComPtr<IGraphBuilder> spGraph = viewertest::MakeTavrelWriterGraph();
    CGraphEdit graphEdit;
    const DWORD dwStart = ::GetTickCount();
    EXPECT_HR(E_FAIL, graphEdit.ShowGraph(spGraph));
    const DWORD dwElapsed = ::GetTickCount() - dwStart;
    EXPECT_GE(dwElapsed, 950u);
    EXPECT_LT(dwElapsed, 2000u);
    EXPECT_EQ(std::vector<std::wstring>{L"###Err### CGraphEdit::LoadGraphEdit(): WaitForInputIdle()=258, hr=0x80004005\n"},
              m_traces.Texts(2));
    EXPECT_EQ(1u, m_traces.All().size());
    EXPECT_NE(0u, graphEdit.Cookie());  // the publication stays until Close
    EXPECT_EQ(nullptr, graphEdit.ProcessInfo().hProcess);

    // Untracked: Close has nothing to wait for, and GraphEdit runs on until it gives up by itself.
    const std::vector<DWORD> stray = viewertest::ChildProcesses(kGraphEditExe);
    ASSERT_EQ(1u, stray.size());
    HANDLE hStray = ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, stray[0]);
    const DWORD dwCloseStart = ::GetTickCount();
    graphEdit.Close();
    EXPECT_LT(::GetTickCount() - dwCloseStart, 200u);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), ::WaitForSingleObject(hStray, 0));
    EXPECT_EQ(2u, ExitCode(hStray, 4000));  // the stand-in's own end after its lifetime
    EXPECT_EQ("never-idle", m_state.Find("never-idle"));
}

TEST_F(ShowGraphTest, MainWindowWithoutSizingFrameIsNotTaken) {
    CEnvironmentGuard noFrame(L"GRAPHEDT_NO_FRAME", L"1");
    fw::ComPtr<IGraphBuilder> spGraph = viewertest::MakeTavrelWriterGraph();
    CGraphEdit graphEdit;
    EXPECT_HR(S_FALSE, graphEdit.ShowGraph(spGraph));
    EXPECT_EQ(nullptr, graphEdit.GraphEditWindow());
    EXPECT_NE(nullptr, graphEdit.ProcessInfo().hProcess);  // still tracked
    EXPECT_NE(0u, graphEdit.Cookie());
    EXPECT_EQ(std::vector<std::wstring>{kNotFoundTrace}, m_traces.Texts(2));
    EXPECT_TRUE(m_traces.Texts(10).empty());

    HANDLE hProcess = Watch(graphEdit);
    graphEdit.Close();
    EXPECT_EQ(0u, ExitCode(hProcess, 1000));
    EXPECT_FALSE(m_state.Has("dialog-open"));  // the connection command was never sent
}

TEST_F(ShowGraphTest, MainWindowNotVisibleWithinTheWaitGivesCodeOne) {
    const std::wstring file = GraphFile();
    for (const wchar_t* pszVariable : {L"GRAPHEDT_SHOW_AFTER_MS", L"GRAPHEDT_HIDDEN"}) {
        SCOPED_TRACE(test::Narrow(pszVariable));
        CEnvironmentGuard late(pszVariable, wcscmp(pszVariable, L"GRAPHEDT_HIDDEN") == 0 ? L"1" : L"400");
        CGraph graph;
        ASSERT_HR(S_OK, graph.BuildGraph(file.c_str()));
        m_traces.Clear();
        EXPECT_HR(S_FALSE, graph.ShowGraph());
        EXPECT_EQ((std::vector<std::wstring>{kWaitEndingTrace, kNotFoundTrace}), m_traces.Texts(2));
        // One rest per 10 ms poll of the 100 ms wait, counting down.
        const std::vector<std::wstring> rests = m_traces.Texts(10);
        EXPECT_GE(rests.size(), 1u);
        EXPECT_LE(rests.size(), 12u);
        for (const std::wstring& rest : rests) {
            ASSERT_EQ(0u, rest.find(kWaitRestPrefix)) << test::Narrow(rest);
            const int nRest = _wtoi(rest.c_str() + wcslen(kWaitRestPrefix));
            EXPECT_LE(nRest, 100);
            EXPECT_GE(nRest, -20);
            EXPECT_EQ(std::to_wstring(nRest) + L" ms\n", rest.substr(wcslen(kWaitRestPrefix)));
        }
        graph.Clear();  // GraphEdit was tracked: it receives WM_QUIT now
    }
    EXPECT_EQ(2u, m_state.Count("quit"));
    EXPECT_FALSE(m_state.Has("dialog-open"));
}

TEST_F(ShowGraphTest, MainWindowShownWithinTheWaitIsTaken) {
    CEnvironmentGuard late(L"GRAPHEDT_SHOW_AFTER_MS", L"30");
    fw::ComPtr<IGraphBuilder> spGraph = viewertest::MakeTavrelWriterGraph();
    CGraphEdit graphEdit;
    EXPECT_HR(S_OK, graphEdit.ShowGraph(spGraph));
    EXPECT_TRUE(m_traces.Texts(2).empty());
    EXPECT_FALSE(m_traces.Texts(10).empty());
    EXPECT_TRUE(WaitConnected());
    graphEdit.Close();
}

TEST_F(ShowGraphTest, GraphEditIgnoringWmQuitIsLeftAfterAboutOneSecond) {
    CEnvironmentGuard ignoreQuit(L"GRAPHEDT_IGNORE_QUIT", L"1");
    CEnvironmentGuard lifetime(L"GRAPHEDT_LIFETIME_MS", L"3000");
    fw::ComPtr<IGraphBuilder> spGraph = viewertest::MakeTavrelWriterGraph();
    CGraphEdit graphEdit;
    ASSERT_HR(S_OK, graphEdit.ShowGraph(spGraph));
    ASSERT_TRUE(WaitConnected());

    HANDLE hProcess = Watch(graphEdit);
    const DWORD dwStart = ::GetTickCount();
    graphEdit.Close();
    const DWORD dwElapsed = ::GetTickCount() - dwStart;
    EXPECT_GE(dwElapsed, 950u);
    EXPECT_LT(dwElapsed, 1500u);
    ExpectIdle(graphEdit);
    EXPECT_TRUE(m_state.Has("quit-ignored"));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), ::WaitForSingleObject(hProcess, 0));  // runs on, untracked
    EXPECT_EQ(2u, ExitCode(hProcess, 3000));  // until its own end
}

// ---- Lists the bridge cannot use ------------------------------------------------------------

// The dialog and its empty list are there before the search starts, so every pass reaches the
// list and asks its count once: exactly nine counts, whether the search stopped early or ran on.
TEST_F(ShowGraphTest, EmptyListIsSearchedNinePassesAndTheDialogLeftOpen) {
    CEnvironmentGuard emptyList(L"GRAPHEDT_EMPTY_LIST", L"1");
    fw::ComPtr<IGraphBuilder> spGraph = viewertest::MakeTavrelWriterGraph();
    CGraphEdit graphEdit;
    ASSERT_HR(S_OK, graphEdit.LoadGraphEdit(nullptr));  // started beforehand: only the search is timed
    ASSERT_TRUE(graphEdit.FindMainWindow());
    graphEdit.PostConnectCommand();
    ASSERT_TRUE(m_state.WaitFor("listed count=0", 5000));
    ASSERT_EQ(0u, m_state.Count("stamp getcount "));
    const DWORD dwStart = ::GetTickCount();
    graphEdit.ConnectToGraph(spGraph);
    const DWORD dwElapsed = ::GetTickCount() - dwStart;
    EXPECT_GE(dwElapsed, 90u);  // nine sleeps of 10 ms
    EXPECT_EQ(9u, m_state.Count("stamp getcount "));
    ASSERT_TRUE(::IsWindow(graphEdit.ListBoxWindow()));
    EXPECT_TRUE(::IsWindow(::GetParent(graphEdit.ListBoxWindow())));  // the dialog stays for the user
    viewertest::PumpFor(200);
    EXPECT_FALSE(m_state.Has("confirmed"));
    EXPECT_TRUE(m_traces.All().empty());
    graphEdit.Close();
}

TEST_F(ShowGraphTest, ListFilledWithinTheSearchIsUsed) {
    CEnvironmentGuard slowList(L"GRAPHEDT_SLOW_LIST_MS", L"30");
    fw::ComPtr<IGraphBuilder> spGraph = viewertest::MakeTavrelWriterGraph();
    CGraphEdit graphEdit;
    EXPECT_HR(S_OK, graphEdit.ShowGraph(spGraph));
    EXPECT_TRUE(WaitConnected());
    graphEdit.Close();
}

TEST_F(ShowGraphTest, ListFilledAfterTheSearchIsNotConfirmed) {
    CEnvironmentGuard slowList(L"GRAPHEDT_SLOW_LIST_MS", L"400");
    fw::ComPtr<IGraphBuilder> spGraph = viewertest::MakeTavrelWriterGraph();
    CGraphEdit graphEdit;
    EXPECT_HR(S_OK, graphEdit.ShowGraph(spGraph));
    EXPECT_TRUE(m_state.WaitFor("listed count=1", 2000));
    viewertest::PumpFor(100);
    EXPECT_FALSE(m_state.Has("confirmed"));
    graphEdit.Close();
}

TEST_F(ShowGraphTest, ItemsLongerThanSixtyThreeCharactersAreNotChosen) {
    CEnvironmentGuard longItems(L"GRAPHEDT_LONG_ITEMS", L"1");
    fw::ComPtr<IGraphBuilder> spGraph = viewertest::MakeTavrelWriterGraph();
    CGraphEdit graphEdit;
    EXPECT_HR(S_OK, graphEdit.ShowGraph(spGraph));
    const std::string item = m_state.Find("item ");
    EXPECT_GT(item.size(), 5u + 63u) << item;
    EXPECT_NE(std::string::npos, item.find("IFilterGraph = " + Hex8(reinterpret_cast<ULONG_PTR>(spGraph.Get())))) << item;
    viewertest::PumpFor(200);
    EXPECT_FALSE(m_state.Has("confirmed"));
    graphEdit.Close();
}

TEST_F(ShowGraphTest, OfTwoMatchingItemsTheFirstIsChosen) {
    CEnvironmentGuard duplicates(L"GRAPHEDT_DUPLICATE_ITEMS", L"1");
    fw::ComPtr<IGraphBuilder> spGraph = viewertest::MakeTavrelWriterGraph();
    CGraphEdit graphEdit;
    EXPECT_HR(S_OK, graphEdit.ShowGraph(spGraph));
    ASSERT_TRUE(WaitConnected());
    EXPECT_EQ("listed count=2", m_state.Find("listed"));
    EXPECT_EQ("confirmed index=0", m_state.Find("confirmed"));
    graphEdit.Close();
}

}  // namespace
