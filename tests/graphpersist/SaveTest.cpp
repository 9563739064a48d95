// IPersistStream::Save of the graph manager, and Save then Load.
#include <dshow.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "PersistTestSupport.h"
#include "TestSupport.h"

using namespace persisttest;

namespace {

// Filters keyed by name, connections by their filter names and pin ids: what a graph is,
// whatever ids and order a save gives it.
struct GraphShape {
    std::map<std::u16string, grf::Filter> filters;
    std::map<std::u16string, grf::MediaType> connections;
};

GraphShape ShapeOf(const grf::Graph& graph) {
    GraphShape shape;
    std::map<uint32_t, std::u16string> names;
    for (const grf::Filter& filter : graph.filters) {
        shape.filters[filter.name] = filter;
        names[filter.id] = filter.name;
    }
    for (const grf::Connection& c : graph.connections)
        shape.connections[names[c.outFilterId] + u"/" + c.outPinId + u" -> " + names[c.inFilterId] + u"/" + c.inPinId] =
            c.mediaType;
    return shape;
}

void ExpectSameShape(const grf::Graph& expected, const grf::Graph& actual) {
    GraphShape a = ShapeOf(expected), b = ShapeOf(actual);
    ASSERT_EQ(a.filters.size(), b.filters.size());
    for (const auto& [name, filter] : a.filters) {
        SCOPED_TRACE(test::Narrow(std::wstring(name.begin(), name.end())));
        ASSERT_EQ(1u, b.filters.count(name));
        const grf::Filter& other = b.filters.at(name);
        EXPECT_EQ(grf::GuidToString(filter.clsid), grf::GuidToString(other.clsid));
        EXPECT_EQ(filter.fileKind, other.fileKind);
        EXPECT_TRUE(filter.fileName == other.fileName);
        EXPECT_EQ(filter.data, other.data);
    }
    ASSERT_EQ(a.connections.size(), b.connections.size());
    for (const auto& [key, mt] : a.connections) {
        SCOPED_TRACE(test::Narrow(std::wstring(key.begin(), key.end())));
        ASSERT_EQ(1u, b.connections.count(key));
        EXPECT_TRUE(SameMediaType(mt, b.connections.at(key)));
    }
}

grf::Graph Parsed(const std::vector<uint8_t>& bytes) {
    grf::Graph graph;
    grf::ParseError error;
    EXPECT_TRUE(grf::Parse(bytes.data(), bytes.size(), graph, error)) << error.message << " at " << error.offset;
    return graph;
}

// The filter data below is written the way each stand-in saves it (keys that differ from
// their defaults, one LF each), so that it comes back byte for byte.
const char kMixedGraph[] =
    "filter 0001 \"Tavrel\" tavrel\n"
    "data rate=1234\n"
    "filter 0002 \"Lathmere writer\" writer sink \"C:\\out dir\\Tavrel (2).mp4\"\n"
    "data name=Saved \"writer\"\n"
    "filter 0003 \"Tee\" " PT_SMART_TEE "\n"
    "filter 0004 \"Null\" " PT_NULL_RENDERER "\n"
    "filter 0005 \"Reader\" " PT_ASYNC_READER " source \"(null)\"\n"
    "connect 0001 \"Out\" 0002 \"In\" stream null 1 0 65536 none\n"
    "connect 0003 \"Capture\" 0004 \"In\" video " PT_RGB24 " 1 1 230400 " PT_VIDEOINFO " " PT_VIDEOINFO_320x240 "\n";

}  // namespace

TEST(GraphSave, WritesAnEmptyGraph) {
    fw::ComPtr<IFilterGraph> spGraph = CreateGraph();
    std::vector<uint8_t> bytes;
    ASSERT_HR(S_OK, SaveBytes(spGraph, bytes));
    grf::Graph graph = Parsed(bytes);
    EXPECT_EQ(3, graph.version);
    EXPECT_TRUE(graph.filters.empty());
    EXPECT_TRUE(graph.connections.empty());
    EXPECT_TRUE(graph.clock.present);
    EXPECT_FALSE(graph.clock.isClassId);
    EXPECT_EQ(0u, graph.clock.filterId);
    // Exactly the layout GraphEdit writes for it.
    EXPECT_EQ(grf::Write(graph), bytes);
}

TEST(GraphSave, GivesBackTheGraphItLoaded) {
    fw::ComPtr<IFilterGraph> spGraph = CreateGraph();
    ASSERT_HR(S_OK, LoadDescription(spGraph, kMixedGraph));
    std::vector<uint8_t> saved;
    ASSERT_HR(S_OK, SaveBytes(spGraph, saved));
    grf::Graph graph = Parsed(saved);
    ExpectSameShape(Describe(kMixedGraph), graph);
    // Ids are 0001, 0002, ... in the order the filters are listed.
    for (size_t i = 0; i < graph.filters.size(); ++i) EXPECT_EQ(i + 1, graph.filters[i].id);
}

TEST(GraphSave, SavedStreamLoadsIntoAnEqualGraph) {
    fw::ComPtr<IFilterGraph> spFirst = CreateGraph();
    ASSERT_HR(S_OK, LoadDescription(spFirst, kMixedGraph));
    std::vector<uint8_t> firstSave;
    ASSERT_HR(S_OK, SaveBytes(spFirst, firstSave));

    fw::ComPtr<IFilterGraph> spSecond = CreateGraph();
    ASSERT_HR(S_OK, LoadBytes(spSecond, firstSave));
    EXPECT_EQ(FilterNames(spFirst), FilterNames(spSecond));
    EXPECT_EQ(Connections(spFirst), Connections(spSecond));
    std::vector<uint8_t> secondSave;
    ASSERT_HR(S_OK, SaveBytes(spSecond, secondSave));
    ExpectSameShape(Parsed(firstSave), Parsed(secondSave));
}

// Load and Save hold on to nothing: releasing the graph frees it and every filter in it.
TEST(GraphSave, LoadAndSaveLeaveNoObjectsBehind) {
    LONG cGraphsBefore = LiveGraphs();
    LONG cFiltersBefore = LiveObjects(L"testfilters.dll");
    {
        fw::ComPtr<IFilterGraph> spGraph = CreateGraph();
        ASSERT_HR(S_OK, LoadDescription(spGraph, kMixedGraph));
        EXPECT_EQ(cFiltersBefore + 2, LiveObjects(L"testfilters.dll"));
        std::vector<uint8_t> saved;
        ASSERT_HR(S_OK, SaveBytes(spGraph, saved));
        EXPECT_EQ(1u, test::RefCount(spGraph));
    }
    EXPECT_EQ(cGraphsBefore, LiveGraphs());
    EXPECT_EQ(cFiltersBefore, LiveObjects(L"testfilters.dll"));
}

TEST(GraphSave, SizeMaxIsTheSizeSaveWrites) {
    fw::ComPtr<IFilterGraph> spGraph = CreateGraph();
    ASSERT_HR(S_OK, LoadDescription(spGraph, kMixedGraph));
    fw::ComQIPtr<IPersistStream> spPersist(spGraph.Get());
    ULARGE_INTEGER cbMax = {};
    ASSERT_HR(S_OK, spPersist->GetSizeMax(&cbMax));
    std::vector<uint8_t> saved;
    ASSERT_HR(S_OK, SaveBytes(spGraph, saved));
    EXPECT_EQ(saved.size(), cbMax.QuadPart);
    EXPECT_HR(E_POINTER, spPersist->GetSizeMax(nullptr));
    EXPECT_HR(E_POINTER, spPersist->Save(nullptr, TRUE));
}

// Wine's graph manager lists the filters added last first; connections are still saved
// upstream first, so that loading them in order connects each filter's input before its output.
TEST(GraphSave, ListsConnectionsUpstreamFirst) {
    const char kChain[] =
        "filter 0001 \"Tee\" " PT_SMART_TEE "\n"
        "filter 0002 \"Grabber\" " PT_SAMPLE_GRABBER "\n"
        "filter 0003 \"Null\" " PT_NULL_RENDERER "\n"
        "connect 0001 \"Preview\" 0002 \"In\" video " PT_RGB24 " 1 0 230400 none\n"
        "connect 0002 \"Out\" 0003 \"In\" video " PT_RGB24 " 1 0 230400 none\n";
    fw::ComPtr<IFilterGraph> spGraph = CreateGraph();
    ASSERT_HR(S_OK, LoadDescription(spGraph, kChain));
    std::vector<uint8_t> saved;
    ASSERT_HR(S_OK, SaveBytes(spGraph, saved));
    grf::Graph graph = Parsed(saved);
    ASSERT_EQ(2u, graph.connections.size());
    EXPECT_TRUE(graph.connections[0].outPinId == u"Preview");
    EXPECT_TRUE(graph.connections[1].outPinId == u"Out");

    fw::ComPtr<IFilterGraph> spReloaded = CreateGraph();
    EXPECT_HR(S_OK, LoadBytes(spReloaded, saved));
    EXPECT_EQ(Connections(spGraph), Connections(spReloaded));
}

TEST(GraphSave, WritesSourceAndSinkFiles) {
    std::wstring file = MakeTempFile(L"persist-save");
    fw::ComPtr<IFilterGraph> spGraph = CreateGraph();
    ASSERT_HR(S_OK, LoadDescription(spGraph,
                                    "filter 0001 \"Reader\" " PT_ASYNC_READER " source \"" + test::Narrow(file) + "\"\n"
                                    "filter 0002 \"Unopened\" " PT_ASYNC_READER "\n"
                                    "filter 0003 \"Writer\" writer sink \"C:\\x\\y.mp4\"\n"
                                    "filter 0004 \"No file\" writer\n"));
    std::vector<uint8_t> saved;
    ASSERT_HR(S_OK, SaveBytes(spGraph, saved));
    GraphShape shape = ShapeOf(Parsed(saved));
    ASSERT_EQ(4u, shape.filters.size());
    EXPECT_EQ(grf::FileKind::Source, shape.filters[u"Reader"].fileKind);
    EXPECT_TRUE(shape.filters[u"Reader"].fileName == std::u16string(file.begin(), file.end()));
    EXPECT_EQ(grf::FileKind::Source, shape.filters[u"Unopened"].fileKind);
    EXPECT_TRUE(shape.filters[u"Unopened"].fileName == u"(null)");
    EXPECT_EQ(grf::FileKind::Sink, shape.filters[u"Writer"].fileKind);
    EXPECT_TRUE(shape.filters[u"Writer"].fileName == u"C:\\x\\y.mp4");
    EXPECT_EQ(grf::FileKind::None, shape.filters[u"No file"].fileKind);
}

// The graph's clock is saved as the filter that provides it or as the clock's class.
// Wine's system clock does not offer IPersist, so its class cannot be read: it is saved as
// the graph's default clock (0000), which is the system clock again when the graph runs.
// Windows' system clock would be saved as CLSID_SystemClock.
TEST(GraphSave, WritesTheClock) {
    fw::ComPtr<IFilterGraph> spGraph = CreateGraph();
    ASSERT_HR(S_OK, LoadDescription(spGraph, "filter 0001 \"Null\" " PT_NULL_RENDERER "\nclock systemclock\n"));
    fw::ComPtr<IReferenceClock> spClock;
    fw::ComQIPtr<IMediaFilter>(spGraph.Get())->GetSyncSource(&spClock);
    ASSERT_TRUE(spClock);
    std::vector<uint8_t> saved;
    ASSERT_HR(S_OK, SaveBytes(spGraph, saved));
    grf::Graph graph = Parsed(saved);
    ASSERT_TRUE(graph.clock.present);
    EXPECT_TRUE(graph.clock.required);
    if (fw::ComQIPtr<IPersist>(spClock.Get())) {
        EXPECT_TRUE(graph.clock.isClassId);
        EXPECT_EQ(GuidText(CLSID_SystemClock), grf::GuidToString(graph.clock.classId));
    } else {
        EXPECT_FALSE(graph.clock.isClassId);
        EXPECT_EQ(0u, graph.clock.filterId);
    }
}
