// CGraph's playback and position queries on a real streaming graph: the source stand-in
// pushing into the writer stand-in through the test bed's graph manager.
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <cstdio>

#include "Graph.h"
#include "GraphFiles.h"
#include "GraphSwitches.h"
#include "TestSupport.h"

namespace {

LONGLONG FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<LONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

int ThreadsOfThisProcess() {
    HANDLE hSnap = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 te = {sizeof(te)};
    int c = 0;
    for (BOOL b = ::Thread32First(hSnap, &te); b; b = ::Thread32Next(hSnap, &te))
        if (te.th32OwnerProcessID == ::GetCurrentProcessId()) ++c;
    ::CloseHandle(hSnap);
    return c;
}

// Waits up to dwMs for the writer's count to exceed llAbove.
LONGLONG WaitForWritten(CGraph& graph, LONGLONG llAbove, DWORD dwMs) {
    const DWORD dwStart = ::GetTickCount();
    LONGLONG ll = graph.GetWritten();
    while (ll <= llAbove && ::GetTickCount() - dwStart < dwMs) {
        ::Sleep(20);
        ll = graph.GetWritten();
    }
    return ll;
}

class GraphPlaybackTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = test::MakeTempDir(L"play");
        m_sink = m_dir + L"\\out.mp4";
        Build("");
    }
    // (Re)builds the source-into-writer graph; writerData: the writer's extra "data" lines.
    void Build(const std::string& writerData) {
        std::string description =
            "filter 0001 \"Tavrel\" tavrel\n"
            "data rate=2000000\n"
            "data sample=65536\n"
            "filter 0002 \"Lathmere writer\" writer sink \"" + test::Narrow(m_sink) + "\"\n" + writerData +
            "connect 0001 \"Out\" 0002 \"In\" stream null 1 0 65536 none\n"
            "clock 0000\n";
        ASSERT_HR(S_OK, m_graph.BuildGraph(test::WriteGraphFile(m_dir, L"tavrel.grf", description).c_str()));
    }

    std::wstring m_dir;
    std::wstring m_sink;
    CGraph m_graph;
};

TEST_F(GraphPlaybackTest, RunWritesAndStopLeavesTheCountEqualToTheSinkFile) {
    EXPECT_EQ(0, m_graph.GetWritten());
    ASSERT_TRUE(SUCCEEDED(m_graph.Run()));
    LONGLONG llFirst = WaitForWritten(m_graph, 0, 3000);
    EXPECT_GT(llFirst, 0);
    LONGLONG llLater = WaitForWritten(m_graph, llFirst, 3000);
    EXPECT_GT(llLater, llFirst);
    EXPECT_HR(S_OK, m_graph.Stop());
    LONGLONG llWritten = m_graph.GetWritten();
    EXPECT_EQ(FileSize(m_sink), llWritten);
    EXPECT_EQ(0, llWritten % 65536);  // whole samples
}

TEST_F(GraphPlaybackTest, PauseHoldsTheCount) {
    ASSERT_TRUE(SUCCEEDED(m_graph.Run()));
    WaitForWritten(m_graph, 0, 3000);
    ASSERT_TRUE(SUCCEEDED(m_graph.Pause()));
    ::Sleep(100);
    LONGLONG llPaused = m_graph.GetWritten();
    ::Sleep(500);
    EXPECT_EQ(llPaused, m_graph.GetWritten());
    ASSERT_TRUE(SUCCEEDED(m_graph.Run()));
    EXPECT_GT(WaitForWritten(m_graph, llPaused, 3000), llPaused);
    m_graph.Stop();
}

// A writer whose Pause answers S_FALSE (still in transition): the graph manager passes that on
// from Run (Wine: S_FALSE, and it completes the run itself once the writer reports paused),
// CGraph returns it unchanged and the graph runs.
TEST_F(GraphPlaybackTest, RunPassesOnTheSFalseOfAWriterStillPausing) {
    Build("data pause=S_FALSE\n");
    EXPECT_HR(S_FALSE, m_graph.Run());
    LONGLONG llFirst = WaitForWritten(m_graph, 0, 3000);
    EXPECT_GT(llFirst, 0);
    EXPECT_GT(WaitForWritten(m_graph, llFirst, 3000), llFirst);
    m_graph.Stop();
}

TEST_F(GraphPlaybackTest, RunWhileRunningAndStopWhileStoppedArePassedOn) {
    EXPECT_HR(S_OK, m_graph.Stop());
    ASSERT_TRUE(SUCCEEDED(m_graph.Run()));
    LONGLONG ll = WaitForWritten(m_graph, 0, 3000);
    EXPECT_TRUE(SUCCEEDED(m_graph.Run()));
    EXPECT_GT(WaitForWritten(m_graph, ll, 3000), ll);  // still streaming
    EXPECT_HR(S_OK, m_graph.Stop());
    EXPECT_HR(S_OK, m_graph.Stop());
}

// This process's thread count once it has fallen to cThreads or dwMs have passed: a released
// filter's thread ends shortly after the release returns.
int ThreadsWithin(DWORD dwMs, int cThreads) {
    int cNow = ThreadsOfThisProcess();
    for (DWORD dwWaited = 0; dwWaited < dwMs && cNow > cThreads; dwWaited += 20) {
        ::Sleep(20);
        cNow = ThreadsOfThisProcess();
    }
    return cNow;
}

TEST_F(GraphPlaybackTest, ClearOfARunningGraphReleasesItAndItsThreads) {
    const int cThreadsBefore = ThreadsOfThisProcess();
    ASSERT_TRUE(SUCCEEDED(m_graph.Run()));
    WaitForWritten(m_graph, 0, 3000);
    m_graph.Clear();
    EXPECT_TRUE(m_graph.IsEmpty());
    EXPECT_EQ(0, test::LiveObjects(test::kFiltersDll));
    // The source's streaming thread is gone once the graph is released.
    EXPECT_LE(ThreadsWithin(1000, cThreadsBefore), cThreadsBefore);
}

// Ends this test process with a failure when it is still alive dwMs after construction, unless
// disarmed by destruction first: a hang (a deadlock or a livelock in a release) then fails the
// test instead of stalling the whole run. Nothing else can interrupt a thread that never returns.
class HangWatchdog {
public:
    explicit HangWatchdog(DWORD dwMs) : m_dwMs(dwMs) {
        m_hDone = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        m_hThread = ::CreateThread(nullptr, 0, &ThreadProc, this, 0, nullptr);
    }
    ~HangWatchdog() {
        ::SetEvent(m_hDone);
        ::WaitForSingleObject(m_hThread, INFINITE);
        ::CloseHandle(m_hThread);
        ::CloseHandle(m_hDone);
    }

private:
    static DWORD WINAPI ThreadProc(void* pParam) {
        auto* pThis = static_cast<HangWatchdog*>(pParam);
        if (::WaitForSingleObject(pThis->m_hDone, pThis->m_dwMs) == WAIT_TIMEOUT) {
            fprintf(stderr, "HangWatchdog: still waiting after %lu ms, ending the test process\n", pThis->m_dwMs);
            fflush(stderr);
            ::TerminateProcess(::GetCurrentProcess(), 3);
        }
        return 0;
    }
    DWORD m_dwMs;
    HANDLE m_hDone;
    HANDLE m_hThread;
};

// The writer cannot create its sink (another opener holds it without sharing), so Run fails in
// the writer's Pause while the source has already paused and started its streaming thread.
// Stopping and letting the graph go must still end every filter's thread and return.
TEST_F(GraphPlaybackTest, ClearAfterARunRefusedForTheSinkReturnsAndReleasesEverything) {
    HANDLE hHeld = ::CreateFileW(m_sink.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hHeld);
    const int cThreadsBefore = ThreadsOfThisProcess();
    {
        HangWatchdog watchdog(15000);
        EXPECT_HR(HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION), m_graph.Run());
        EXPECT_HR(S_OK, m_graph.Stop());
        m_graph.Clear();
    }
    ::CloseHandle(hHeld);
    EXPECT_TRUE(m_graph.IsEmpty());
    EXPECT_EQ(0, test::LiveObjects(test::kFiltersDll));
    EXPECT_LE(ThreadsWithin(1000, cThreadsBefore), cThreadsBefore);
}

TEST_F(GraphPlaybackTest, PositionQueriesGiveTheGraphsValues) {
    LONGLONG llDuration = 0;
    EXPECT_HR(S_OK, m_graph.GetDuration(&llDuration));
    EXPECT_EQ(6000000000LL, llDuration);  // the source's default: ten minutes in 100 ns units
    ASSERT_TRUE(SUCCEEDED(m_graph.Run()));
    WaitForWritten(m_graph, 65536 * 4, 3000);
    LONGLONG llPosition = -1;
    EXPECT_HR(S_OK, m_graph.GetCurrentPosition(&llPosition));
    EXPECT_GT(llPosition, 0);
    EXPECT_LT(llPosition, llDuration);
    // Wine's graph manager answers GetAvailable with S_OK and writes neither output (it asks no
    // filter; Windows' would give the source's range): both read 0 because CGraph set them so.
    LONGLONG llEarliest = -1, llLatest = -1;
    EXPECT_HR(S_OK, m_graph.GetAvailable(&llEarliest, &llLatest));
    EXPECT_EQ(0, llEarliest);
    EXPECT_EQ(0, llLatest);
    m_graph.Stop();
}

// GetCurrentPosition and GetAvailable report any result but S_OK and pass it on, with the
// outputs as the graph manager left them (CGraph's zeros); GetDuration is untouched by the switch.
TEST_F(GraphPlaybackTest, PositionQueriesOtherThanSOkAreReportedAndPassedOn) {
    for (HRESULT hrPositions : {E_FAIL, S_FALSE}) {
        SCOPED_TRACE(test::Narrow(test::HrText(hrPositions)));
        test::ScopedGraphSwitch positions(L"GRFPERSIST_POSITION_HR", std::to_wstring(hrPositions).c_str());
        Build("");
        test::AssertionCollector asserts;
        LONGLONG llPosition = -1, llEarliest = -1, llLatest = -1, llDuration = -1;
        EXPECT_HR(hrPositions, m_graph.GetCurrentPosition(&llPosition));
        EXPECT_HR(hrPositions, m_graph.GetAvailable(&llEarliest, &llLatest));
        EXPECT_EQ(0, llPosition);
        EXPECT_EQ(0, llEarliest);
        EXPECT_EQ(0, llLatest);
        EXPECT_HR(S_OK, m_graph.GetDuration(&llDuration));
        EXPECT_EQ(6000000000LL, llDuration);
#ifdef _DEBUG
        EXPECT_EQ(std::vector<std::wstring>(2, L"hr == ((HRESULT)0L)"), asserts.Expressions(L"Graph"));
#endif
    }
}

// Wine's graph manager answers GetDuration with E_NOTIMPL when no filter can tell a duration
// (an empty graph): passed on without a report, the output left at CGraph's 0.
TEST(GraphPositionQueries, FailingDurationIsPassedOnWithoutReport) {
    CGraph graph;
    ASSERT_HR(S_FALSE, graph.BuildGraph(test::WriteGraphFile(test::MakeTempDir(L"empty"), L"empty.grf", "clock 0000\n").c_str()));
    test::AssertionCollector asserts;
    LONGLONG llDuration = -1;
    EXPECT_HR(E_NOTIMPL, graph.GetDuration(&llDuration));
    EXPECT_EQ(0, llDuration);
    EXPECT_TRUE(asserts.All().empty());
}

TEST(GraphPositionQueries, NullAddressesAreRefusedWithNothingWritten) {
    test::AssertionCollector asserts;
    CGraph graph;
    LONGLONG llEarliest = 11;
    EXPECT_HR(E_POINTER, graph.GetAvailable(nullptr, &llEarliest));
    EXPECT_EQ(11, llEarliest);
    EXPECT_HR(E_POINTER, graph.GetAvailable(&llEarliest, nullptr));
    EXPECT_EQ(11, llEarliest);  // the second null leaves the first untouched
    EXPECT_HR(E_POINTER, graph.GetDuration(nullptr));
    EXPECT_HR(E_POINTER, graph.GetCurrentPosition(nullptr));
#ifdef _DEBUG
    EXPECT_EQ((std::vector<std::wstring>{L"pllEarliest != 0", L"pllLatest != 0", L"pllDuration != 0",
                                         L"pllPosition != 0"}),
              asserts.Expressions(L"Graph"));
#endif
}

TEST(GraphPositionQueries, WithoutGraphFailAndSetZero) {
    test::AssertionCollector asserts;
    CGraph graph;
    LONGLONG llA = 5, llB = 6;
    EXPECT_HR(E_FAIL, graph.GetAvailable(&llA, &llB));
    EXPECT_EQ(0, llA);
    EXPECT_EQ(0, llB);
    llA = 5;
    EXPECT_HR(E_FAIL, graph.GetDuration(&llA));
    EXPECT_EQ(0, llA);
    llA = 5;
    EXPECT_HR(E_FAIL, graph.GetCurrentPosition(&llA));
    EXPECT_EQ(0, llA);
    EXPECT_TRUE(asserts.All().empty());
}

TEST(GraphStateChanges, WithoutGraphFail) {
    test::AssertionCollector asserts;
    CGraph graph;
    EXPECT_HR(E_FAIL, graph.Stop());
#ifdef _DEBUG
    EXPECT_TRUE(asserts.All().empty());  // Stop makes no report
#endif
    EXPECT_HR(E_FAIL, graph.Run());
    EXPECT_HR(E_FAIL, graph.Pause());
#ifdef _DEBUG
    EXPECT_EQ((std::vector<std::wstring>{L"m_spGraph != 0", L"m_spGraph != 0"}), asserts.Expressions(L"Graph"));
#endif
}

}  // namespace
