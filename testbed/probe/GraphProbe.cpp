// graphprobe: builds a graph from a .grf file the way the harness does and prints what it
// holds: the build's result, the filters with their pins and connections, and the writer.
// Usage: graphprobe [file.grf] (default: the harness's default graph).
#include <windows.h>
#include <dshow.h>

#include <stdio.h>

#include "ComPtr.h"
#include "Graph.h"
#include "TestbedIds.h"

namespace {

void PrintPins(IBaseFilter* pFilter) {
    fw::ComPtr<IEnumPins> spEnum;
    if (FAILED(pFilter->EnumPins(&spEnum))) return;
    for (;;) {
        fw::ComPtr<IPin> spPin;
        if (spEnum->Next(1, &spPin, nullptr) != S_OK) break;
        LPWSTR pszId = nullptr;
        spPin->QueryId(&pszId);
        PIN_DIRECTION eDir = PINDIR_INPUT;
        spPin->QueryDirection(&eDir);
        fw::ComPtr<IPin> spPeer;
        spPin->ConnectedTo(&spPeer);
        wprintf(L"    pin \"%ls\" (%ls)%ls\n", pszId ? pszId : L"", eDir == PINDIR_INPUT ? L"in" : L"out",
                spPeer ? L", connected" : L"");
        ::CoTaskMemFree(pszId);
    }
}

// Loads the file into a graph manager of its own to list what the file holds.
void PrintFilters(const wchar_t* pszFile) {
    fw::ComPtr<IGraphBuilder> spGraph;
    fw::ComPtr<IStorage> spStorage;
    fw::ComPtr<IStream> spStream;
    if (FAILED(spGraph.CoCreateInstance(CLSID_FilterGraph)) ||
        FAILED(::StgOpenStorage(pszFile, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, &spStorage)) ||
        FAILED(spStorage->OpenStream(L"ActiveMovieGraph", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &spStream)))
        return;
    fw::ComQIPtr<IPersistStream> spPersist(spGraph);
    if (!spPersist || FAILED(spPersist->Load(spStream))) return;
    fw::ComPtr<IEnumFilters> spEnum;
    spGraph->EnumFilters(&spEnum);
    for (;;) {
        fw::ComPtr<IBaseFilter> spFilter;
        if (spEnum->Next(1, &spFilter, nullptr) != S_OK) break;
        FILTER_INFO info = {};
        spFilter->QueryFilterInfo(&info);
        if (info.pGraph) info.pGraph->Release();
        CLSID clsid = GUID_NULL;
        spFilter->GetClassID(&clsid);
        wchar_t szClsid[40];
        ::StringFromGUID2(clsid, szClsid, 40);
        wprintf(L"  filter \"%ls\" %ls%ls\n", info.achName, szClsid,
                clsid == CLSID_WriterFilter ? L"  <- the Lathmere writer" : L"");
        PrintPins(spFilter);
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const wchar_t* pszFile = argc > 1 ? argv[1] : TESTBED_DEFAULT_GRAPH;
    if (FAILED(::CoInitialize(nullptr))) return 2;
    int nExit = 0;
    {
        CGraph graph;
        HRESULT hr = graph.BuildGraph(pszFile);
        wprintf(L"BuildGraph(\"%ls\") = 0x%08lX%ls\n", pszFile, static_cast<unsigned long>(hr),
                hr == S_OK ? L" (writer found)" : hr == S_FALSE ? L" (no writer in the graph)" : L" (failed)");
        if (SUCCEEDED(hr)) PrintFilters(pszFile);
        fw::ComBstr cbsVersion;
        if (graph.GetVersionString(cbsVersion) == S_OK) wprintf(L"writer: %ls\n", cbsVersion.Text());
        nExit = hr == S_OK ? 0 : 1;
        graph.Clear();
    }
    ::CoUninitialize();
    return nExit;
}
