// Graph construction. A: CGraph::BuildGraph of a .grf file (open the compound file, hand its
// stream to the graph manager's IPersistStream::Load, find the writer). B: the same filters
// created, configured, added and connected directly through the graph manager in this process
// (CoCreateInstance, IPersistStream::Load of each filter's data, AddFilter, ConnectDirect).
// Both use the graph manager registered in the prefix, so B is the floor A cannot go below;
// their ratio is what reading the file costs on top. Releasing the graph is not timed.
//
// Sizes 1, 50 and 500 filters; the growth from 50 to 500 is given per filter.
#include <windows.h>
#include <dshow.h>

#include <cstdio>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "ComPtr.h"
#include "Graph.h"
#include "GrfFixtures.h"
#include "GrfTypes.h"

namespace {

const double kTargetRatio = 1.3;
const double kTargetGrowth = 1.3;  // per-filter cost at 500 within 1.3x of that at 50: linear

const int kSizes[] = {1, 50, 500};
// Every size is built once per round, A and B of all sizes interleaved, so a change in machine
// load during the run reaches all sizes alike and the growth from 50 to 500 stays comparable.
const int kRounds = 41;

HRESULT LoadFilterData(IBaseFilter* pFilter, const std::vector<uint8_t>& data) {
    fw::ComQIPtr<IPersistStream> spPersist(pFilter);
    if (!spPersist) return E_NOINTERFACE;
    fw::ComPtr<IStream> spStream;
    HRESULT hr = ::CreateStreamOnHGlobal(nullptr, TRUE, &spStream);
    if (FAILED(hr)) return hr;
    hr = spStream->Write(data.data(), static_cast<ULONG>(data.size()), nullptr);
    if (FAILED(hr)) return hr;
    LARGE_INTEGER liStart = {};
    hr = spStream->Seek(liStart, STREAM_SEEK_SET, nullptr);
    if (FAILED(hr)) return hr;
    return spPersist->Load(spStream);
}

HRESULT ConnectDirectly(IGraphBuilder* pGraph, const std::vector<fw::ComPtr<IBaseFilter>>& filters,
                        const grf::Connection& connection) {
    fw::ComPtr<IPin> spOut;
    HRESULT hr = filters[connection.outFilterId]->FindPin(grfpersist::ToWide(connection.outPinId).c_str(), &spOut);
    if (FAILED(hr)) return hr;
    fw::ComPtr<IPin> spIn;
    hr = filters[connection.inFilterId]->FindPin(grfpersist::ToWide(connection.inPinId).c_str(), &spIn);
    if (FAILED(hr)) return hr;
    AM_MEDIA_TYPE rgmt;
    grfpersist::ViewMediaType(connection.mediaType, rgmt);
    return pGraph->ConnectDirect(spOut, spIn, &rgmt);
}

// B: the graph built call by call. Filter ids of MakeWriterGraph count from 1 in stream order.
HRESULT BuildDirectly(const grf::Graph& graph, fw::ComPtr<IGraphBuilder>& spGraph) {
    HRESULT hr = spGraph.CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER);
    if (FAILED(hr)) return hr;
    std::vector<fw::ComPtr<IBaseFilter>> filters(graph.filters.size() + 1);
    for (const grf::Filter& filter : graph.filters) {
        fw::ComPtr<IBaseFilter>& spFilter = filters[filter.id];
        hr = spFilter.CoCreateInstance(grfpersist::ToGuid(filter.clsid), nullptr, CLSCTX_INPROC_SERVER);
        if (FAILED(hr)) return hr;
        hr = LoadFilterData(spFilter, filter.data);
        if (FAILED(hr)) return hr;
        hr = spGraph->AddFilter(spFilter, grfpersist::ToWide(filter.name).c_str());
        if (FAILED(hr)) return hr;
    }
    for (const grf::Connection& connection : graph.connections) {
        hr = ConnectDirectly(spGraph, filters, connection);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

// After a graph is released: serve what was posted to this thread (as the dialog's loop would)
// and give the graph manager's threads a moment to end, so the next run starts alike.
void Settle() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
    ::Sleep(2);
}

// The two timed runs of one size: A from the written file, B directly from the description.
struct SizeRuns {
    int cFilters = 0;
    grf::Graph graph;
    std::wstring path;
    CGraph cgraph;

    double RunA() {
        HRESULT hr = S_OK;
        const double us = bench::Time([&] { hr = cgraph.BuildGraph(path.c_str()); });
        if (hr != S_OK) bench::Fail(Id().c_str(), "CGraph::BuildGraph returned 0x%08X", unsigned(hr));
        cgraph.Clear();
        Settle();
        return us;
    }
    double RunB() {
        HRESULT hr = S_OK;
        fw::ComPtr<IGraphBuilder> spGraph;
        const double us = bench::Time([&] { hr = BuildDirectly(graph, spGraph); });
        if (hr != S_OK) bench::Fail(Id().c_str(), "building directly failed, 0x%08X", unsigned(hr));
        spGraph.Release();
        Settle();
        return us;
    }
    std::string Id() const { return "build." + std::to_string(cFilters); }
};

// What only A does: open the compound file and its graph stream, read-only and exclusive, as
// CGraph does. Timed beside the rest to show how much of A's extra time it is.
double OpenGraphFile(const std::wstring& path) {
    const DWORD dwMode = STGM_READ | STGM_SHARE_EXCLUSIVE;
    HRESULT hr = S_OK;
    const double us = bench::Time([&] {
        fw::ComPtr<IStorage> spStorage;
        hr = ::StgOpenStorage(path.c_str(), nullptr, dwMode, nullptr, 0, &spStorage);
        fw::ComPtr<IStream> spStream;
        if (hr == S_OK) hr = spStorage->OpenStream(L"ActiveMovieGraph", nullptr, dwMode, 0, &spStream);
    });
    if (hr != S_OK) bench::Fail("build.open", "opening the graph stream failed, 0x%08X", unsigned(hr));
    return us;
}

void PrepareSize(SizeRuns& runs, int cFilters, const std::wstring& dir) {
    runs.cFilters = cFilters;
    runs.graph = bench::MakeWriterGraph(cFilters);
    runs.path = dir + L"\\graph-" + std::to_wstring(cFilters) + L".grf";
    const HRESULT hr = bench::WriteGraphFile(runs.path, runs.graph);
    if (FAILED(hr))
        bench::Fail(runs.Id().c_str(), "writing %s failed, 0x%08X", bench::Narrow(runs.path).c_str(), unsigned(hr));
}

void ReportSize(const SizeRuns& runs, const bench::Pair& pair) {
    const std::string a = "CGraph::BuildGraph, " + std::to_string(runs.cFilters) + " filters, " +
                          std::to_string(runs.graph.connections.size()) + " connections";
    bench::ReportRatio(runs.Id().c_str(), a.c_str(), "CoCreateInstance + Load + AddFilter + ConnectDirect", pair,
                       kTargetRatio);
}

// With bTarget the growth is judged; otherwise (the direct build, the platform's own growth)
// it is reported to explain the other.
void ReportGrowth(const char* pszId, double us50, double us500, bool bTarget) {
    const double growth = (us500 / 500) / (us50 / 50);
    char sz[96];
    std::snprintf(sz, sizeof(sz), "%.2f (%.1f us/filter at 50, %.1f at 500)", growth, us50 / 50, us500 / 500);
    char szTarget[16];
    std::snprintf(szTarget, sizeof(szTarget), "<= %.2f", kTargetGrowth);
    if (bTarget)
        bench::ReportFigure(pszId, sz, szTarget, growth <= kTargetGrowth);
    else
        bench::ReportInfo(pszId, sz);
}

}  // namespace

int wmain() {
    if (FAILED(::CoInitialize(nullptr))) bench::Fail("build", "CoInitialize failed");
    const std::wstring dir = bench::MakeTempDir(L"build");
    {
        SizeRuns sizes[3];
        std::vector<bench::TimedRun> runs;
        for (int i = 0; i < 3; ++i) {
            PrepareSize(sizes[i], kSizes[i], dir);
            runs.push_back([&sizes, i] { return sizes[i].RunA(); });
            runs.push_back([&sizes, i] { return sizes[i].RunB(); });
        }
        runs.push_back([&sizes] { return OpenGraphFile(sizes[0].path); });
        const std::vector<bench::Samples> samples = bench::RunInterleaved(runs, kRounds);
        for (int i = 0; i < 3; ++i) ReportSize(sizes[i], bench::Pair{samples[2 * i], samples[2 * i + 1]});
        char sz[96];
        std::snprintf(sz, sizeof(sz), " of the %.0f us A-B at 1 filter", samples[0].Median() - samples[1].Median());
        bench::ReportInfo("build.1.fileopen", bench::Spread(samples[6]) + sz);
        // Per-filter cost from 50 to 500 filters: 1.0 is linear growth.
        ReportGrowth("build.growth.A", samples[2].Median(), samples[4].Median(), true);
        ReportGrowth("build.growth.B", samples[3].Median(), samples[5].Median(), false);
    }
    ::CoUninitialize();
    return 0;
}
