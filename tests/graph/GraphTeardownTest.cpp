// CGraph's teardown: what Clear and the destructor release, counted in the test bed's DLLs, and
// in which order things happen, seen in one journal that the graph manager stand-in (its
// creation and last release) and the writer stand-in (its state changes) both append to.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <optional>

#include "Graph.h"
#include "GraphFiles.h"
#include "GraphSwitches.h"
#include "TestSupport.h"

namespace {

const wchar_t kGraphs[] = L"grfpersist.dll";

const char kCreated[] = "FilterGraph created\n";
const char kReleased[] = "FilterGraph released\n";

class GraphTeardownTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::wstring dir = test::MakeTempDir(L"teardown");
        m_journal = dir + L"\\journal.txt";
        m_path = test::WriteGraphFile(dir, L"g.grf",
                                      "filter 0001 \"Tavrel\" tavrel\n"
                                      "filter 0002 \"Lathmere writer\" writer\n"
                                      "data statejournal=" + test::Narrow(m_journal) + "\n"
                                      "connect 0001 \"Out\" 0002 \"In\" stream null 1 0 65536 none\n"
                                      "clock 0000\n");
        m_graphJournal.emplace(L"GRFPERSIST_JOURNAL", m_journal.c_str());
    }
    std::string Journal() {
        std::ifstream in(m_journal.c_str());
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    std::wstring m_path;
    std::wstring m_journal;
    std::optional<test::ScopedGraphSwitch> m_graphJournal;
};

TEST_F(GraphTeardownTest, ClearReleasesEveryReference) {
    CGraph graph;
    ASSERT_HR(S_OK, graph.BuildGraph(m_path.c_str()));
    EXPECT_EQ(1, test::LiveObjects(kGraphs));
    EXPECT_GT(test::LiveObjects(test::kFiltersDll), 0);
    graph.Clear();
    EXPECT_TRUE(graph.IsEmpty());
    EXPECT_EQ(0, test::LiveObjects(kGraphs));
    EXPECT_EQ(0, test::LiveObjects(test::kFiltersDll));
    EXPECT_EQ(0, graph.GetWritten());
}

TEST_F(GraphTeardownTest, SecondClearAndClearOfAnEmptyObjectChangeNothing) {
    test::AssertionCollector asserts;
    CGraph graph;
    graph.Clear();
    EXPECT_TRUE(graph.IsEmpty());
    ASSERT_HR(S_OK, graph.BuildGraph(m_path.c_str()));
    graph.Clear();
    graph.Clear();
    EXPECT_TRUE(graph.IsEmpty());
    EXPECT_EQ(0, test::LiveObjects(kGraphs));
    EXPECT_TRUE(asserts.All().empty());
}

// The first graph manager is gone before the second is made: never two at a time.
TEST_F(GraphTeardownTest, TwoBuildsInARowHoldOneGraphManager) {
    CGraph graph;
    ASSERT_HR(S_OK, graph.BuildGraph(m_path.c_str()));
    LONG cFilters = test::LiveObjects(test::kFiltersDll);
    ASSERT_HR(S_OK, graph.BuildGraph(m_path.c_str()));
    EXPECT_EQ(std::string(kCreated) + kReleased + kCreated, Journal());
    EXPECT_EQ(1, test::LiveObjects(kGraphs));
    EXPECT_EQ(cFilters, test::LiveObjects(test::kFiltersDll));
}

TEST_F(GraphTeardownTest, DestructorReleasesWhatIsStillHeld) {
    {
        CGraph graph;
        ASSERT_HR(S_OK, graph.BuildGraph(m_path.c_str()));
        ASSERT_HR(S_OK, graph.Run());
    }
    EXPECT_EQ(0, test::LiveObjects(kGraphs));
    EXPECT_EQ(0, test::LiveObjects(test::kFiltersDll));
}

// Clear stops a running graph before it lets go: a viewer that ended without letting go keeps
// the graph manager alive, and it must not run on, its writer appending to an unfinished file.
// Wine's Stop of a running graph pauses, then stops; the release comes after both.
TEST_F(GraphTeardownTest, ClearOfARunningGraphStopsItBeforeTheRelease) {
    CGraph graph;
    ASSERT_HR(S_OK, graph.BuildGraph(m_path.c_str()));
    ASSERT_HR(S_OK, graph.Run());
    graph.Clear();
    EXPECT_EQ(std::string(kCreated) +
                  "Pause stopped -> 0x00000000\n"
                  "Run paused -> 0x00000000\n"
                  "Pause running -> 0x00000000\n"
                  "Stop paused -> 0x00000000\n" +
                  kReleased,
              Journal());
    EXPECT_EQ(0, test::LiveObjects(kGraphs));
    EXPECT_EQ(0, test::LiveObjects(test::kFiltersDll));
}

// Without IMediaEventEx there is no notification window to detach: reported, and the graph
// is released all the same.
TEST_F(GraphTeardownTest, ClearWithoutMediaEventExReportsAndStillReleases) {
    test::ScopedGraphSwitch hide(L"GRFPERSIST_HIDE", L"IMediaEventEx");
    CGraph graph;
    ASSERT_HR(S_OK, graph.BuildGraph(m_path.c_str()));
    test::AssertionCollector asserts;
    graph.Clear();
#ifdef _DEBUG
    EXPECT_EQ(std::vector<std::wstring>{L"spMediaEventEx != 0"}, asserts.Expressions(L"Graph"));
#endif
    EXPECT_TRUE(graph.IsEmpty());
    EXPECT_EQ(0, test::LiveObjects(kGraphs));
    EXPECT_EQ(0, test::LiveObjects(test::kFiltersDll));
}

}  // namespace
