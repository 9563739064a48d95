// CGraph's teardown: what Clear and the destructor release, counted in the test bed's DLLs.
#include <windows.h>

#include <gtest/gtest.h>

#include "Graph.h"
#include "GraphFiles.h"
#include "TestSupport.h"

namespace {

const wchar_t kFilters[] = L"testfilters.dll";
const wchar_t kGraphs[] = L"grfpersist.dll";

class GraphTeardownTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_path = test::WriteGraphFile(test::MakeTempDir(L"teardown"), L"g.grf",
                                      "filter 0001 \"Tavrel\" tavrel\n"
                                      "filter 0002 \"Lathmere writer\" writer\n"
                                      "connect 0001 \"Out\" 0002 \"In\" stream null 1 0 65536 none\n"
                                      "clock 0000\n");
    }
    std::wstring m_path;
};

TEST_F(GraphTeardownTest, ClearReleasesEveryReference) {
    CGraph graph;
    ASSERT_HR(S_OK, graph.BuildGraph(m_path.c_str()));
    EXPECT_EQ(1, test::LiveObjects(kGraphs));
    EXPECT_GT(test::LiveObjects(kFilters), 0);
    graph.Clear();
    EXPECT_TRUE(graph.IsEmpty());
    EXPECT_EQ(0, test::LiveObjects(kGraphs));
    EXPECT_EQ(0, test::LiveObjects(kFilters));
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

TEST_F(GraphTeardownTest, TwoBuildsInARowHoldOneGraphManager) {
    CGraph graph;
    ASSERT_HR(S_OK, graph.BuildGraph(m_path.c_str()));
    LONG cFilters = test::LiveObjects(kFilters);
    ASSERT_HR(S_OK, graph.BuildGraph(m_path.c_str()));
    EXPECT_EQ(1, test::LiveObjects(kGraphs));
    EXPECT_EQ(cFilters, test::LiveObjects(kFilters));
}

TEST_F(GraphTeardownTest, DestructorReleasesWhatIsStillHeld) {
    {
        CGraph graph;
        ASSERT_HR(S_OK, graph.BuildGraph(m_path.c_str()));
        ASSERT_HR(S_OK, graph.Run());
    }
    EXPECT_EQ(0, test::LiveObjects(kGraphs));
    EXPECT_EQ(0, test::LiveObjects(kFilters));
}

TEST_F(GraphTeardownTest, ClearOfARunningGraphReleasesItWithoutStop) {
    CGraph graph;
    ASSERT_HR(S_OK, graph.BuildGraph(m_path.c_str()));
    ASSERT_TRUE(SUCCEEDED(graph.Run()));
    ::Sleep(200);
    graph.Clear();
    EXPECT_EQ(0, test::LiveObjects(kGraphs));
    EXPECT_EQ(0, test::LiveObjects(kFilters));
}

}  // namespace
