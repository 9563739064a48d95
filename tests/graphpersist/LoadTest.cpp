// IPersistStream::Load of the graph manager: GRF streams built into live graphs.
#include <dshow.h>

#include <gtest/gtest.h>

#include "GrfFile.h"
#include "PersistTestSupport.h"
#include "TestSupport.h"
#include "TestbedIds.h"
#include "WriterInterfaces.h"

using namespace persisttest;

namespace {

using Names = std::vector<std::wstring>;

const char kTeeIntoRenderers[] =
    "filter 0001 \"Tee\" " PT_SMART_TEE "\n"
    "filter 0002 \"Null\" " PT_NULL_RENDERER "\n"
    "filter 0003 \"Grabber\" " PT_SAMPLE_GRABBER "\n"
    "connect 0001 \"Capture\" 0002 \"In\" video " PT_RGB24 " 1 1 230400 " PT_VIDEOINFO " " PT_VIDEOINFO_320x240 "\n"
    "connect 0001 \"Preview\" 0003 \"In\" stream null 0 0 777 none\n";

}  // namespace

TEST(GraphLoad, AddsFiltersUnderTheirNamesAndClasses) {
    fw::ComPtr<IFilterGraph> spGraph = CreateGraph();
    ASSERT_HR(S_OK, LoadDescription(spGraph, kTeeIntoRenderers));
    EXPECT_EQ((Names{L"Grabber", L"Null", L"Tee"}), FilterNames(spGraph));
    grf::Graph graph = Describe(kTeeIntoRenderers);
    for (const grf::Filter& filter : graph.filters) {
        std::wstring name(filter.name.begin(), filter.name.end());
        fw::ComPtr<IBaseFilter> spFilter = FindFilter(spGraph, name.c_str());
        ASSERT_TRUE(spFilter) << test::Narrow(name);
        EXPECT_EQ(grf::GuidToString(filter.clsid), GuidText(ClassOf(spFilter)));
    }
}

TEST(GraphLoad, ConnectsPinsWithTheStoredMediaType) {
    fw::ComPtr<IFilterGraph> spGraph = CreateGraph();
    ASSERT_HR(S_OK, LoadDescription(spGraph, kTeeIntoRenderers));
    EXPECT_EQ((Names{L"Tee/Capture -> Null/In", L"Tee/Preview -> Grabber/In"}), Connections(spGraph));
    grf::Graph graph = Describe(kTeeIntoRenderers);
    grf::MediaType mt;
    ASSERT_TRUE(ConnectionType(FindPin(spGraph, L"Tee", L"Capture"), mt));
    EXPECT_TRUE(SameMediaType(graph.connections[0].mediaType, mt));
    EXPECT_EQ(88u, mt.format.size());
    ASSERT_TRUE(ConnectionType(FindPin(spGraph, L"Grabber", L"In"), mt));
    EXPECT_TRUE(SameMediaType(graph.connections[1].mediaType, mt));
}

TEST(GraphLoad, OpensTheSourceFile) {
    std::wstring file = MakeTempFile(L"persist-source");
    std::string description = "filter 0001 \"Reader\" " PT_ASYNC_READER " source \"" + test::Narrow(file) + "\"\n";
    fw::ComPtr<IFilterGraph> spGraph = CreateGraph();
    ASSERT_HR(S_OK, LoadDescription(spGraph, description));
    fw::ComQIPtr<IFileSourceFilter> spSource(FindFilter(spGraph, L"Reader").Get());
    ASSERT_TRUE(spSource);
    LPOLESTR pszName = nullptr;
    ASSERT_HR(S_OK, spSource->GetCurFile(&pszName, nullptr));
    EXPECT_EQ(file, pszName ? pszName : L"(none)");
    ::CoTaskMemFree(pszName);
    // A source that cannot open its file fails the load; the filter stays in the graph.
    fw::ComPtr<IFilterGraph> spOther = CreateGraph();
    EXPECT_HR(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND),
              LoadDescription(spOther, "filter 0001 \"Reader\" " PT_ASYNC_READER " source \"C:\\no such file.bin\"\n"));
    EXPECT_EQ(Names{L"Reader"}, FilterNames(spOther));
}

// GraphEdit saves a source without a file as "(null)": no file is opened for it.
TEST(GraphLoad, LeavesASourceSavedWithoutFileUnopened) {
    fw::ComPtr<IFilterGraph> spGraph = CreateGraph();
    ASSERT_HR(S_OK, LoadDescription(spGraph, "filter 0001 \"Reader\" " PT_ASYNC_READER " source \"(null)\"\n"));
    fw::ComQIPtr<IFileSourceFilter> spSource(FindFilter(spGraph, L"Reader").Get());
    ASSERT_TRUE(spSource);
    LPOLESTR pszName = reinterpret_cast<LPOLESTR>(0x1);
    EXPECT_HR(S_OK, spSource->GetCurFile(&pszName, nullptr));
    EXPECT_EQ(nullptr, pszName);
}

// Wine's file writer does not report its file name (GetCurFile is not implemented), so the
// name is checked by the file it creates when the graph pauses.
TEST(GraphLoad, GivesTheSinkFileToWinesFileWriter) {
    std::wstring file = test::MakeTempDir(L"persist-sink") + L"\\out.bin";
    std::string description =
        "filter 0001 \"Tavrel\" tavrel\n"
        "filter 0002 \"Writer\" " PT_FILE_WRITER " sink \"" + test::Narrow(file) + "\"\n"
        "connect 0001 \"Out\" 0002 \"in\" stream null 1 0 65536 none\n";
    fw::ComPtr<IFilterGraph> spGraph = CreateGraph();
    ASSERT_HR(S_OK, LoadDescription(spGraph, description));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(file.c_str()));
    fw::ComQIPtr<IMediaControl> spControl(spGraph.Get());
    HRESULT hr = spControl->Pause();
    ASSERT_TRUE(SUCCEEDED(hr)) << test::Narrow(test::HrText(hr));
    EXPECT_HR(S_OK, spControl->Stop());
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(file.c_str()));
}

// The default graph tbsetup wrote: the source stand-in into the writer stand-in, whose
// filter data carries its identity.
TEST(GraphLoad, BuildsTheDefaultGraphOfThePrefix) {
    std::vector<uint8_t> bytes;
    ASSERT_HR(S_OK, grf::ReadGrfFile(TESTBED_DEFAULT_GRAPH, bytes));
    fw::ComPtr<IFilterGraph> spGraph = CreateGraph();
    ASSERT_HR(S_OK, LoadBytes(spGraph, bytes));
    EXPECT_EQ((Names{L"Lathmere writer", L"Tavrel"}), FilterNames(spGraph));
    EXPECT_EQ(Names{L"Tavrel/Out -> Lathmere writer/In"}, Connections(spGraph));
    fw::ComPtr<IBaseFilter> spWriter = FindFilter(spGraph, L"Lathmere writer");
    EXPECT_TRUE(ClassOf(spWriter) == CLSID_WriterFilter);
    EXPECT_TRUE(ClassOf(FindFilter(spGraph, L"Tavrel")) == CLSID_TavrelSource);
    fw::ComQIPtr<IFileSinkFilter> spSink(spWriter.Get());
    ASSERT_TRUE(spSink);
    LPOLESTR pszName = nullptr;
    ASSERT_HR(S_OK, spSink->GetCurFile(&pszName, nullptr));
    EXPECT_STREQ(L"C:\\CVS\\Dev\\Filters\\MPEG-4\\Lathmere\\Output\\Tavrel-Lathmere.mp4", pszName);
    ::CoTaskMemFree(pszName);
    grf::MediaType mt;
    ASSERT_TRUE(ConnectionType(FindPin(spGraph, L"Tavrel", L"Out"), mt));
    EXPECT_TRUE(SameMediaType(Describe("connect 0001 \"Out\" 0002 \"In\" stream null 1 0 65536 none\n")
                                  .connections[0].mediaType, mt));
    fw::ComQIPtr<IWriterVersion> spVersion(spWriter.Get());
    ASSERT_TRUE(spVersion);
    BSTR bstrName = nullptr;
    EXPECT_HR(S_OK, spVersion->GetName(&bstrName));
    EXPECT_STREQ(L"Lathmere MPEG-4 Writer", bstrName);
    ::SysFreeString(bstrName);
}

TEST(GraphLoad, GivesEachFilterItsData) {
    fw::ComPtr<IFilterGraph> spGraph = CreateGraph();
    ASSERT_HR(S_OK, LoadDescription(spGraph,
                                    "filter 0001 \"Writer\" writer\n"
                                    "data name=Writer \"from\" data\n"
                                    "data number=9.8.7.6\n"));
    fw::ComQIPtr<IWriterVersion> spVersion(FindFilter(spGraph, L"Writer").Get());
    ASSERT_TRUE(spVersion);
    BSTR bstrText = nullptr;
    EXPECT_HR(S_OK, spVersion->GetName(&bstrText));
    EXPECT_STREQ(L"Writer \"from\" data", bstrText);
    ::SysFreeString(bstrText);
    bstrText = nullptr;
    EXPECT_HR(S_OK, spVersion->GetNumber(&bstrText));
    EXPECT_STREQ(L"9.8.7.6", bstrText);
    ::SysFreeString(bstrText);
}

TEST(GraphLoad, FailsWhenAFilterRefusesItsData) {
    fw::ComPtr<IFilterGraph> spGraph = CreateGraph();
    EXPECT_HR(E_INVALIDARG, LoadDescription(spGraph,
                                            "filter 0001 \"First\" " PT_NULL_RENDERER "\n"
                                            "filter 0002 \"Writer\" writer\n"
                                            "data nosuchkey=1\n"));
    EXPECT_EQ(Names{L"First"}, FilterNames(spGraph));
    // A filter that cannot take data at all is not added either.
    fw::ComPtr<IFilterGraph> spOther = CreateGraph();
    EXPECT_HR(E_NOINTERFACE, LoadDescription(spOther,
                                             "filter 0001 \"Null\" " PT_NULL_RENDERER "\n"
                                             "datahex 01 02\n"));
    EXPECT_EQ(Names{}, FilterNames(spOther));
}

TEST(GraphLoad, StopsAtAnUnregisteredClassKeepingTheFiltersBefore) {
    fw::ComPtr<IFilterGraph> spGraph = CreateGraph();
    EXPECT_HR(REGDB_E_CLASSNOTREG, LoadDescription(spGraph,
                                                   "filter 0001 \"First\" " PT_NULL_RENDERER "\n"
                                                   "filter 0002 \"Missing\" {0BADC1A5-0000-4000-8000-000000000001}\n"
                                                   "filter 0003 \"Third\" " PT_NULL_RENDERER "\n"
                                                   "connect 0001 \"In\" 0003 \"In\" stream null 0 0 0 none\n"));
    EXPECT_EQ(Names{L"First"}, FilterNames(spGraph));
}

TEST(GraphLoad, FailsForAPinOrFilterTheGraphDoesNotHave) {
    const char kFilters[] =
        "filter 0001 \"Tee\" " PT_SMART_TEE "\n"
        "filter 0002 \"Null\" " PT_NULL_RENDERER "\n";
    const char* const rgszConnections[] = {
        "connect 0001 \"Nope\" 0002 \"In\" video null 0 0 0 none\n",
        "connect 0001 \"Capture\" 0002 \"Nope\" video null 0 0 0 none\n",
        "connect 0003 \"Capture\" 0002 \"In\" video null 0 0 0 none\n",
        "connect 0001 \"Capture\" 0009 \"In\" video null 0 0 0 none\n",
    };
    for (const char* pszConnection : rgszConnections) {
        SCOPED_TRACE(pszConnection);
        fw::ComPtr<IFilterGraph> spGraph = CreateGraph();
        EXPECT_HR(VFW_E_NOT_FOUND, LoadDescription(spGraph, std::string(kFilters) + pszConnection));
        EXPECT_EQ((Names{L"Null", L"Tee"}), FilterNames(spGraph));
        EXPECT_EQ(Names{}, Connections(spGraph));
    }
}

TEST(GraphLoad, RefusesRepeatedFilterIdsBeforeAddingAnything) {
    fw::ComPtr<IFilterGraph> spGraph = CreateGraph();
    EXPECT_HR(VFW_E_INVALID_FILE_FORMAT, LoadDescription(spGraph,
                                                         "filter 0001 \"A\" " PT_NULL_RENDERER "\n"
                                                         "filter 0001 \"B\" " PT_NULL_RENDERER "\n"));
    EXPECT_EQ(Names{}, FilterNames(spGraph));
}

TEST(GraphLoad, SetsTheClockTheStreamNames) {
    fw::ComPtr<IFilterGraph> spGraph = CreateGraph();
    ASSERT_HR(S_OK, LoadDescription(spGraph, "filter 0001 \"Null\" " PT_NULL_RENDERER "\nclock systemclock\n"));
    fw::ComQIPtr<IMediaFilter> spMediaFilter(spGraph.Get());
    fw::ComPtr<IReferenceClock> spClock;
    ASSERT_HR(S_OK, spMediaFilter->GetSyncSource(&spClock));
    ASSERT_TRUE(spClock);
    REFERENCE_TIME rtNow = 0;
    EXPECT_TRUE(SUCCEEDED(spClock->GetTime(&rtNow)));
    EXPECT_GT(rtNow, 0);
    // The filters are told about the clock as well.
    fw::ComPtr<IReferenceClock> spFilterClock;
    EXPECT_HR(S_OK, FindFilter(spGraph, L"Null")->GetSyncSource(&spFilterClock));
    EXPECT_EQ(spClock.Get(), spFilterClock.Get());
}

// CLOCK 1 0000 and version 0002 (no clock) leave the clock to the graph manager, which
// chooses one itself when the graph first pauses.
TEST(GraphLoad, LeavesTheDefaultClockToTheGraphManager) {
    const char* const rgszDescriptions[] = {
        "filter 0001 \"Null\" " PT_NULL_RENDERER "\nclock 0000\n",
        "version 2\nfilter 0001 \"Null\" " PT_NULL_RENDERER "\n",
    };
    for (const char* pszDescription : rgszDescriptions) {
        SCOPED_TRACE(pszDescription);
        fw::ComPtr<IFilterGraph> spGraph = CreateGraph();
        ASSERT_HR(S_OK, LoadDescription(spGraph, pszDescription));
        EXPECT_EQ(Names{L"Null"}, FilterNames(spGraph));
        fw::ComQIPtr<IMediaFilter> spMediaFilter(spGraph.Get());
        fw::ComPtr<IReferenceClock> spClock;
        EXPECT_TRUE(SUCCEEDED(spMediaFilter->GetSyncSource(&spClock)));
        EXPECT_FALSE(spClock);
    }
}

TEST(GraphLoad, FailsForAClockThatIsNotThere) {
    struct Case {
        const char* pszClock;
        HRESULT hr;
    } rgCases[] = {
        {"clock 0001\n", E_NOINTERFACE},               // a filter that is no clock
        {"clock 0002\n", VFW_E_NOT_FOUND},             // no such filter
        {"clock " PT_NULL_RENDERER "\n", E_NOINTERFACE},  // a class that is no clock
        {"clock {0BADC1A5-0000-4000-8000-000000000002}\n", REGDB_E_CLASSNOTREG},
    };
    for (const Case& c : rgCases) {
        SCOPED_TRACE(c.pszClock);
        fw::ComPtr<IFilterGraph> spGraph = CreateGraph();
        EXPECT_HR(c.hr, LoadDescription(spGraph, std::string("filter 0001 \"Null\" " PT_NULL_RENDERER "\n") + c.pszClock));
        EXPECT_EQ(Names{L"Null"}, FilterNames(spGraph));
    }
}

// Like the platform's loader, Load passes on the first success code other than S_OK it meets:
// the graph manager's VFW_S_DUPLICATE_NAME for a name already in the graph (the filter is added
// under a name of the graph manager's choosing), and goes on to the connections.
TEST(GraphLoad, PassesOnTheDuplicateNameCodeAndLoadsEverything) {
    fw::ComPtr<IFilterGraph> spGraph = CreateGraph();
    ASSERT_HR(VFW_S_DUPLICATE_NAME, LoadDescription(spGraph,
                                                    "filter 0001 \"Same\" " PT_SMART_TEE "\n"
                                                    "filter 0002 \"Same\" " PT_NULL_RENDERER "\n"
                                                    "connect 0001 \"Preview\" 0002 \"In\" stream null 0 0 777 none\n"));
    Names names = FilterNames(spGraph);
    ASSERT_EQ(2u, names.size());
    EXPECT_EQ(L"Same", names[0]);
    EXPECT_EQ(1u, Connections(spGraph).size());
}
