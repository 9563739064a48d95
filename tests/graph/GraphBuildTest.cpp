// CGraph::BuildGraph against real .grf files, the test bed's graph manager and its filters:
// what each outcome leaves behind, and the debug reports on the way.
#include <windows.h>
#include <dshow.h>

#include <gtest/gtest.h>

#include <thread>

#include "ComPtr.h"
#include "Graph.h"
#include "GraphFiles.h"
#include "GraphSwitches.h"
#include "TestSupport.h"
#include "TestbedIds.h"

namespace {

const char kWriterOnly[] =
    "filter 0001 \"Lathmere writer\" writer\n"
    "data name=First\n"
    "clock 0000\n";

const char kSourceAndWriter[] =
    "filter 0001 \"Tavrel\" tavrel\n"
    "filter 0002 \"Lathmere writer\" writer\n"
    "connect 0001 \"Out\" 0002 \"In\" stream null 1 0 65536 none\n"
    "clock 0000\n";

[[maybe_unused]] std::wstring Expected(const wchar_t* pszMessage) { return std::wstring(L"!L\"") + pszMessage + L"\""; }

class BuildGraphTest : public ::testing::Test {
protected:
    void SetUp() override { m_dir = test::MakeTempDir(L"build"); }

    std::wstring File(const wchar_t* pszName, const std::string& description) {
        return test::WriteGraphFile(m_dir, pszName, description);
    }
    // Builds a graph with a writer, so a test can see what a later call leaves of it.
    void BuildWriterGraph(CGraph& graph) {
        ASSERT_HR(S_OK, graph.BuildGraph(File(L"writer.grf", kWriterOnly).c_str()));
        ASSERT_FALSE(graph.IsEmpty());
    }
    static bool HoldsWriter(CGraph& graph) {
        DWORD dw = 0;
        return graph.GetInterleaving(&dw) == S_OK;
    }

    std::wstring m_dir;
    test::AssertionCollector m_asserts;
};

TEST_F(BuildGraphTest, WriterFoundGivesSOkWithGraphAndWriterHeld) {
    CGraph graph;
    EXPECT_HR(S_OK, graph.BuildGraph(File(L"both.grf", kSourceAndWriter).c_str()));
    EXPECT_FALSE(graph.IsEmpty());
    EXPECT_TRUE(HoldsWriter(graph));
    EXPECT_TRUE(m_asserts.All().empty());
}

TEST_F(BuildGraphTest, NullNameLeavesThePreviousGraphAndWriter) {
    CGraph graph;
    BuildWriterGraph(graph);
    EXPECT_HR(E_INVALIDARG, graph.BuildGraph(nullptr));
    EXPECT_FALSE(graph.IsEmpty());
    EXPECT_TRUE(HoldsWriter(graph));
#ifdef _DEBUG
    EXPECT_EQ(std::vector<std::wstring>{L"pszName != 0"}, m_asserts.Expressions(L"Graph"));
#endif
}

TEST_F(BuildGraphTest, ExtensionIsComparedWithoutRegardToCase) {
    for (const wchar_t* pszName : {L"upper.GRF", L"mixed.gRf"}) {
        CGraph graph;
        EXPECT_HR(S_OK, graph.BuildGraph(File(pszName, kWriterOnly).c_str())) << test::Narrow(pszName);
    }
}

TEST_F(BuildGraphTest, NamesNotEndingInGrfAreRefusedAfterTheOldGraphIsReleased) {
    for (const wchar_t* pszName : {L"x.grf.bak", L"grf", L"", L"C:\\graphs\\a.gr"}) {
        CGraph graph;
        BuildWriterGraph(graph);
        m_asserts.Clear();
        EXPECT_HR(E_INVALIDARG, graph.BuildGraph(pszName)) << test::Narrow(pszName);
        EXPECT_TRUE(graph.IsEmpty());
        EXPECT_FALSE(HoldsWriter(graph));
#ifdef _DEBUG
        EXPECT_EQ(Expected(L"CGraph::BuildGraph(): file is not .grf file"), m_asserts.Expressions(L"Graph").at(0));
#endif
    }
}

TEST_F(BuildGraphTest, MissingFileGivesTheStorageStatusWithAnEmptyGraphHeld) {
    CGraph graph;
    std::wstring path = m_dir + L"\\missing.grf";
    EXPECT_HR(STG_E_FILENOTFOUND, graph.BuildGraph(path.c_str()));
    EXPECT_FALSE(graph.IsEmpty());
    EXPECT_FALSE(HoldsWriter(graph));
#ifdef _DEBUG
    EXPECT_EQ(Expected(L"CGraph::BuildFromGRFFile(): Can't open .grf file"), m_asserts.Expressions(L"Graph").at(0));
#endif
}

TEST_F(BuildGraphTest, FileThatIsNotACompoundFileGivesTheStorageStatus) {
    std::wstring path = m_dir + L"\\text.grf";
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD cb = 0;
    ::WriteFile(h, "0003\r\nFILTERS\r\n", 15, &cb, nullptr);
    ::CloseHandle(h);

    fw::ComPtr<IStorage> spStorage;
    HRESULT hrPlatform = ::StgOpenStorage(path.c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, &spStorage);
    ASSERT_TRUE(FAILED(hrPlatform));

    CGraph graph;
    EXPECT_HR(hrPlatform, graph.BuildGraph(path.c_str()));
    EXPECT_FALSE(graph.IsEmpty());
}

TEST_F(BuildGraphTest, CompoundFileWithoutTheGraphStreamGivesTheStreamStatus) {
    std::wstring path = m_dir + L"\\nostream.grf";
    {
        fw::ComPtr<IStorage> spStorage;
        ASSERT_HR(S_OK, ::StgCreateDocfile(path.c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, &spStorage));
        fw::ComPtr<IStream> spStream;
        ASSERT_HR(S_OK, spStorage->CreateStream(L"SomethingElse", STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0,
                                                &spStream));
    }
    CGraph graph;
    EXPECT_HR(STG_E_FILENOTFOUND, graph.BuildGraph(path.c_str()));
    EXPECT_FALSE(graph.IsEmpty());
    EXPECT_FALSE(HoldsWriter(graph));
#ifdef _DEBUG
    EXPECT_EQ(Expected(L"CGraph::BuildFromGRFFile(): Invalid .grf file"), m_asserts.Expressions(L"Graph").at(0));
#endif
}

TEST_F(BuildGraphTest, FileHeldOpenByAnotherOpenerCannotBeOpened) {
    std::wstring path = File(L"held.grf", kWriterOnly);
    fw::ComPtr<IStorage> spHolder;
    ASSERT_HR(S_OK, ::StgOpenStorage(path.c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, &spHolder));
    CGraph graph;
    HRESULT hr = graph.BuildGraph(path.c_str());
    EXPECT_TRUE(FAILED(hr)) << test::Narrow(test::HrText(hr));
    EXPECT_FALSE(HoldsWriter(graph));
    spHolder.Release();
    EXPECT_HR(S_OK, graph.BuildGraph(path.c_str()));  // and opens once the other opener is gone
}

TEST_F(BuildGraphTest, LoadThatFailsHalfWayKeepsThePartlyLoadedGraph) {
    std::wstring path = File(L"half.grf",
                             "filter 0001 \"Tavrel\" tavrel\n"
                             "filter 0002 \"Unknown\" {00000000-1111-2222-3333-444444444444}\n"
                             "clock 0000\n");
    CGraph graph;
    EXPECT_HR(REGDB_E_CLASSNOTREG, graph.BuildGraph(path.c_str()));
    EXPECT_FALSE(graph.IsEmpty());
    EXPECT_FALSE(HoldsWriter(graph));
    EXPECT_GE(test::LiveObjects(test::kFiltersDll), 1);  // the source made it into the graph
#ifdef _DEBUG
    EXPECT_EQ(Expected(L"CGraph::BuildFromGRFFile(): Can't load data from .grf file"),
              m_asserts.Expressions(L"Graph").at(0));
#endif
    graph.Clear();
    EXPECT_EQ(0, test::LiveObjects(test::kFiltersDll));
}

TEST_F(BuildGraphTest, GraphWithoutWriterGivesSFalse) {
    CGraph graph;
    EXPECT_HR(S_FALSE, graph.BuildGraph(File(L"nowriter.grf", "filter 0001 \"Tavrel\" tavrel\nclock 0000\n").c_str()));
    EXPECT_FALSE(graph.IsEmpty());
    BOOL b = 7;
    EXPECT_HR(E_FAIL, graph.GetSharedAccess(&b));
    EXPECT_EQ(7, b);
#ifdef _DEBUG
    EXPECT_EQ(std::vector<std::wstring>{L"m_spWriter != 0"}, m_asserts.Expressions(L"Graph"));  // the option call's
#endif
}

TEST_F(BuildGraphTest, WriterWithoutControlInterfaceGivesSOkWithNoWriterHeld) {
    CGraph graph;
    std::wstring path = File(L"nocontrol.grf",
                             "filter 0001 \"Lathmere writer\" writer\n"
                             "data hidecontrol=1\n"
                             "clock 0000\n");
    EXPECT_HR(S_OK, graph.BuildGraph(path.c_str()));
#ifdef _DEBUG
    EXPECT_EQ(std::vector<std::wstring>{L"*ppWriter != 0"}, m_asserts.Expressions(L"Graph"));
#endif
    EXPECT_FALSE(graph.IsEmpty());
    EXPECT_FALSE(HoldsWriter(graph));
}

// The file loaded into a graph manager of its own, as BuildGraph does it, for a test to compare.
fw::ComPtr<IGraphBuilder> LoadDirectly(const std::wstring& path, HRESULT* phrLoad) {
    fw::ComPtr<IGraphBuilder> spGraph;
    EXPECT_HR(S_OK, spGraph.CoCreateInstance(CLSID_FilterGraph));
    fw::ComPtr<IStorage> spStorage;
    EXPECT_HR(S_OK, ::StgOpenStorage(path.c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, &spStorage));
    fw::ComPtr<IStream> spStream;
    EXPECT_HR(S_OK, spStorage->OpenStream(L"ActiveMovieGraph", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &spStream));
    fw::ComQIPtr<IPersistStream> spPersist(spGraph);
    *phrLoad = spPersist->Load(spStream);
    return spGraph;
}

// The order in which the graph manager enumerates the filters of a file, seen independently.
std::vector<std::wstring> EnumeratedNames(const std::wstring& path) {
    HRESULT hrLoad = E_FAIL;
    fw::ComPtr<IGraphBuilder> spGraph = LoadDirectly(path, &hrLoad);
    EXPECT_HR(S_OK, hrLoad);
    std::vector<std::wstring> names;
    fw::ComPtr<IEnumFilters> spEnum;
    spGraph->EnumFilters(&spEnum);
    for (;;) {
        fw::ComPtr<IBaseFilter> spFilter;
        if (spEnum->Next(1, &spFilter, nullptr) != S_OK) break;
        FILTER_INFO info = {};
        spFilter->QueryFilterInfo(&info);
        if (info.pGraph) info.pGraph->Release();
        names.push_back(info.achName);
    }
    return names;
}

TEST_F(BuildGraphTest, OfTwoWritersTheFirstEnumeratedIsUsed) {
    std::wstring path = File(L"two.grf",
                             "filter 0001 \"Alpha\" writer\n"
                             "data name=Alpha\n"
                             "filter 0002 \"Beta\" writer\n"
                             "data name=Beta\n"
                             "clock 0000\n");
    std::vector<std::wstring> order = EnumeratedNames(path);
    ASSERT_EQ(2u, order.size());

    CGraph graph;
    ASSERT_HR(S_OK, graph.BuildGraph(path.c_str()));
    fw::ComBstr cbsVersion;
    ASSERT_HR(S_OK, graph.GetVersionString(cbsVersion));
    EXPECT_EQ(0u, std::wstring(cbsVersion.Text()).find(order[0] + L" [")) << test::Narrow(cbsVersion.Text());
}

TEST_F(BuildGraphTest, GraphManagerThatCannotBeCreatedLeavesTheObjectEmpty) {
    // On a thread without COM the graph manager cannot be created (CO_E_NOTINITIALIZED).
    std::wstring path = File(L"any.grf", kWriterOnly);
    CGraph graph;
    BuildWriterGraph(graph);
    HRESULT hr = S_OK;
    std::thread([&] { hr = graph.BuildGraph(path.c_str()); }).join();
    EXPECT_HR(CO_E_NOTINITIALIZED, hr);
#ifdef _DEBUG
    EXPECT_EQ(std::vector<std::wstring>{Expected(L"CGraph::BuildGraph(): m_spGraph.CoCreateInstance() FAILED")},
              m_asserts.Expressions(L"Graph"));
#endif
    EXPECT_TRUE(graph.IsEmpty());
    EXPECT_FALSE(HoldsWriter(graph));
}

// Load's success codes other than S_OK count as success: a second filter of the same name
// (the graph manager renames it and says VFW_S_DUPLICATE_NAME) still gives a built graph.
TEST_F(BuildGraphTest, LoadSuccessCodeIsPassedOverAndTheWriterFound) {
    std::wstring path = File(L"dup.grf",
                             "filter 0001 \"Same\" tavrel\n"
                             "filter 0002 \"Same\" writer\n"
                             "connect 0001 \"Out\" 0002 \"In\" stream null 1 0 65536 none\n"
                             "clock 0000\n");
    HRESULT hrLoad = E_FAIL;
    LoadDirectly(path, &hrLoad);
    ASSERT_HR(VFW_S_DUPLICATE_NAME, hrLoad);  // the case this test is about
    CGraph graph;
    EXPECT_HR(S_OK, graph.BuildGraph(path.c_str()));
    EXPECT_TRUE(HoldsWriter(graph));
    EXPECT_TRUE(m_asserts.All().empty());
}

// A graph manager without IPersistStream cannot load: E_NOINTERFACE, the manager kept.
TEST_F(BuildGraphTest, GraphManagerWithoutPersistStreamGivesENoInterface) {
    test::ScopedGraphSwitch hide(L"GRFPERSIST_HIDE", L"IPersistStream");
    CGraph graph;
    EXPECT_HR(E_NOINTERFACE, graph.BuildGraph(File(L"nopersist.grf", kWriterOnly).c_str()));
#ifdef _DEBUG
    EXPECT_EQ(std::vector<std::wstring>{L"spPersistStream != 0"}, m_asserts.Expressions(L"Graph"));
#endif
    EXPECT_FALSE(graph.IsEmpty());
    EXPECT_FALSE(HoldsWriter(graph));
}

// A writer whose class query does not answer S_OK ends the search with that status, a success
// code (0x00040242, with the class id written) as much as a failure: the loaded graph stays held,
// the writer slot stays empty, and the writer operations answer as without a writer.
TEST_F(BuildGraphTest, ClassQueryThatDoesNotAnswerSOkEndsTheSearchWithItsStatus) {
    const struct {
        const char* pszValue;
        HRESULT hrExpected;
    } rgCases[] = {
        {"0x00040242", static_cast<HRESULT>(0x00040242)},
        {"E_FAIL", E_FAIL},
    };
    for (const auto& c : rgCases) {
        SCOPED_TRACE(c.pszValue);
        std::wstring path = File(L"classid.grf", std::string("filter 0001 \"Lathmere writer\" writer\n"
                                                             "data written=1234567\n"
                                                             "data hr.GetClassID=") +
                                                     c.pszValue + "\nclock 0000\n");
        CGraph graph;
        BuildWriterGraph(graph);
        m_asserts.Clear();
        EXPECT_HR(c.hrExpected, graph.BuildGraph(path.c_str()));
#ifdef _DEBUG
        EXPECT_EQ(std::vector<std::wstring>{Expected(L"CGraph::FindWriter(): spFilter->GetClassID() FAILED")},
                  m_asserts.Expressions(L"Graph"));
#endif
        EXPECT_FALSE(graph.IsEmpty());
        EXPECT_EQ(1, test::LiveObjects(test::kFiltersDll));  // the loaded writer, held by the graph only
        BOOL b = 7;
        EXPECT_HR(E_FAIL, graph.GetSharedAccess(&b));
        EXPECT_EQ(7, b);
        DWORD dw = 9;
        EXPECT_HR(E_FAIL, graph.GetInterleaving(&dw));
        EXPECT_EQ(9u, dw);
        EXPECT_HR(E_FAIL, graph.SetNonDrop(TRUE));
        EXPECT_EQ(0, graph.GetWritten());
        graph.Clear();
        EXPECT_EQ(0, test::LiveObjects(test::kFiltersDll));
    }
}

}  // namespace
